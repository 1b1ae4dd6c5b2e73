// Canonical Huffman table construction for inflate, and the process-wide fixed tables.
#include "codecs/InflateTable.h"

#include <cstring>

namespace {

// Length symbols 257-285 and distance symbols 0-29: bases and extra bit counts of the deflate format.
const std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance symbols 30 and 31 exist only in deflate64.
const std::uint16_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,    33,
                                     49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,  1537,
                                     2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const std::uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                     7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Deflate sends codes most significant bit first; the tables are indexed by input bits as they arrive.
unsigned reverseBits(unsigned code, unsigned length) {
    unsigned r = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// Writes `entry` at every index whose low `length` bits are `code`, in a table of 2^width entries.
void replicate(std::uint32_t* table, unsigned code, unsigned length, unsigned width, std::uint32_t entry) {
    for (unsigned i = code; i < (1u << width); i += 1u << length) table[i] = entry;
}

}  // namespace

std::uint32_t InflateTable::symbolEntry(Kind kind, unsigned symbol, unsigned length) {
    if (kind == Kind::CodeLen) return (symbol << 16) | length;
    if (kind == Kind::Dist || kind == Kind::Dist64) {
        if (symbol >= (kind == Kind::Dist64 ? 32u : 30u)) return kBad;
        return (std::uint32_t(kDistBase[symbol]) << 16) | (length << 8) | (length + kDistExtra[symbol]);
    }
    if (symbol < 256) return (symbol << 16) | kLit | length;
    if (symbol == 256) return kEnd | length;
    if (symbol >= 286) return kBad;
    if (symbol == 285 && kind == Kind::LitLen64) return (3u << 16) | (length << 8) | (length + 16);
    unsigned i = symbol - 257;
    return (std::uint32_t(kLengthBase[i]) << 16) | (length << 8) | (length + kLengthExtra[i]);
}

InflateTable::Shape InflateTable::shapeOf(const unsigned* countPerLength) {
    int left = 1;  // code space still free, in units of the current length
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        left = (left << 1) - int(countPerLength[len]);
        if (left < 0) return Shape::OverSubscribed;
    }
    return left == 0 ? Shape::Complete : Shape::Incomplete;
}

InflateTable::Shape InflateTable::build(Kind kind, const std::uint8_t* lengths, unsigned count, unsigned rootBits,
                                        std::uint32_t* table) {
    unsigned countPerLength[kMaxCodeBits + 1] = {};
    for (unsigned s = 0; s < count; ++s) countPerLength[lengths[s]]++;
    countPerLength[0] = 0;
    Shape shape = shapeOf(countPerLength);
    if (shape == Shape::OverSubscribed) return shape;

    // First canonical code of each length.
    unsigned nextCode[kMaxCodeBits + 2] = {};
    for (unsigned len = 1, code = 0; len <= kMaxCodeBits; ++len) {
        code = (code + countPerLength[len - 1]) << 1;
        nextCode[len] = code;
    }
    unsigned codes[320];
    unsigned nextCodeCopy[kMaxCodeBits + 2];
    std::memcpy(nextCodeCopy, nextCode, sizeof nextCode);
    for (unsigned s = 0; s < count; ++s)
        if (lengths[s]) codes[s] = reverseBits(nextCodeCopy[lengths[s]]++, lengths[s]);

    // Size the sub-tables: one per root prefix of a long code, wide enough for its longest code.
    // Root widths never exceed 10 bits.
    const unsigned rootSize = 1u << rootBits, rootMask = rootSize - 1;
    std::uint8_t subWidth[1u << 10] = {};
    for (unsigned s = 0; s < count; ++s)
        if (lengths[s] > rootBits) {
            std::uint8_t& w = subWidth[codes[s] & rootMask];
            if (lengths[s] - rootBits > w) w = std::uint8_t(lengths[s] - rootBits);
        }
    std::uint32_t offset = rootSize;
    std::uint32_t subOffset[1u << 10];
    for (unsigned p = 0; p < rootSize; ++p) {
        if (!subWidth[p]) continue;
        subOffset[p] = offset;
        offset += 1u << subWidth[p];
    }
    for (unsigned i = 0; i < offset; ++i) table[i] = kBad;
    for (unsigned p = 0; p < rootSize; ++p)
        if (subWidth[p]) table[p] = (subOffset[p] << 16) | kSub | (unsigned(subWidth[p]) << 8) | rootBits;

    for (unsigned s = 0; s < count; ++s) {
        unsigned len = lengths[s];
        if (!len) continue;
        if (len <= rootBits) {
            replicate(table, codes[s], len, rootBits, symbolEntry(kind, s, len));
            continue;
        }
        unsigned p = codes[s] & rootMask;
        replicate(table + subOffset[p], codes[s] >> rootBits, len - rootBits, subWidth[p],
                  symbolEntry(kind, s, len - rootBits));
    }
    if (kind == Kind::LitLen || kind == Kind::LitLen64) pairLiterals(table, rootBits);
    return shape;
}

// Where a root entry's literal code leaves room for a second literal code within the root width,
// the entry carries both, so that the decoder writes two bytes for one lookup.
void InflateTable::pairLiterals(std::uint32_t* table, unsigned rootBits) {
    for (unsigned i = 0; i < (1u << rootBits); ++i) {
        std::uint32_t first = table[i];
        if (!(first & kLit)) continue;
        unsigned firstBits = first & 31;
        // Entries below i may already be pairs; only their first literal counts here.
        std::uint32_t second = table[i >> firstBits];
        if (!(second & kLit)) continue;
        unsigned secondBits = firstCodeBits(second);
        if (firstBits + secondBits > rootBits) continue;
        table[i] = ((first >> 16) & 0xFF) << 16 | ((second >> 16) & 0xFF) << 24 | kLit | kPair | (firstBits << 8) |
                   (firstBits + secondBits);
    }
}

namespace {

struct FixedTables {
    std::uint32_t litLen[1u << InflateTable::kFixedLitLenRoot];
    std::uint32_t dist[1u << InflateTable::kFixedDistRoot];

    FixedTables(InflateTable::Kind litLenKind, InflateTable::Kind distKind) {
        std::uint8_t lengths[288];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        InflateTable::build(litLenKind, lengths, 288, InflateTable::kFixedLitLenRoot, litLen);
        std::memset(lengths, 5, 32);
        InflateTable::build(distKind, lengths, 32, InflateTable::kFixedDistRoot, dist);
    }
};

// Built on first use; the language makes the first construction thread-safe.
const FixedTables& fixedTables() {
    static const FixedTables tables(InflateTable::Kind::LitLen, InflateTable::Kind::Dist);
    return tables;
}

const FixedTables& fixedTables64() {
    static const FixedTables tables(InflateTable::Kind::LitLen64, InflateTable::Kind::Dist64);
    return tables;
}

}  // namespace

const std::uint32_t* InflateTable::fixedLitLen() { return fixedTables().litLen; }
const std::uint32_t* InflateTable::fixedDist() { return fixedTables().dist; }
const std::uint32_t* InflateTable::fixedLitLen64() { return fixedTables64().litLen; }
const std::uint32_t* InflateTable::fixedDist64() { return fixedTables64().dist; }
