// Reads a ZIP archive by its signatures: every local header, the central directory (matched to
// the local headers by name), the ZIP64 end records and the end record. The end record found from
// the back says where the archive begins (its first local header, behind any stub); from there
// the walk reads front to back. Only without a usable end record and directory does it start
// at the first signature from the front. One ZipWalk serves one walk.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/StringBuffer.h"
#include "zip/ZipCentralIndex.h"
#include "zip/ZipWalkEntry.h"

class DataBuffer;
class ExtPtrArray;
class LogBase;
class MemoryData;

class ZipWalk {
public:
    // entries receives ZipWalkEntry objects in file order; the caller owns them even on failure.
    // comment receives the archive comment as UTF-8. sizeMismatch is set when a local header's
    // sizes differ from its central record's.
    bool walkFile(const char* utf8Path, LogBase& log, ExtPtrArray& entries, StringBuffer& comment,
                  EndOfCentralDir& endRecord, int codePage, bool& sizeMismatch, bool verbose);

    // After a walk: why the central directory could not be read whole (a truncated or missing
    // directory, a split archive), with the number of entries the end record promised, or empty.
    // The entries the walk recovered are still returned, but the archive is damaged.
    const std::string& damage() const { return m_damage; }

private:
    bool walkStructure(std::uint64_t& addr, ExtPtrArray& entries, StringBuffer& comment, EndOfCentralDir& endRecord);
    bool findFirstSignature(std::uint64_t& addr, std::uint32_t& sig);
    bool startAtFirstLocalHeader(std::uint64_t& addr, std::uint32_t& sig);
    void judgeDirectory(std::uint32_t centralRecords, const EndOfCentralDir& endRecord);
    bool walkLocalHeaders(std::uint64_t& addr, ExtPtrArray& entries);
    bool walkCentralDirectory(std::uint64_t& addr, ExtPtrArray& entries, std::uint32_t& count);
    bool walkZip64Records(std::uint64_t& addr, std::uint32_t& zip64Records, std::uint32_t& zip64OnDisk);
    bool readEndRecord(std::uint64_t& addr, EndOfCentralDir& endRecord, StringBuffer& comment,
                       std::uint32_t zip64Records, std::uint32_t zip64OnDisk);
    void readArchiveComment(std::uint64_t addr, const EndOfCentralDir& endRecord, StringBuffer& comment);

    bool readLocalHeader(std::uint64_t& addr, ZipWalkEntry& entry);
    bool readLocalName(std::uint64_t& addr, ZipWalkEntry& entry);
    bool readLocalExtra(std::uint64_t& addr, ZipWalkEntry& entry);
    void parseLocalExtra(const std::uint8_t* field, std::uint32_t length, ZipWalkEntry& entry);
    bool stepOverDeferredSizes(std::uint64_t& addr, ZipWalkEntry& entry);
    const ZipCentralIndex::Sizes* centralSizes(const ZipWalkEntry& entry);
    std::uint64_t steppedSize(ZipWalkEntry& entry);
    bool placeDescriptor(std::uint64_t& addr, ZipWalkEntry& entry, const ZipCentralIndex::Sizes& sizes);
    bool findDataDescriptor(std::uint64_t& addr, ZipWalkEntry& entry);
    void logLocalHeader(const LocalHeaderRecord& h);

    bool readCentralRecord(std::uint64_t& addr, ExtPtrArray& entries, std::uint32_t& hint);
    bool readCentralTail(std::uint64_t& addr, std::uint64_t start, const CentralRecord& rec, ZipWalkEntry& entry);
    void compareRecords(ZipWalkEntry& entry, const StringBuffer& centralName);
    void parseCentralExtra(const std::uint8_t* field, std::uint32_t length, ZipWalkEntry& entry);
    void applyHostNameRule(ZipWalkEntry& entry);
    ZipWalkEntry* matchLocalEntry(ExtPtrArray& entries, const StringBuffer& name, std::uint32_t& hint);
    void indexLocalNames(ExtPtrArray& entries);
    ZipWalkEntry* entryAtRecordedOffset(ExtPtrArray& entries, const CentralRecord& rec, std::uint32_t& hint);
    int firstWithName(std::string_view name, std::uint32_t from) const;
    void logCentralRecord(const CentralRecord& r, std::uint64_t start);
    // A name or comment from the archive, its control characters escaped first so that not even
    // a CR LF pair (which quoted-printable keeps) reaches the log raw.
    void logArchiveText(const char* key, const StringBuffer& text);
    // Whether a Unicode path field (its data and length) still belongs to the name whose stored
    // bytes have this CRC. A tool that renamed the entry without knowing the field leaves it
    // stale; peers then show the header name, and so do we.
    bool unicodeFieldFits(const std::uint8_t* data, std::uint16_t length, std::uint32_t nameCrc);

    bool readZip64EndOfCentralDir(std::uint64_t& addr, std::uint32_t& records, std::uint32_t& onDisk);
    bool readZip64Locator(std::uint64_t& addr);
    bool peekSignature(std::uint64_t addr, std::uint32_t& sig);
    // n bytes at addr, or null after logging the failure text and "filePosition".
    const std::uint8_t* readRecordPart(std::uint64_t addr, std::uint32_t n, const char* failure,
                                       std::uint64_t position);
    void logBlockHeader(std::uint16_t id, std::uint16_t length);
    void decodeName(const std::uint8_t* bytes, std::uint32_t n, std::uint16_t flags, ZipWalkEntry& entry);

    // Sizes from the file may be anything; an address that would wrap around is pinned to the
    // largest value, where every later read fails, so the walk never steps backwards.
    static std::uint64_t advance(std::uint64_t addr, std::uint64_t n) {
        return addr + n < addr ? UINT64_MAX : addr + n;
    }

    // Per-walk settings and counters; valid only inside walkFile.
    MemoryData* m_data = nullptr;
    LogBase* m_log = nullptr;
    int m_codePage = 437;
    bool m_verbose = false;
    bool* m_sizeMismatch = nullptr;
    std::int32_t m_scanCount = 0;
    // The central record's name being matched; kept across records to spare an allocation each.
    StringBuffer m_centralName;
    std::uint32_t m_centralNameCrc = 0;  // CRC-32 of m_centralName's bytes as stored
    // Local entries by raw name, each list in file order, so that matching a central record
    // costs the same whatever the order of the central directory.
    std::unordered_map<std::string_view, std::vector<int>> m_localsByName;
    std::unordered_map<std::uint64_t, int> m_localsByAddress;  // only with the directory located
    // The central directory located from the end before the walk; its records are indexed on
    // first use, for entries whose sizes follow their data.
    std::unique_ptr<ZipCentralIndex> m_central;
    std::string m_damage;
    // A descriptor search from here on found nothing, so none after it can find anything.
    std::uint64_t m_noDescriptorFrom = UINT64_MAX;
};
