// Win32 shell and process services of the launcher.
#include "base/PlatformShell.h"

#include <aclapi.h>
#include <bcrypt.h>
#include <shlobj.h>

#include <atomic>
#include <vector>

#include "base/OwnerOnlySecurityWin.h"
#include "base/PathsWin.h"
#include "base/PlatformFiles.h"

namespace {

bool deleteTreeW(const std::wstring& path);

// Removes what lies below dir. A reparse point (junction, symbolic link) is removed itself and
// never entered, so the walk cannot leave the tree.
bool deleteChildren(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        ok = deleteTreeW(dir + L"\\" + name) && ok;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return ok;
}

bool deleteTreeW(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    // Read-only entries would refuse deletion; the tree is ours to remove.
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    bool isDir = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return isDir ? RemoveDirectoryW(path.c_str()) != 0 : DeleteFileW(path.c_str()) != 0;
    if (!isDir) return DeleteFileW(path.c_str()) != 0;
    bool ok = deleteChildren(path);
    return RemoveDirectoryW(path.c_str()) != 0 && ok;
}

HANDLE asHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// Removes what lies below a held folder, listing it through the handle itself rather than by
// its name.
bool deleteHeldChildren(HANDLE dir, const std::wstring& path) {
    alignas(8) static thread_local char buffer[64 * 1024];
    std::vector<std::wstring> names;
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(dir, kind, buffer, sizeof buffer)) {
        kind = FileIdBothDirectoryInfo;
        for (char* at = buffer;;) {
            auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(at);
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(name);
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    if (GetLastError() != ERROR_NO_MORE_FILES) return false;
    bool ok = true;
    for (const std::wstring& name : names) ok = deleteTreeW(path + L"\\" + name) && ok;
    return ok;
}

// The path the system gives a held file or folder now, in its plain form when it is short
// enough (wine and older programs handle that best); empty when it cannot be had.
std::wstring finalPath(std::intptr_t handle) {
    wchar_t buffer[2048];
    DWORD n = GetFinalPathNameByHandleW(asHandle(handle), buffer, 2048, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= 2048) return std::wstring();
    std::wstring path(buffer, n);
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return path;
    if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() - 4 < MAX_PATH) path.erase(0, 4);
    return path;
}

std::wstring childPath(PlatformFolder folder, const char* name) {
    std::wstring dir = finalPath(folder);
    if (dir.empty()) return dir;
    if (dir.back() != L'\\') dir += L'\\';
    return dir + utf8ToWide(name);
}

bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool isPlainDirectory(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The current user's SID, held for the process's lifetime.
PSID currentUser() {
    static std::vector<char> user = [] {
        std::vector<char> out;
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return out;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        out.resize(size);
        if (!size || !GetTokenInformation(token, TokenUser, out.data(), size, &size)) out.clear();
        CloseHandle(token);
        return out;
    }();
    return user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

bool isWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// True when an entry of the DACL lets everyone (or every user) add files or folders.
bool othersMayAdd(PACL dacl) {
    if (!dacl) return true;  // a null DACL admits everyone
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        if (ace->Header.AceFlags & INHERIT_ONLY_ACE) continue;
        PSID sid = &ace->SidStart;
        bool everyone = isWellKnown(sid, WinWorldSid) || isWellKnown(sid, WinBuiltinUsersSid) ||
                        isWellKnown(sid, WinAuthenticatedUserSid);
        if (everyone && (ace->Mask & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE | GENERIC_ALL)))
            return true;
    }
    return false;
}

std::atomic<void (*)(int, bool)> g_interruptHandler{nullptr};

constexpr int kSignalInterrupt = 2;   // Ctrl+C, Ctrl+Break
constexpr int kSignalHangUp = 1;      // the console closed, the user logged off
constexpr int kSignalTerminate = 15;  // the system shuts down

// Console events reach every process attached to the console, a started viewer too: they
// count as coming from the terminal.
BOOL WINAPI consoleEvent(DWORD type) {
    auto handler = g_interruptHandler.load();
    if (!handler) return FALSE;
    int signal = type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT ? kSignalInterrupt
                 : type == CTRL_CLOSE_EVENT                       ? kSignalHangUp
                                                                  : kSignalTerminate;
    handler(signal, true);
    return TRUE;
}

BOOL CALLBACK closeWindowsOf(HWND window, LPARAM processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == DWORD(processId) && IsWindowVisible(window)) PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

// GetModuleFileNameW of this process's module, opened for reading and shared for reading.
int platformOpenSelfExe() {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH) == 0) return -1;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handleToFd(h);
}

