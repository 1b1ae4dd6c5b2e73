// The listing and the test of tnzip: both read the opened archive's entries directly.
#pragma once
#include <cstdint>

class ClsZip2;
class ZipDn;

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

private:
    // The archive object of dn after opening path, or null (reported on stderr).
    ClsZip2* open(ZipDn& dn, const char* path);

    const TnzipSettings& m_settings;
};
