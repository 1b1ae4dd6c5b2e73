// Creating a directory path level by level, skipping a "\\?\" prefix, a UNC server and share
// and a drive letter, which cannot be created.
#include "base/FileDirectories.h"

#include <string>

#include "base/FilePaths.h"
#include "base/FileSystem.h"
#include "log/LogReject.h"
#include "base/StringBuffer.h"

namespace {

bool oneDirectory(const std::string& path, LogBase* log) {
    if (path.empty() || path == ".") return true;
    return fileExists(path.c_str(), nullptr) || createDirectory(path.c_str(), log);
}

bool logNotEnsured(const std::string& path, LogBase* log) {
    rejectWith(log, "Cannot ensure directory existence");
    if (log) log->logData("path", path.c_str());
    return false;
}

bool beginsWith(const std::string& text, std::size_t at, const char* prefix) {
    return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Where the creatable part of the path starts; npos when the path is only a UNC share.
std::size_t firstCreatable(const std::string& p) {
    std::size_t i = 0;
    bool unc = false;
    if (beginsWith(p, 0, "\\\\?\\")) {
        i = 4;
        if (beginsWith(p, i, "UNC\\")) i += 4, unc = true;
    } else if (beginsWith(p, 0, "\\\\")) {
        i = 2, unc = true;
    }
    if (unc) {
        std::size_t server = p.find('\\', i);
        std::size_t share = server == std::string::npos ? server : p.find('\\', server + 1);
        if (share == std::string::npos || share + 1 == p.size()) return std::string::npos;
        return share + 1;
    }
    if (p.size() < i + 2 || p[i + 1] != ':') return i;
    for (i += 2; i < p.size() && p[i] == '\\';) ++i;
    return i;
}

}  // namespace

bool ensureDirectory(const char* path, LogBase* log) {
    std::string p = toBackslashes(trimBlanks(path ? path : ""));
    if (p.empty() || oneDirectory(p, nullptr)) return true;
    std::size_t start = firstCreatable(p);
    if (start == std::string::npos) return oneDirectory(p, log);
    std::size_t sep = p.find('\\', start);
    if (sep == std::string::npos) return false;
    for (; sep != std::string::npos; sep = p.find('\\', sep + 1))
        if (!oneDirectory(p.substr(0, sep), log)) return logNotEnsured(p.substr(0, sep), log);
    return oneDirectory(p, log) || logNotEnsured(p, log);
}

bool ensureParentDirectory(const char* filePath, LogBase* log, StringBuffer* parentDir) {
    if (parentDir) parentDir->clear();
    if (filePath == nullptr) return rejectWith(log, "No filePath");
    std::string p = trimBlanks(toBackslashes(filePath));
    std::size_t last = p.rfind('\\');
    if (last == std::string::npos || last == 0) return true;
    std::string parent = p.substr(0, last);
    if (parentDir) parentDir->setString(parent.c_str());
    return ensureDirectory(parent.c_str(), log);
}
