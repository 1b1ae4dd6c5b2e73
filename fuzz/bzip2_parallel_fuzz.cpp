// Block-parallel bzip2 fuzz target. The first byte picks the workers, the held-content limit and
// the chunk sizes, the next two claim up to two magics where there may be none; the rest is the
// entry data. The parallel decoder must give the content, the end and the error of the
// one-stream decoder (up to a failure, as much content as its output room allowed), and neither
// may read or write outside its buffers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codecs/Bzip2ParallelDecoder.h"
#include "codecs/Bzip2StreamDecoder.h"
#include "tests/ChunkDecodeRun.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kOutputCap = 8 << 20;

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint8_t pick = data[0];
    const Bytes stream(data + 3, data + size);
    Bzip2ParallelDecoder::Options options;
    options.workers = pick % 3;
    options.keepLimit = (pick & 4) ? 4096 : 1 << 20;
    options.inputLimit = (pick & 8) ? 512 : 1 << 20;
    const std::uint64_t bits = std::uint64_t(stream.size()) * 8;
    for (int k = 1; k <= 2; ++k) {
        const std::uint64_t at = bits ? (std::uint64_t(data[k]) * bits / 256) : 0;
        if (data[k] && (options.falseMarks.empty() || options.falseMarks.back().bit < at))
            options.falseMarks.push_back({at, (data[k] & 1) != 0});
    }
    const std::size_t chunk = (pick & 16) ? 1 + stream.size() / 7 : stream.size() + 1;
    const std::size_t room = (pick & 32) ? 1000 : 1 << 16;

    Bzip2ParallelDecoder parallel(options);
    Bzip2StreamDecoder single;
    const ChunkDecodeOutcome got = runChunkDecoder(parallel, stream, chunk, room, kOutputCap);
    const ChunkDecodeOutcome want = runChunkDecoder(single, stream, stream.size() + 1, 1 << 16, kOutputCap);
    check(!got.usedTooMuch && !want.usedTooMuch);
    if (got.content.size() <= kOutputCap && want.content.size() <= kOutputCap) {
        check(got.ended == want.ended);
        check(got.error == want.error);
        // Before a failure each gives out what its output room let it: one is the start of the other.
        const std::size_t common = std::min(got.content.size(), want.content.size());
        check(std::equal(got.content.begin(), got.content.begin() + common, want.content.begin()));
        check(!got.ended || got.content.size() == want.content.size());
    }
    return 0;
}
