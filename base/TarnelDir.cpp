// POSIX directory handles: every operation is relative to an open directory descriptor
// (openat and friends), with O_NOFOLLOW or AT_SYMLINK_NOFOLLOW on each name.
#include "base/TarnelDir.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/PlatformFiles.h"
#include "base/RandomHex.h"
#include "base/TarnelHandle.h"

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
// A name that reappears between removal and exclusive creation is another process at work:
// a few rounds, then give up rather than spin.
constexpr int kReplaceRounds = 4;

int fdOf(std::intptr_t handle) { return static_cast<int>(handle); }

bool refuseName(const char* name) {
    if (TarnelDir::isPlainName(name)) return false;
    errno = EINVAL;
    return true;
}

// ".tn-" and 16 random hex digits: not guessable in advance, hidden from plain listings.
bool randomName(std::string& name) {
    std::string hex;
    if (!randomHex(8, hex)) return false;
    name = ".tn-" + hex;
    return true;
}

timespec toTimespec(const FileTime& utc) {
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
    const std::uint64_t v = utc.value();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(v / 10000000) - kSecondsFrom1601To1970);
    ts.tv_nsec = static_cast<long>(v % 10000000) * 100;
    return ts;
}

}  // namespace

TarnelDir::~TarnelDir() { close(); }

void TarnelDir::close() {
    if (isOpen()) platformCloseFile(fdOf(m_handle));
    m_handle = kInvalid;
}

bool TarnelDir::openPath(const char* utf8Path) {
    close();
    const std::string path = platformPath(utf8Path);
    const char* at = path.empty() ? "." : path.c_str();
    int fd;
    do fd = ::open(at, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    m_handle = fd;
    return true;
}

TarnelDir::Kind TarnelDir::kindOf(const char* name) const {
    if (!isOpen() || refuseName(name)) return Kind::Unknown;
    struct stat st;
    if (fstatat(fdOf(m_handle), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Kind::Missing : Kind::Unknown;
    if (S_ISDIR(st.st_mode)) return Kind::Directory;
    return S_ISLNK(st.st_mode) ? Kind::Link : Kind::Other;
}

bool TarnelDir::openChild(const char* name, bool create, TarnelDir& child) const {
    child.close();
    if (!isOpen() || refuseName(name)) return false;
    const int dir = fdOf(m_handle);
    if (create && mkdirat(dir, name, 0777) != 0 && errno != EEXIST) return false;
    int fd;
    do fd = openat(dir, name, kDirFlags);
    while (fd < 0 && errno == EINTR);
    // A folder we may pass through but not list still serves as a place to create in.
    if (fd < 0 && errno == EACCES) fd = openat(dir, name, kDirFlags | O_PATH);
    if (fd < 0) return false;  // ELOOP for a link, ENOTDIR for a file
    child.m_handle = fd;
    return true;
}

bool TarnelDir::createFile(const char* name, TarnelHandle& file) const {
    file.close();
    if (!isOpen() || refuseName(name)) return false;
    const int dir = fdOf(m_handle);
    for (int round = 0; round < kReplaceRounds; ++round) {
        int fd = openat(dir, name, kFileFlags, 0666);
        if (fd >= 0) {
            file.attach(fd);
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EEXIST) return false;
        if (unlinkat(dir, name, 0) != 0 && errno != ENOENT) return false;  // EISDIR: a directory
    }
    return false;
}

bool TarnelDir::createUnnamedFile(TarnelHandle& file, std::string& pending) const {
    file.close();
    pending.clear();
    if (!isOpen()) return false;
    const int dir = fdOf(m_handle);
    int fd = openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        file.attach(fd);
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    for (int round = 0; round < kReplaceRounds; ++round) {
        if (!randomName(pending)) return false;
        fd = openat(dir, pending.c_str(), kFileFlags, 0666);
        if (fd >= 0) {
            file.attach(fd);
            return true;
        }
        if (errno != EEXIST) break;
    }
    pending.clear();
    return false;
}

// An unnamed file is linked straight onto a free name (linkat creates only, never following
// a link at the new name). Where the name is taken, it first gets a random private name (linkat
// cannot replace), and like every named file it is then renamed onto its name: rename replaces
// a file or a link itself and refuses a directory.
bool TarnelDir::publishFile(TarnelHandle& file, const std::string& pending, const char* name) const {
    if (!isOpen() || !file.isOpen() || refuseName(name)) return false;
    const int dir = fdOf(m_handle);
    std::string temp = pending;
    if (temp.empty()) {
        char self[32];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.descriptor());
        if (linkat(AT_FDCWD, self, dir, name, AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
        bool linked = false;
        for (int round = 0; round < kReplaceRounds && !linked; ++round) {
            if (!randomName(temp)) return false;
            linked = linkat(AT_FDCWD, self, dir, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
            if (!linked && errno != EEXIST) return false;
        }
        if (!linked) return false;
    }
    if (renameat(dir, temp.c_str(), dir, name) == 0) return true;
    const int err = errno;
    unlinkat(dir, temp.c_str(), 0);
    errno = err;
    return false;
}

void TarnelDir::discardFile(TarnelHandle& file, const std::string& pending) const {
    file.close();
    if (isOpen() && !pending.empty()) unlinkat(fdOf(m_handle), pending.c_str(), 0);
}

bool TarnelDir::createLink(const char* name, const char* target) const {
    if (!isOpen() || refuseName(name) || !target) return false;
    const int dir = fdOf(m_handle);
    for (int round = 0; round < kReplaceRounds; ++round) {
        if (symlinkat(target, dir, name) == 0) return true;
        if (errno != EEXIST) return false;
        if (unlinkat(dir, name, 0) != 0 && errno != ENOENT) return false;
    }
    return false;
}

bool TarnelDir::removeFile(const char* name) const {
    if (!isOpen() || refuseName(name)) return false;
    return unlinkat(fdOf(m_handle), name, 0) == 0 || errno == ENOENT;
}

bool TarnelDir::setTimesOf(const char* name, const FileTime& utc) const {
    if (!isOpen() || refuseName(name)) return false;
    const timespec times[2] = {toTimespec(utc), toTimespec(utc)};
    return utimensat(fdOf(m_handle), name, times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool TarnelDir::setTimes(const FileTime& utc) const {
    if (!isOpen()) return false;
    const timespec times[2] = {toTimespec(utc), toTimespec(utc)};
    return futimens(fdOf(m_handle), times) == 0;
}

bool TarnelDir::setPermissions(std::uint32_t mode) const {
    return isOpen() && fchmod(fdOf(m_handle), static_cast<mode_t>(mode & 0777)) == 0;
}
