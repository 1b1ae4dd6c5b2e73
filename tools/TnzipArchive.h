// The listing and the test of tnzip, and the small text helpers its commands share; built on the
// library's public interface alone.
#pragma once
#include <string>
#include <cstdint>

class TnZip;

struct TnzipSettings {
    const char* password = nullptr;
    int oemCodePage = 0;
    bool verbose = false;  // l: attributes, host, extra fields; t: the library's detailed log
    bool quiet = false;
    std::uint64_t maxDecoderMemory = 0;  // 0: the library's default
};

class TnzipArchive {
public:
    explicit TnzipArchive(const TnzipSettings& settings) : m_settings(settings) {}

    // Exit status: 0 listed, 1 the archive could not be opened.
    int list(const char* path);
    // Exit status: 0 every entry decoded and matched its CRC, 1 otherwise (the failing names on
    // stderr).
    int test(const char* path);

    // Opens path in zip with the settings; false after reporting why on stderr.
    bool open(TnZip& zip, const char* path) const;

private:
    const TnzipSettings& m_settings;
};

namespace tnzip {
// Names come from archives: control characters (C0, DEL, C1) are shown as \xHH, never raw.
std::string escapeControlChars(const std::string& text);
// Only '*' is a wildcard: any run of characters, also none. Case matters.
bool matchWildcard(const std::string& text, const std::string& pattern);
}  // namespace tnzip
