// The inflate hot loop. A refill leaves at least 56 bits in the bit buffer: enough for four
// root-table literal entries (10 bits each at most), or for a literal/length code with its extra
// bits and a distance code with its extra bits (48 bits at most).
#include "codecs/InflateFastLoop.h"

#include <cstring>

#include "codecs/InflateTable.h"

namespace {

constexpr unsigned kMaxLengthExtra = 5, kMaxDistExtra = 13;  // plain deflate; deflate64 takes the careful loop
static_assert(4 * InflateTable::kLitLenRoot <= kInflateRefillBits, "four literal entries per refill");
static_assert(2 * InflateTable::kMaxCodeBits + kMaxLengthExtra + kMaxDistExtra <= kInflateRefillBits,
              "a length and a distance with their extra bits per refill");

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
        bits |= InflateCursor::load64(in) << (count & 63);
        in += 7 - ((count >> 3) & 7);
        count |= kInflateRefillBits;
    };
    // Entries keep bit 5 clear, so `e & 63` is the consume count.
    auto drop = [&](std::uint32_t e) {
        bits >>= (e & 63);
        count -= e;
    };

    // The entry of the next symbol is looked up ahead, right after a refill, so that the table
    // load overlaps the work of the symbol before it.
    refill();
    std::uint32_t e = lit[bits & kLitMask];
    // A root-table literal entry holds one literal or a pair; both bytes are stored either way
    // (one 16-bit store, the literal in bits 16-23 lands first in memory on a little-endian
    // machine) and the second is overwritten later when it is not part of the output.
    auto putLiterals = [&](std::uint32_t entry) {
        drop(entry);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::uint16_t both = std::uint16_t(entry >> 16);
        std::memcpy(out, &both, 2);
#else
        out[0] = std::uint8_t(entry >> 16);
        out[1] = std::uint8_t(entry >> 24);
#endif
        out += 1 + ((entry >> 7) & 1);
    };

    while (in < inLimit && out < outLimit) {
        if (e & InflateTable::kLit) {
            // Up to three more root-table literal entries fit in the bits already loaded (10 bits each).
            putLiterals(e);
            e = lit[bits & kLitMask];
            if (e & InflateTable::kLit) {
                putLiterals(e);
                e = lit[bits & kLitMask];
                if (e & InflateTable::kLit) {
                    putLiterals(e);
                    e = lit[bits & kLitMask];
                    if (e & InflateTable::kLit) {
                        putLiterals(e);
                        refill();
                        e = lit[bits & kLitMask];
                        continue;
                    }
                }
            }
            refill();  // the entry in hand stays valid: refilling only adds bits above `count`
        }
        // One test keeps the common length code off the rarer cases: a sub-table link, the end
        // of the block and an invalid code.
        if (e & InflateTable::kSpecial) {
            if (e & InflateTable::kSub) {
                drop(e);
                e = lit[(e >> 16) + (bits & ((1u << ((e >> 8) & 15)) - 1))];
                if (e & InflateTable::kLit) {
                    drop(e);
                    *out++ = std::uint8_t(e >> 16);
                    refill();
                    e = lit[bits & kLitMask];
                    continue;
                }
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
        std::uint32_t d = dist[bits & kDistMask];
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
        refill();
        e = lit[bits & kLitMask];
        out = inflateCopyMatch(out, distance, length);
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
