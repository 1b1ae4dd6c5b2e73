// Win32 directory handles. Every name is opened, created, renamed onto or deleted relative to
// the held directory handle (NtCreateFile and FileRenameInformation with a RootDirectory), so no
// path is ever resolved again above it: a folder renamed or swapped for a junction above the
// held one cannot send a creation elsewhere. Each name is opened with FILE_OPEN_REPARSE_POINT,
// which opens a symbolic link or junction itself rather than its target.
#include "base/TarnelDir.h"

#include <winternl.h>

#include <cstring>
#include <vector>

#include "base/PathsWin.h"
#include "base/PlatformFiles.h"
#include "base/RandomHex.h"
#include "base/TarnelHandle.h"

namespace {

constexpr int kReplaceRounds = 4;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kSync = FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT;
constexpr ACCESS_MASK kDirAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY |
                                   FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
// A folder that grants us less is still held, to look into and to open what lies below.
constexpr ACCESS_MASK kDirAccessReadOnly = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Writers also hold DELETE: the file is renamed onto its name, or dropped, through the handle.
constexpr ACCESS_MASK kFileAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE;

HANDLE asHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool refuseName(const char* name) {
    if (TarnelDir::isPlainName(name)) return false;
    SetLastError(ERROR_INVALID_NAME);
    return true;
}

// One NtCreateFile relative to dir. False with the Win32 error set.
bool openAt(HANDLE dir, const char* name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
            HANDLE& out) {
    out = INVALID_HANDLE_VALUE;
    std::wstring wide = utf8ToWide(name);
    if (wide.empty() || wide.size() > 32767) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    UNICODE_STRING text;
    text.Buffer = wide.data();
    text.Length = text.MaximumLength = USHORT(wide.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    NTSTATUS status = NtCreateFile(&h, access, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                                   options | kSync, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return false;
    }
    out = h;
    return true;
}

bool exists(DWORD err) { return err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS; }
bool missing(DWORD err) { return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND; }

DWORD attributesOf(HANDLE h) {
    FILE_BASIC_INFO info;
    return GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info) ? info.FileAttributes
                                                                              : INVALID_FILE_ATTRIBUTES;
}

bool isReparse(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT); }
bool isDirectory(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }

// Read-only entries refuse deletion and being replaced; they are ours to remove.
bool clearReadOnly(HANDLE h) {
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &info, sizeof info)) return false;
    if (!(info.FileAttributes & FILE_ATTRIBUTE_READONLY)) return false;
    info.CreationTime.QuadPart = info.LastAccessTime.QuadPart = info.LastWriteTime.QuadPart = 0;
    info.ChangeTime.QuadPart = 0;  // zero: the time stays as it is
    info.FileAttributes &= ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) != 0;
}

// Marks the open file for deletion at its last close, or takes the mark back.
bool setDeletePending(HANDLE h, bool pending) {
    FILE_DISPOSITION_INFO disposition = {BOOLEAN(pending ? TRUE : FALSE)};
    if (SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)) return true;
    return pending && clearReadOnly(h) &&
           SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
}

// Renames the open file onto name in dir, replacing a file or link there.
bool renameAt(HANDLE file, HANDLE dir, const char* name, bool replace) {
    std::wstring wide = utf8ToWide(name);
    const std::size_t bytes = wide.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFORMATION) + bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = dir;
    info->FileNameLength = ULONG(bytes);
    std::memcpy(info->FileName, wide.data(), bytes);
    IO_STATUS_BLOCK io{};
    NTSTATUS status = NtSetInformationFile(file, &io, info, ULONG(buffer.size()), FileRenameInformation);
    if (NT_SUCCESS(status)) return true;
    SetLastError(RtlNtStatusToDosError(status));
    return false;
}

// ".tn-" and 16 random hex digits: not guessable in advance.
bool randomName(std::string& name) {
    std::string hex;
    if (!randomHex(8, hex)) return false;
    name = ".tn-" + hex;
    return true;
}

