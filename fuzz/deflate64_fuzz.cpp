// Deflate64 fuzz target. The first byte picks the property:
//  even: the rest is a raw deflate64 stream; the in-memory and the streaming forms (chunk sizes
//        from the second byte) agree on the output and on success, a failure hands over whole
//        windows only, and no form reads or writes outside its buffers;
//  odd:  the rest is data that zlib deflates without matches (stored or Huffman-only blocks,
//        which deflate64 shares with deflate); deflate64 gives the data back.
#include "InflateFuzzParts.h"

namespace {

using namespace inflatefuzz;

bool inflateMemory(const std::uint8_t* bytes, std::size_t size, bool deflate64, Bytes& out) {
    LogNull log;
    // A private copy, so reading one byte past the stream is caught.
    std::uint8_t* exact = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(exact, bytes, size);
    CollectSink sink;
    InflateState2 inflater;
    inflater.setDeflate64(deflate64);
    inflater.setSink(&sink);
    inflater.inflateBuffer(exact, std::uint32_t(size), log, false);
    std::free(exact);
    out.swap(sink.data);
    return size && !inflater.hadError();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    if (data[0] % 2) {
        Bytes packed = zlibDeflateRaw(data + 2, size - 2, data[1] % 2 ? 0 : 6, Z_HUFFMAN_ONLY);
        Bytes ours;
        check(inflateMemory(packed.data(), packed.size(), true, ours));
        check(ours == Bytes(data + 2, data + size));
        return 0;
    }
    const std::size_t chunk = 1 + data[1] % 61;
    const std::uint8_t* stream = data + 2;
    const std::size_t length = size - 2;
    Bytes memory;
    const bool ok = inflateMemory(stream, length, true, memory);
    if (!ok) check(memory.size() % 32768 == 0);

    LogNull log;
    CollectSink streamSink;
    InflateState2 streamed;
    streamed.setDeflate64(true);
    streamed.setSink(&streamSink);
    ChunkedInput input(stream, length, chunk);
    const bool streamOk = streamed.inflateSource(input, log, false);
    check(streamOk == ok || (length == 0 && !streamOk));
    if (length) check(streamSink.data == memory);
    return 0;
}
