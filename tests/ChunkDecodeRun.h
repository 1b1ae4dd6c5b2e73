// Drives a ChunkDecoder over a whole input the way the pipeline does: input in chunks of a chosen
// size (each a private copy, so a read past it is caught), output into a room of a chosen size,
// until the decoder ends, fails, stops moving or has given out more than `cap` bytes.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "codecs/ChunkDecoder.h"

struct ChunkDecodeOutcome {
    std::vector<std::uint8_t> content;
    bool ended = false;
    std::string error;         // the decoder's message, or "stopped" when it stopped moving or hit the cap
    bool usedTooMuch = false;  // reported taking more input or giving more output than it had
};

inline ChunkDecodeOutcome runChunkDecoder(ChunkDecoder& decoder, const std::vector<std::uint8_t>& in,
                                          std::size_t inChunk, std::size_t room, std::size_t cap = ~std::size_t(0)) {
    ChunkDecodeOutcome o;
    std::vector<std::uint8_t> out(room);
    std::size_t pos = 0;
    for (int stalls = 0; stalls < 4 && o.content.size() <= cap;) {
        const std::size_t take = std::min(inChunk, in.size() - pos);
        const std::vector<std::uint8_t> piece(in.begin() + pos, in.begin() + pos + take);
        std::size_t inUsed = 0, outUsed = 0;
        const auto r = decoder.decode(piece.data(), take, inUsed, out.data(), room, outUsed, pos + take == in.size());
        if (inUsed > take || outUsed > room) {
            o.usedTooMuch = true;
            break;
        }
        pos += inUsed;
        o.content.insert(o.content.end(), out.begin(), out.begin() + outUsed);
        if (r == ChunkDecoder::Result::End) {
            o.ended = true;
            return o;
        }
        if (r == ChunkDecoder::Result::Error) {
            o.error = decoder.error();
            return o;
        }
        stalls = (inUsed == 0 && outUsed == 0) ? stalls + 1 : 0;
    }
    o.error = "stopped";
    return o;
}
