// Little-endian integer loads and stores on unaligned bytes: the byte order of every on-disk ZIP
// field, of the code page tables and of the MD5 and Twofish words.
#pragma once
#include <cstdint>

inline std::uint16_t loadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t loadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t loadLe64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(loadLe32(p)) | (static_cast<std::uint64_t>(loadLe32(p + 4)) << 32);
}

inline void storeLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void storeLe64(std::uint8_t* p, std::uint64_t v) {
    storeLe32(p, static_cast<std::uint32_t>(v));
    storeLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
