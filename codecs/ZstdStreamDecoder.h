// Zstandard data of a zip entry (method 93, and 20 from early writers), streamed through libzstd.
// Frames back to back decode as one content; skippable frames are passed over.
//
// Each frame's header is gathered before libzstd sees it, so that a window larger than the
// memory limit fails the stream before libzstd allocates it.
#pragma once
#include <cstdint>

#include "codecs/ChunkDecoder.h"
#include "codecs/DecoderMemoryLimit.h"

class ZstdStreamDecoder : public ChunkDecoder {
public:
    explicit ZstdStreamDecoder(std::uint64_t memoryLimit = DecoderMemoryLimit::kDefault);
    ~ZstdStreamDecoder() override;

    Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, std::uint8_t* out,
                  std::size_t outSize, std::size_t& outUsed, bool inputEnded) override;

private:
    static constexpr std::size_t kHeaderMax = 18;  // the longest frame header

    // Takes header bytes from in[pos, inSize) until the frame's header is whole; then weighs
    // its window and hands the header to libzstd. Leaves m_atFrameStart set while it waits.
    Result startFrame(const std::uint8_t* in, std::size_t inSize, std::size_t& pos, std::uint8_t* out,
                      std::size_t outSize, std::size_t& outPos);
    Result failZstd(std::size_t code);

    void* m_context = nullptr;  // ZSTD_DStream
    std::uint64_t m_memoryLimit;
    bool m_frameComplete = false;  // the last frame begun has ended
    bool m_atFrameStart = true;    // the next byte belongs to a frame header libzstd has not seen
    std::uint8_t m_header[kHeaderMax] = {};
    std::size_t m_headerHave = 0;
};
