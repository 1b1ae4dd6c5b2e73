// The inflate hot loop. A refill leaves at least 56 bits in the bit buffer: enough for three
// root-table literal entries (10 bits each at most), or for a literal/length code with its extra
// bits and a distance code with its extra bits (48 bits at most).
#include "codecs/InflateFastLoop.h"

#include "codecs/InflateTable.h"

namespace {

// The base carried by a length or distance entry plus the extra bits after its code.
inline unsigned valueOf(std::uint32_t e, std::uint64_t bits) {
    return (e >> 16) + unsigned((bits & ((std::uint64_t(1) << (e & 31)) - 1)) >> ((e >> 8) & 15));
}

// The loop body, compiled once for any x86-64 (or other) processor and once more with BMI2, whose
// shift and bit-extract instructions shorten the work on every code.
__attribute__((always_inline)) inline InflateFastLoop::Stop runLoop(InflateCursor& cursor, const std::uint8_t* inLimit,
                                                                    const std::uint8_t* outLimit,
                                                                    const InflateFastLoop::Codes& codes) {
    using Stop = InflateFastLoop::Stop;
    std::uint64_t bits = cursor.bits;  // in locals, so the compiler keeps them in registers
    unsigned count = cursor.count;
    const std::uint8_t* in = cursor.in;
    std::uint8_t* out = cursor.out;
    const std::uint64_t litMask = (1u << codes.litLenRoot) - 1;
    const std::uint64_t distMask = (1u << codes.distRoot) - 1;
    const std::uint32_t* lit = codes.litLen;
    const std::uint32_t* dist = codes.dist;
    Stop stop = Stop::Limit;

    auto refill = [&] {
        bits |= InflateCursor::load64(in) << count;
        in += (63 - count) >> 3;
        count |= 56;
    };
    // Entries keep bit 5 clear, so `e & 63` is the consume count and the shift needs no masking.
    auto drop = [&](unsigned n) {
        bits >>= n;
        count -= n;
    };

    // The entry of the next symbol is looked up ahead, right after a refill, so that the table
    // load overlaps the work of the symbol before it.
    refill();
    std::uint32_t e = lit[bits & litMask];
    // A root-table literal entry holds one literal or a pair; both bytes are stored either way
    // and the second is overwritten later when it is not part of the output.
    auto putLiterals = [&](std::uint32_t entry) {
        drop(entry & 63);
        out[0] = std::uint8_t(entry >> 16);
        out[1] = std::uint8_t(entry >> 24);
        out += 1 + ((entry >> 7) & 1);
    };

    while (in < inLimit && out < outLimit) {
        if (e & InflateTable::kLit) {
            // Up to two more root-table literal entries fit in the bits already loaded (10 bits each).
            putLiterals(e);
            e = lit[bits & litMask];
            if (e & InflateTable::kLit) {
                putLiterals(e);
                e = lit[bits & litMask];
                if (e & InflateTable::kLit) {
                    putLiterals(e);
                    refill();
                    e = lit[bits & litMask];
                    continue;
                }
            }
            refill();  // the entry in hand stays valid: refilling only adds bits above `count`
        }
        if (e & InflateTable::kSub) {
            drop(e & 63);
            e = lit[(e >> 16) + (bits & ((1u << ((e >> 8) & 15)) - 1))];
            if (e & InflateTable::kLit) {
                drop(e & 63);
                *out++ = std::uint8_t(e >> 16);
                refill();
                e = lit[bits & litMask];
                continue;
            }
        }
        if (e & (InflateTable::kEnd | InflateTable::kBad)) {
            if (e & InflateTable::kBad) {
                stop = Stop::BadLitLen;
                break;
            }
            drop(e & 63);
            stop = Stop::EndOfBlock;
            break;
        }
        unsigned length = valueOf(e, bits);
        drop(e & 63);
        std::uint32_t d = dist[bits & distMask];
        if (d & InflateTable::kSub) {
            drop(d & 63);
            d = dist[(d >> 16) + (bits & ((1u << ((d >> 8) & 15)) - 1))];
        }
        if (d & InflateTable::kBad) {
            stop = Stop::BadDistance;
            break;
        }
        unsigned distance = valueOf(d, bits);
        drop(d & 63);
        refill();
        e = lit[bits & litMask];
        out = inflateCopyMatch(out, distance, length);
    }
    cursor.bits = bits;
    cursor.count = count;
    cursor.in = in;
    cursor.out = out;
    return stop;
}

InflateFastLoop::Stop runPortable(InflateCursor& cursor, const std::uint8_t* inLimit, const std::uint8_t* outLimit,
                                  const InflateFastLoop::Codes& codes) {
    return runLoop(cursor, inLimit, outLimit, codes);
}

#if defined(__x86_64__)
__attribute__((target("bmi2"))) InflateFastLoop::Stop runBmi2(InflateCursor& cursor, const std::uint8_t* inLimit,
                                                             const std::uint8_t* outLimit,
                                                             const InflateFastLoop::Codes& codes) {
    return runLoop(cursor, inLimit, outLimit, codes);
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
    return chosen(cursor, inLimit, outLimit, codes);
}
