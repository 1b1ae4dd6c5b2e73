// libzstd behind the ChunkDecoder interface.
// Compiled only where the library is available (TN_METHOD_ZSTD).
#if TN_METHOD_ZSTD
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader: exported, stable since libzstd 1.3
#include "codecs/ZstdStreamDecoder.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstring>

static_assert(ZSTD_FRAMEHEADERSIZE_MAX <= 18, "frame header buffer too small");

namespace {
// libzstd's own window bound, set just above the limit: a second guard behind startFrame's check.
int windowLogFor(std::uint64_t limit) {
    int log = ZSTD_WINDOWLOG_MIN;
    while (log < ZSTD_WINDOWLOG_MAX && (std::uint64_t(1) << log) < limit) ++log;
    return log;
}
}  // namespace

ZstdStreamDecoder::ZstdStreamDecoder(std::uint64_t memoryLimit) : m_memoryLimit(memoryLimit) {
    ZSTD_DStream* stream = ZSTD_createDStream();
    if (stream && ZSTD_isError(ZSTD_DCtx_setParameter(stream, ZSTD_d_windowLogMax, windowLogFor(memoryLimit)))) {
        ZSTD_freeDStream(stream);
        stream = nullptr;
    }
    m_context = stream;
}

ZstdStreamDecoder::~ZstdStreamDecoder() { ZSTD_freeDStream(static_cast<ZSTD_DStream*>(m_context)); }

ChunkDecoder::Result ZstdStreamDecoder::failZstd(std::size_t code) {
    switch (ZSTD_getErrorCode(code)) {
        case ZSTD_error_prefix_unknown: return fail("zstd data does not start with a zstd frame header");
        case ZSTD_error_frameParameter_windowTooLarge:
            return fail("zstd frame needs a larger window than the decoder allows");
        case ZSTD_error_memory_allocation: return fail("Out of memory for the zstd decoder");
        default: return fail("zstd data is corrupt");
    }
}

ChunkDecoder::Result ZstdStreamDecoder::startFrame(const std::uint8_t* in, std::size_t inSize, std::size_t& pos,
                                                   std::uint8_t* out, std::size_t outSize, std::size_t& outPos) {
    m_frameComplete = false;
    ZSTD_frameHeader header;
    for (;;) {
        const std::size_t need = ZSTD_getFrameHeader(&header, m_header, m_headerHave);
        if (need == 0) break;
        if (ZSTD_isError(need)) return failZstd(need);
        if (pos == inSize) return Result::More;
        const std::size_t take = std::min({need - m_headerHave, inSize - pos, kHeaderMax - m_headerHave});
        if (take == 0) return fail("zstd data is corrupt");
        std::memcpy(m_header + m_headerHave, in + pos, take);
        m_headerHave += take;
        pos += take;
    }
    if (header.frameType == ZSTD_frame && header.windowSize > m_memoryLimit)
        return failWith(DecoderMemoryLimit::refusal("zstd window", header.windowSize, m_memoryLimit));
    auto* stream = static_cast<ZSTD_DStream*>(m_context);
    ZSTD_inBuffer held{m_header, m_headerHave, 0};
    ZSTD_outBuffer output{out, outSize, outPos};
    const std::size_t rc = ZSTD_decompressStream(stream, &output, &held);
    if (ZSTD_isError(rc)) return failZstd(rc);
    if (held.pos != held.size) return fail("zstd data is corrupt");
    outPos = output.pos;
    m_headerHave = 0;
    m_atFrameStart = false;
    return Result::More;
}

ChunkDecoder::Result ZstdStreamDecoder::decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed,
                                               std::uint8_t* out, std::size_t outSize, std::size_t& outUsed,
                                               bool inputEnded) {
    inUsed = outUsed = 0;
    auto* stream = static_cast<ZSTD_DStream*>(m_context);
    if (!stream) return fail("Out of memory for the zstd decoder");
    ZSTD_inBuffer input{in, inSize, 0};
    ZSTD_outBuffer output{out, outSize, 0};
    // Decode as long as there is input and room, so that a call at the end of the input either
    // finishes the stream or shows that it is truncated.
    for (;;) {
        if (m_atFrameStart) {
            if (input.pos == input.size) break;
            if (startFrame(in, inSize, input.pos, out, outSize, output.pos) == Result::Error) return Result::Error;
            if (m_atFrameStart) break;
        }
        const std::size_t inBefore = input.pos, outBefore = output.pos;
        const std::size_t rc = ZSTD_decompressStream(stream, &output, &input);
        if (ZSTD_isError(rc)) return failZstd(rc);
        if (rc == 0) {
            m_frameComplete = m_atFrameStart = true;
            continue;
        }
        if (input.pos == inBefore && output.pos == outBefore) break;
        if (output.pos == output.size) break;
    }
    inUsed = input.pos;
    outUsed = output.pos;
    if (m_frameComplete && input.pos == input.size && inputEnded) return Result::End;
    if (inputEnded && input.pos == input.size && outUsed < outSize && !m_frameComplete)
        return fail("zstd data ends before the end of its frame");
    return Result::More;
}
#endif  // TN_METHOD_ZSTD
