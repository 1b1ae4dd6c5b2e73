// LZMA data of a zip entry (method 14) and xz data (method 95), streamed through liblzma.
//
// A method 14 entry starts with a 4-byte header (format version, then the size of the
// properties, which must be 5) and the 5 property bytes; the raw LZMA stream follows. It stops
// after the declared uncompressed size, or at an end marker (which general-purpose bit 1
// announces, and which is also accepted right at the declared size).
#pragma once
#include "codecs/ChunkDecoder.h"
#include "codecs/DecoderMemoryLimit.h"

class LzmaStreamDecoder : public ChunkDecoder {
public:
    enum class Format { ZipLzma, Xz };

    // uncompressedSize: the entry's declared size, or all ones when unknown. A dictionary larger
    // than memoryLimit fails the stream before it is allocated (the limit is raised by
    // kStateAllowance for liblzma's own state, which comes on top of an xz dictionary).
    LzmaStreamDecoder(Format format, std::uint64_t uncompressedSize,
                      std::uint64_t memoryLimit = DecoderMemoryLimit::kDefault);
    ~LzmaStreamDecoder() override;

    Result decode(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, std::uint8_t* out,
                  std::size_t outSize, std::size_t& outUsed, bool inputEnded) override;

    static constexpr std::uint64_t kStateAllowance = std::uint64_t(1) << 20;

private:
    struct State;
    bool start();
    Result startZipLzma(const std::uint8_t* in, std::size_t inSize, std::size_t& inUsed, bool inputEnded);

    Format m_format;
    std::uint64_t m_uncompressedSize;
    std::uint64_t m_memoryLimit;
    State* m_state = nullptr;
};
