// libbz2's streaming interface. Several bzip2 streams back to back (parallel compressors write
// them) decode as one content. Compiled only where the library is available (TN_METHOD_BZIP2).
#if TN_METHOD_BZIP2
#include "codecs/Bzip2StreamDecoder.h"

#include <bzlib.h>

#include <climits>
#include <new>

struct Bzip2StreamDecoder::State {
    bz_stream stream{};
    bool open = false;
    bool streamEnded = false;  // a stream ended; another may follow
};

Bzip2StreamDecoder::Bzip2StreamDecoder() : m_state(new (std::nothrow) State) {}

Bzip2StreamDecoder::~Bzip2StreamDecoder() {
    if (m_state && m_state->open) BZ2_bzDecompressEnd(&m_state->stream);
    delete m_state;
}

ChunkDecoder::Result Bzip2StreamDecoder::decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed,
                                                std::uint8_t* out, std::size_t outSize, std::size_t& outUsed,
                                                bool inputEnded) {
    inUsed = outUsed = 0;
    if (!m_state) return fail(failureText(BZ_MEM_ERROR));
    State& s = *m_state;
    if (s.streamEnded) {
        if (inSize == 0) return inputEnded ? Result::End : Result::More;
        // Anything but another stream header after a stream is trailing data: the entry ends.
        if (in[0] != 'B') return Result::End;
        BZ2_bzDecompressEnd(&s.stream);
        s.open = false;
        s.streamEnded = false;
    }
    if (!s.open) {
        s.stream = bz_stream{};
        if (BZ2_bzDecompressInit(&s.stream, 0, 0) != BZ_OK) return fail(failureText(BZ_MEM_ERROR));
        s.open = true;
    }
    const unsigned inChunk = inSize > UINT_MAX ? UINT_MAX : unsigned(inSize);
    const unsigned outChunk = outSize > UINT_MAX ? UINT_MAX : unsigned(outSize);
    s.stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
    s.stream.avail_in = inChunk;
    s.stream.next_out = reinterpret_cast<char*>(out);
    s.stream.avail_out = outChunk;
    int rc = BZ2_bzDecompress(&s.stream);
    inUsed = inChunk - s.stream.avail_in;
    outUsed = outChunk - s.stream.avail_out;
    switch (rc) {
        case BZ_OK: return Result::More;
        case BZ_STREAM_END: s.streamEnded = true; return (inUsed == inSize && inputEnded) ? Result::End : Result::More;
        default: return fail(failureText(rc));
    }
}

const char* Bzip2StreamDecoder::failureText(int libbz2Result) {
    switch (libbz2Result) {
        case BZ_DATA_ERROR: return "bzip2 data is corrupt";
        case BZ_DATA_ERROR_MAGIC: return "bzip2 data does not start with a bzip2 stream header";
        case BZ_MEM_ERROR: return "Out of memory for the bzip2 decoder";
        default: return "bzip2 decoder failed";
    }
}
#endif  // TN_METHOD_BZIP2
