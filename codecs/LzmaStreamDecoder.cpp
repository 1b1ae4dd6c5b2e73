// liblzma behind the ChunkDecoder interface.
// Compiled only where the library is available (TN_METHOD_LZMA).
#if TN_METHOD_LZMA
#include "codecs/LzmaStreamDecoder.h"

#include <lzma.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr std::size_t kZipHeaderSize = 4 + 5;  // version (2), properties size (2), properties (5)
constexpr std::uint32_t kMinDictionary = 4096;
}  // namespace

struct LzmaStreamDecoder::State {
    lzma_stream stream = LZMA_STREAM_INIT;
    bool started = false;
    std::uint8_t header[kZipHeaderSize] = {};
    std::size_t headerHave = 0;
};

LzmaStreamDecoder::LzmaStreamDecoder(Format format, std::uint64_t uncompressedSize, std::uint64_t memoryLimit)
    : m_format(format),
      m_uncompressedSize(uncompressedSize),
      m_memoryLimit(memoryLimit),
      m_state(new (std::nothrow) State) {}

LzmaStreamDecoder::~LzmaStreamDecoder() {
    if (m_state) lzma_end(&m_state->stream);
    delete m_state;
}

// Collects the zip header across calls, then sets up a raw LZMA1 decoder from its properties.
ChunkDecoder::Result LzmaStreamDecoder::startZipLzma(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed,
                                                     bool inputEnded) {
    State& s = *m_state;
    std::size_t take = kZipHeaderSize - s.headerHave;
    if (take > inSize) take = inSize;
    std::memcpy(s.header + s.headerHave, in, take);
    s.headerHave += take;
    inUsed = take;
    if (s.headerHave < kZipHeaderSize) return inputEnded ? fail("LZMA data ends inside its header") : Result::More;
    if (s.header[2] != 5 || s.header[3] != 0) return fail("LZMA header has an unsupported properties size");
    lzma_filter filter{LZMA_FILTER_LZMA1EXT, nullptr};
    if (lzma_properties_decode(&filter, nullptr, s.header + 4, 5) != LZMA_OK)
        return fail("LZMA properties are invalid");
    auto* options = static_cast<lzma_options_lzma*>(filter.options);
    // No match reaches further back than the content is long, so a larger dictionary only
    // costs memory.
    if (m_uncompressedSize != ~std::uint64_t(0) && options->dict_size > m_uncompressedSize)
        options->dict_size = m_uncompressedSize < kMinDictionary ? kMinDictionary : std::uint32_t(m_uncompressedSize);
    if (options->dict_size > m_memoryLimit) {
        const std::uint64_t need = options->dict_size;
        std::free(options);
        return failWith(DecoderMemoryLimit::refusal("LZMA dictionary", need, m_memoryLimit));
    }
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options->ext_size_low = std::uint32_t(m_uncompressedSize);
    options->ext_size_high = std::uint32_t(m_uncompressedSize >> 32);
    lzma_filter chain[2] = {filter, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_ret rc = lzma_raw_decoder(&s.stream, chain);
    std::free(options);
    if (rc != LZMA_OK)
        return fail(rc == LZMA_MEM_ERROR ? "Out of memory for the LZMA decoder" : "LZMA properties are not supported");
    s.started = true;
    return Result::More;
}

ChunkDecoder::Result LzmaStreamDecoder::decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed,
                                               std::uint8_t* out, std::size_t outSize, std::size_t& outUsed,
                                               bool inputEnded) {
    inUsed = outUsed = 0;
    if (!m_state) return fail("Out of memory for the LZMA decoder");
    State& s = *m_state;
    if (!s.started) {
        if (m_format == Format::ZipLzma) {
            Result r = startZipLzma(in, inSize, inUsed, inputEnded);
            if (!s.started) return r;
            in += inUsed;
            inSize -= inUsed;
        } else {
            const std::uint64_t allowed = m_memoryLimit + kStateAllowance;
            lzma_ret rc = lzma_stream_decoder(&s.stream, allowed < m_memoryLimit ? UINT64_MAX : allowed, 0);
            if (rc != LZMA_OK) return fail("Out of memory for the xz decoder");
            s.started = true;
        }
    }
    s.stream.next_in = in;
    s.stream.avail_in = inSize;
    s.stream.next_out = out;
    s.stream.avail_out = outSize;
    lzma_ret rc = lzma_code(&s.stream, inputEnded ? LZMA_FINISH : LZMA_RUN);
    inUsed += inSize - s.stream.avail_in;
    outUsed = outSize - s.stream.avail_out;
    const bool xz = m_format == Format::Xz;
    switch (rc) {
        case LZMA_OK: return Result::More;
        case LZMA_STREAM_END: return Result::End;
        case LZMA_BUF_ERROR:
            return fail(xz ? "xz data ends before the end of its stream"
                           : "LZMA data ends before the end of its stream");
        case LZMA_MEMLIMIT_ERROR:
            return failWith(DecoderMemoryLimit::refusal("xz decoder memory", lzma_memusage(&s.stream), m_memoryLimit));
        case LZMA_MEM_ERROR: return fail("Out of memory for the LZMA decoder");
        case LZMA_FORMAT_ERROR: return fail("xz data does not start with an xz stream header");
        case LZMA_OPTIONS_ERROR:
            return fail(xz ? "xz stream uses unsupported options" : "LZMA options are not supported");
        case LZMA_DATA_ERROR: return fail(xz ? "xz data is corrupt" : "LZMA data is corrupt");
        default: return fail(xz ? "xz decoder failed" : "LZMA decoder failed");
    }
}
#endif  // TN_METHOD_LZMA