std::string platformLocalAppDataDir() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return std::string();
    return wideToUtf8(path);
}

// FindFirstFileW on the path itself: a folder is one whose entry carries the directory bit.
bool platformIsDirectory(const char* path) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(winPath(path).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Windows has no mount option that keeps programs from starting.
bool platformIsNoexecMount(const char*) { return false; }

// AccessCheck of this user's token against the folder's descriptor for adding files and
// folders.
bool platformIsWritableFolder(const char* path) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    const SECURITY_INFORMATION info = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                      DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoW(winPath(path).c_str(), SE_FILE_OBJECT, info, nullptr, nullptr, nullptr, nullptr, &sd) !=
        ERROR_SUCCESS)
        return false;
    HANDLE token = nullptr, impersonation = nullptr;
    bool allowed = false;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &token) &&
        DuplicateToken(token, SecurityImpersonation, &impersonation)) {
        GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
        DWORD wanted = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY, granted = 0;
        BOOL status = FALSE;
        PRIVILEGE_SET privileges;
        DWORD privilegesSize = sizeof privileges;
        allowed = AccessCheck(sd, impersonation, wanted, &mapping, &privileges, &privilegesSize, &granted, &status) &&
                  status;
    }
    if (impersonation) CloseHandle(impersonation);
    if (token) CloseHandle(token);
    LocalFree(sd);
    return allowed;
}

// Open to others: every user may add entries and the folder belongs to someone else (a
// shared folder such as C:\Windows\Temp).
bool platformIsOpenToOthers(const char* path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(winPath(path).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl, nullptr,
                              &sd) != ERROR_SUCCESS)
        return true;
    PSID user = currentUser();
    bool open = othersMayAdd(dacl) && !(owner && user && EqualSid(owner, user));
    LocalFree(sd);
    return open;
}

