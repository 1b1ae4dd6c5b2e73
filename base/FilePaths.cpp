// Path texts: joining, root stripping and lexical full paths.
#include "base/FilePaths.h"

#include <vector>

#include "base/PlatformFiles.h"

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Position after the next '\' at or after from, or npos.
[[maybe_unused]] std::size_t skipComponent(const std::string& path, std::size_t from) {
    std::size_t sep = path.find('\\', from);
    return sep == std::string::npos ? sep : sep + 1;
}

std::string dropLeading(const std::string& path, std::size_t from) {
    while (from < path.size() && path[from] == '\\') ++from;
    return path.substr(from);
}

std::string withSeparator(const std::string& dir) {
    std::string out = toBackslashes(trimBlanks(dir));
    if (!out.empty() && out.back() != '\\') out += '\\';
    return out;
}

}  // namespace

std::string toBackslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string trimBlanks(const std::string& text) {
    const char* blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string getFullPath(const std::string& path) {
#ifdef _WIN32
    if (path.empty()) return path;
    return platformFullPath(path.c_str());
#endif
    std::string p = platformPath(path.c_str());
    if (p.empty()) return p;
    if (p[0] != '/') p = getCurrentDir() + "/" + p;
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= p.size();) {
        std::size_t end = p.find('/', start);
        if (end == std::string::npos) end = p.size();
        std::string part = p.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    if (out.empty() || isSeparator(p.back())) out += '/';
    return out;
}

std::string getFileNamePart(const std::string& path) {
    std::string full = getFullPath(path);
    return full.substr(full.find_last_of("/\\") + 1);
}

std::string getCurrentDir() {
    std::string dir;
    return platformCurrentDir(dir) ? dir : std::string();
}

std::string getTempDir() { return platformTempDir(); }

std::string joinDirAndFileName(const std::string& dir, const std::string& path) {
    return withSeparator(dir) + getFileNamePart(path);
}

std::string stripPathRoot(const std::string& path) {
    std::string p = toBackslashes(trimBlanks(path));
    if (p.rfind("\\\\?\\UNC\\", 0) == 0) p = "\\\\" + p.substr(8);
    else if (p.rfind("\\\\?\\", 0) == 0) p = p.substr(4);
#ifdef _WIN32
    if (p.rfind("\\\\", 0) == 0) {
        std::size_t afterServer = skipComponent(p, 2);
        std::size_t afterShare = afterServer == std::string::npos ? afterServer : skipComponent(p, afterServer);
        return afterShare == std::string::npos ? std::string() : dropLeading(p, afterShare);
    }
#endif
    // Elsewhere "//host/share/x" names no network root: only the leading separators go.
    if (p.size() >= 2 && p[1] == ':') return dropLeading(p, 2);
    return dropLeading(p, 0);
}

std::string joinPath(const std::string& base, const std::string& path) {
    if (trimBlanks(base).empty()) return toBackslashes(path);
    return withSeparator(base) + stripPathRoot(path);
}

std::string escapeControlChars(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        std::size_t bytes = c < 0x20 || c == 0x7F ? 1 : (c == 0xC2 && next >= 0x80 && next <= 0x9F) ? 2 : 0;
        if (bytes == 0) {
            out += static_cast<char>(c);
            continue;
        }
        for (std::size_t k = 0; k < bytes; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        i += bytes - 1;
    }
    return out;
}
