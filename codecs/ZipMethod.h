// The compression methods of zip entries: their names, and decoders for the methods that
// stream through a ChunkDecoder (bzip2, LZMA, xz, zstd, PPMd). Stored, shrunk, imploded,
// deflated and deflate64 data take their own paths.
//
// A build may leave out the library-backed methods (TN_METHOD_BZIP2, TN_METHOD_LZMA,
// TN_METHOD_ZSTD set to 0); their entries then fail as an unsupported method.
#pragma once
#include <cstdint>
#include <memory>

#include "codecs/DecoderMemoryLimit.h"

class ChunkDecoder;

class ZipMethod {
public:
    static constexpr int kStored = 0;
    static constexpr int kShrunk = 1;
    static constexpr int kImploded = 6;
    static constexpr int kDeflated = 8;
    static constexpr int kDeflate64 = 9;
    static constexpr int kBzip2 = 12;
    static constexpr int kLzma = 14;
    static constexpr int kZstdEarly = 20;
    static constexpr int kZstd = 93;
    static constexpr int kXz = 95;
    static constexpr int kPpmd = 98;
    static constexpr int kAes = 99;

    // A short name for listings ("Stored", "Deflate", "BZip2", ...); "Unknown" for others.
    static const char* name(int method);
    // True when this build extracts the method.
    static bool isSupported(int method);
    // True for the methods createDecoder serves.
    static bool isStreamMethod(int method);
    // A decoder for one entry's data, or null when this build cannot decode the method.
    // flags: the entry's general-purpose flags; uncompressedSize: declared, or all ones;
    // memoryLimit: the most the stream may ask for (DecoderMemoryLimit).
    static std::unique_ptr<ChunkDecoder> createDecoder(int method, std::uint16_t flags, std::uint64_t uncompressedSize,
                                                       std::uint64_t memoryLimit = DecoderMemoryLimit::kDefault);
};
