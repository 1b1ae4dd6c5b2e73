// The decode step: forward held content first, then top up the input, then decode.
#include "pipeline/MethodDecodeProcessor.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codecs/ChunkDecoder.h"
#include "pipeline/DataSource.h"

namespace {
constexpr std::uint32_t kInputSize = 256 * 1024;
constexpr std::uint32_t kOutputSize = 256 * 1024;
}  // namespace

MethodDecodeProcessor::MethodDecodeProcessor(ChunkDecoder& decoder, std::uint64_t limit)
    : m_decoder(decoder), m_limit(limit) {}

MethodDecodeProcessor::~MethodDecodeProcessor() {
    delete[] m_in;
    delete[] m_out;
}

void MethodDecodeProcessor::begin() {
    m_inStart = m_inEnd = m_outStart = m_outEnd = 0;
    m_decoded = 0;
    m_streamEnded = false;
    m_wantsInput = false;
    m_failure = "";
}

// Unconsumed input counts as well, and so does what the decoder holds, so that the pump sees a
// step that only consumed input move.
std::uint64_t MethodDecodeProcessor::bytesPending() {
    std::uint64_t held = m_outEnd - m_outStart;
    return m_streamEnded ? held : held + (m_inEnd - m_inStart) + m_decoder.bytesHeld() + 1;
}

int MethodDecodeProcessor::failWith(const char* message) {
    m_failure = message;
    return -1;
}

int MethodDecodeProcessor::step() {
    if (!sink() || (!source() && !m_streamEnded)) return failWith("Decoder stage is not connected");
    if (!m_in) m_in = new (std::nothrow) std::uint8_t[kInputSize];
    if (!m_out) m_out = new (std::nothrow) std::uint8_t[kOutputSize];
    if (!m_in || !m_out) return failWith("Out of memory for the decoder's buffers");
    if (m_outStart < m_outEnd) return forwardOutput();
    if (m_streamEnded) {
        sink()->markEndOfInput();
        return 0;
    }
    return decodeMore();
}

int MethodDecodeProcessor::forwardOutput() {
    std::uint32_t space = 0;
    sink()->spaceAvailable(space);
    std::uint32_t n = std::min(space, m_outEnd - m_outStart);
    if (n == 0) return 0;
    if (!sink()->write(m_out + m_outStart, n)) return failWith("The output refused decoded data");
    m_outStart += n;
    if (m_outStart == m_outEnd) m_outStart = m_outEnd = 0;
    if (m_outEnd == 0 && m_streamEnded) sink()->markEndOfInput();
    return 0;
}

// Moves unconsumed input to the front and fills the rest; false when the source failed.
bool MethodDecodeProcessor::readInput() {
    if (source()->endOfStream() || (m_inEnd == kInputSize && m_inStart == 0)) return true;
    std::memmove(m_in, m_in + m_inStart, m_inEnd - m_inStart);
    m_inEnd -= m_inStart;
    m_inStart = 0;
    std::uint32_t got = 0;
    if (!source()->getNextChunk(m_in + m_inEnd, kInputSize - m_inEnd, got, nullptr)) {
        // A memory source reports its end as a failed empty read.
        return got == 0 && source()->endOfStream();
    }
    m_inEnd += got;
    return true;
}

int MethodDecodeProcessor::decodeMore() {
    if (m_inStart == m_inEnd || m_inStart > kInputSize / 2 || m_wantsInput) {
        if (!readInput()) return failWith("Failed to read the entry's compressed data");
    }
    const bool inputEnded = source()->endOfStream();
    std::size_t used = 0, produced = 0;
    ChunkDecoder::Result r = m_decoder.decode(m_in + m_inStart, m_inEnd - m_inStart, used, m_out, kOutputSize, produced,
                                              inputEnded);
    m_inStart += std::uint32_t(used);
    if (r == ChunkDecoder::Result::Error) return failWith(m_decoder.error());
    if (produced > m_limit - m_decoded) return failWith("Decoded data is larger than the entry's declared size");
    m_decoded += produced;
    m_outEnd = std::uint32_t(produced);
    if (r == ChunkDecoder::Result::End) {
        // Whatever follows the stream is not read; without a source the pump sees the end.
        m_streamEnded = true;
        setSource(nullptr);
    } else if (used == 0 && produced == 0 && inputEnded)
        return failWith("Compressed data ends before the end of its stream");
    else if (used == 0 && produced == 0 && m_inStart == 0 && m_inEnd == kInputSize)
        return failWith("Decoder made no progress");
    m_wantsInput = used == 0 && produced == 0;
    if (m_outEnd) return forwardOutput();
    if (m_streamEnded) sink()->markEndOfInput();
    return 0;
}
