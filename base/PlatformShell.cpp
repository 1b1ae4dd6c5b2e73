// POSIX shell and process services of the launcher.
#include "base/PlatformShell.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "base/PlatformFiles.h"

extern char** environ;

namespace {

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The interrupts taken over by platformWatchInterrupts: those the process was not started
// ignoring (under nohup, a hang-up must stay without effect, for the started program too).
sigset_t g_watched;

// One folder on the way down a tree being removed: its name in its parent, the parent's
// identity (so that the way back up is checked), and the entries that would not go.
struct TreeLevel {
    std::string name;
    dev_t parentDev = 0;
    ino_t parentIno = 0;
    std::set<std::string> kept;
};

// Removes every entry of the open folder fd that is not a folder, and returns the name of its
// first subfolder still to be emptied (empty when there is none). What fails joins kept.
std::string clearFiles(int fd, std::set<std::string>& kept, bool& ok) {
    int listing = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0) ::close(listing);
        return ok = false, std::string();
    }
    std::string folder;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        struct stat st;
        if (name == "." || name == ".." || kept.count(name)) continue;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            folder = name;
            break;
        }
        if (unlinkat(fd, name.c_str(), 0) != 0) ok = false, kept.insert(name);
    }
    closedir(dir);
    return folder;
}

// Goes from the emptied folder fd (closed here) back to its parent, which must still be the
// folder it was entered from, and removes it there. -1 when the way back is gone.
int leaveFolder(int fd, std::vector<TreeLevel>& levels, bool& ok) {
    TreeLevel done = std::move(levels.back());
    levels.pop_back();
    int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    struct stat st;
    if (parent < 0 || fstat(parent, &st) != 0 || st.st_dev != done.parentDev || st.st_ino != done.parentIno) {
        if (parent >= 0) ::close(parent);
        return -1;
    }
    if (unlinkat(parent, done.name.c_str(), AT_REMOVEDIR) != 0) ok = false, levels.back().kept.insert(done.name);
    return parent;
}

// Empties the folder open as fd (which this function closes), depth first. Only the folder being
// emptied is held open, whatever the depth: the way back up goes through "..", checked against
// the parent's recorded identity, so a folder moved away meanwhile ends the walk instead of
// leading it elsewhere.
bool deleteDirectoryContent(int fd) {
    bool ok = true;
    std::vector<TreeLevel> levels(1);
    while (fd >= 0) {
        // A read-only folder would keep its children; the tree is ours to remove.
        fchmod(fd, S_IRWXU);
        std::string sub = clearFiles(fd, levels.back().kept, ok);
        if (sub.empty()) {
            if (levels.size() == 1) break;
            fd = leaveFolder(fd, levels, ok);
            if (fd < 0) return false;
            continue;
        }
        int child = openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (child < 0 || fstat(fd, &st) != 0) {
            if (child >= 0) ::close(child);
            ok = false, levels.back().kept.insert(sub);
            continue;
        }
        levels.push_back({sub, st.st_dev, st.st_ino, {}});
        ::close(fd);
        fd = child;
    }
    if (fd >= 0) ::close(fd);
    return ok;
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

long platformStartProgramIn(PlatformFolder folder, const char* name, const char* shownPath,
                            const std::vector<std::string>& arguments) {
    // The child resolves this before its exec closes the descriptor: the program comes from the
    // held folder even when its name now leads somewhere else.
    std::string program = platformHandlePath(folder, "") + "/" + name;
    std::vector<std::string> texts = {shownPath};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    sigset_t none, defaults = g_watched;
    sigemptyset(&none);
    // The folder stays open in the program too: a script's interpreter opens the script by the
    // same path after the exec. The program works in its own folder, reached by the handle.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, int(folder), int(folder));
    posix_spawn_file_actions_addfchdir_np(&actions, int(folder));
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    int error = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
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

ProgramEnd platformReleaseProgram(long pid) {
    ProgramEnd end;
    if (pid <= 0) return end;
    int status = 0;
    while (waitpid(pid_t(pid), &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) end.status = std::uint32_t(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
    return end;
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

void platformEndBySignal(int signal) {
    // The program's own crash may have dumped its core; this process has nothing to add.
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    platformEndByInterrupt(signal);
}

void platformTestStop(const char* name) {
    const char* at = std::getenv("QUILLET_TEST_STOP_AT");
    if (at && std::strcmp(at, name) == 0) ::raise(SIGSTOP);
}
