// POSIX file services.
#include "base/PlatformFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local PlatformFileCounters t_counters;

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::uint32_t kCopyChunk = 1 << 16;

std::uint64_t toFileTime(const timespec& ts) {
    std::int64_t seconds = ts.tv_sec + kSecondsFrom1601To1970;
    if (seconds < 0) return 0;
    return std::uint64_t(seconds) * 10000000 + std::uint64_t(ts.tv_nsec / 100);
}

timespec fromFileTime(std::uint64_t v) {
    timespec ts{};
    ts.tv_sec = std::time_t(std::int64_t(v / 10000000) - kSecondsFrom1601To1970);
    ts.tv_nsec = long(v % 10000000) * 100;
    return ts;
}

// The last component of a '/' path, trailing separators ignored.
std::string lastComponent(const std::string& path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return std::string();
    std::size_t slash = path.rfind('/', end);
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end - start + 1);
}

bool isHiddenName(const std::string& name) { return name.size() > 0 && name[0] == '.' && name != "." && name != ".."; }

bool copyContents(int from, int to) {
    char buffer[kCopyChunk];
    for (;;) {
        ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(to, buffer + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

}  // namespace

PlatformFileCounters& platformFileCounters() { return t_counters; }

int platformLastErrno() { return errno; }
void platformSetLastErrno(int err) { errno = err; }

int platformErrorFromErrno(int err) {
    switch (err) {
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM: return kErrorAccessDenied;
        case ETXTBSY:
        case EBUSY: return kErrorSharingViolation;
        default: return err;
    }
}

std::string platformErrorText(int err) {
    char buffer[256];
    return std::string(strerror_r(err, buffer, sizeof buffer));
}

std::string platformPath(const char* libraryPath) {
    std::string path(libraryPath ? libraryPath : "");
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

int platformOpenFile(const char* path, PlatformOpen mode) {
    static const int kFlags[] = {O_RDONLY, O_RDONLY, O_WRONLY | O_CREAT | O_TRUNC, O_RDWR | O_CREAT};
    int fd;
    do fd = ::open(platformPath(path).c_str(), kFlags[int(mode)] | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 || mode != PlatformOpen::Read) return fd;
    struct stat st;
    int err = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err == 0) return fd;
    ::close(fd);
    errno = err;
    return -1;
}

void platformCloseFile(int fd) {
    int err = errno;
    ::close(fd);
    errno = err;
}

bool platformRead(int fd, void* buffer, std::uint32_t count, std::uint32_t& got) {
    ++t_counters.reads;
    got = 0;
    while (got < count) {
        ssize_t n = ::read(fd, static_cast<char*>(buffer) + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += std::uint32_t(n);
    }
    return true;
}

bool platformWrite(int fd, const void* bytes, std::uint32_t count, std::uint32_t& put) {
    ++t_counters.writes;
    put = 0;
    while (put < count) {
        ssize_t n = ::write(fd, static_cast<const char*>(bytes) + put, count - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        put += std::uint32_t(n);
    }
    return true;
}

bool platformSeek(int fd, std::int64_t offset, PlatformSeek from, std::int64_t& position) {
    ++t_counters.seeks;
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t result = ::lseek(fd, off_t(offset), kWhence[int(from)]);
    if (result < 0) return false;
    position = result;
    return true;
}

bool platformFileSize(int fd, std::int64_t& size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    size = st.st_size;
    return true;
}

bool platformFileTimes(int fd, std::uint64_t& creation, std::uint64_t& access, std::uint64_t& write) {
    struct statx sx;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
    timespec a{sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    timespec m{sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    timespec b{sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
    access = toFileTime(a);
    write = toFileTime(m);
    creation = (sx.stx_mask & STATX_BTIME) ? toFileTime(b) : write;
    return true;
}

bool platformSetFileTimes(int fd, std::uint64_t access, std::uint64_t write) {
    timespec times[2] = {fromFileTime(access), fromFileTime(write)};
    return futimens(fd, times) == 0;
}

bool platformGetAttributes(const char* path, std::uint32_t& attributes) {
    std::string p = platformPath(path);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return false;
    attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
    if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
    if (isHiddenName(lastComponent(p))) attributes |= kAttrHidden;
    if (attributes == 0) attributes = kAttrNormal;
    return true;
}

// Only the read-only bit has a counterpart: it takes every write permission away, and its
// absence gives the owner write permission back.
static mode_t modeWithAttributes(mode_t mode, std::uint32_t attributes) {
    return (attributes & kAttrReadOnly) ? mode & ~mode_t(0222) : mode | S_IWUSR;
}

bool platformSetAttributes(const char* path, std::uint32_t attributes) {
    std::string p = platformPath(path);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return false;
    mode_t mode = modeWithAttributes(st.st_mode & 07777, attributes);
    return mode == (st.st_mode & 07777) || ::chmod(p.c_str(), mode) == 0;
}

bool platformSetHandleAttributes(int fd, std::uint32_t attributes) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    mode_t mode = modeWithAttributes(st.st_mode & 07777, attributes);
    return mode == (st.st_mode & 07777) || fchmod(fd, mode) == 0;
}

bool platformSetHandleMode(int fd, std::uint32_t mode) { return fchmod(fd, mode_t(mode & 0777)) == 0; }

bool platformLastWriteTime(const char* path, std::uint64_t& write) {
    struct stat st;
    if (::stat(platformPath(path).c_str(), &st) != 0) return false;
    write = toFileTime(st.st_mtim);
    return true;
}

bool platformCreateDirectory(const char* path) { return ::mkdir(platformPath(path).c_str(), 0777) == 0; }

bool platformDeleteFile(const char* path) { return ::unlink(platformPath(path).c_str()) == 0; }

// Copies content, permission bits and times. A copy that fails half-way is removed again;
// a file is never copied onto itself (that would truncate the source).
bool platformCopyFile(const char* from, const char* to, bool failIfExists) {
    int in = platformOpenFile(from, PlatformOpen::Read);
    if (in < 0) return false;
    std::string target = platformPath(to);
    struct stat src, dst;
    fstat(in, &src);
    if (::stat(target.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
        platformCloseFile(in);
        errno = failIfExists ? EEXIST : EINVAL;
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
    int out = ::open(target.c_str(), flags, src.st_mode & 0777);
    const timespec times[2] = {src.st_atim, src.st_mtim};
    bool ok = out >= 0 && copyContents(in, out) && fchmod(out, src.st_mode & 07777) == 0 && futimens(out, times) == 0;
    int err = errno;
    if (out >= 0) ::close(out);
    if (!ok && out >= 0) ::unlink(target.c_str());
    ::close(in);
    errno = err;
    return ok;
}

bool platformCurrentDir(std::string& out) {
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return false;
    out = buffer;
    return true;
}

std::string platformTempDir() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

void platformSleepMs(unsigned ms) {
    timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}
