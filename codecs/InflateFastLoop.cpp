// The inflate hot loop. A refill leaves at least 56 bits in the bit buffer; the loop refills once
// per match and once per run of up to three root-table literal entries.
#include "codecs/InflateFastLoop.h"

#include <cstring>

#include "base/LittleEndian.h"
#include "codecs/InflateTable.h"

namespace {

constexpr unsigned kMaxLengthExtra = 5, kMaxDistExtra = 13;  // plain deflate; deflate64 takes the careful loop
// Bits valid at the top of the loop: a root length entry (code and extra bits) and a root distance
// lookup, which is also more than a root literal entry and the lookup after it.
constexpr unsigned kTopBits = InflateTable::kLitLenRoot + kMaxLengthExtra + InflateTable::kDistRoot;
static_assert(kInflateRefillBits - 2 * InflateTable::kLitLenRoot >= kTopBits, "two literal entries after a refill");
static_assert(kInflateRefillBits - InflateTable::kMaxCodeBits - kMaxDistExtra >= kTopBits, "a distance after a refill");
static_assert(kTopBits >= 2 * InflateTable::kLitLenRoot, "a literal entry and the next lookup");

static_assert(kInflateCopyOverrun >= 2, "the bytes stored after a match lie within the copy's overrun");

constexpr std::uint64_t kLitMask = (1u << InflateTable::kLitLenRoot) - 1;
constexpr std::uint64_t kDistMask = (1u << InflateTable::kDistRoot) - 1;

// The low `e & 31` bits of `bits`. A length or distance entry has bits 5-7 clear, so BMI2's bzhi
// can take the entry itself as its index.
template <bool kBmi2>
__attribute__((always_inline)) inline std::uint64_t lowBits(std::uint64_t bits, std::uint32_t e) {
#if defined(__x86_64__)
    if constexpr (kBmi2) {
        std::uint64_t low;
        asm("bzhi %2, %1, %0" : "=r"(low) : "r"(bits), "r"(std::uint64_t(e)));
        return low;
    }
#endif
    return bits & ((std::uint64_t(1) << (e & 31)) - 1);
}

// The base carried by a length or distance entry plus the extra bits after its code. Bits 12-13
// of such an entry are clear, so `(e >> 8) & 63` is its code length.
template <bool kBmi2>
__attribute__((always_inline)) inline unsigned valueOf(std::uint32_t e, std::uint64_t bits) {
    return (e >> 16) + unsigned(lowBits<kBmi2>(bits, e) >> ((e >> 8) & 63));
}

// The loop body, compiled once for any x86-64 (or other) processor and once more with BMI2, whose
// shift and bit-extract instructions shorten the work on every code.
template <bool kBmi2>
__attribute__((always_inline)) inline InflateFastLoop::Stop runLoop(InflateCursor& cursor, const std::uint8_t* inLimit,
                                                                    const std::uint8_t* outLimit,
                                                                    const InflateFastLoop::Codes& codes) {
    using Stop = InflateFastLoop::Stop;
    std::uint64_t bits = cursor.bits;  // in locals, so the compiler keeps them in registers
    // Only the low 6 bits of `count` are the bit count: whole entries are subtracted from it,
    // which is one instruction, and their low 6 bits are the bits they consume.
    std::uint32_t count = cursor.count;
    const std::uint8_t* in = cursor.in;
    std::uint8_t* out = cursor.out;
    const std::uint32_t* lit = codes.litLen;
    const std::uint32_t* dist = codes.dist;
    Stop stop = Stop::Limit;

    auto refill = [&] {
        bits |= loadLe64(in) << (count & 63);
        in += 7 - ((count >> 3) & 7);
        count |= kInflateRefillBits;
    };
    // Entries keep bit 5 clear, so `e & 63` is the consume count.
    auto drop = [&](std::uint32_t e) {
        bits >>= (e & 63);
        count -= e;
    };

    // The entry of the next symbol is looked up ahead, as soon as its bits are in hand, so that
    // the table load overlaps the work of the symbol before it. A refill comes between looking an
    // entry up and dropping its bits, where it stays off the chain of loads: the next lookup
    // waits only for the entry's own bits to be dropped.
    //
    // At the top of the loop `e` is the entry at the low bits of `bits`, and at least kTopBits
    // are valid: a root literal entry and the next lookup, or a root length entry with its extra
    // bits and a root distance lookup.
    refill();
    std::uint32_t e = lit[bits & kLitMask];
    // A root-table literal entry holds one literal or a pair. Its bytes are stored as soon as the
    // entry is in hand, before its kind is tested, so the store waits for no branch: both bytes
    // (one 16-bit store, the literal in bits 16-23 lands first in memory on a little-endian
    // machine), whatever the entry. Bytes at and after `out` are not output yet: a second byte
    // that is not part of a pair, or the bytes of a length or other entry, are overwritten by
    // what is decoded next, and the window's margin takes them at the loop's limit.
    auto storeLiterals = [&](std::uint32_t entry) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::uint16_t both = std::uint16_t(entry >> 16);
        std::memcpy(out, &both, 2);
#else
        out[0] = std::uint8_t(entry >> 16);
        out[1] = std::uint8_t(entry >> 24);
#endif
    };
    // Takes a literal entry whose bytes storeLiterals has written.
    auto putLiterals = [&](std::uint32_t entry) {
        drop(entry);
        out += 1 + ((entry >> 7) & 1);
    };

