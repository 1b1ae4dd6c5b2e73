// Bit-level helpers for splitting a bzip2 stream into its blocks: finding the 48-bit block and
// end-of-stream magics at any bit offset, reading and copying bits (most significant bit first,
// as bzip2 writes them), and bzip2's CRC-32.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class Bzip2Bits {
public:
    static constexpr std::uint64_t kBlockMagic = 0x314159265359;
    static constexpr std::uint64_t kEndMagic = 0x177245385090;
    static constexpr unsigned kMagicBits = 48;

    // A place where one of the two magics begins; bit counts from the start of `data`.
    struct Mark {
        std::uint64_t bit;
        bool end;  // the end-of-stream magic, else the block magic
    };

    // Looks at every bit position p >= fromBit with p + 48 <= size * 8 in order and appends the
    // marks found, stopping early once `marks` holds `enough`. Returns the first position not
    // looked at.
    static std::uint64_t findMarks(const std::uint8_t* data, std::size_t size, std::uint64_t fromBit,
                                   std::vector<Mark>& marks, std::size_t enough);

    // n (at most 57) bits from `bit` on; every one of them must lie inside data.
    static std::uint64_t read(const std::uint8_t* data, std::uint64_t bit, unsigned n);

    // An output of whole bytes filled from the most significant bit; `bits` counts what is used.
    struct Writer {
        std::vector<std::uint8_t> bytes;
        std::uint64_t bits = 0;
        void put(std::uint64_t value, unsigned n);  // the low n bits of value, n <= 57
        void copy(const std::uint8_t* src, std::uint64_t srcBit, std::uint64_t n);
    };

    // bzip2's CRC-32 (polynomial 0x04C11DB7, most significant bit first) carried on over bytes;
    // a data CRC starts from ~0 and is complemented at the end.
    static std::uint32_t crcUpdate(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
    // Four bytes that carry the CRC register from `from` to `to`.
    static void crcBridge(std::uint32_t from, std::uint32_t to, std::uint8_t bytes[4]);
};