bool openDirAt(HANDLE dir, const char* name, ULONG disposition, HANDLE& out) {
    if (openAt(dir, name, kDirAccess, kShareAll, disposition, FILE_DIRECTORY_FILE, out)) return true;
    return GetLastError() == ERROR_ACCESS_DENIED &&
           openAt(dir, name, kDirAccessReadOnly, kShareAll, disposition, FILE_DIRECTORY_FILE, out);
}

// The held folder's current path, for the one call that takes no directory handle.
std::wstring heldPath(HANDLE dir) {
    std::vector<wchar_t> buffer(1024);
    for (;;) {
        DWORD n = GetFinalPathNameByHandleW(dir, buffer.data(), DWORD(buffer.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0) return std::wstring();
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

}  // namespace

TarnelDir::~TarnelDir() { close(); }

void TarnelDir::close() {
    if (isOpen()) {
        DWORD err = GetLastError();
        CloseHandle(asHandle(m_handle));
        SetLastError(err);
    }
    m_handle = kInvalid;
}

bool TarnelDir::openPath(const char* utf8Path) {
    close();
    const std::string path = platformPath(utf8Path);
    const std::wstring wide = winPath(path.empty() ? "." : path.c_str());
    HANDLE h = INVALID_HANDLE_VALUE;
    for (ACCESS_MASK access : {kDirAccess, kDirAccessReadOnly}) {
        h = CreateFileW(wide.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) break;
    }
    if (h == INVALID_HANDLE_VALUE) return false;
    if (!isDirectory(attributesOf(h))) {
        CloseHandle(h);
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

TarnelDir::Kind TarnelDir::kindOf(const char* name) const {
    if (!isOpen() || refuseName(name)) return Kind::Unknown;
    HANDLE h;
    if (!openAt(asHandle(m_handle), name, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, FILE_OPEN, 0, h))
        return missing(GetLastError()) ? Kind::Missing : Kind::Unknown;
    const DWORD a = attributesOf(h);
    CloseHandle(h);
    if (a == INVALID_FILE_ATTRIBUTES) return Kind::Unknown;
    if (isReparse(a)) return Kind::Link;  // a junction counts as a link too
    return isDirectory(a) ? Kind::Directory : Kind::Other;
}

bool TarnelDir::openChild(const char* name, bool create, TarnelDir& child) const {
    child.close();
    if (!isOpen() || refuseName(name)) return false;
    HANDLE h;
    if (!openDirAt(asHandle(m_handle), name, create ? FILE_OPEN_IF : FILE_OPEN, h)) return false;
    // A link or junction opened as itself is never entered.
    if (isReparse(attributesOf(h))) {
        CloseHandle(h);
        SetLastError(ERROR_CANT_RESOLVE_FILENAME);
        return false;
    }
    child.m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

bool TarnelDir::createFile(const char* name, TarnelHandle& file) const {
    file.close();
    if (!isOpen() || refuseName(name)) return false;
    for (int round = 0; round < kReplaceRounds; ++round) {
        HANDLE h;
        if (openAt(asHandle(m_handle), name, kFileAccess, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, h)) {
            file.attach(handleToFd(h));
            return true;
        }
        if (!exists(GetLastError()) || !removeFile(name)) return false;
    }
    return false;
}

// Windows has no unnamed files: the file gets a random name, created exclusively, and is marked
// for deletion at once, so that the system removes it however the process ends until
// publishFile takes the mark back.
bool TarnelDir::createUnnamedFile(TarnelHandle& file, std::string& pending) const {
    file.close();
    pending.clear();
    if (!isOpen()) return false;
    for (int round = 0; round < kReplaceRounds; ++round) {
        if (!randomName(pending)) break;
        HANDLE h;
        if (openAt(asHandle(m_handle), pending.c_str(), kFileAccess, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, h)) {
            file.attach(handleToFd(h));
            if (setDeletePending(h, true)) return true;
            discardFile(file, pending);
            break;
        }
        if (!exists(GetLastError())) break;
    }
    pending.clear();
    return false;
}

// The rename replaces a file or a link itself and refuses a directory. A read-only file in the
// way refuses to be replaced, so it is removed first.
bool TarnelDir::publishFile(TarnelHandle& file, const std::string& pending, const char* name, bool replace) const {
    if (!isOpen() || !file.isOpen() || refuseName(name)) return false;
    HANDLE h = fdToHandle(file.descriptor());
    if (!setDeletePending(h, false)) return false;
    bool renamed = renameAt(h, asHandle(m_handle), name, replace);
    if (!renamed && replace && GetLastError() == ERROR_ACCESS_DENIED && kindOf(name) == Kind::Other && removeFile(name))
        renamed = renameAt(h, asHandle(m_handle), name, replace);
    if (renamed) return true;
    const DWORD err = GetLastError();
    if (!pending.empty()) setDeletePending(h, true);
    SetLastError(err);
    return false;
}

// Dropped through its own handle, never by name.
void TarnelDir::discardFile(TarnelHandle& file, const std::string&) const {
    if (file.isOpen()) setDeletePending(fdToHandle(file.descriptor()), true);
    file.close();
}

// CreateSymbolicLinkW takes no directory handle: the link is made at the held folder's current
// path and then checked, through the handle, to be a link at name. Windows grants link creation
// only to administrators or in developer mode; elsewhere this fails.
bool TarnelDir::createLink(const char* name, const char* target, bool replace) const {
    if (!isOpen() || refuseName(name) || !target) return false;
    std::wstring dir = heldPath(asHandle(m_handle));
    if (dir.empty()) return false;
    if (dir.back() != L'\\') dir += L'\\';
    const std::wstring path = dir + utf8ToWide(name);
    std::wstring to = utf8ToWide(target);
    for (wchar_t& c : to)
        if (c == L'/') c = L'\\';
    // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE, which Windows before 10 refuses as invalid.
    DWORD flags = 0x2;
    for (int round = 0; round < kReplaceRounds; ++round) {
        BOOL made = CreateSymbolicLinkW(path.c_str(), to.c_str(), flags);
        if (!made && flags && GetLastError() == ERROR_INVALID_PARAMETER) {
            flags = 0;
            made = CreateSymbolicLinkW(path.c_str(), to.c_str(), flags);
        }
        if (made) {
            if (kindOf(name) == Kind::Link) return true;
            SetLastError(ERROR_NOT_SUPPORTED);  // the call claimed success but made no link
            return false;
        }
        if (!exists(GetLastError()) || !replace || !removeFile(name)) return false;
    }
    return false;
}

// A link or junction is removed itself; a real directory is refused.
bool TarnelDir::removeFile(const char* name) const {
    if (!isOpen() || refuseName(name)) return false;
    HANDLE h;
    if (!openAt(asHandle(m_handle), name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                kShareAll, FILE_OPEN, 0, h))
        return missing(GetLastError());
    const DWORD a = attributesOf(h);
    bool ok = false;
    if (a == INVALID_FILE_ATTRIBUTES) {
    } else if (isDirectory(a) && !isReparse(a)) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else {
        ok = setDeletePending(h, true);
    }
    const DWORD err = GetLastError();
    CloseHandle(h);
    SetLastError(err);
    return ok;
}

bool TarnelDir::setTimesOf(const char* name, const FileTime& utc) const {
    if (!isOpen() || refuseName(name)) return false;
    HANDLE h;
    if (!openAt(asHandle(m_handle), name, FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, kShareAll, FILE_OPEN, 0, h))
        return false;
    const bool ok = platformSetFileTimes(handleToFd(h), utc.value(), utc.value());
    const DWORD err = GetLastError();
    CloseHandle(h);
    SetLastError(err);
    return ok;
}

bool TarnelDir::setTimes(const FileTime& utc) const {
    return isOpen() && platformSetFileTimes(handleToFd(asHandle(m_handle)), utc.value(), utc.value());
}

// Windows folders have no permission bits, and their read-only attribute keeps nothing out:
// there is nothing to apply.
bool TarnelDir::setPermissions(std::uint32_t) const { return isOpen(); }

bool TarnelDir::isNameTaken(int platformError) { return exists(DWORD(platformError)); }

std::uint32_t TarnelDir::defaultFileMode() { return 0666; }

// Files are always made under a private name here, marked for deletion until published.
void TarnelDir::setUnnamedFiles(UnnamedFiles) {}
