// tnzip l and tnzip t.
#include "TnzipArchive.h"

#include <cinttypes>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "TnzipPrompt.h"
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

// l -1: names only, one a line, for scripts.
int listNames(TnZip& zip) {
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i)
        if (zip.GetEntry(i, e)) std::printf("%s\n", tnzip::escapeControlChars(e.archiveName).c_str());
    return 0;
}

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

// One pattern element at p against c: '?', a set "[...]" ("[!...]" or "[^...]" negated, ranges
// a-z), or a literal. Sets p past the element; false when it does not match.
static bool matchOne(const std::string& pattern, std::size_t& p, char c) {
    const char first = pattern[p];
    if (first == '?') return ++p, true;
    const std::size_t close = first == '[' ? pattern.find(']', p + 2) : std::string::npos;
    if (close == std::string::npos) return ++p, first == c;  // no set: '[' is a literal
    std::size_t i = p + 1;
    const bool negated = pattern[i] == '!' || pattern[i] == '^';
    if (negated) ++i;
    bool in = false;
    for (; i < close; ++i) {
        const bool range = i + 2 < close && pattern[i + 1] == '-';
        const auto lo = static_cast<unsigned char>(pattern[i]);
        const auto hi = static_cast<unsigned char>(range ? pattern[i + 2] : pattern[i]);
        if (static_cast<unsigned char>(c) >= lo && static_cast<unsigned char>(c) <= hi) in = true;
        if (range) i += 2;
    }
    p = close + 1;
    return in != negated;
}

// Greedy with one backtrack point: the last '*' seen absorbs one more character on a mismatch.
bool matchWildcard(const std::string& text, const std::string& pattern) {
    std::size_t t = 0, p = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        std::size_t next = p;
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && matchOne(pattern, next, text[t])) {
            p = next, ++t;
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

namespace tnzip {

int exitStatus(TnZipResult result) {
    switch (result) {
        case TnZipResult::kOk: return 0;
        case TnZipResult::kNotFound:
        case TnZipResult::kCannotRead:
        case TnZipResult::kNotZip: return 9;
        case TnZipResult::kDamaged:
        case TnZipResult::kCrcMismatch:
        case TnZipResult::kSizeMismatch: return 2;
        case TnZipResult::kUnsupportedMethod:
        case TnZipResult::kUnsupportedEncryption: return 81;
        case TnZipResult::kPasswordNeeded:
        case TnZipResult::kWrongPassword: return 82;
        case TnZipResult::kDiskFull: return 50;
        case TnZipResult::kAborted: return 80;
        case TnZipResult::kCannotCreate:
        case TnZipResult::kUnsafeEntry: return 1;
        default: return 3;  // out of memory, a fault of ours
    }
}

namespace {
// Which status wins when several failures differ: the one a script most needs to see.
int severity(int status) {
    static const int kOrder[] = {0, 11, 1, 2, 3, 81, 82, 9, 51, 50, 80};
    for (int i = 0; i < int(sizeof kOrder / sizeof kOrder[0]); ++i)
        if (kOrder[i] == status) return i;
    return 4;
}
}  // namespace

void Failures::add(TnZipResult result, const char* message, bool encrypted) {
    std::string line = message && *message ? message : TnZipResultName(result);
    // The library's wording is for programs; people know unzip's.
    if (result == TnZipResult::kPasswordNeeded) line = line.substr(0, line.find(": ")) + ": password required";
    if (encrypted && result == TnZipResult::kCrcMismatch) line += " (wrong password?)";
    add(exitStatus(result), line.c_str());
}

void Failures::add(int status, const char* message) {
    std::fprintf(stderr, "tnzip: %s\n", escapeControlChars(message).c_str());
    ++m_count;
    if (severity(status) > severity(m_status)) m_status = status;
}

int Failures::report(const std::string& archive) const {
    if (m_count == 0) return 0;
    std::fprintf(stderr, "tnzip: %s: %d entr%s failed\n", escapeControlChars(archive).c_str(), m_count,
                 m_count == 1 ? "y" : "ies");
    return m_status;
}

void keepLog(TnZip& zip, const TnzipSettings& settings) {
    if (settings.verbose) {
        const char* text = zip.LastErrorText();
        if (text && *text) std::fprintf(stderr, "%s\n", text);
    }
    if (!settings.logFile) return;
    const std::string file = settings.logFile;
    auto endsWith = [&](const char* ext) {
        const std::size_t n = std::strlen(ext);
        return file.size() >= n && file.compare(file.size() - n, n, ext) == 0;
    };
    // Text logs of several calls follow one another; XML and HTML are whole documents: the latest.
    const bool xml = endsWith(".xml"), html = endsWith(".html") || endsWith(".htm");
    const char* log = xml ? zip.LastErrorXml() : html ? zip.LastErrorHtml() : zip.LastErrorText();
    static bool started = false;
    std::FILE* f = std::fopen(settings.logFile, (xml || html || !started) ? "wb" : "ab");
    started = true;
    if (!f) {
        std::fprintf(stderr, "tnzip: %s: cannot write the log\n", escapeControlChars(file).c_str());
        return;
    }
    if (log) std::fputs(log, f);
    std::fclose(f);
}

}  // namespace tnzip

bool TnzipArchive::open(TnZip& zip, const char* path, int& status) const {
    zip.SetUtf8(true);  // command-line arguments are the file system's own UTF-8 bytes
    if (m_settings.oemCodePage) zip.SetOemCodePage(m_settings.oemCodePage);
    zip.SetVerboseLogging(m_settings.verbose || m_settings.logFile);
    if (m_settings.maxDecoderMemory) zip.SetMaxDecoderMemory(m_settings.maxDecoderMemory);
    if (m_settings.password) zip.SetPassword(m_settings.password);
    const bool opened = zip.OpenZip(m_settings.openPath ? m_settings.openPath : path);
    // Damage found on opening is the archive's structure, not one entry's data.
    const TnZipResult result = zip.LastResult();
    status = opened ? 0 : result == TnZipResult::kDamaged ? 3 : tnzip::exitStatus(result);
    std::string message = zip.LastMessage();
    if (m_settings.openPath && message.rfind(m_settings.openPath, 0) == 0)  // the copy is "-" to the user
        message = path + message.substr(std::strlen(m_settings.openPath));
    if (!opened) std::fprintf(stderr, "tnzip: %s\n", escapeControlChars(message).c_str());
    if (!opened) tnzip::keepLog(zip, m_settings);
    return opened;
}

void TnzipArchive::askPassword(TnZip& zip, const char* path,
                               const std::function<bool(const TnZipEntry&)>& wanted) const {
    if (m_settings.password) return;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i) {
        if (!zip.GetEntry(i, e) || e.isDirectory || e.encryption == TnZipEncryption::kNone || !wanted(e)) continue;
        std::string password;
        const std::string prompt = "[" + escapeControlChars(path) + "] " + escapeControlChars(e.archiveName) +
                                   " password: ";
        if (tnzip::askPassword(prompt, password)) zip.SetPassword(password.c_str());
        std::fill(password.begin(), password.end(), '\0');
        return;
    }
}

