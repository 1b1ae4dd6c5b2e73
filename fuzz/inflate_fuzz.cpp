// Inflate fuzz target. The first byte picks the property:
//  even: the rest is a raw deflate stream; the in-memory and streaming forms agree on the output
//        and on success, a failure hands over whole windows only, and where zlib also reads the
//        stream to its end the output is zlib's;
//  odd:  the rest is data that zlib deflates (level and strategy from the second byte); both
//        forms give the data back.
#include "InflateFuzzParts.h"

namespace {

using namespace inflatefuzz;

// Decodes with both forms; checks they agree; returns the in-memory result.
bool inflateBoth(const std::uint8_t* bytes, std::size_t size, std::size_t chunk, Bytes& out) {
    LogNull log;
    // A private copy, so reading one byte past the stream is caught.
    std::uint8_t* exact = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(exact, bytes, size);
    CollectSink memorySink;
    InflateState2 memory;
    memory.setSink(&memorySink);
    memory.inflateBuffer(exact, std::uint32_t(size), log, false);
    std::free(exact);

    CollectSink streamSink;
    InflateState2 stream;
    stream.setSink(&streamSink);
    ChunkedInput input(bytes, size, chunk);
    bool streamOk = stream.inflateSource(input, log, false);

    bool ok = size && !memory.hadError();
    check(streamOk == ok || (size == 0 && !streamOk));
    if (size) check(memorySink.data == streamSink.data);
    if (!ok) check(memorySink.data.size() % 32768 == 0);
    out.swap(memorySink.data);
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::size_t chunk = 1 + data[1] % 61;
    if (data[0] % 2 == 0) {
        Bytes ours, theirs;
        bool ok = inflateBoth(data + 2, size - 2, chunk, ours);
        if (ok && zlibInflateRaw(data + 2, size - 2, theirs)) check(ours == theirs);
        return 0;
    }
    static const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    Bytes packed = zlibDeflateRaw(data + 2, size - 2, data[1] % 10, strategies[(data[1] / 10) % 5]);
    Bytes ours;
    check(inflateBoth(packed.data(), packed.size(), chunk, ours));
    check(ours == Bytes(data + 2, data + size));
    return 0;
}
