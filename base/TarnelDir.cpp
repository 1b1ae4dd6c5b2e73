// POSIX directory handles: every operation is relative to an open directory descriptor
// (openat and friends), with O_NOFOLLOW or AT_SYMLINK_NOFOLLOW on each name.
#include "base/TarnelDir.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

// Which construction createUnnamedFile uses; -1 until the environment has been read.
std::atomic<int> g_unnamedFiles{-1};

TarnelDir::UnnamedFiles unnamedFiles() {
    int how = g_unnamedFiles.load(std::memory_order_acquire);
    if (how < 0) {
        const char* env = std::getenv("TN_UNNAMED_FILES");
        auto chosen = TarnelDir::UnnamedFiles::Automatic;
        if (env && std::strcmp(env, "no-tmpfile") == 0) chosen = TarnelDir::UnnamedFiles::NoTmpFile;
        if (env && std::strcmp(env, "no-proc") == 0) chosen = TarnelDir::UnnamedFiles::NoProc;
        g_unnamedFiles.compare_exchange_strong(how, static_cast<int>(chosen));
        how = g_unnamedFiles.load(std::memory_order_acquire);
    }
    return static_cast<TarnelDir::UnnamedFiles>(how);
}

// An unnamed file gets its name through /proc/self/fd (linkat with AT_EMPTY_PATH needs a
// privilege). Containers and chroots often lack /proc; writing a file that can never be linked
// in would fail every entry, so the path is checked once: the held directory must be reachable
// through it as the same inode.
bool procLinksWork(int dir) {
    static std::atomic<int> known{-1};
    const int state = known.load(std::memory_order_acquire);
    if (state >= 0) return state == 1;
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", dir);
    struct stat viaProc, direct;
    const bool works = ::stat(self, &viaProc) == 0 && fstat(dir, &direct) == 0 && viaProc.st_dev == direct.st_dev &&
                       viaProc.st_ino == direct.st_ino;
    known.store(works ? 1 : 0, std::memory_order_release);
    return works;
}

// Files under a private name, removed again if an interrupt ends the process. The handler only
// reads live slots and calls unlinkat (async-signal-safe); a slot is filled while marked busy
// and becomes live with a release store, so the handler never sees half a name.
struct PendingSlot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 live
    int dir = -1;
    char name[32] = {};
};
constexpr int kPendingSlots = 256;
PendingSlot g_pending[kPendingSlots];
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kInterruptCount = 3;
struct sigaction g_previous[kInterruptCount];
std::mutex g_pendingLock;

void onInterrupt(int signal, siginfo_t* info, void* context) {
    const int saved = errno;
    for (PendingSlot& slot : g_pending)
        if (slot.state.load(std::memory_order_acquire) == 2) unlinkat(slot.dir, slot.name, 0);
    for (int i = 0; i < kInterruptCount; ++i) {
        if (kInterrupts[i] != signal) continue;
        const struct sigaction& previous = g_previous[i];
        if (previous.sa_flags & SA_SIGINFO) {
            if (previous.sa_sigaction) previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler == SIG_DFL) {
            // Blocked while this handler runs: the process ends as it returns.
            ::signal(signal, SIG_DFL);
            ::raise(signal);
        } else if (previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        }
    }
    errno = saved;
}

// Puts onInterrupt in front of whatever the process does on each interrupt, unless it is
// already there or the interrupt is ignored. Left in place afterwards: it passes every
// interrupt on, and re-checking at each file keeps it in front of handlers installed since.
void watchInterrupts() {
    for (int i = 0; i < kInterruptCount; ++i) {
        struct sigaction current;
        if (sigaction(kInterrupts[i], nullptr, &current) != 0) continue;
        const bool mine = (current.sa_flags & SA_SIGINFO) && current.sa_sigaction == onInterrupt;
        if (mine || (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN)) continue;
        g_previous[i] = current;
        struct sigaction handler {};
        handler.sa_sigaction = onInterrupt;
        handler.sa_flags = SA_SIGINFO | (current.sa_flags & SA_RESTART);
        sigemptyset(&handler.sa_mask);
        for (int s : kInterrupts) sigaddset(&handler.sa_mask, s);
        sigaction(kInterrupts[i], &handler, nullptr);
    }
}

bool addPending(int dir, const std::string& name) {
    if (name.size() >= sizeof PendingSlot::name) return false;
    std::lock_guard<std::mutex> lock(g_pendingLock);
    for (PendingSlot& slot : g_pending) {
        int free = 0;
        if (!slot.state.compare_exchange_strong(free, 1)) continue;
        slot.dir = dir;
        std::memcpy(slot.name, name.c_str(), name.size() + 1);
        slot.state.store(2, std::memory_order_release);
        watchInterrupts();
        return true;
    }
    return false;
}

