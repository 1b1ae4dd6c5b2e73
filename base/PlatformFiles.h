// The file services of the operating system, reached only through here. Paths come in the
// library's '\' form and are turned into '/' form at this boundary; bytes are passed unchanged
// (UTF-8). Failures return false or -1 and leave the system error in platformLastErrno().
#pragma once
#include <cstdint>
#include <string>

#include "base/FileAttributes.h"

// Platform error numbers as the library reasons about them.
constexpr int kErrorFileNotFound = 2;
constexpr int kErrorPathNotFound = 3;
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorNotReady = 21;
constexpr int kErrorSharingViolation = 32;

enum class PlatformOpen {
    Read,       // existing file, read only; a directory is refused
    ReadDir,    // existing file or directory, read only
    Write,      // create or truncate, write only
    ReadWrite,  // open or create, read and write
};

enum class PlatformSeek { Begin, Current, End };

// Counts of the handle-level platform calls made by this thread, so that callers that promise
// to avoid reads and seeks can be checked.
struct PlatformFileCounters {
    std::uint64_t reads = 0;
    std::uint64_t writes = 0;
    std::uint64_t seeks = 0;
};
PlatformFileCounters& platformFileCounters();

// The system error of the last failed call, its platform error number and its message text.
int platformLastErrno();
void platformSetLastErrno(int err);
int platformErrorFromErrno(int err);
std::string platformErrorText(int err);

std::string platformPath(const char* libraryPath);  // '\' turned into '/'

int platformOpenFile(const char* path, PlatformOpen mode);
void platformCloseFile(int fd);
// Reads until count bytes or end of file; count read out.
bool platformRead(int fd, void* buffer, std::uint32_t count, std::uint32_t& got);
// Writes all bytes unless the system fails; count written out.
bool platformWrite(int fd, const void* bytes, std::uint32_t count, std::uint32_t& put);
bool platformSeek(int fd, std::int64_t offset, PlatformSeek from, std::int64_t& position);
bool platformFileSize(int fd, std::int64_t& size);
// File times as UTC FileTime values. Without a birth time the creation time is the last write.
bool platformFileTimes(int fd, std::uint64_t& creation, std::uint64_t& access, std::uint64_t& write);
bool platformSetFileTimes(int fd, std::uint64_t access, std::uint64_t write);
// The read-only bit of the attribute word, and POSIX permission bits, on an open file.
bool platformSetHandleAttributes(int fd, std::uint32_t attributes);
bool platformSetHandleMode(int fd, std::uint32_t mode);

bool platformGetAttributes(const char* path, std::uint32_t& attributes);
bool platformSetAttributes(const char* path, std::uint32_t attributes);
bool platformLastWriteTime(const char* path, std::uint64_t& write);
bool platformCreateDirectory(const char* path);
bool platformDeleteFile(const char* path);
bool platformCopyFile(const char* from, const char* to, bool failIfExists);

bool platformCurrentDir(std::string& out);  // no trailing '/'
std::string platformTempDir();              // with a trailing '/'
void platformSleepMs(unsigned ms);
#ifdef _WIN32
// GetFullPathNameW of the path; the path unchanged when the call fails. (POSIX paths are made
// absolute lexically in FilePaths.)
std::string platformFullPath(const char* path);
#endif
