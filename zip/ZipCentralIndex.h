// The central directory read ahead of the local headers, found from the end record at the end of
// the file. The structure walk consults it only for entries whose local header leaves the sizes
// to a data descriptor: the central record's compressed size says where the data ends, whether
// or not the descriptor behind it carries a signature, and its sizes and CRC are the entry's.
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

    // False when no end record with a readable central directory is found; the index is then
    // empty. Nothing is logged: the walk reports the directory when it reaches it in order.
    bool load(MemoryData& data);

    // The sizes of the central record that points at this local header (its offset corrected by
    // the distance the whole archive was moved, e.g. behind a stub), else of the first central
    // record with this name; null when neither exists.
    const Sizes* find(std::uint64_t localHeaderAddress, const char* rawName, int nameLength) const;

    bool empty() const { return m_byAddress.empty(); }

private:
    struct Directory {
        std::uint64_t start = 0;  // where the central directory actually is
        std::int64_t shift = 0;   // actual minus recorded offsets
        std::uint64_t end = 0;    // the first byte after it
    };
    bool locate(MemoryData& data, Directory& dir);
    bool fromEndRecord(MemoryData& data, std::uint64_t endAddress, Directory& dir);
    bool readRecords(MemoryData& data, const Directory& dir);

    std::unordered_map<std::uint64_t, Sizes> m_byAddress;
    std::unordered_map<std::string, Sizes> m_byName;
};
