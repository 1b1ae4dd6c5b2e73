// Fuzz target for Unshrink. Properties: no crash or out-of-table access; the same input decodes
// to the same bytes twice; output stays within what 9-bit codes of at most 8,193-byte strings can
// spell; decoding a prefix of the input gives a prefix of the output; the streamed form, fed in
// small chunks, gives the same bytes as the whole-block form.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/ChunkedCodecInput.h"
#include "base/DataBuffer.h"
#include "codecs/BufferCodecIo.h"
#include "codecs/Unshrink.h"

namespace {
void require(bool property) {
    if (!property) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 16)) return 0;
    std::uint32_t n = static_cast<std::uint32_t>(size);
    DataBuffer first, second, prefix;
    Unshrink::unshrink(data, n, first);
    Unshrink::unshrink(data, n, second);
    require(first.size() == second.size());
    require(first.size() == 0 || std::memcmp(first.data(), second.data(), first.size()) == 0);
    std::uint64_t codes = static_cast<std::uint64_t>(n) * 8 / 9;
    require(first.size() <= codes * 8193);

    DataBuffer streamed;
    ChunkedCodecInput chunked(data, n, n ? data[n - 1] % 17 + 1 : 1);
    DataBufferOutput streamedOut(streamed);
    Unshrink::unshrink(chunked, streamedOut);
    require(streamed.size() == first.size());
    require(first.size() == 0 || std::memcmp(first.data(), streamed.data(), first.size()) == 0);

    std::uint32_t cut = n ? static_cast<std::uint32_t>(data[0] * static_cast<std::uint64_t>(n) / 256) : 0;
    Unshrink::unshrink(data, cut, prefix);
    require(prefix.size() <= first.size());
    require(prefix.size() == 0 || std::memcmp(prefix.data(), first.data(), prefix.size()) == 0);
    return 0;
}
