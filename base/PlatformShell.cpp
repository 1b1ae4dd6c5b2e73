// POSIX shell and process services of the launcher.
#include "base/PlatformShell.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/PlatformFiles.h"

extern char** environ;

namespace {

bool deleteEntryAt(int dirFd, const char* name);

// Empties the directory open as fd (which this function closes).
bool deleteDirectoryContent(int fd) {
    // A read-only directory would keep its children; the tree is ours to remove.
    fchmod(fd, S_IRWXU);
    DIR* dir = fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        ok = deleteEntryAt(dirfd(dir), name.c_str()) && ok;
    }
    closedir(dir);
    return ok;
}

bool deleteEntryAt(int dirFd, const char* name) {
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return unlinkat(dirFd, name, 0) == 0;
    int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    bool ok = fd >= 0 && deleteDirectoryContent(fd);
    return unlinkat(dirFd, name, AT_REMOVEDIR) == 0 && ok;
}

}  // namespace

int platformOpenSelfExe() {
    int fd;
    do fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

std::string platformLocalAppDataDir() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache) return cache;
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.cache" : std::string();
}

bool platformIsDirectory(const char* path) {
    struct stat st;
    return ::stat(platformPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool platformIsNoexecMount(const char* path) {
    struct statvfs vfs;
    return statvfs(platformPath(path).c_str(), &vfs) == 0 && (vfs.f_flag & ST_NOEXEC) != 0;
}

int platformCreatePrivateFile(const char* path) {
    int fd;
    do fd = ::open(platformPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool platformCreatePrivateDirectory(const char* path) {
    std::string p = platformPath(path);
    if (::mkdir(p.c_str(), S_IRWXU) != 0) return false;
    // The umask may have taken the owner's own rights; give them back, nothing else.
    return ::chmod(p.c_str(), S_IRWXU) == 0;
}

bool platformDeleteTree(const char* path) {
    std::string p = platformPath(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return deleteEntryAt(AT_FDCWD, p.c_str());
}

bool platformMakeOwnerExecutable(const char* path) {
    int fd = ::open(platformPath(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, (st.st_mode & 07777) | S_IXUSR) == 0;
    ::close(fd);
    return ok;
}

long platformStartProgram(const char* path) {
    std::string p = platformPath(path);
    char* argv[] = {p.data(), nullptr};
    pid_t pid;
    return posix_spawn(&pid, p.c_str(), nullptr, nullptr, argv, environ) == 0 ? long(pid) : -1;
}

void platformWaitProgram(long pid) {
    if (pid <= 0) return;
    int status;
    while (waitpid(pid_t(pid), &status, 0) < 0 && errno == EINTR) {
    }
}
