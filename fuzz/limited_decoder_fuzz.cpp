// Fuzz target for the decoders whose memory the stream chooses (zstd, xz, LZMA, PPMd) under a
// memory limit. Byte 0 picks the method and the chunk size, byte 1 the limit (4 KiB to 8 MiB);
// the rest is the entry data. Whole and in chunks the data must decode alike (on failure, one
// content a prefix of the other), and raising the limit may only let more through: what decodes
// under a limit decodes the same under four times it.
#include <algorithm>
#include <cstdint>

#include "ChunkDecoderFuzz.h"
#include "codecs/ZipMethod.h"

namespace {

using fuzzchunks::Bytes;
using fuzzchunks::check;
constexpr std::size_t kOutputCap = 4 << 20;
const int kMethods[] = {ZipMethod::kZstd, ZipMethod::kXz, ZipMethod::kLzma, ZipMethod::kPpmd};

bool decode(int method, std::uint64_t limit, const Bytes& stream, std::size_t chunk, Bytes& content) {
    auto decoder = ZipMethod::createDecoder(method, 0, ~std::uint64_t(0), limit);
    return decoder && fuzzchunks::decodeInPieces(*decoder, stream, chunk, content, kOutputCap);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int method = kMethods[data[0] % 4];
    if (!ZipMethod::isSupported(method)) return 0;
    const std::size_t chunk = 1 + data[0] / 4 % 61;
    const std::uint64_t limit = std::uint64_t(4096) << (data[1] % 12);
    const Bytes stream(data + 2, data + size);
    Bytes whole, pieces, roomier;
    const bool wholeOk = decode(method, limit, stream, stream.size(), whole);
    const bool piecesOk = decode(method, limit, stream, chunk, pieces);
    const bool roomierOk = decode(method, 4 * limit, stream, stream.size(), roomier);
    if (whole.size() > kOutputCap || pieces.size() > kOutputCap || roomier.size() > kOutputCap) return 0;
    check(wholeOk == piecesOk);
    // Corrupt data may be found a few bytes sooner or later depending on the pieces.
    const Bytes& shorter = whole.size() < pieces.size() ? whole : pieces;
    const Bytes& longer = whole.size() < pieces.size() ? pieces : whole;
    check(wholeOk ? whole == pieces : std::equal(shorter.begin(), shorter.end(), longer.begin()));
    if (wholeOk) check(roomierOk && roomier == whole);
    return 0;
}
