// Magic search, bit copies and bzip2's CRC. Compiled only where libbz2 is used (TN_METHOD_BZIP2).
#if TN_METHOD_BZIP2
#include "codecs/Bzip2Bits.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t kMask48 = (std::uint64_t(1) << 48) - 1;
constexpr std::uint64_t kMagics[2] = {Bzip2Bits::kBlockMagic, Bzip2Bits::kEndMagic};

// A magic that begins r bits into byte i covers bytes i+1 and i+2 whole; most positions are
// ruled out by looking those two bytes up. Bit 2r+e of an entry: magic e at shift r has that
// value there.
struct MarkFilter {
    std::uint16_t second[256] = {};
    std::uint16_t third[256] = {};
    MarkFilter() {
        for (unsigned r = 0; r < 8; ++r) {
            for (unsigned e = 0; e < 2; ++e) {
                second[(kMagics[e] >> (32 + r)) & 0xFF] |= std::uint16_t(1u << (2 * r + e));
                third[(kMagics[e] >> (24 + r)) & 0xFF] |= std::uint16_t(1u << (2 * r + e));
            }
        }
    }
};
const MarkFilter kFilter;

struct CrcTable {
    std::uint32_t entry[256];
    std::uint8_t byLowByte[256];  // the index whose entry ends in that byte (a permutation)
    CrcTable() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i << 24;
            for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
            entry[i] = c;
            byLowByte[c & 0xFF] = std::uint8_t(i);
        }
    }
};
const CrcTable kCrc;

}  // namespace

std::uint64_t Bzip2Bits::findMarks(const std::uint8_t* data, std::size_t size, std::uint64_t fromBit,
                                   std::vector<Mark>& marks, std::size_t enough) {
    if (std::uint64_t(size) * 8 < fromBit + kMagicBits) return fromBit;
    const std::uint64_t last = std::uint64_t(size) * 8 - kMagicBits;  // last position to look at
    for (std::size_t i = fromBit / 8; std::uint64_t(i) * 8 <= last; ++i) {
        unsigned hits = kFilter.second[data[i + 1]] & kFilter.third[data[i + 2]];
        if (!hits) continue;
        std::uint64_t window = 0;  // bytes i .. i+6, the last ones zero past the end
        for (std::size_t k = 0; k < 7; ++k) window = (window << 8) | (i + k < size ? data[i + k] : 0);
        for (; hits; hits &= hits - 1) {
            const unsigned which = unsigned(__builtin_ctz(hits));
            const unsigned r = which >> 1, e = which & 1;
            const std::uint64_t p = std::uint64_t(i) * 8 + r;
            if (p < fromBit || p > last || ((window >> (8 - r)) & kMask48) != kMagics[e]) continue;
            marks.push_back({p, e == 1});
            if (marks.size() >= enough) return p + 1;
        }
    }
    return last + 1;
}

std::uint64_t Bzip2Bits::read(const std::uint8_t* data, std::uint64_t bit, unsigned n) {
    const std::uint64_t first = bit / 8, last = (bit + n - 1) / 8;
    std::uint64_t v = 0;
    for (std::uint64_t k = first; k <= last; ++k) v = (v << 8) | data[k];
    v >>= (last - first + 1) * 8 - (bit % 8) - n;
    return n == 64 ? v : v & ((std::uint64_t(1) << n) - 1);
}

void Bzip2Bits::Writer::put(std::uint64_t value, unsigned n) {
    while (n) {
        if (bits % 8 == 0) bytes.push_back(0);
        const unsigned room = 8 - unsigned(bits % 8);
        const unsigned take = std::min(room, n);
        const unsigned chunk = unsigned(value >> (n - take)) & ((1u << take) - 1);
        bytes.back() = std::uint8_t(bytes.back() | (chunk << (room - take)));
        bits += take;
        n -= take;
    }
}

void Bzip2Bits::Writer::copy(const std::uint8_t* src, std::uint64_t srcBit, std::uint64_t n) {
    while (n && bits % 8) {
        const unsigned take = unsigned(std::min<std::uint64_t>(n, 8 - bits % 8));
        put(read(src, srcBit, take), take);
        srcBit += take;
        n -= take;
    }
    // Whole bytes, each from two source bytes at one shift.
    const std::size_t whole = std::size_t(n / 8);
    const std::size_t at = bytes.size();
    bytes.resize(at + whole);
    const std::uint8_t* from = src + srcBit / 8;
    const unsigned shift = unsigned(srcBit % 8);
    if (shift == 0) {
        if (whole) std::memcpy(bytes.data() + at, from, whole);
    } else {
        std::uint8_t* to = bytes.data() + at;
        for (std::size_t j = 0; j < whole; ++j) to[j] = std::uint8_t((from[j] << shift) | (from[j + 1] >> (8 - shift)));
    }
    bits += std::uint64_t(whole) * 8;
    srcBit += std::uint64_t(whole) * 8;
    n -= std::uint64_t(whole) * 8;
    if (n) put(read(src, srcBit, unsigned(n)), unsigned(n));
}

std::uint32_t Bzip2Bits::crcUpdate(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) crc = (crc << 8) ^ kCrc.entry[(crc >> 24) ^ data[i]];
    return crc;
}

// After four bytes the register is the xor of entry[i1] << 24, entry[i2] << 16, entry[i3] << 8
// and entry[i4] (the starting value is shifted out), so the indices follow from `to` one byte
// at a time from the low end; the bytes are the indices xored with the register's top byte.
void Bzip2Bits::crcBridge(std::uint32_t from, std::uint32_t to, std::uint8_t bytes[4]) {
    std::uint8_t index[4];
    std::uint32_t rest = to;
    for (int k = 3; k >= 0; --k) {
        const unsigned shift = 8 * unsigned(3 - k);
        index[k] = kCrc.byLowByte[(rest >> shift) & 0xFF];
        rest ^= kCrc.entry[index[k]] << shift;
    }
    std::uint32_t reg = from;
    for (int k = 0; k < 4; ++k) {
        bytes[k] = std::uint8_t(index[k] ^ (reg >> 24));
        reg = (reg << 8) ^ kCrc.entry[index[k]];
    }
}
#endif  // TN_METHOD_BZIP2
