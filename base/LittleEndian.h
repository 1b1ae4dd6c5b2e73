// Little-endian integer loads and stores on unaligned bytes: the byte order of every on-disk ZIP
// field, of the code page tables, of the MD5 and Twofish words and of the deflate bit stream.
// A memcpy of the whole word compiles to one plain load or store (plus a byte swap on a
// big-endian machine), so the decoders' hot loops use these too.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

// Between the machine's byte order and little-endian, either way.
template <typename Word>
inline Word littleEndianOrder(Word v) {
    if constexpr (std::endian::native == std::endian::big) {
        if constexpr (sizeof(Word) == 2) return static_cast<Word>(__builtin_bswap16(v));
        if constexpr (sizeof(Word) == 4) return static_cast<Word>(__builtin_bswap32(v));
        if constexpr (sizeof(Word) == 8) return static_cast<Word>(__builtin_bswap64(v));
    }
    return v;
}

inline std::uint16_t loadLe16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return littleEndianOrder(v);
}

inline std::uint32_t loadLe32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return littleEndianOrder(v);
}

inline std::uint64_t loadLe64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return littleEndianOrder(v);
}

inline void storeLe16(std::uint8_t* p, std::uint16_t v) {
    v = littleEndianOrder(v);
    std::memcpy(p, &v, sizeof v);
}

inline void storeLe32(std::uint8_t* p, std::uint32_t v) {
    v = littleEndianOrder(v);
    std::memcpy(p, &v, sizeof v);
}

inline void storeLe64(std::uint8_t* p, std::uint64_t v) {
    v = littleEndianOrder(v);
    std::memcpy(p, &v, sizeof v);
}
