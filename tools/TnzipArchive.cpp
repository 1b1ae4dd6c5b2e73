// tnzip l and tnzip t.
#include "TnzipArchive.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "tarnel/TnZip.h"

namespace {

// "YYYY-MM-DD HH:MM" in local time, as Info-ZIP lists it.
std::string entryTime(const TnZipEntry& e) {
    const auto when = static_cast<std::time_t>(e.modifiedTime);
    std::tm t{};
#ifdef _WIN32
    const bool ok = localtime_s(&t, &when) == 0;
#else
    const bool ok = localtime_r(&when, &t) != nullptr;
#endif
    if (!ok) return "0000-00-00 00:00";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min);
    return text;
}

std::string encryptionName(const TnZipEntry& e) {
    switch (e.encryption) {
        case TnZipEncryption::kWinZipAes: return "AES-" + std::to_string(e.keyBits);
        case TnZipEncryption::kWholeData: return "Tarnel";
        case TnZipEncryption::kTraditional:
        case TnZipEncryption::kStrong: return "ZipCrypto";
        default: return "-";
    }
}

int ratioPercent(std::uint64_t size, std::uint64_t packed) {
    if (size == 0) return 0;
    double r = (double(size) - double(packed)) * 100.0 / double(size);
    return int(r < 0 ? r - 0.5 : r + 0.5);
}

const char* hostName(int host) {
    switch (host) {
        case 0: return "FAT";
        case 3: return "Unix";
        case 10: return "NTFS";
        case 11: return "VFAT";
        case 19: return "OS X";
        default: return "other";
    }
}

// Unix permissions for Unix hosts, DOS attribute letters otherwise.
std::string attributeText(const TnZipEntry& e) {
    if (e.hostSystem == 3 || e.hostSystem == 19) {
        const unsigned mode = e.unixMode;
        std::string s = (mode & 0170000) == 0040000 ? "d" : (mode & 0170000) == 0120000 ? "l" : "-";
        const char* rwx = "rwxrwxrwx";
        for (int i = 0; i < 9; ++i) s += (mode & (0400 >> i)) ? rwx[i] : '-';
        return s;
    }
    const unsigned a = e.dosAttributes;
    std::string s;
    s += (a & 0x10) ? 'd' : '-';
    s += (a & 0x20) ? 'a' : '-';
    s += (a & 0x04) ? 's' : '-';
    s += (a & 0x02) ? 'h' : '-';
    s += (a & 0x01) ? 'r' : '-';
    return s;
}

std::string extraIds(const TnZipEntry& e) {
    std::string s;
    for (std::uint16_t id : e.extraFieldIds) {
        char text[8];
        std::snprintf(text, sizeof text, "%s%04X", s.empty() ? "" : ",", id);
        s += text;
    }
    return s.empty() ? "-" : s;
}

// Takes the content and keeps nothing: a test only decodes and checks.
class DiscardSink : public TnZipSink {
public:
    bool Write(const void*, std::size_t) override { return true; }
};

}  // namespace

