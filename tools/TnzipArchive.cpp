// tnzip l and tnzip t.
#include "TnzipArchive.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "archive/ZipDn.h"
#include "base/FilePaths.h"
#include "base/LittleEndian.h"
#include "base/StringBuffer.h"
#include "base/XString.h"
#include "codecs/ZipMethod.h"
#include "extract/EntryExtractor.h"
#include "log/Logger.h"
#include "zip/ClsZip2.h"
#include "zip/ClsZipEntry2.h"
#include "zip/MemoryDataPool.h"
#include "zip/ZipExtraField.h"
#include "zip/ZipWalkEntry.h"

namespace {

// The name with '/' separators, as it reads in the archive; control characters are shown escaped.
std::string entryName(const ClsZipEntry2& entry) {
    StringBuffer name;
    entry.GetFileName(name);
    std::string out = name.text();
    for (char& c : out)
        if (c == '\\') c = '/';
    return escapeControlChars(out);
}

// Calls visit(id, data, size) for each well-formed block of an extra field.
template <class Visit>
void forEachExtraBlock(const DataBuffer* extra, Visit visit) {
    if (!extra || extra->size() == 0) return;
    ZipExtraField field(extra->data(), extra->size());
    std::uint16_t id = 0, size = 0;
    const std::uint8_t* data = nullptr;
    while (field.next(id, data, size)) visit(id, data, size);
}

// "YYYY-MM-DD HH:MM" as Info-ZIP lists it: the Unix modification time of the central record's
// extended timestamp (0x5455) or old Unix field (0x5855) in local time when there is one, else
// the DOS date and time.
std::string entryTime(const ZipWalkEntry& r) {
    bool haveUnix = false;
    std::time_t unixTime = 0;
    forEachExtraBlock(r.centralExtra.get(), [&](std::uint16_t id, const std::uint8_t* d, std::uint16_t n) {
        if (haveUnix) return;
        if (id == 0x5455 && n >= 5 && (d[0] & 1)) {
            unixTime = static_cast<std::time_t>(loadLe32(d + 1));
            haveUnix = true;
        } else if (id == 0x5855 && n >= 8) {
            unixTime = static_cast<std::time_t>(loadLe32(d + 4));
            haveUnix = true;
        }
    });
    char text[64];
    std::tm t{};
#ifdef _WIN32
    const bool local = haveUnix && localtime_s(&t, &unixTime) == 0;
#else
    const bool local = haveUnix && localtime_r(&unixTime, &t) != nullptr;
#endif
    if (local) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour, t.tm_min);
        return text;
    }
    const unsigned date = r.centralRecord.dosDate, time = r.centralRecord.dosTime;
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                  time >> 11, (time >> 5) & 63);
    return text;
}

bool wellFormed(const DataBuffer* extra) { return !extra || ZipExtraField::isWellFormed(extra->data(), extra->size()); }

// Extraction reads past a malformed extra field; testing reports it, as unzip -t does.
bool extraFieldsWellFormed(const ClsZipEntry2& entry) {
    const ZipWalkEntry* r = entry.walkEntry();
    return !r || (wellFormed(r->localExtra.get()) && wellFormed(r->centralExtra.get()));
}

int actualMethod(const ZipWalkEntry& r) {
    return r.centralRecord.method == ZipMethod::kAes ? r.aesActualMethod : r.centralRecord.method;
}

std::string encryptionName(const ZipWalkEntry& r) {
    if (r.encryptionKind == 4) return "AES-" + std::to_string(r.keyLength == 1 ? 128 : r.keyLength == 2 ? 192 : 256);
    if (r.encryptionKind != 0) return "Tarnel";
    if (r.centralRecord.flags & 1) return "ZipCrypto";
    return "-";
}

int ratioPercent(std::uint64_t size, std::uint64_t packed) {
    if (size == 0) return 0;
    double r = (double(size) - double(packed)) * 100.0 / double(size);
    return int(r < 0 ? r - 0.5 : r + 0.5);
}

const char* hostName(unsigned host) {
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
std::string attributeText(const CentralRecord& c) {
    const unsigned host = c.versionMadeBy >> 8;
    const std::uint32_t ext = c.externalAttributes;
    if (host == 3 || host == 19) {
        const unsigned mode = ext >> 16;
        std::string s = (mode & 0170000) == 0040000 ? "d" : (mode & 0170000) == 0120000 ? "l" : "-";
        const char* rwx = "rwxrwxrwx";
        for (int i = 0; i < 9; ++i) s += (mode & (0400 >> i)) ? rwx[i] : '-';
        return s;
    }
    std::string s;
    s += (ext & 0x10) ? 'd' : '-';
    s += (ext & 0x20) ? 'a' : '-';
    s += (ext & 0x04) ? 's' : '-';
    s += (ext & 0x02) ? 'h' : '-';
    s += (ext & 0x01) ? 'r' : '-';
    return s;
}

std::string extraIds(const ZipWalkEntry& r) {
    std::string s;
    forEachExtraBlock(r.centralExtra.get(), [&](std::uint16_t id, const std::uint8_t*, std::uint16_t) {
        char text[8];
        std::snprintf(text, sizeof text, "%s%04X", s.empty() ? "" : ",", id);
        s += text;
    });
    return s.empty() ? "-" : s;
}

}  // namespace

