// Method names and the decoder factory.
#include "codecs/ZipMethod.h"

#include "codecs/ChunkDecoder.h"
#include "codecs/PpmdStreamDecoder.h"
#if TN_METHOD_BZIP2
#include "codecs/Bzip2ParallelDecoder.h"
#include "codecs/Bzip2StreamDecoder.h"
#endif
#if TN_METHOD_LZMA
#include "codecs/LzmaStreamDecoder.h"
#endif
#if TN_METHOD_ZSTD
#include "codecs/ZstdStreamDecoder.h"
#endif

const char* ZipMethod::name(int method) {
    switch (method) {
        case kStored: return "Stored";
        case kShrunk: return "Shrunk";
        case 2:
        case 3:
        case 4:
        case 5: return "Reduced";
        case kImploded: return "Implode";
        case kDeflated: return "Deflate";
        case kDeflate64: return "Deflate64";
        case 10: return "PKImplode";
        case kBzip2: return "BZip2";
        case kLzma: return "LZMA";
        case 18: return "Terse";
        case 19: return "LZ77";
        case kZstdEarly:
        case kZstd: return "Zstd";
        case 94: return "MP3";
        case kXz: return "XZ";
        case 96: return "JPEG";
        case 97: return "WavPack";
        case kPpmd: return "PPMd";
        case kAes: return "AES";
        default: return "Unknown";
    }
}

bool ZipMethod::isStreamMethod(int method) {
    switch (method) {
        case kBzip2:
        case kLzma:
        case kZstdEarly:
        case kZstd:
        case kXz:
        case kPpmd: return true;
        default: return false;
    }
}

bool ZipMethod::isSupported(int method) {
    switch (method) {
        case kStored:
        case kShrunk:
        case kImploded:
        case kDeflated:
        case kDeflate64:
        case kPpmd: return true;
        case kBzip2: return TN_METHOD_BZIP2 != 0;
        case kLzma:
        case kXz: return TN_METHOD_LZMA != 0;
        case kZstdEarly:
        case kZstd: return TN_METHOD_ZSTD != 0;
        default: return false;
    }
}

#if TN_METHOD_BZIP2
namespace {
constexpr std::uint64_t kBzip2ParallelFrom = 2 << 20;
}  // namespace
#endif

std::unique_ptr<ChunkDecoder> ZipMethod::createDecoder(int method, std::uint16_t flags, std::uint64_t uncompressedSize,
                                                       std::uint64_t memoryLimit) {
    (void)flags;
    switch (method) {
        case kPpmd: return std::make_unique<PpmdStreamDecoder>(uncompressedSize, memoryLimit);
#if TN_METHOD_BZIP2
        // Blocks decode on several threads when the machine has them and the entry is large
        // enough to hold a few (a block holds up to 900,000 bytes).
        case kBzip2: {
            Bzip2ParallelDecoder::Options options;
            options.workers = Bzip2ParallelDecoder::defaultWorkers();
            if (options.workers == 0 || uncompressedSize < kBzip2ParallelFrom)
                return std::make_unique<Bzip2StreamDecoder>();
            return std::make_unique<Bzip2ParallelDecoder>(std::move(options));
        }
#endif
#if TN_METHOD_LZMA
        // The end marker (flag bit 1) is accepted with or without the flag; the declared size
        // ends a stream that has none.
        case kLzma:
            return std::make_unique<LzmaStreamDecoder>(LzmaStreamDecoder::Format::ZipLzma, uncompressedSize,
                                                       memoryLimit);
        case kXz:
            return std::make_unique<LzmaStreamDecoder>(LzmaStreamDecoder::Format::Xz, uncompressedSize, memoryLimit);
#endif
#if TN_METHOD_ZSTD
        case kZstdEarly:
        case kZstd: return std::make_unique<ZstdStreamDecoder>(memoryLimit);
#endif
        default: return nullptr;
    }
}
