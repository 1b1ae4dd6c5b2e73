// A tiny bzip2 block with a chosen block CRC and a chosen length in bits modulo 8, compressed by
// libbz2. Decoding a stream from one of its middle blocks on, this block goes first, right after
// the stream header: libbz2's combined CRC then starts from the value the blocks before would
// have left (the combined CRC after one block is that block's CRC), and the rest of the stream
// keeps its own byte alignment, so libbz2 reads exactly the bytes it would have read.
#pragma once
#include <cstddef>
#include <cstdint>

#include "codecs/Bzip2Bits.h"

class Bzip2LeadBlock {
public:
    // Appends the block (from its magic up to the end of its data) to `out`; `contentSize` is
    // the number of bytes it decodes to. False when libbz2 could not make one.
    static bool append(std::uint32_t blockCrc, unsigned bitsModulo8, Bzip2Bits::Writer& out, std::size_t& contentSize);
};