ClsZip2* TnzipArchive::open(ZipDn& dn, const char* path) {
    if (m_settings.oemCodePage) dn.setOemCodePage(m_settings.oemCodePage);
    dn.setVerboseLogging(m_settings.verbose);
    if (m_settings.maxDecoderMemory) dn.setMaxDecoderMemory(m_settings.maxDecoderMemory);
    XString xpath;
    xpath.setUtf8(path);
    if (!dn.open(xpath) || !dn.archive()) {
        std::fprintf(stderr, "tnzip: cannot open %s\n", escapeControlChars(path).c_str());
        StringBuffer log;
        if (dn.getLog(ZipDn::LogFormat::kText, log)) std::fprintf(stderr, "%s\n", log.text());
        return nullptr;
    }
    if (m_settings.password) dn.setPassword(m_settings.password);
    return dn.archive();
}

int TnzipArchive::list(const char* path) {
    ZipDn dn;
    ClsZip2* zip = open(dn, path);
    if (!zip) return 1;
    const bool v = m_settings.verbose;
    std::printf("Archive:  %s\n", escapeControlChars(path).c_str());
    std::printf("    Length      Packed  Ratio  Method     Encryption  Date       Time   CRC-32    %sName\n",
                v ? "Attributes  Host   Extra                 " : "");
    std::printf("----------  ----------  -----  ---------  ----------  ---------- -----  --------  %s----\n",
                v ? "----------  -----  --------------------  " : "");
    std::uint64_t totalSize = 0, totalPacked = 0;
    int files = 0;
    for (int i = 0; i < zip->numEntries(); ++i) {
        ClsZipEntry2* entry = zip->entryAt(i);
        const ZipWalkEntry* r = entry ? entry->walkEntry() : nullptr;
        if (!r) continue;
        const CentralRecord& c = r->centralRecord;
        std::printf("%10" PRIu64 "  %10" PRIu64 "  %4d%%  %-9s  %-10s  %s  %08" PRIx32 "  ", c.uncompressedSize,
                    c.compressedSize, ratioPercent(c.uncompressedSize, c.compressedSize),
                    ZipMethod::name(actualMethod(*r)), encryptionName(*r).c_str(), entryTime(*r).c_str(), c.crc32);
        if (v)
            std::printf("%-10s  %-5s  %-20s  ", attributeText(c).c_str(), hostName(c.versionMadeBy >> 8),
                        extraIds(*r).c_str());
        std::printf("%s\n", entryName(*entry).c_str());
        totalSize += c.uncompressedSize;
        totalPacked += c.compressedSize;
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
    ZipDn dn;
    ClsZip2* zip = open(dn, path);
    if (!zip) return 1;
    Logger& log = zip->log();
    log.clearLog();
    MemoryDataPool pool;
    EntryExtractor extractor(".", false, log, nullptr, nullptr, pool);
    extractor.setTestOnly(true);
    std::vector<std::string> failed;
    for (int i = 0; i < zip->numEntries(); ++i) {
        ClsZipEntry2* entry = zip->entryAt(i);
        if (!entry || entry->IsEmptyKind()) continue;
        const std::string name = entryName(*entry);
        bool ok = extractor.UnzipEntry(*entry);
        if (ok && !extraFieldsWellFormed(*entry)) {
            log.logError("Extra field block runs past the end of its field");
            ok = false;
        }
        if (!ok) failed.push_back(name);
        if (!m_settings.quiet || !ok) std::printf("    testing: %-40s %s\n", name.c_str(), ok ? "OK" : "FAILED");
    }
    if (m_settings.verbose || !failed.empty()) {
        StringBuffer text;
        if (dn.getLog(ZipDn::LogFormat::kText, text) && *text.text()) std::fprintf(stderr, "%s\n", text.text());
    }
    if (failed.empty()) {
        if (!m_settings.quiet) std::printf("No errors detected in %s\n", escapeControlChars(path).c_str());
        return 0;
    }
    std::fprintf(stderr, "tnzip: %zu entr%s of %s failed:\n", failed.size(), failed.size() == 1 ? "y" : "ies",
                 escapeControlChars(path).c_str());
    for (const std::string& name : failed) std::fprintf(stderr, "  %s\n", name.c_str());
    return 1;
}
