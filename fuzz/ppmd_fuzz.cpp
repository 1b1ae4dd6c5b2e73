// PPMd fuzz target. The first byte sets the chunk size; the rest is the entry data (parameter
// word and coded stream), with the model's memory held to 1 MB so that restarts and cut-offs
// come quickly. Decoding the data whole and in small chunks must agree on the content and on
// success, and neither may read or write outside its buffers.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/PpmdStreamDecoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kOutputCap = 4 << 20;

void check(bool condition) {
    if (!condition) std::abort();
}

// Feeds `stream` in pieces of `chunk` bytes and collects the content; true when it ends well.
bool decode(const Bytes& stream, std::size_t chunk, Bytes& content) {
    PpmdStreamDecoder decoder(~std::uint64_t(0));
    std::uint8_t out[4096];
    std::size_t pos = 0;
    for (int stalls = 0; stalls < 4;) {
        const std::size_t take = stream.size() - pos < chunk ? stream.size() - pos : chunk;
        const bool ended = pos + take == stream.size();
        // A private copy of exactly the chunk, so a read past it is caught.
        Bytes piece(stream.begin() + pos, stream.begin() + pos + take);
        std::size_t inUsed = 0, outUsed = 0;
        const std::size_t room = 1 + (pos % sizeof(out));
        ChunkDecoder::Result r = decoder.decode(piece.data(), piece.size(), inUsed, out, room, outUsed, ended);
        check(inUsed <= take && outUsed <= room);
        pos += inUsed;
        content.insert(content.end(), out, out + outUsed);
        if (r == ChunkDecoder::Result::End) return true;
        if (r == ChunkDecoder::Result::Error) return false;
        if (content.size() > kOutputCap) return false;
        stalls = (inUsed == 0 && outUsed == 0) ? stalls + 1 : 0;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t chunk = 1 + data[0] % 97;
    Bytes stream(data + 1, data + size);
    stream[0] &= 0x0F;  // memory bits 4-7
    stream[1] &= 0xF0;  // memory bits 8-11
    Bytes whole, pieces;
    const bool wholeOk = decode(stream, stream.size(), whole);
    const bool piecesOk = decode(stream, chunk, pieces);
    if (whole.size() <= kOutputCap && pieces.size() <= kOutputCap) {
        check(wholeOk == piecesOk);
        check(whole == pieces);
    }
    return 0;
}
