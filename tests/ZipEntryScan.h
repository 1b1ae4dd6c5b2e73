// Test helper: finds the members of a small, single-disk, non-ZIP64 archive through its central
// directory and local headers, for tests of decoders that run before the archive reader exists.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct ScannedEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t dosTime = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t dataOffset = 0;  // first byte after the local header
};

inline std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline std::uint32_t scanLe(const std::vector<std::uint8_t>& b, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b.at(at + i);
    return v;
}

// Empty when there is no end record or a record points outside the file.
inline std::vector<ScannedEntry> scanZipEntries(const std::vector<std::uint8_t>& zip) {
    std::vector<ScannedEntry> entries;
    if (zip.size() < 22) return entries;
    std::size_t end = zip.size() - 22;
    while (scanLe(zip, end, 4) != 0x06054b50) {
        if (end == 0) return entries;
        --end;
    }
    std::size_t at = scanLe(zip, end + 16, 4);
    for (std::uint32_t n = scanLe(zip, end + 10, 2); n > 0; --n) {
        if (at + 46 > zip.size() || scanLe(zip, at, 4) != 0x02014b50) return {};
        ScannedEntry e;
        e.flags = static_cast<std::uint16_t>(scanLe(zip, at + 8, 2));
        e.method = static_cast<std::uint16_t>(scanLe(zip, at + 10, 2));
        e.dosTime = static_cast<std::uint16_t>(scanLe(zip, at + 12, 2));
        e.crc = scanLe(zip, at + 16, 4);
        e.compressedSize = scanLe(zip, at + 20, 4);
        e.size = scanLe(zip, at + 24, 4);
        std::uint32_t nameLen = scanLe(zip, at + 28, 2);
        std::size_t local = scanLe(zip, at + 42, 4);
        e.name.assign(zip.begin() + at + 46, zip.begin() + at + 46 + nameLen);
        e.dataOffset = static_cast<std::uint32_t>(local + 30 + scanLe(zip, local + 26, 2) + scanLe(zip, local + 28, 2));
        if (e.dataOffset + static_cast<std::size_t>(e.compressedSize) > zip.size()) return {};
        entries.push_back(e);
        at += 46 + nameLen + scanLe(zip, at + 30, 2) + scanLe(zip, at + 32, 2);
    }
    return entries;
}