bool platformRandomBytes(void* buffer, std::size_t count) {
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), ULONG(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

PlatformFolder platformOpenFolder(const char* path) {
    HANDLE h = CreateFileW(winPath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kNoFolder;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        return kNoFolder;
    }
    return reinterpret_cast<PlatformFolder>(h);
}

void platformCloseFolder(PlatformFolder folder) {
    if (folder != kNoFolder) CloseHandle(asHandle(folder));
}

// Created under the held folder's current path, exclusively and never through a reparse
// point, with the owner-only descriptor: only this user can open, move or delete it. The
// handle asks for no deletion right, so the library can open the file again by its path.
int platformCreatePrivateFileIn(PlatformFolder folder, const char* name, bool& exists) {
    exists = false;
    OwnerOnlySecurity security;
    std::wstring path = childPath(folder, name);
    if (!security.ready() || path.empty()) return -1;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, security.attributes(), CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        exists = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
    return handleToFd(h);
}

// Made with the owner-only descriptor, so that no other user can move, replace or enter it.
// The handle asks for no deletion right and shares everything: the viewer and other programs
// of this user list and open the folder as they please.
PlatformFolder platformCreatePrivateFolderIn(PlatformFolder folder, const char* name, bool& exists) {
    exists = false;
    OwnerOnlySecurity security;
    std::wstring path = childPath(folder, name);
    if (!security.ready() || path.empty()) return kNoFolder;
    if (!CreateDirectoryW(path.c_str(), security.attributes())) {
        exists = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS;
        return kNoFolder;
    }
    HANDLE h = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kNoFolder;
    if (!isPlainDirectory(h)) {
        CloseHandle(h);
        return kNoFolder;
    }
    return reinterpret_cast<PlatformFolder>(h);
}

bool platformIsSameEntry(PlatformFolder folder, const char* name, std::intptr_t handle) {
    std::wstring path = childPath(folder, name);
    if (path.empty()) return false;
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool same = sameFile(h, asHandle(handle));
    CloseHandle(h);
    return same;
}

bool deleteOnClose(HANDLE h) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Deleted through a handle opened now and checked to be the very entry held.
bool platformRemoveEntryIfSame(PlatformFolder folder, const char* name, std::intptr_t handle) {
    if (!platformIsSameEntry(folder, name, handle)) return false;
    std::wstring path = childPath(folder, name);
    HANDLE h = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = sameFile(h, asHandle(handle)) && deleteOnClose(h);
    CloseHandle(h);
    return ok;
}

// The held entry's own current path (no other user may rename it; the path follows a rename of
// the folders above it).
std::string platformHandlePath(std::intptr_t handle, const std::string& name) {
    std::wstring path = finalPath(handle);
    return path.empty() ? name : wideToUtf8(path);
}

bool platformDeleteFolderContent(PlatformFolder folder) {
    std::wstring path = finalPath(folder);
    return !path.empty() && deleteHeldChildren(asHandle(folder), path);
}

// Windows decides by the name: a ".exe" needs no permission bit to start.
bool platformMakeOwnerExecutableIn(PlatformFolder folder, const char* name) {
    std::wstring path = childPath(folder, name);
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// One argument quoted as the C runtime's command-line parser reads it back: backslashes double
// only before a quote, which is escaped.
std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    for (auto it = argument.begin();; ++it) {
        std::size_t backslashes = 0;
        for (; it != argument.end() && *it == L'\\'; ++it) ++backslashes;
        if (it == argument.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        quoted.append(*it == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted.push_back(*it);
    }
    return quoted + L"\"";
}

// ERROR_ELEVATION_REQUIRED, which MinGW's headers lack.
constexpr DWORD kElevationRequired = 740;

// A program whose manifest asks for elevation cannot be created directly; the shell asks the
// user for consent and starts it, as a double click would.
long startElevated(const std::wstring& program, const std::wstring& parameters, const std::wstring& folder) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info) || !info.hProcess) return -1;
    return long(HandleToLong(info.hProcess));
}

}  // namespace

// CreateProcessW of the program in the held folder, with the shown path and the arguments as its
// command line, working in that folder; the process handle travels as the id.
long platformStartProgramIn(PlatformFolder folder, const char* name, const char* shownPath,
                            const std::vector<std::string>& arguments) {
    std::wstring program = childPath(folder, name);
    std::wstring directory = finalPath(folder);
    if (program.empty() || directory.empty()) return -1;
    std::wstring parameters;
    for (const std::string& argument : arguments) parameters += L" " + quoteArgument(utf8ToWide(argument));
    std::wstring commandLine = quoteArgument(utf8ToWide(platformPath(shownPath))) + parameters;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                        &startup, &process))
        return GetLastError() == kElevationRequired
                   ? startElevated(program, parameters.empty() ? parameters : parameters.substr(1), directory)
                   : -1;
    CloseHandle(process.hThread);
    return long(HandleToLong(process.hProcess));
}

void platformWaitProgram(long pid) {
    if (pid > 0) WaitForSingleObject(LongToHandle(pid), INFINITE);
}

ProgramEnd platformReleaseProgram(long pid) {
    ProgramEnd end;
    if (pid <= 0) return end;
    DWORD code = 0;
    if (GetExitCodeProcess(LongToHandle(pid), &code)) end.status = code;
    CloseHandle(LongToHandle(pid));
    return end;
}

bool platformWatchInterrupts(void (*handler)(int signal, bool fromTerminal)) {
    g_interruptHandler = handler;
    return SetConsoleCtrlHandler(consoleEvent, TRUE) != 0;
}

// A Windows program has no signals: it is asked to close its windows, as the system does at
// log-off.
bool platformSignalProgram(long pid, int) {
    DWORD id = GetProcessId(LongToHandle(pid));
    return id != 0 && EnumWindows(closeWindowsOf, LPARAM(id));
}

void platformEndByInterrupt(int) { ExitProcess(STATUS_CONTROL_C_EXIT); }

// Windows programs end by exit codes alone.
void platformEndBySignal(int) { ExitProcess(STATUS_CONTROL_C_EXIT); }

void platformTestStop(const char*) {}
