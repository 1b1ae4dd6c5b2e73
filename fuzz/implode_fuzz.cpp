// Fuzz target for Implode. The first byte picks the dictionary and literal-table flags, the rest
// is the stream. Properties: no crash or out-of-table access; the same input decodes to the same
// bytes twice; output stays within what the shortest codes allow (a match of at most 321 bytes
// costs at least 9 bits); decoding a prefix of the stream gives a prefix of the output; the
// streamed form, fed in small chunks, gives the same bytes as the whole-block form.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/ChunkedCodecInput.h"
#include "base/DataBuffer.h"
#include "codecs/BufferCodecIo.h"
#include "codecs/Implode.h"

namespace {
void require(bool property) {
    if (!property) std::abort();
}

void explode(const std::uint8_t* data, std::uint32_t n, std::uint8_t flags, DataBuffer& out) {
    Implode decoder;
    decoder.load(data, n);
    decoder.explode((flags & 1) != 0, (flags & 2) != 0, out);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > (1u << 16)) return 0;
    std::uint8_t flags = data[0];
    const std::uint8_t* stream = data + 1;
    std::uint32_t n = static_cast<std::uint32_t>(size - 1);
    DataBuffer first, second, prefix;
    explode(stream, n, flags, first);
    explode(stream, n, flags, second);
    require(first.size() == second.size());
    require(first.size() == 0 || std::memcmp(first.data(), second.data(), first.size()) == 0);
    require(first.size() <= (static_cast<std::uint64_t>(n) * 8 / 9) * 321);

    DataBuffer streamed;
    ChunkedCodecInput chunked(stream, n, n ? stream[n - 1] % 17 + 1 : 1);
    DataBufferOutput streamedOut(streamed);
    Implode streamedDecoder;
    streamedDecoder.explode((flags & 1) != 0, (flags & 2) != 0, chunked, streamedOut);
    require(streamed.size() == first.size());
    require(first.size() == 0 || std::memcmp(first.data(), streamed.data(), first.size()) == 0);

    std::uint32_t cut = static_cast<std::uint32_t>((flags >> 2) * static_cast<std::uint64_t>(n) / 64);
    explode(stream, cut, flags, prefix);
    require(prefix.size() <= first.size());
    require(prefix.size() == 0 || std::memcmp(prefix.data(), first.data(), prefix.size()) == 0);
    return 0;
}
