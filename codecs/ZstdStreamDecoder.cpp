// libzstd behind the ChunkDecoder interface.
// Compiled only where the library is available (TN_METHOD_ZSTD).
#if TN_METHOD_ZSTD
#include "codecs/ZstdStreamDecoder.h"

#include <zstd.h>
#include <zstd_errors.h>

ZstdStreamDecoder::ZstdStreamDecoder() {
    ZSTD_DStream* stream = ZSTD_createDStream();
    if (stream && ZSTD_isError(ZSTD_DCtx_setParameter(stream, ZSTD_d_windowLogMax, kWindowLogMax))) {
        ZSTD_freeDStream(stream);
        stream = nullptr;
    }
    m_context = stream;
}

ZstdStreamDecoder::~ZstdStreamDecoder() { ZSTD_freeDStream(static_cast<ZSTD_DStream*>(m_context)); }

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
    while (input.pos < input.size || (output.pos < output.size && !m_frameComplete)) {
        const std::size_t inBefore = input.pos, outBefore = output.pos;
        std::size_t rc = ZSTD_decompressStream(stream, &output, &input);
        if (ZSTD_isError(rc)) {
            switch (ZSTD_getErrorCode(rc)) {
                case ZSTD_error_prefix_unknown: return fail("zstd data does not start with a zstd frame header");
                case ZSTD_error_frameParameter_windowTooLarge:
                    return fail("zstd frame needs a larger window than the decoder allows");
                case ZSTD_error_memory_allocation: return fail("Out of memory for the zstd decoder");
                default: return fail("zstd data is corrupt");
            }
        }
        m_frameComplete = rc == 0;
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
