// PPMd data of a zip entry (method 98): variant I, revision 1.
//
// The data starts with a 16-bit little-endian parameter word: bits 0-3 the model order minus 1
// (at least 2), bits 4-11 the model's memory in MB minus 1, bits 12-15 what to do when that
// memory is full (0 restart the model, 1 cut it down). The coded stream follows; it ends with an
// end mark (or, from writers that leave it out, where the input ends after the declared size).
#pragma once
#include <memory>

#include "codecs/ChunkDecoder.h"
#include "codecs/DecoderMemoryLimit.h"

class PpmdModel;

class PpmdStreamDecoder : public ChunkDecoder {
public:
    // uncompressedSize: the entry's declared size, or all ones when unknown; a model larger than
    // memoryLimit fails the stream before it is allocated.
    PpmdStreamDecoder(std::uint64_t uncompressedSize, std::uint64_t memoryLimit = DecoderMemoryLimit::kDefault);
    ~PpmdStreamDecoder() override;

    Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, std::uint8_t* out,
                  std::size_t outSize, std::size_t& outUsed, bool inputEnded) override;

private:
    Result readParameters(bool inputEnded);
    void refill(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed);

    std::uint64_t m_declared;
    std::uint64_t m_memoryLimit;
    std::uint64_t m_produced = 0;
    bool m_sizeKnown;
    std::unique_ptr<PpmdModel> m_model;
    std::unique_ptr<std::uint8_t[]> m_buffer;  // coded bytes taken from the caller, not yet read
    std::size_t m_begin = 0, m_end = 0;
    bool m_haveParameters = false;
    bool m_started = false;
    bool m_ended = false;
    unsigned m_order = 0, m_restore = 0;
};