int TnzipArchive::list(const char* path) {
    TnZip zip;
    int status = 0;
    if (!open(zip, path, status)) return status;
    if (m_settings.namesOnly) return listNames(zip);
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
    int status = 0;
    if (!open(zip, path, status)) return status;
    askPassword(zip, path, [](const TnZipEntry&) { return true; });
    tnzip::Failures failures;
    DiscardSink discard;
    TnZipEntry e;
    for (int i = 0; i < zip.NumEntries(); ++i) {
        if (!zip.GetEntry(i, e)) continue;
        const std::string name = escapeControlChars(e.archiveName);
        const bool decoded = zip.ExtractEntry(i, discard);
        tnzip::keepLog(zip, m_settings);
        // Extraction reads past a malformed extra field; testing reports it, as unzip -t does.
        const bool ok = decoded && e.extraFieldsWellFormed;
        if (!m_settings.quiet || !ok) std::printf("    testing: %-40s %s\n", name.c_str(), ok ? "OK" : "FAILED");
        std::fflush(stdout);
        if (!decoded) failures.add(zip.LastResult(), zip.LastMessage(), e.encryption != TnZipEncryption::kNone);
        else if (!ok) failures.add(2, (name + ": extra field block runs past the end of its field").c_str());
    }
    // A directory cut short, outside the file or split fails the test whatever the entries did.
    const std::string damage = zip.StructureDamage();
    if (!damage.empty()) failures.add(3, (std::string(path) + ": " + damage).c_str());
    if (failures.empty() && !m_settings.quiet)
        std::printf("No errors detected in %s\n", escapeControlChars(path).c_str());
    return failures.report(path);
}
