// The inflate hot loop: decodes Huffman-coded symbols without bounds checks while the input and
// the window are far enough from their ends that no symbol can reach them.
#pragma once
#include <cstdint>

#include "codecs/InflateCursor.h"

class InflateFastLoop {
public:
    // Input bytes the loop may read past `inLimit` (one 8-byte refill load, with room to spare),
    // and window bytes it may write past `outLimit`: three literal pairs, a longest match, and the
    // copy's overrun.
    static constexpr unsigned kInMargin = 32;
    static constexpr unsigned kOutMargin = 3 * 2 + kInflateMaxMatch + kInflateCopyOverrun;
    static_assert(kInMargin >= 8, "a refill loads 8 bytes");

    enum class Stop { Limit, EndOfBlock, BadLitLen, BadDistance };

    struct Codes {
        const std::uint32_t* litLen;
        unsigned litLenRoot;
        const std::uint32_t* dist;
        unsigned distRoot;
    };

    // Runs while cursor.in < inLimit and cursor.out < outLimit, where inLimit <= inEnd - kInMargin
    // and the window has kOutMargin writable bytes past outLimit. Stops at a symbol boundary for
    // Limit, after the end-of-block code for EndOfBlock, and anywhere (the decode has failed)
    // for an invalid literal/length or distance code.
    static Stop run(InflateCursor& cursor, const std::uint8_t* inLimit, const std::uint8_t* outLimit,
                    const Codes& codes);
};
