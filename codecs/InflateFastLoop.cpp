// The inflate hot loop. Every symbol starts with at least 56 bits in the bit buffer, or 26 after
// two literals, enough for a literal/length code with its extra bits and a distance code with
// its extra bits (48 bits), or for one more literal.
#include "codecs/InflateFastLoop.h"

#include "codecs/InflateTable.h"

namespace {

// The base carried by a length or distance entry plus the extra bits after its code.
inline unsigned valueOf(std::uint32_t e, std::uint64_t bits) {
    return (e >> 16) + unsigned((bits & ((std::uint64_t(1) << (e & 31)) - 1)) >> ((e >> 8) & 15));
}

}  // namespace

InflateFastLoop::Stop InflateFastLoop::run(InflateCursor& cursor, const std::uint8_t* inLimit,
                                           const std::uint8_t* outLimit, const Codes& codes) {
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
    while (in < inLimit && out < outLimit) {
        if (e & InflateTable::kLit) {
            // Up to two more root-table literals fit in the bits already loaded (10 bits each).
            drop(e & 63);
            *out++ = std::uint8_t(e >> 16);
            e = lit[bits & litMask];
            if (e & InflateTable::kLit) {
                drop(e & 63);
                *out++ = std::uint8_t(e >> 16);
                e = lit[bits & litMask];
                if (e & InflateTable::kLit) {
                    drop(e & 63);
                    *out++ = std::uint8_t(e >> 16);
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
