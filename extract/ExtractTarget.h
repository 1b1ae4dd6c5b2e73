// The folder an extraction writes into, held open: every folder below it is reached one level
// at a time through open directory handles, created where missing, and a link standing where a
// folder is needed stops the walk. So no entry name, planted link or rename of a path during the
// extraction can lead a creation outside the folder.
//
// Directory entries' times and permissions are kept until the end and applied deepest first,
// after everything inside them has been written.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/FileTime.h"
#include "base/TarnelDir.h"

class LogBase;

class ExtractTarget {
public:
    // baseFolder: UTF-8, either separator form. It is created (with its parents) on first use.
    explicit ExtractTarget(std::string baseFolder) : m_base(std::move(baseFolder)) {}
    ExtractTarget(const ExtractTarget&) = delete;
    ExtractTarget& operator=(const ExtractTarget&) = delete;

    // The entry name below the base as plain components: empty and "." components dropped;
    // false when a ".." component remains.
    static bool splitName(const std::string& name, std::vector<std::string>& parts);

    // The folder made of the first depth components, created level by level when create is
    // set. The result stays valid until the next call. On failure, failedDir names the level
    // that could not be made or opened ('\' form below the base) and linkInTheWay says that a
    // symbolic link stood there.
    const TarnelDir* openFolder(const std::vector<std::string>& parts, std::size_t depth, bool create,
                                std::string& failedDir, bool& linkInTheWay);

    // Times (UTC) and, when given, permission bits for a directory entry, applied by finish().
    void deferDirectory(const std::vector<std::string>& parts, const FileTime& modified, bool hasPermissions,
                        std::uint32_t permissions);
    void finish();

    // The base joined with the first depth components, '\' form, for messages.
    std::string displayPath(const std::vector<std::string>& parts, std::size_t depth) const;

private:
    struct Deferred {
        std::vector<std::string> parts;
        FileTime modified;
        bool hasPermissions;
        std::uint32_t permissions;
    };
    bool openRoot();

    std::string m_base;
    bool m_rootTried = false;
    TarnelDir m_root;
    std::vector<std::string> m_cachedParts;  // the folder held in m_cached
    TarnelDir m_cached;
    std::vector<Deferred> m_directories;
};
