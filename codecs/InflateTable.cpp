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
const std::uint16_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                     49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                     2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const std::uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                     7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Deflate sends codes most significant bit first and the tables are indexed by input bits as they
// arrive, so codes are kept bit-reversed. Adding one to a reversed `length`-bit code carries from
// the top bit down. A reversed code stays the same value when the canonical code grows longer
// (the zeros appended on the right become zeros above it).
inline unsigned nextReversed(unsigned rev, unsigned length) {
    unsigned bit = 1u << (length - 1);
    while (rev & bit) bit >>= 1;
    return (rev & (bit - 1)) | bit;
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

    // Symbols in canonical order: by length, then by symbol.
    unsigned firstOfLength[kMaxCodeBits + 2];
    firstOfLength[1] = 0;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len)
        firstOfLength[len + 1] = firstOfLength[len] + countPerLength[len];
    std::uint16_t sorted[kMaxCodes];
    for (unsigned s = 0; s < count; ++s)
        if (lengths[s]) sorted[firstOfLength[lengths[s]]++] = std::uint16_t(s);
    const unsigned used = firstOfLength[kMaxCodeBits];  // now the end of each length's run

    // Root table: codes up to the root width are placed in a table of 2^length entries, which
    // doubles (by copying itself) as the length grows, so that each code is written once and the
    // replication is done by block copies. Indexes no code claims stay invalid.
    unsigned i = 0, rev = 0, filled = 2;
    std::uint16_t rootRev[kMaxCodes];  // the reversed code of each root-width code, in canonical order
    table[0] = table[1] = kBad;
    for (unsigned len = 1; len <= rootBits; ++len) {
        for (; filled < (1u << len); filled *= 2) std::memcpy(table + filled, table, filled * sizeof *table);
        for (; i < used && lengths[sorted[i]] == len; ++i) {
            rootRev[i] = std::uint16_t(rev);
            table[rev] = symbolEntry(kind, sorted[i], len);
            rev = nextReversed(rev, len);
        }
    }

    // Sub-tables: longer codes that share their first root-width bits are consecutive in canonical
    // order; their sub-table is as wide as the longest of them (the last) needs.
    unsigned longRev[kMaxCodes];
    for (unsigned k = i; k < used; ++k) {
        longRev[k] = rev;
        rev = nextReversed(rev, lengths[sorted[k]]);
    }
    const unsigned rootMask = (1u << rootBits) - 1;
    std::uint32_t offset = 1u << rootBits;
    for (unsigned k = i; k < used;) {
        unsigned prefix = longRev[k] & rootMask, end = k + 1;
        while (end < used && (longRev[end] & rootMask) == prefix) ++end;
        unsigned width = lengths[sorted[end - 1]] - rootBits;
        table[prefix] = (offset << 16) | kSub | (width << 8) | rootBits;
        std::uint32_t* sub = table + offset;
        for (unsigned j = 0; j < (1u << width); ++j) sub[j] = kBad;
        for (; k < end; ++k) {
            unsigned len = lengths[sorted[k]];
            replicate(sub, longRev[k] >> rootBits, len - rootBits, width, symbolEntry(kind, sorted[k], len - rootBits));
        }
        offset += 1u << width;
    }
    if (kind == Kind::LitLen || kind == Kind::LitLen64) pairLiterals(table, rootBits, sorted, lengths, rootRev, i);
    return shape;
}

// Where a root entry's literal code leaves room for a second literal code within the root width,
// the entry carries both, so that the decoder writes two bytes for one lookup. Each pair of
// literal codes that fits is written once per root index it covers, which touches only the
// entries that become pairs. `sorted`, `lengths` and `rootRev` describe the first `rootCount`
// codes in canonical order, all of them at most `rootBits` long.
void InflateTable::pairLiterals(std::uint32_t* table, unsigned rootBits, const std::uint16_t* sorted,
                                const std::uint8_t* lengths, const std::uint16_t* rootRev, unsigned rootCount) {
    struct Literal {
        std::uint16_t rev;
        std::uint8_t length, byte;
    };
    Literal literals[256];
    unsigned n = 0;
    for (unsigned k = 0; k < rootCount; ++k)
        if (sorted[k] < 256) literals[n++] = {rootRev[k], lengths[sorted[k]], std::uint8_t(sorted[k])};
    // Shortest codes first, so each loop ends at the first code too long to pair.
    for (unsigned a = 0; a < n && literals[a].length + literals[0].length <= rootBits; ++a) {
        const Literal& first = literals[a];
        const std::uint32_t base = std::uint32_t(first.byte) << 16 | kLit | kPair | std::uint32_t(first.length) << 8;
        for (unsigned b = 0; b < n && first.length + literals[b].length <= rootBits; ++b) {
            unsigned both = first.length + literals[b].length;
            replicate(table, first.rev | unsigned(literals[b].rev) << first.length, both, rootBits,
                      base | std::uint32_t(literals[b].byte) << 24 | both);
        }
    }
}

namespace {

struct FixedTables {
    std::uint32_t litLen[1u << InflateTable::kFixedLitLenRoot];
    std::uint32_t dist[1u << InflateTable::kFixedDistRoot];

    FixedTables(InflateTable::Kind litLenKind, InflateTable::Kind distKind) {
        std::uint8_t lengths[InflateTable::kMaxLitLenCodes];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        InflateTable::build(litLenKind, lengths, InflateTable::kMaxLitLenCodes, InflateTable::kFixedLitLenRoot, litLen);
        std::memset(lengths, 5, InflateTable::kMaxDistCodes);
        InflateTable::build(distKind, lengths, InflateTable::kMaxDistCodes, InflateTable::kFixedDistRoot, dist);
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
