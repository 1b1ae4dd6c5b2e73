// ZipCRC: table construction, the portable slicing loop and the choice of kernel.
#include "codecs/ZipCRC.h"

#include "codecs/ZipCRCFold.h"

namespace {

constexpr std::uint32_t kReflectedPoly = 0xEDB88320u;
constexpr std::uint64_t kNormalPoly = 0x104C11DB7ull;

// x^e mod P with coefficient d at bit d (not reflected).
std::uint32_t xPowerModP(unsigned e) {
    std::uint64_t r = 1;
    for (unsigned i = 0; i < e; ++i) {
        r <<= 1;
        if (r & (1ull << 32)) r ^= kNormalPoly;
    }
    return static_cast<std::uint32_t>(r);
}

std::uint32_t reverse32(std::uint32_t v) {
    std::uint32_t r = 0;
    for (int i = 0; i < 32; ++i, v >>= 1) r = (r << 1) | (v & 1);
    return r;
}

// The fold kernel keeps coefficient of x^d at bit 63 - d; see ZipCRCFold.cpp.
std::uint64_t foldConstant(unsigned e) { return static_cast<std::uint64_t>(reverse32(xPowerModP(e))) << 32; }

void buildTables(ZipCRCTables& t) {
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kReflectedPoly : c >> 1;
        t.slice[0][i] = c;
    }
    for (int k = 1; k < 16; ++k)
        for (int i = 0; i < 256; ++i) {
            std::uint32_t prev = t.slice[k - 1][i];
            t.slice[k][i] = (prev >> 8) ^ t.slice[0][prev & 0xFF];
        }
    // A lane's low quadword holds x^127..x^64 of its block, the high one x^63..x^0; one
    // carry-less product adds a factor x, hence the -1.
    t.fold128[0] = foldConstant(128 + 64 - 1);
    t.fold128[1] = foldConstant(128 - 1);
    t.fold512[0] = foldConstant(512 + 64 - 1);
    t.fold512[1] = foldConstant(512 - 1);
}

using Kernel = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

Kernel chooseKernel() { return zipCRCHasClmul() ? zipCRCFoldClmul : zipCRCSlice16; }

}  // namespace

const ZipCRCTables& zipCRCTables() {
    static const ZipCRCTables* tables = [] {
        static ZipCRCTables t;
        buildTables(t);
        return &t;
    }();
    return *tables;
}

std::uint32_t zipCRCSlice16(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    const auto& s = zipCRCTables().slice;
    // Byte j of a 16-byte step looks up slice[15 - j]: its distance, in bytes, from the step's end.
    for (; n >= 16; n -= 16, p += 16) {
        crc = s[15][(crc ^ p[0]) & 0xFF] ^ s[14][((crc >> 8) ^ p[1]) & 0xFF] ^ s[13][((crc >> 16) ^ p[2]) & 0xFF] ^
              s[12][(crc >> 24) ^ p[3]] ^ s[11][p[4]] ^ s[10][p[5]] ^ s[9][p[6]] ^ s[8][p[7]] ^ s[7][p[8]] ^
              s[6][p[9]] ^ s[5][p[10]] ^ s[4][p[11]] ^ s[3][p[12]] ^ s[2][p[13]] ^ s[1][p[14]] ^ s[0][p[15]];
    }
    for (; n > 0; --n, ++p) crc = (crc >> 8) ^ s[0][(crc ^ *p) & 0xFF];
    return crc;
}

ZipCRC::ZipCRC() : m_value(0xFFFFFFFFu) { zipCRCTables(); }

void ZipCRC::reset() { m_value = 0xFFFFFFFFu; }

void ZipCRC::update(const void* bytes, std::int32_t count) {
    if (!bytes || count <= 0) return;
    m_value = updateState(m_value, bytes, static_cast<std::size_t>(count));
}

std::uint32_t ZipCRC::finalValue() const { return ~m_value; }

std::uint32_t ZipCRC::updateState(std::uint32_t state, const void* bytes, std::size_t count) {
    static const Kernel kernel = chooseKernel();
    return kernel(state, static_cast<const std::uint8_t*>(bytes), count);
}

std::uint32_t ZipCRC::crcOfBuffer(const void* bytes, std::int32_t count, std::uint16_t* isBinary) {
    if (!bytes || count <= 0) return 0;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (isBinary) {
        std::uint32_t binary = 0, text = 0;
        for (std::int32_t i = 0; i < count; ++i) (p[i] >= 7 && p[i] < 128 ? text : binary)++;
        *isBinary = (text / 4 < binary) ? 1 : 0;
    }
    return ~updateState(0xFFFFFFFFu, p, static_cast<std::size_t>(count));
}

const std::uint32_t* ZipCRC::table() { return zipCRCTables().slice[0]; }
