// Zstandard data of a zip entry (method 93, and 20 from early writers), streamed through libzstd.
// Frames back to back decode as one content; skippable frames are passed over.
#pragma once
#include "codecs/ChunkDecoder.h"

class ZstdStreamDecoder : public ChunkDecoder {
public:
    ZstdStreamDecoder();
    ~ZstdStreamDecoder() override;

    Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, std::uint8_t* out,
                  std::size_t outSize, std::size_t& outUsed, bool inputEnded) override;

    // Largest window a frame may ask for (log2); 7-Zip and zstd write at most this by default.
    static constexpr int kWindowLogMax = 30;

private:
    void* m_context = nullptr;  // ZSTD_DStream
    bool m_frameComplete = false;
};