namespace tnzip {

std::string escapeControlChars(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        const std::size_t bytes = c < 0x20 || c == 0x7F ? 1 : (c == 0xC2 && next >= 0x80 && next <= 0x9F) ? 2 : 0;
        if (bytes == 0) out += static_cast<char>(c);
        for (std::size_t k = 0; k < bytes; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        if (bytes > 0) i += bytes - 1;
    }
    return out;
}

// Greedy with one backtrack point: the last '*' seen absorbs one more character on a mismatch.
bool matchWildcard(const std::string& text, const std::string& pattern) {
    std::size_t t = 0, p = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p, ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace tnzip

using tnzip::escapeControlChars;

bool TnzipArchive::open(TnZip& zip, const char* path) const {
    zip.SetUtf8(true);  // command-line arguments are the file system's own UTF-8 bytes
    if (m_settings.oemCodePage) zip.SetOemCodePage(m_settings.oemCodePage);
    zip.SetVerboseLogging(m_settings.verbose);
    if (m_settings.maxDecoderMemory) zip.SetMaxDecoderMemory(m_settings.maxDecoderMemory);
    if (m_settings.password) zip.SetPassword(m_settings.password);
    if (zip.OpenZip(path)) return true;
    std::fprintf(stderr, "tnzip: cannot open %s\n", escapeControlChars(path).c_str());
    const char* log = zip.LastErrorText();
    if (log && *log) std::fprintf(stderr, "%s\n", log);
    return false;
}

int TnzipArchive::list(const char* path) {
    TnZip zip;
    if (!open(zip, path)) return 1;
    const bool v = m_settings.verbose;
    std::printf("Archive:  %s\n", escapeControlChars(path).c_str());
    std::printf("    Length      Packed  Ratio  Method     Encryption  Date       Time   CRC-32    %sName\n",
                v ? "Attributes  Host   Extra                 " : "");
    std::printf("----------  ----------  -----  ---------  ----------  ---------- -----  --------  %s----\n",
                v ? "----------  -----  --------------------  " : "");
    std::uint64_t totalSize = 0, totalPacked = 0;
    int files = 0;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i) {
        if (!zip.GetEntry(i, e)) continue;
        std::printf("%10" PRIu64 "  %10" PRIu64 "  %4d%%  %-9s  %-10s  %s  %08" PRIx32 "  ", e.uncompressedSize,
                    e.compressedSize, ratioPercent(e.uncompressedSize, e.compressedSize), e.methodName.c_str(),
                    encryptionName(e).c_str(), entryTime(e).c_str(), e.crc32);
        if (v)
            std::printf("%-10s  %-5s  %-20s  ", attributeText(e).c_str(), hostName(e.hostSystem), extraIds(e).c_str());
        std::printf("%s\n", escapeControlChars(e.archiveName).c_str());
        totalSize += e.uncompressedSize;
        totalPacked += e.compressedSize;
        ++files;
    }
    std::printf("----------  ----------  -----                                                 %s-------\n",
                v ? "                                         " : "");
    std::printf("%10" PRIu64 "  %10" PRIu64 "  %4d%%                                                 %s%d file%s\n",
                totalSize, totalPacked, ratioPercent(totalSize, totalPacked),
                v ? "                                              " : "", files, files == 1 ? "" : "s");
    return 0;
}

int TnzipArchive::test(const char* path) {
    TnZip zip;
    if (!open(zip, path)) return 1;
    std::vector<std::string> failed;
    std::string logs;  // the library's log of each entry that failed (of every entry with -v)
    DiscardSink discard;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i) {
        if (!zip.GetEntry(i, e)) continue;
        const std::string name = escapeControlChars(e.archiveName);
        bool ok = zip.ExtractEntry(i, discard);
        // Extraction reads past a malformed extra field; testing reports it, as unzip -t does.
        const bool extraOk = e.extraFieldsWellFormed;
        if (!ok || m_settings.verbose) logs += zip.LastErrorText();
        if (ok && !extraOk) logs += name + ": Extra field block runs past the end of its field\n";
        ok = ok && extraOk;
        if (!ok) failed.push_back(name);
        if (!m_settings.quiet || !ok) std::printf("    testing: %-40s %s\n", name.c_str(), ok ? "OK" : "FAILED");
    }
    // A directory cut short, outside the file or split fails the test whatever the entries did.
    const std::string damage = zip.StructureDamage();
    if (!damage.empty()) logs += damage + "\n";
    const bool damaged = !damage.empty();
    if (!logs.empty() && (m_settings.verbose || !failed.empty() || damaged)) std::fprintf(stderr, "%s\n", logs.c_str());
    if (damaged) std::fprintf(stderr, "tnzip: %s: %s\n", escapeControlChars(path).c_str(), damage.c_str());
    if (failed.empty() && !damaged) {
        if (!m_settings.quiet) std::printf("No errors detected in %s\n", escapeControlChars(path).c_str());
        return 0;
    }
    if (failed.empty()) return 1;
    std::fprintf(stderr, "tnzip: %zu entr%s of %s failed:\n", failed.size(), failed.size() == 1 ? "y" : "ies",
                 escapeControlChars(path).c_str());
    for (const std::string& name : failed) std::fprintf(stderr, "  %s\n", name.c_str());
    return 1;
}
