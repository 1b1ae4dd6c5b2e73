// Decoder for ZIP method 1 (shrinking): LZW with 9- to 13-bit codes, an explicit width increase
// and partial clearing. Ends when the input runs out. Its state is a few fixed tables, so a
// stream of any output size decodes in bounded memory when streamed.
#pragma once
#include <cstdint>

class DataBuffer;
class InflateInput;
class InflateOutput;

class Unshrink {
public:
    // Appends the decoded bytes to out. False only when a code's string cannot be rebuilt (a
    // prefix cycle, possible only in a corrupt stream) or out could not grow; the bytes decoded
    // until then stay in out. Otherwise corrupt input decodes to whatever its codes say, and the
    // entry's CRC is the guard.
    static bool unshrink(const std::uint8_t* bytes, std::uint32_t count, DataBuffer& out);
    // The streamed form: pulls input as needed and hands output on in blocks of up to 32,768
    // bytes. Also false when the input fails, or out has too little room, refuses a block or
    // answers isAborted.
    static bool unshrink(InflateInput& in, InflateOutput& out);
};