    // Whether `e` is a literal or a length follows the data, so that branch is often mispredicted.
    // Both tables are looked up at the bits after `e` before the branch (a literal entry and a
    // length entry with its extra bits consume the same `e & 63`), so that whichever way it
    // goes, the next entry is already on its way, also after a misprediction. The lookup that
    // the branch does not take is discarded; the bits it saw need not be valid.
    std::uint32_t nextLit, nextDist;
    auto lookAhead = [&] {
        std::uint64_t after = bits >> (e & 63);
        nextLit = lit[after & kLitMask];
        nextDist = dist[after & kDistMask];
        // Keeps the compiler from sinking each load into the branch that uses it.
        asm volatile("" : "+r"(nextLit), "+r"(nextDist));
    };
    lookAhead();
    storeLiterals(e);
    while (in < inLimit && out < outLimit) {
        if (e & InflateTable::kLit) {
            putLiterals(e);
            e = nextLit;
            refill();
            lookAhead();
            storeLiterals(e);
            // Two more root-table literal entries fit in the refilled bits with kTopBits to spare.
            if (e & InflateTable::kLit) {
                putLiterals(e);
                e = nextLit;
                lookAhead();
                storeLiterals(e);
                if (e & InflateTable::kLit) {
                    putLiterals(e);
                    e = nextLit;
                    lookAhead();
                    storeLiterals(e);
                    continue;
                }
            }
        }
        // One test keeps the common length code off the rarer cases: a sub-table link, the end
        // of the block and an invalid code.
        if (e & InflateTable::kSpecial) {
            if (e & InflateTable::kSub) {
                refill();
                drop(e);
                e = lit[(e >> 16) + (bits & ((1u << ((e >> 8) & 15)) - 1))];
                if (e & InflateTable::kLit) {
                    drop(e);
                    *out++ = std::uint8_t(e >> 16);
                    e = lit[bits & kLitMask];
                    lookAhead();
                    storeLiterals(e);
                    continue;
                }
                lookAhead();
            }
            if (e & (InflateTable::kEnd | InflateTable::kBad)) {
                if (e & InflateTable::kBad) {
                    stop = Stop::BadLitLen;
                    break;
                }
                drop(e);
                stop = Stop::EndOfBlock;
                break;
            }
        }
        unsigned length = valueOf<kBmi2>(e, bits);
        drop(e);
        std::uint32_t d = nextDist;
        refill();
        if (d & (InflateTable::kSub | InflateTable::kBad)) {
            if (d & InflateTable::kSub) {
                drop(d);
                d = dist[(d >> 16) + (bits & ((1u << ((d >> 8) & 15)) - 1))];
            }
            if (d & InflateTable::kBad) {
                stop = Stop::BadDistance;
                break;
            }
        }
        unsigned distance = valueOf<kBmi2>(d, bits);
        drop(d);
        e = lit[bits & kLitMask];
        lookAhead();
        out = inflateCopyMatch(out, distance, length);
        storeLiterals(e);
    }
    cursor.bits = bits;
    cursor.count = count & 63;
    cursor.in = in;
    cursor.out = out;
    return stop;
}

InflateFastLoop::Stop runPortable(InflateCursor& cursor, const std::uint8_t* inLimit, const std::uint8_t* outLimit,
                                  const InflateFastLoop::Codes& codes) {
    return runLoop<false>(cursor, inLimit, outLimit, codes);
}

#if defined(__x86_64__)
__attribute__((target("bmi2"))) InflateFastLoop::Stop runBmi2(InflateCursor& cursor, const std::uint8_t* inLimit,
                                                              const std::uint8_t* outLimit,
                                                              const InflateFastLoop::Codes& codes) {
    return runLoop<true>(cursor, inLimit, outLimit, codes);
}
#endif

using RunFunction = InflateFastLoop::Stop (*)(InflateCursor&, const std::uint8_t*, const std::uint8_t*,
                                              const InflateFastLoop::Codes&);

RunFunction chooseRun() {
#if defined(__x86_64__)
    if (__builtin_cpu_supports("bmi2")) return runBmi2;
#endif
    return runPortable;
}

}  // namespace

InflateFastLoop::Stop InflateFastLoop::run(InflateCursor& cursor, const std::uint8_t* inLimit,
                                           const std::uint8_t* outLimit, const Codes& codes) {
    static const RunFunction chosen = chooseRun();  // once, at first use
    // The loop masks with the root widths of the tables this decoder builds; other tables take
    // the careful path.
    if (codes.litLenRoot != InflateTable::kLitLenRoot || codes.distRoot != InflateTable::kDistRoot) return Stop::Limit;
    return chosen(cursor, inLimit, outLimit, codes);
}
