// A directory held open, through which everything directly inside it is created, replaced,
// opened and removed by name. Names are single components: a name with a separator, an empty
// name, "." and ".." are refused. Nothing is ever followed through a link: a link where a
// directory is expected fails, a link where a file is created is replaced, and times are set on
// a link itself. Holding the directory open means that renaming or replacing its path
// afterwards cannot send a creation anywhere else.
//
// The operations are platform-neutral; the system calls live in the platform's source file.
// Failures return false and leave the system error for platformLastErrno() (PlatformFiles.h).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "base/FileTime.h"

class TarnelHandle;

class TarnelDir {
public:
    // What sits at a name inside the directory, links not followed.
    enum class Kind { Missing, Directory, Link, Other, Unknown };

    TarnelDir() = default;
    TarnelDir(const TarnelDir&) = delete;
    TarnelDir& operator=(const TarnelDir&) = delete;
    ~TarnelDir();

    bool isOpen() const { return m_handle != kInvalid; }
    void close();
    // Closes its own directory, takes the other's and leaves the other closed.
    void takeOver(TarnelDir& other) {
        if (&other == this) return;
        close();
        m_handle = other.m_handle;
        other.m_handle = kInvalid;
    }

    // An existing directory by path ('\' or '/' form). The path is the caller's own and is
    // resolved as the system resolves it; only what lies below is guarded.
    bool openPath(const char* utf8Path);

    Kind kindOf(const char* name) const;
    // The subdirectory name; with create, made first when missing. A link or a file at name
    // fails (a link never counts as a directory).
    bool openChild(const char* name, bool create, TarnelDir& child) const;
    // A new, empty file at name, open for writing. A file or link already there is removed
    // first (never written through or truncated); a directory there fails.
    bool createFile(const char* name, TarnelHandle& file) const;
    // A new file for writing that has no name in the directory yet, where the system can make
    // one. Elsewhere (no unnamed files on this file system, or no /proc to link one in through)
    // it gets an unpredictable private name and owner-only permissions, which the next two
    // operations handle; pending holds that name. Nothing at any name is touched until
    // publishFile, and an interrupted process leaves nothing behind: the private name is removed
    // on SIGINT, SIGTERM and SIGHUP too (before the action the process had for them runs), so
    // only SIGKILL or a crash can leave it.
    bool createUnnamedFile(TarnelHandle& file, std::string& pending) const;
    // Gives the file its name in one step. With replace, a file or link there is replaced
    // (never a directory); without, the system decides at that very moment that the name is
    // free, and a taken name fails (isNameTaken(platformLastErrno()) is then true).
    bool publishFile(TarnelHandle& file, const std::string& pending, const char* name, bool replace = true) const;
    // Drops a file that was never published.
    void discardFile(TarnelHandle& file, const std::string& pending) const;
    // A symbolic link at name with the given target text; with replace, a file or link there is
    // replaced, without, a taken name fails as in publishFile.
    bool createLink(const char* name, const char* target, bool replace = true) const;
    // Removes a file or link; a missing name counts as removed. A directory is not removed.
    bool removeFile(const char* name) const;
    // Last access and last write of what sits at name, a link itself rather than its target.
    bool setTimesOf(const char* name, const FileTime& utc) const;

    // The directory's own last access and last write time.
    bool setTimes(const FileTime& utc) const;
    // The directory's own permission bits (POSIX mode bits; setuid, setgid and sticky are
    // never set).
    bool setPermissions(std::uint32_t mode) const;

    // Whether a platform error number says that a name is taken.
    static bool isNameTaken(int platformError);
    // The permission bits a new file gets when nobody chooses them (POSIX: 0666 less the umask,
    // read once). A file made under a private name starts owner-only and needs them set.
    static std::uint32_t defaultFileMode();

    // How createUnnamedFile works. Automatic uses what the system offers; the others act as if
    // the system lacked unnamed files (NoTmpFile) or /proc (NoProc), so that the private-name
    // construction can be exercised anywhere. The environment variable TN_UNNAMED_FILES
    // ("no-tmpfile" or "no-proc"), read once, chooses the starting value; Windows always names.
    enum class UnnamedFiles { Automatic, NoTmpFile, NoProc };
    static void setUnnamedFiles(UnnamedFiles how);

    // True for a name that may be handed to the operations above.
    static bool isPlainName(const char* name) {
        if (!name || !*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
        return std::strpbrk(name, kNotInName) == nullptr;
    }

private:
#ifdef _WIN32
    // A ':' would name an alternate data stream of another entry.
    static constexpr const char* kNotInName = "/\\:";
#else
    static constexpr const char* kNotInName = "/\\";
#endif
    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t m_handle = kInvalid;  // a descriptor, or the system's directory handle
};
