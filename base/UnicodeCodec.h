// The converter's own UTF-8, UTF-16 and UTF-32 transforms. Byte order marks are handled by the
// caller; none of these writes one.
#pragma once
#include <cstdint>

class ConvertOutput;

class UnicodeCodec {
public:
    // UTF-8 to UTF-16LE. Sequences of 1 to 3 bytes only (encoded surrogates accepted); every
    // other byte, and a sequence cut by the end, is skipped one byte at a time. Always true.
    static bool utf8ToUtf16(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
    // UTF-16LE to UTF-8, each unit on its own (a surrogate pair gives two 3-byte sequences);
    // unit 0 is skipped. False on an odd length (the last byte is dropped).
    static bool utf16ToUtf8(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
    // UTF-32 to UTF-8; values from 0x200000 up become U+FFFD; an incomplete last group is
    // ignored. Always true.
    static bool utf32ToUtf8(const std::uint8_t* in, std::uint32_t n, bool bigEndian, ConvertOutput& out);
    // UTF-8 to UTF-32 (1- to 4-byte sequences, encoded surrogates accepted). The first illegal or
    // incomplete sequence ends the conversion with false, keeping what was written.
    static bool utf8ToUtf32(const std::uint8_t* in, std::uint32_t n, bool bigEndian, ConvertOutput& out);
};
