// The decoder's moving parts, shared by the fast and the careful decode loops: the bit reader
// over the input and the write position in the output window.
#pragma once
#include <cstdint>
#include <cstring>

#include "base/LittleEndian.h"

// The longest match of plain deflate, and how far inflateCopyMatch may write past a match's end.
constexpr unsigned kInflateMaxMatch = 258;
constexpr unsigned kInflateCopyOverrun = 31;

// Valid bits a wide refill guarantees.
constexpr unsigned kInflateRefillBits = 56;

struct InflateCursor {
    // Unconsumed input bits, the next one lowest. `count` of them are valid; every bit at or above
    // `count` is either 0 or the true input bit at that position, so ORing in input bytes at
    // `count` and above never corrupts anything.
    std::uint64_t bits = 0;
    unsigned count = 0;
    const std::uint8_t* in = nullptr;     // next input byte not yet taken into `bits`
    const std::uint8_t* inEnd = nullptr;  // end of the valid input
    std::uint8_t* out = nullptr;          // next output byte in the window

    // Tops `bits` up to at least kInflateRefillBits valid bits; needs 8 readable bytes at `in`.
    // Whole bytes are taken while they fit in 64 bits, which leaves 56 to 63 valid.
    void refillWide() {
        bits |= loadLe64(in) << count;
        in += (63 - count) >> 3;
        count |= kInflateRefillBits;
    }

    // Tops `bits` up as far as the valid input allows.
    void refill() {
        if (inEnd - in >= 8) return refillWide();
        while (count < kInflateRefillBits && in < inEnd) {
            bits |= std::uint64_t(*in++) << count;
            count += 8;
        }
    }

    void drop(unsigned n) {
        bits >>= n;
        count -= n;
    }

    std::uint32_t peek(unsigned n) const { return std::uint32_t(bits & ((std::uint64_t(1) << n) - 1)); }

    std::uint32_t take(unsigned n) {
        std::uint32_t v = peek(n);
        drop(n);
        return v;
    }

    // Hands whole unconsumed bytes back to the input so `in` is the first byte not fully consumed.
    void giveBackBytes() {
        in -= count >> 3;
        count &= 7;
        bits &= (std::uint64_t(1) << count) - 1;
    }
};

// Copies a match of `length` bytes from `distance` back. Writes up to kInflateCopyOverrun bytes past the match,
// which the window's slack absorbs and later output overwrites; the source always lies inside
// the window because the window keeps 32,768 bytes of history ahead of the write position.
// Most matches are short, so the first 32 bytes go out without a loop.
inline std::uint8_t* inflateCopyMatch(std::uint8_t* out, unsigned distance, unsigned length) {
    const std::uint8_t* src = out - distance;
    std::uint8_t* end = out + length;
    if (distance >= 16) {
        std::memcpy(out, src, 16);
        std::memcpy(out + 16, src + 16, 16);
        while (length > 32) {
            out += 32;
            src += 32;
            length -= 32;
            std::memcpy(out, src, 16);
            std::memcpy(out + 16, src + 16, 16);
        }
    } else if (distance >= 8) {
        do {
            std::memcpy(out, src, 8);
            std::memcpy(out + 8, src + 8, 8);
            out += 16;
            src += 16;
        } while (out < end);
    } else if (distance == 1) {
        std::uint64_t v = 0x0101010101010101ull * *src;
        do {
            std::memcpy(out, &v, 8);
            std::memcpy(out + 8, &v, 8);
            out += 16;
        } while (out < end);
    } else {
        // A period shorter than a word: the first word byte by byte (later bytes read earlier
        // ones), then whole words from the largest multiple of the period that fits in one,
        // each loaded before it is stored.
        for (unsigned i = 0; i < 8; ++i) out[i] = src[i];
        const unsigned step = 8 - 8 % distance;
        for (std::uint8_t* to = out + step; to < end; to += step) {
            std::uint64_t v;
            std::memcpy(&v, to - step, 8);
            std::memcpy(to, &v, 8);
        }
    }
    return end;
}
