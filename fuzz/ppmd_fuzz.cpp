// PPMd fuzz target. The first byte sets the chunk size; the rest is the entry data (parameter
// word and coded stream), with the model's memory held to 1 MB so that restarts and cut-offs
// come quickly. Decoding the data whole and in small chunks must agree on the content and on
// success, and neither may read or write outside its buffers.
#include <cstdint>

#include "ChunkDecoderFuzz.h"
#include "codecs/PpmdStreamDecoder.h"

namespace {

using fuzzchunks::Bytes;
using fuzzchunks::check;
constexpr std::size_t kOutputCap = 4 << 20;

bool decode(const Bytes& stream, std::size_t chunk, Bytes& content) {
    PpmdStreamDecoder decoder(~std::uint64_t(0));
    return fuzzchunks::decodeInPieces(decoder, stream, chunk, content, kOutputCap);
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
