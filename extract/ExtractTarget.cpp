// Walking and creating folders below the extraction folder through directory handles.
#include "extract/ExtractTarget.h"

#include <algorithm>

#include "base/FileDirectories.h"
#include "base/FilePaths.h"

bool ExtractTarget::splitName(const std::string& name, std::vector<std::string>& parts) {
    parts.clear();
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    return true;
}

bool ExtractTarget::openRoot() {
    if (!m_rootTried) {
        m_rootTried = true;
        if (ensureDirectory(m_base.c_str(), nullptr)) m_root.openPath(m_base.c_str());
    }
    return m_root.isOpen();
}

const TarnelDir* ExtractTarget::openFolder(const std::vector<std::string>& parts, std::size_t depth, bool create,
                                           std::string& failedDir, bool& linkInTheWay) {
    linkInTheWay = false;
    failedDir.clear();
    if (!openRoot()) {
        failedDir = toBackslashes(m_base);
        return nullptr;
    }
    if (depth == 0) return &m_root;
    std::vector<std::string> wanted(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(depth));
    if (m_cached.isOpen() && wanted == m_cachedParts) return &m_cached;
    m_cached.close();
    m_cachedParts.clear();
    TarnelDir current, next;
    const TarnelDir* from = &m_root;
    for (std::size_t i = 0; i < depth; ++i) {
        if (!from->openChild(wanted[i].c_str(), create, next)) {
            linkInTheWay = from->kindOf(wanted[i].c_str()) == TarnelDir::Kind::Link;
            failedDir = displayPath(wanted, i + 1);
            return nullptr;
        }
        current.takeOver(next);
        from = &current;
    }
    m_cached.takeOver(current);
    m_cachedParts = std::move(wanted);
    return &m_cached;
}

void ExtractTarget::deferDirectory(const std::vector<std::string>& parts, const FileTime& modified, bool hasPermissions,
                                   std::uint32_t permissions) {
    m_directories.push_back({parts, modified, hasPermissions, permissions});
}

// Deepest first, so that a folder's own time is set after its subfolders' and a folder made
// read-only no longer needs to be entered.
void ExtractTarget::finish() {
    std::stable_sort(m_directories.begin(), m_directories.end(),
                     [](const Deferred& a, const Deferred& b) { return a.parts.size() > b.parts.size(); });
    std::string failed;
    bool link = false;
    for (const Deferred& d : m_directories) {
        const TarnelDir* dir = openFolder(d.parts, d.parts.size(), false, failed, link);
        if (!dir) continue;
        dir->setTimes(d.modified);
        if (d.hasPermissions) dir->setPermissions(d.permissions);
    }
    m_directories.clear();
    m_cached.close();
    m_cachedParts.clear();
}

std::string ExtractTarget::displayPath(const std::vector<std::string>& parts, std::size_t depth) const {
    std::string path = toBackslashes(m_base);
    for (std::size_t i = 0; i < depth && i < parts.size(); ++i) {
        if (!path.empty() && path.back() != '\\') path += '\\';
        path += parts[i];
    }
    return path;
}
