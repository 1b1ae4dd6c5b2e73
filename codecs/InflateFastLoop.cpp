// The inflate hot loop. Every iteration starts with at least 56 bits in the bit buffer, enough for
// a literal/length code with its extra bits and a distance code with its extra bits (48 bits).
#include "codecs/InflateFastLoop.h"

#include "codecs/InflateTable.h"

namespace {

// Resolves one code through the root table and, for long codes, its sub-table; consumes its bits.
inline std::uint32_t decode(std::uint64_t& bits, unsigned& count, const std::uint32_t* table, std::uint64_t mask) {
    std::uint32_t e = table[bits & mask];
    if (e & InflateTable::kSub) {
        unsigned root = e & 31;
        bits >>= root;
        count -= root;
        e = table[(e >> 16) + (bits & ((1u << ((e >> 8) & 15)) - 1))];
    }
    unsigned n = e & 31;
    bits >>= n;
    count -= n;
    return e;
}

}  // namespace

InflateFastLoop::Stop InflateFastLoop::run(InflateCursor& cursor, const std::uint8_t* inLimit,
                                           const std::uint8_t* outLimit, const Codes& codes) {
    InflateCursor c = cursor;  // in locals, so the compiler keeps them in registers
    const std::uint64_t litMask = (1u << codes.litLenRoot) - 1;
    const std::uint64_t distMask = (1u << codes.distRoot) - 1;
    const std::uint32_t* lit = codes.litLen;
    const std::uint32_t* dist = codes.dist;
    Stop stop = Stop::Limit;

    while (c.in < inLimit && c.out < outLimit) {
        c.refillWide();
        InflateCursor before = c;
        std::uint32_t e = decode(c.bits, c.count, lit, litMask);
        if (e & InflateTable::kLit) {
            // Up to two more literals fit in the bits already loaded (15 bits each).
            *c.out++ = std::uint8_t(e >> 16);
            before = c;
            e = decode(c.bits, c.count, lit, litMask);
            if (e & InflateTable::kLit) {
                *c.out++ = std::uint8_t(e >> 16);
                before = c;
                e = decode(c.bits, c.count, lit, litMask);
                if (e & InflateTable::kLit) {
                    *c.out++ = std::uint8_t(e >> 16);
                    continue;
                }
            }
            // A length and distance may need 33 bits more than the 11 surely left: top up.
            c.refillWide();
        }
        if (e & InflateTable::kSpecial) {
            if (e & InflateTable::kEnd) {
                stop = Stop::EndOfBlock;
                break;
            }
            stop = Stop::BadLitLen;
            c = before;
            break;
        }
        unsigned extra = (e >> 8) & 15;
        unsigned length = (e >> 16) + std::uint32_t(c.bits & ((1u << extra) - 1));
        c.bits >>= extra;
        c.count -= extra;
        std::uint32_t d = decode(c.bits, c.count, dist, distMask);
        if (d & InflateTable::kSpecial) {
            stop = Stop::BadDistance;
            c = before;
            break;
        }
        extra = (d >> 8) & 15;
        unsigned distance = (d >> 16) + std::uint32_t(c.bits & ((1u << extra) - 1));
        c.bits >>= extra;
        c.count -= extra;
        c.out = inflateCopyMatch(c.out, distance, length);
    }
    cursor = c;
    return stop;
}
