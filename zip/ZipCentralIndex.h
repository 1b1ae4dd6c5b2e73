// The central directory found from the end record at the end of the file, before the walk. It
// says where the archive the end record describes begins (its lowest local header, moved by the
// distance the whole archive was shifted behind a stub), so that ZIP bytes inside a stub or an
// archive in front of this one are never taken for it; and what is wrong when the directory
// cannot be read whole. The walk also consults it for entries whose local header leaves the
// sizes to a data descriptor: the central record's compressed size says where the data ends,
// whether or not the descriptor behind it carries a signature, and its sizes and CRC are the
// entry's.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

class MemoryData;

class ZipCentralIndex {
public:
    struct Sizes {
        std::uint64_t compressed = 0;
        std::uint64_t uncompressed = 0;
        std::uint32_t crc = 0;
        bool zip64 = false;  // a size needed the ZIP64 block
    };

    // Why the directory the end record names cannot be read whole.
    enum class Fault { kNone, kSplit, kOutside, kTruncated };

    // Finds the end record and counts the records of its directory. True when the directory was
    // found (even when it holds fewer records than promised). Nothing is logged: the walk
    // reports the directory when it reaches it.
    bool load(MemoryData& data);

    bool found() const { return m_found; }
    Fault fault() const { return m_fault; }
    // The one-line cause of a fault, for the log; null without one.
    const char* faultText() const;
    std::uint64_t promisedRecords() const { return m_promised; }
    std::uint64_t records() const { return m_records; }
    std::uint64_t directoryStart() const { return m_dir.start; }
    // Actual minus recorded offsets: the length of what precedes an archive moved unadjusted.
    std::int64_t shift() const { return m_dir.shift; }
    // Where the archive's first local header is; the directory's start when it names none.
    std::uint64_t firstLocalHeader() const;
    // The same without the shift: where the directory's offsets say it is.
    std::uint64_t firstLocalHeaderAsRecorded() const;

    // The sizes of the central record that points at this local header (its offset corrected by
    // the distance the whole archive was moved, e.g. behind a stub), else of the first central
    // record with this name; null when neither exists. The first call reads the records.
    const Sizes* find(MemoryData& data, std::uint64_t localHeaderAddress, const char* rawName, int nameLength);
    // Only the record that points at this local header.
    const Sizes* atAddress(MemoryData& data, std::uint64_t localHeaderAddress);

private:
    struct Directory {
        std::uint64_t start = 0;  // where the central directory actually is
        std::int64_t shift = 0;   // actual minus recorded offsets
        std::uint64_t end = 0;    // the first byte after it
        std::uint64_t recorded = 0;
        std::uint64_t size = 0;
        std::uint64_t promised = 0;
        bool split = false;
    };
    bool locate(MemoryData& data, Directory& dir);
    void readEndRecord(MemoryData& data, std::uint64_t endAddress, Directory& dir);
    bool directoryAt(MemoryData& data, Directory& dir);
    void classifyMissing(MemoryData& data, const Directory& dir);
    // Visits every record of the directory: visit(record bytes, variable part, sizes, offset).
    template <class Visit>
    std::uint64_t forEachRecord(MemoryData& data, Visit visit);
    void index(MemoryData& data);
    void indexNames(MemoryData& data);

    Directory m_dir;
    bool m_found = false;
    bool m_indexed = false;
    bool m_namesIndexed = false;
    Fault m_fault = Fault::kNone;
    std::uint64_t m_promised = 0;
    std::uint64_t m_records = 0;
    std::uint64_t m_firstLocal = UINT64_MAX;
    std::unordered_map<std::uint64_t, Sizes> m_byAddress;
    std::unordered_map<std::string, Sizes> m_byName;
};
