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
    // one (else a random private name that the next two operations handle). Nothing at any
    // name is touched until publishFile; an interrupted process leaves nothing behind.
    bool createUnnamedFile(TarnelHandle& file, std::string& pending) const;
    // Gives the file its name in one step, replacing a file or link there (never a directory).
    bool publishFile(TarnelHandle& file, const std::string& pending, const char* name) const;
    // Drops a file that was never published.
    void discardFile(TarnelHandle& file, const std::string& pending) const;
    // A symbolic link at name with the given target text, replacing a file or link there.
    bool createLink(const char* name, const char* target) const;
    // Removes a file or link; a missing name counts as removed. A directory is not removed.
    bool removeFile(const char* name) const;
    // Last access and last write of what sits at name, a link itself rather than its target.
    bool setTimesOf(const char* name, const FileTime& utc) const;

    // The directory's own last access and last write time.
    bool setTimes(const FileTime& utc) const;
    // The directory's own permission bits (POSIX mode bits; setuid, setgid and sticky are
    // never set).
    bool setPermissions(std::uint32_t mode) const;

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
