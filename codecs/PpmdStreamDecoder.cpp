// The parameter word, the model's one allocation, and the input kept so that a symbol is never
// decoded from a partial chunk.
#include "codecs/PpmdStreamDecoder.h"

#include <cstring>
#include <new>

#include "base/LittleEndian.h"
#include "codecs/PpmdModel.h"

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}  // namespace

PpmdStreamDecoder::PpmdStreamDecoder(std::uint64_t uncompressedSize, std::uint64_t memoryLimit)
    : m_declared(uncompressedSize), m_memoryLimit(memoryLimit), m_sizeKnown(uncompressedSize != ~std::uint64_t(0)) {}

PpmdStreamDecoder::~PpmdStreamDecoder() = default;

// Moves what is left to the front of the buffer and tops it up from the caller's input.
void PpmdStreamDecoder::refill(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed) {
    if (m_begin != 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    std::size_t take = kBufferSize - m_end;
    if (take > inSize) take = inSize;
    if (take) std::memcpy(m_buffer.get() + m_end, in, take);
    m_end += take;
    inUsed = take;
}

ChunkDecoder::Result PpmdStreamDecoder::readParameters(bool inputEnded) {
    if (m_end - m_begin < 2) {
        if (!inputEnded) return Result::More;
        // An empty entry may be stored as nothing at all.
        if (m_end == m_begin && m_sizeKnown && m_declared == 0) return Result::End;
        return fail("PPMd data ends inside its parameters");
    }
    const unsigned word = loadLe16(m_buffer.get() + m_begin);
    m_begin += 2;
    m_order = (word & 0x0F) + 1;
    const std::uint32_t megabytes = ((word >> 4) & 0xFF) + 1;
    m_restore = word >> 12;
    if (m_order < PpmdModel::kMinOrder) return fail("PPMd model order is below 2");
    if (m_restore > PpmdModel::kRestoreCutOff) return fail("PPMd restoration method is not supported");
    const std::uint64_t modelSize = std::uint64_t(megabytes) << 20;
    if (modelSize > m_memoryLimit) return failWith(DecoderMemoryLimit::refusal("PPMd model", modelSize, m_memoryLimit));
    m_model.reset(new (std::nothrow) PpmdModel);
    if (!m_model || !m_model->allocate(megabytes << 20)) return fail("Out of memory for the PPMd model");
    m_haveParameters = true;
    return Result::More;
}

ChunkDecoder::Result PpmdStreamDecoder::decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed,
                                               std::uint8_t* out, std::size_t outSize, std::size_t& outUsed,
                                               bool inputEnded) {
    inUsed = outUsed = 0;
    if (m_ended) return Result::End;
    if (!m_buffer) {
        m_buffer.reset(new (std::nothrow) std::uint8_t[kBufferSize]);
        if (!m_buffer) return fail("Out of memory for the PPMd decoder");
    }
    refill(in, inSize, inUsed);
    const bool lastInput = inputEnded && inUsed == inSize;
    if (!m_haveParameters) {
        Result r = readParameters(lastInput);
        if (!m_haveParameters) return r;
    }
    PpmdModel& model = *m_model;
    const std::uint8_t* data = m_buffer.get();
    // Enough coded bytes for one more symbol, or all there will be.
    const std::size_t reserve = lastInput ? 0 : PpmdModel::kMaxSymbolInput;
    if (m_end - m_begin < reserve) return Result::More;
    model.setInput(data + m_begin, data + m_end);
    if (!m_started) {
        if (!model.start(m_order, m_restore)) return fail("PPMd data is corrupt");
        m_started = true;
    }
    const std::uint8_t* limit = data + m_end - reserve;
    const std::uint8_t* end = data + m_end;
    std::size_t n = 0;
    Result result = Result::More;
    while (n < outSize) {
        // A stream without an end mark stops after the declared size, where its input runs out;
        // otherwise decoding goes on to the mark, so content beyond the size is not hidden.
        if (m_sizeKnown && m_produced + n == m_declared && lastInput && model.inputPosition() == end) {
            m_ended = true;
            break;
        }
        const std::uint8_t* before = model.inputPosition();
        if (before > limit) break;
        const int symbol = model.decodeSymbol();
        if (model.overrun()) {
            result = fail(lastInput ? "PPMd data ends before the end of its stream" : "PPMd data is corrupt");
            break;
        }
        if (std::size_t(model.inputPosition() - before) > PpmdModel::kMaxSymbolInput) {
            result = fail("PPMd data is corrupt");
            break;
        }
        if (symbol < 0) {
            if (symbol == PpmdModel::kDataError) result = fail("PPMd data is corrupt");
            else m_ended = true;
            break;
        }
        out[n++] = std::uint8_t(symbol);
    }
    m_begin = std::size_t(model.inputPosition() - data);
    outUsed = n;
    m_produced += n;
    if (result == Result::Error) return result;
    if (m_ended) return Result::End;
    if (lastInput && n < outSize) return fail("PPMd data ends before the end of its stream");
    return Result::More;
}
