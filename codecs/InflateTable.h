// Huffman decode tables for inflate: one lookup on the leading code bits resolves a symbol,
// with a second lookup in a sub-table for codes longer than the table's root width.
#pragma once
#include <cstdint>

// Entry layout (32 bits), shared by the literal/length, distance and code-length tables:
//   bits 0-4   bits to consume at this level: the code length (less the root width inside a
//              sub-table) plus the extra bits that follow it, or the root width for a link;
//              for a literal pair, both codes
//   bit 5      always 0, so `entry & 63` is the consume count
//   bit 7      literal pair: two literal codes that together fit the root width
//   bits 8-11  the code length alone, where the extra bits start (length and distance bases),
//              the first code's length in a literal pair, or the index width of a linked sub-table
//   bit 12     link to a sub-table            bit 13  end of block
//   bit 14     invalid code                   bit 15  literal (or literal pair)
//   bits 16-31 literal byte (a pair's second byte in bits 24-31), length or distance base,
//              code-length symbol, or sub-table offset
class InflateTable {
public:
    static constexpr std::uint32_t kPair = 1u << 7;
    static constexpr std::uint32_t kSub = 1u << 12;
    static constexpr std::uint32_t kEnd = 1u << 13;
    static constexpr std::uint32_t kBad = 1u << 14;
    static constexpr std::uint32_t kLit = 1u << 15;
    static constexpr std::uint32_t kSpecial = kSub | kEnd | kBad;

    static constexpr unsigned kMaxCodeBits = 15;
    static constexpr unsigned kMaxExtraBits = 16;  // deflate64's length symbol 285
    // Code lengths a dynamic header can send: 5-bit counts of 257+ literal/length and 1+ distance codes.
    static constexpr unsigned kMaxLitLenCodes = 288;
    static constexpr unsigned kMaxDistCodes = 32;
    static constexpr unsigned kMaxCodes = kMaxLitLenCodes + kMaxDistCodes;
    static constexpr unsigned kCodeLenCodes = 19;
    // 11 bits: the root entries (8 KiB) stay in the first-level cache, and more literal codes pair
    // up than at 10; measured faster than 10 and 12 on text and on executables.
    static constexpr unsigned kLitLenRoot = 11;
    // 9 bits: fewer distance codes of large files take the sub-table step; measured faster than 8.
    static constexpr unsigned kDistRoot = 9;
    static constexpr unsigned kCodeLenRoot = 7;
    // Root table plus at most one sub-table per symbol, each as large as the longest code allows.
    static constexpr unsigned kLitLenSize = (1u << kLitLenRoot) +
                                            kMaxLitLenCodes * (1u << (kMaxCodeBits - kLitLenRoot));
    static constexpr unsigned kDistSize = (1u << kDistRoot) + kMaxDistCodes * (1u << (kMaxCodeBits - kDistRoot));
    static constexpr unsigned kCodeLenSize = 1u << kCodeLenRoot;

    // The entry's fields hold what they are given: a code with its extra bits in the 5-bit
    // consume count, a root or sub-table width in the 4-bit field, a sub-table offset in 16 bits.
    static_assert(kMaxCodeBits + kMaxExtraBits <= 31, "consume count overflows bits 0-4");
    static_assert(kMaxCodeBits <= 15 && kLitLenRoot <= 15 && kDistRoot <= 15, "width overflows bits 8-11");
    static_assert(kLitLenSize <= 0x10000 && kDistSize <= 0x10000, "sub-table offset overflows bits 16-31");
    static_assert(kCodeLenRoot == 7, "every code-length code (at most 7 bits) fits the root table");

    // LitLen64 and Dist64 are deflate64's codes: length symbol 285 is a base of 3 with 16 extra
    // bits, and distance symbols 30 and 31 reach 64 KiB back.
    enum class Kind { LitLen, Dist, CodeLen, LitLen64, Dist64 };
    enum class Shape { Complete, Incomplete, OverSubscribed };

    // Fills `table` (of the kind's size) for `count` code lengths. An over-subscribed set leaves
    // the table unfilled; absent codes of an incomplete set become invalid entries.
    static Shape build(Kind kind, const std::uint8_t* lengths, unsigned count, unsigned rootBits, std::uint32_t* table);

    // The fixed codes of block type 1, built once per process with the root widths of dynamic
    // tables, so that one fast loop with constant masks serves both; every fixed code fits its root.
    static constexpr unsigned kFixedLitLenRoot = kLitLenRoot;
    static constexpr unsigned kFixedDistRoot = kDistRoot;
    static const std::uint32_t* fixedLitLen();
    static const std::uint32_t* fixedDist();
    static const std::uint32_t* fixedLitLen64();
    static const std::uint32_t* fixedDist64();

private:
    static std::uint32_t symbolEntry(Kind kind, unsigned symbol, unsigned length);
    static Shape shapeOf(const unsigned* countPerLength);
    static void pairLiterals(std::uint32_t* table, unsigned rootBits, const std::uint16_t* sorted,
                             const std::uint8_t* lengths, const std::uint16_t* rootRev, unsigned rootCount);

public:
    // Bits taken by the first (or only) symbol of a literal/length entry that was checked.
    static unsigned firstCodeBits(std::uint32_t entry) { return entry & kPair ? (entry >> 8) & 15 : entry & 31; }
};
