// Decoder for ZIP method 1 (shrinking): LZW with 9- to 13-bit codes, an explicit width increase
// and partial clearing. Works from a whole input block and ends when the input runs out.
#pragma once
#include <cstdint>

class DataBuffer;

class Unshrink {
public:
    // Appends the decoded bytes to out. False only when a code's string cannot be rebuilt (a
    // prefix cycle, possible only in a corrupt stream) or out could not grow; the bytes decoded
    // until then stay in out. Otherwise corrupt input decodes to whatever its codes say, and the
    // entry's CRC is the guard.
    static bool unshrink(const std::uint8_t* bytes, std::uint32_t count, DataBuffer& out);
};
