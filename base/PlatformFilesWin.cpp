// Win32 file services. Paths arrive as UTF-8 in '\' (or '/') form and reach the system as
// UTF-16 through the wide calls; errors are the system's own error numbers.
#include "base/PlatformFiles.h"

#include <vector>

#include "base/PathsWin.h"

namespace {

thread_local PlatformFileCounters t_counters;

std::uint64_t fromFiletime(const FILETIME& ft) { return (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

FILETIME toFiletime(std::uint64_t v) {
    FILETIME ft;
    ft.dwLowDateTime = DWORD(v);
    ft.dwHighDateTime = DWORD(v >> 32);
    return ft;
}

struct OpenModes {
    DWORD access, sharing, creation, flags;
};

// Writers never follow a reparse point: a link planted where a file is to be written is
// replaced or refused, never written through.
const OpenModes kModes[] = {
    {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL},
    {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS},
    {GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT},
    {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT},
};

bool isReparsePoint(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

PlatformFileCounters& platformFileCounters() { return t_counters; }

int platformLastErrno() { return int(GetLastError()); }
void platformSetLastErrno(int err) { SetLastError(DWORD(err)); }
int platformErrorFromErrno(int err) { return err; }

std::string platformErrorText(int err) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(err), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"Error " + std::to_wstring(err);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return wideToUtf8(message);
}

std::string platformPath(const char* libraryPath) {
    std::string path(libraryPath ? libraryPath : "");
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

int platformOpenFile(const char* path, PlatformOpen mode) {
    const OpenModes& m = kModes[int(mode)];
    HANDLE h = CreateFileW(winPath(path).c_str(), m.access, m.sharing, nullptr, m.creation, m.flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    if ((m.flags & FILE_FLAG_OPEN_REPARSE_POINT) && isReparsePoint(h)) {
        CloseHandle(h);
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    return handleToFd(h);
}

void platformCloseFile(int fd) {
    DWORD err = GetLastError();
    CloseHandle(fdToHandle(fd));
    SetLastError(err);
}

bool platformRead(int fd, void* buffer, std::uint32_t count, std::uint32_t& got) {
    ++t_counters.reads;
    got = 0;
    while (got < count) {
        DWORD n = 0;
        if (!ReadFile(fdToHandle(fd), static_cast<char*>(buffer) + got, count - got, &n, nullptr))
            return GetLastError() == ERROR_HANDLE_EOF;
        if (n == 0) break;
        got += n;
    }
    return true;
}

bool platformWrite(int fd, const void* bytes, std::uint32_t count, std::uint32_t& put) {
    ++t_counters.writes;
    put = 0;
    while (put < count) {
        DWORD n = 0;
        if (!WriteFile(fdToHandle(fd), static_cast<const char*>(bytes) + put, count - put, &n, nullptr) || n == 0)
            return false;
        put += n;
    }
    return true;
}

bool platformSeek(int fd, std::int64_t offset, PlatformSeek from, std::int64_t& position) {
    ++t_counters.seeks;
    static const DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(fdToHandle(fd), distance, &result, kMethod[int(from)])) return false;
    position = result.QuadPart;
    return true;
}

bool platformFileSize(int fd, std::int64_t& size) {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(fdToHandle(fd), &value)) return false;
    size = value.QuadPart;
    return true;
}

bool platformFileTimes(int fd, std::uint64_t& creation, std::uint64_t& access, std::uint64_t& write) {
    FILETIME c, a, w;
    if (!GetFileTime(fdToHandle(fd), &c, &a, &w)) return false;
    creation = fromFiletime(c);
    access = fromFiletime(a);
    write = fromFiletime(w);
    return true;
}

// Windows can set the creation time too: it gets the last-write time, so that an extracted
// file shows the archive's time in every column.
bool platformSetFileTimes(int fd, std::uint64_t access, std::uint64_t write) {
    FILETIME a = toFiletime(access), w = toFiletime(write);
    return SetFileTime(fdToHandle(fd), &w, &a, &w) != 0;
}

// Only the read-only bit is carried over to an open file; its other attributes stay.
bool platformSetHandleAttributes(int fd, std::uint32_t attributes) {
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(fdToHandle(fd), FileBasicInfo, &info, sizeof info)) return false;
    const DWORD wanted = (info.FileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY)) |
                         (attributes & FILE_ATTRIBUTE_READONLY);
    if (wanted == info.FileAttributes) return true;
    // Zero times leave the file's times as they are; zero attributes would too, hence NORMAL.
    info.CreationTime.QuadPart = info.LastAccessTime.QuadPart = info.LastWriteTime.QuadPart = info.ChangeTime.QuadPart =
        0;
    info.FileAttributes = wanted ? wanted : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(fdToHandle(fd), FileBasicInfo, &info, sizeof info) != 0;
}

// Windows files have no permission bits: a file its owner may not write is read-only.
bool platformSetHandleMode(int fd, std::uint32_t mode) {
    return platformSetHandleAttributes(fd, (mode & 0200) ? 0 : FILE_ATTRIBUTE_READONLY);
}

bool platformGetAttributes(const char* path, std::uint32_t& attributes) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(winPath(path).c_str(), GetFileExInfoStandard, &data)) return false;
    attributes = data.dwFileAttributes;
    return true;
}

bool platformSetAttributes(const char* path, std::uint32_t attributes) {
    return SetFileAttributesW(winPath(path).c_str(), attributes) != 0;
}

bool platformLastWriteTime(const char* path, std::uint64_t& write) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(winPath(path).c_str(), GetFileExInfoStandard, &data)) return false;
    write = fromFiletime(data.ftLastWriteTime);
    return true;
}

bool platformCreateDirectory(const char* path) { return CreateDirectoryW(winPath(path).c_str(), nullptr) != 0; }

bool platformDeleteFile(const char* path) { return DeleteFileW(winPath(path).c_str()) != 0; }

bool platformCopyFile(const char* from, const char* to, bool failIfExists) {
    return CopyFileW(winPath(from).c_str(), winPath(to).c_str(), failIfExists) != 0;
}

bool platformCurrentDir(std::string& out) {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return false;
    std::vector<wchar_t> buffer(n + 1);
    n = GetCurrentDirectoryW(DWORD(buffer.size()), buffer.data());
    if (n == 0 || n >= buffer.size()) return false;
    std::wstring dir(buffer.data(), n);
    // A drive's root keeps its separator ("C:\"); every other directory loses it.
    if (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
    out = wideToUtf8(dir);
    return true;
}

// GetTempPathW, then GetLongPathNameW in place, as the launcher reads it: the user's
// temporary directory in its long form, with a trailing '\'.
std::string platformTempDir() {
    wchar_t buffer[1024] = {};
    GetTempPathW(1024, buffer);
    GetLongPathNameW(buffer, buffer, 1024);
    std::string path = wideToUtf8(buffer);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

void platformSleepMs(unsigned ms) { Sleep(ms); }

std::string platformFullPath(const char* path) {
    std::wstring in = utf8ToWide(platformPath(path));
    wchar_t buffer[2048];
    DWORD n = GetFullPathNameW(in.c_str(), 2048, buffer, nullptr);
    return n == 0 || n >= 2048 ? platformPath(path) : wideToUtf8(std::wstring(buffer, n));
}
