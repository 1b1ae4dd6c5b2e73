// POSIX shell and process services of the launcher.
#include "base/PlatformShell.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/PlatformFiles.h"

extern char** environ;

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The interrupts taken over by platformWatchInterrupts: those the process was not started
// ignoring (under nohup, a hang-up must stay without effect, for the started program too).
sigset_t g_watched;

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

// A second open of a held folder with a read position of its own.
int reopenFolder(PlatformFolder folder) { return openat(int(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

bool folderIsEmpty(PlatformFolder folder) {
    DIR* dir = fdopendir(reopenFolder(folder));
    if (!dir) return false;
    int seen = 0;
    while (readdir(dir)) ++seen;
    closedir(dir);
    return seen == 2;  // "." and ".."
}

// A folder just made by this user, private to it, with nothing in it yet.
bool isFreshPrivateFolder(PlatformFolder folder) {
    struct stat st;
    return fstat(int(folder), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & (S_IRWXG | S_IRWXO)) == 0 && folderIsEmpty(folder);
}

bool sameObject(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

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

bool platformIsWritableFolder(const char* path) {
    return faccessat(AT_FDCWD, platformPath(path).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool platformIsOpenToOthers(const char* path) {
    struct stat st;
    if (::stat(platformPath(path).c_str(), &st) != 0) return false;
    return (st.st_mode & S_IWOTH) && !(st.st_mode & S_ISVTX) && st.st_uid != geteuid();
}

bool platformRandomBytes(void* buffer, std::size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        ssize_t got = getrandom(out, count, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        count -= std::size_t(got);
    }
    return true;
}

PlatformFolder platformOpenFolder(const char* path) {
    return ::open(platformPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void platformCloseFolder(PlatformFolder folder) {
    if (folder >= 0) ::close(int(folder));
}

int platformCreatePrivateFileIn(PlatformFolder folder, const char* name, bool& exists) {
    int fd;
    do fd = openat(int(folder), name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    exists = fd < 0 && errno == EEXIST;
    return fd;
}

PlatformFolder platformCreatePrivateFolderIn(PlatformFolder folder, const char* name, bool& exists) {
    exists = false;
    if (mkdirat(int(folder), name, S_IRWXU) != 0) {
        exists = errno == EEXIST;
        return kNoFolder;
    }
    // Between the creation and the open another user may have put something else at the name.
    PlatformFolder made = openat(int(folder), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (made >= 0 && isFreshPrivateFolder(made) && fchmod(int(made), S_IRWXU) == 0) return made;
    platformCloseFolder(made);
    exists = true;
    return kNoFolder;
}

bool platformIsSameEntry(PlatformFolder folder, const char* name, std::intptr_t handle) {
    struct stat atName, held;
    return fstatat(int(folder), name, &atName, AT_SYMLINK_NOFOLLOW) == 0 && fstat(int(handle), &held) == 0 &&
           sameObject(atName, held);
}

bool platformRemoveEntryIfSame(PlatformFolder folder, const char* name, std::intptr_t handle) {
    struct stat held;
    if (!platformIsSameEntry(folder, name, handle) || fstat(int(handle), &held) != 0) return false;
    return unlinkat(int(folder), name, S_ISDIR(held.st_mode) ? AT_REMOVEDIR : 0) == 0;
}

std::string platformHandlePath(std::intptr_t handle, const std::string&) {
    return "/proc/self/fd/" + std::to_string(handle);
}

bool platformDeleteFolderContent(PlatformFolder folder) {
    int fd = reopenFolder(folder);
    return fd >= 0 && deleteDirectoryContent(fd);
}

bool platformMakeOwnerExecutableIn(PlatformFolder folder, const char* name) {
    int fd = openat(int(folder), name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, (st.st_mode & 07777) | S_IXUSR) == 0;
    ::close(fd);
    return ok;
}

long platformStartProgramIn(PlatformFolder folder, const char* name, const char* shownPath) {
    // The child resolves this before its exec closes the descriptor: the program comes from the
    // held folder even when its name now leads somewhere else.
    std::string program = platformHandlePath(folder, "") + "/" + name;
    std::string shown = shownPath;
    char* argv[] = {shown.data(), nullptr};
    sigset_t none, defaults = g_watched;
    sigemptyset(&none);
    // The folder stays open in the program too: a script's interpreter opens the script by the
    // same path after the exec.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, int(folder), int(folder));
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    int error = posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? long(pid) : -1;
}

void platformWaitProgram(long pid) {
    if (pid <= 0) return;
    siginfo_t info;
    while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
}

void platformReleaseProgram(long pid) {
    if (pid <= 0) return;
    int status;
    while (waitpid(pid_t(pid), &status, 0) < 0 && errno == EINTR) {
    }
}

bool platformWatchInterrupts(void (*handler)(int signal, bool fromTerminal)) {
    static void (*s_handler)(int, bool) = nullptr;
    s_handler = handler;
    sigemptyset(&g_watched);
    for (int s : kInterrupts) {
        struct sigaction current;
        if (sigaction(s, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) sigaddset(&g_watched, s);
    }
    if (pthread_sigmask(SIG_BLOCK, &g_watched, nullptr) != 0) return false;
    auto watch = [](void*) -> void* {
        for (;;) {
            siginfo_t info;
            int signal = sigwaitinfo(&g_watched, &info);
            if (signal > 0) s_handler(signal, info.si_code == SI_KERNEL);
        }
    };
    pthread_t thread;
    if (pthread_create(&thread, nullptr, watch, nullptr) == 0) return pthread_detach(thread), true;
    pthread_sigmask(SIG_UNBLOCK, &g_watched, nullptr);
    sigemptyset(&g_watched);
    return false;
}

bool platformSignalProgram(long pid, int signal) { return pid > 0 && ::kill(pid_t(pid), signal) == 0; }

void platformEndByInterrupt(int signal) {
    ::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    _exit(128 + signal);
}