void dropPending(int dir, const std::string& name) {
    std::lock_guard<std::mutex> lock(g_pendingLock);
    for (PendingSlot& slot : g_pending)
        if (slot.state.load() == 2 && slot.dir == dir && name == slot.name) {
            slot.state.store(0, std::memory_order_release);
            return;
        }
}

// The interrupts held back while a private name is created and registered, so that none can
// end the process between the two.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : kInterrupts) sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, &m_before);
    }
    ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t m_before;
};

// A new file under an unpredictable name, owner-only until complete, registered for removal on
// interrupt; -1 on failure with errno set.
int createPrivate(int dir, std::string& pending) {
    for (int round = 0; round < kReplaceRounds; ++round) {
        if (!randomName(pending)) return -1;
        InterruptsHeld held;
        const int fd = openat(dir, pending.c_str(), kFileFlags, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        if (addPending(dir, pending)) return fd;
        unlinkat(dir, pending.c_str(), 0);
        ::close(fd);
        errno = EMFILE;  // more private files at once than can be cleaned up on interrupt
        return -1;
    }
    return -1;
}

// Renames only onto a free name. Where the file system cannot rename exclusively, a hard link
// is made instead (it never replaces either) and the private name removed.
bool renameExclusive(int dir, const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
#endif
    if (linkat(dir, from, dir, to, 0) != 0) return false;
    unlinkat(dir, from, 0);
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
    const UnnamedFiles how = unnamedFiles();
    if (how != UnnamedFiles::NoProc && procLinksWork(dir)) {
        const int fd = how == UnnamedFiles::NoTmpFile ? (errno = EOPNOTSUPP, -1)
                                                      : openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file.attach(fd);
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    }
    const int fd = createPrivate(dir, pending);
    if (fd >= 0) {
        file.attach(fd);
        return true;
    }
    pending.clear();
    return false;
}

// An unnamed file is linked straight onto a free name (linkat creates only, never following
// a link at the new name). To replace a name it first gets a random private name (linkat
// cannot replace), and like every named file it is then renamed onto its name: rename replaces
// a file or a link itself and refuses a directory. Without replace, nothing is ever renamed
// over a name: the link or an exclusive rename fails when the name is taken.
bool TarnelDir::publishFile(TarnelHandle& file, const std::string& pending, const char* name, bool replace) const {
    if (!isOpen() || !file.isOpen() || refuseName(name)) return false;
    const int dir = fdOf(m_handle);
    std::string temp = pending;
    if (temp.empty()) {
        char self[32];
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", file.descriptor());
        if (linkat(AT_FDCWD, self, dir, name, AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST || !replace) return false;
        bool linked = false;
        for (int round = 0; round < kReplaceRounds && !linked; ++round) {
            if (!randomName(temp)) return false;
            linked = linkat(AT_FDCWD, self, dir, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
            if (!linked && errno != EEXIST) return false;
        }
        if (!linked) return false;
    }
    const bool renamed = replace ? renameat(dir, temp.c_str(), dir, name) == 0
                                 : renameExclusive(dir, temp.c_str(), name);
    const int err = errno;
    if (!renamed) unlinkat(dir, temp.c_str(), 0);
    if (!pending.empty()) dropPending(dir, pending);
    errno = err;
    return renamed;
}

void TarnelDir::discardFile(TarnelHandle& file, const std::string& pending) const {
    file.close();
    if (!isOpen() || pending.empty()) return;
    unlinkat(fdOf(m_handle), pending.c_str(), 0);
    dropPending(fdOf(m_handle), pending);
}

bool TarnelDir::createLink(const char* name, const char* target, bool replace) const {
    if (!isOpen() || refuseName(name) || !target) return false;
    const int dir = fdOf(m_handle);
    for (int round = 0; round < kReplaceRounds; ++round) {
        if (symlinkat(target, dir, name) == 0) return true;
        if (errno != EEXIST || !replace) return false;
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

bool TarnelDir::isNameTaken(int platformError) { return platformError == EEXIST; }

// Reading the umask means setting it: a restrictive value is set for that instant, so a file
// another thread creates meanwhile can only come out more private, never less.
std::uint32_t TarnelDir::defaultFileMode() {
    static const std::uint32_t mode = [] {
        const mode_t mask = umask(077);
        umask(mask);
        return static_cast<std::uint32_t>(0666 & ~mask);
    }();
    return mode;
}

void TarnelDir::setUnnamedFiles(UnnamedFiles how) { g_unnamedFiles.store(static_cast<int>(how)); }
