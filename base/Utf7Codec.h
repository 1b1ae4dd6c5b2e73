// UTF-7 (RFC 2152) between UTF-16LE and 7-bit bytes.
#pragma once
#include <cstdint>

class ConvertOutput;

class Utf7Codec {
public:
    // UTF-16LE to UTF-7. A leading U+FEFF is dropped; every shifted run is closed with '-'.
    // Always true.
    static bool encode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
    // UTF-7 to UTF-16LE. False on a byte at or above 0x80, on a shifted run that yields no unit
    // (other than "+-"), and on non-zero bits left over at the end of a run.
    static bool decode(const std::uint8_t* in, std::uint32_t n, ConvertOutput& out);
};
