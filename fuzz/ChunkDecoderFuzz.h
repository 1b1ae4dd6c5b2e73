// Fuzz helper: drives a ChunkDecoder over a stream in pieces of a given size, each a private copy
// so that a read past it is caught, with output room that varies from call to call.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/ChunkDecoder.h"

namespace fuzzchunks {

using Bytes = std::vector<std::uint8_t>;

inline void check(bool condition) {
    if (!condition) std::abort();
}

// Collects the content; true when the stream ends well. Stops (false) past outputCap bytes.
inline bool decodeInPieces(ChunkDecoder& decoder, const Bytes& stream, std::size_t chunk, Bytes& content,
                           std::size_t outputCap) {
    std::uint8_t out[4096];
    std::size_t pos = 0;
    for (int stalls = 0; stalls < 4;) {
        const std::size_t take = stream.size() - pos < chunk ? stream.size() - pos : chunk;
        const bool ended = pos + take == stream.size();
        Bytes piece(stream.begin() + pos, stream.begin() + pos + take);
        std::size_t inUsed = 0, outUsed = 0;
        const std::size_t room = 1 + (pos % sizeof(out));
        ChunkDecoder::Result r = decoder.decode(piece.data(), piece.size(), inUsed, out, room, outUsed, ended);
        check(inUsed <= take && outUsed <= room);
        pos += inUsed;
        content.insert(content.end(), out, out + outUsed);
        if (r == ChunkDecoder::Result::End) return true;
        if (r == ChunkDecoder::Result::Error) return false;
        if (content.size() > outputCap) return false;
        stalls = (inUsed == 0 && outUsed == 0) ? stalls + 1 : 0;
    }
    return false;
}

}  // namespace fuzzchunks
