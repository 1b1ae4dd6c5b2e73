// Stream decoders of the methods that the pipeline reaches through makeMethodDecoder.
#include "pipeline/MethodDecoders.h"

#include "archive/ProgressMonitor.h"
#include "codecs/ChunkDecoder.h"
#include "codecs/Implode.h"
#include "codecs/ZipMethod.h"
#include "codecs/Unshrink.h"
#include "log/LogBase.h"
#include "pipeline/DataPipeline.h"
#include "pipeline/DataSink.h"
#include "pipeline/InflateSinkAdapter.h"
#include "pipeline/InflateSourceAdapter.h"
#include "pipeline/MethodDecodeProcessor.h"

namespace {
constexpr int kMethodShrunk = 1;
constexpr int kMethodImploded = 6;

class UnshrinkDecoder : public StreamDecoder {
public:
    bool decode(DataSource& source, DataSink& sink, LogBase& log) override {
        InflateSourceAdapter in(source);
        InflateSinkAdapter out(sink);
        if (Unshrink::unshrink(in, out)) return true;
        return log.logError("Failed to unshrink data."), false;
    }
};

class ExplodeDecoder : public StreamDecoder {
public:
    explicit ExplodeDecoder(std::uint16_t flags) : m_flags(flags) {}
    bool decode(DataSource& source, DataSink& sink, LogBase& log) override {
        InflateSourceAdapter in(source);
        InflateSinkAdapter out(sink);
        Implode implode;
        if (implode.explode((m_flags & 0x02) != 0, (m_flags & 0x04) != 0, in, out)) return true;
        return log.logError("Failed to explode data."), false;
    }

private:
    std::uint16_t m_flags;
};

// bzip2, LZMA, xz, zstd and PPMd: a chunk decoder driven by a MethodDecodeProcessor, which also holds
// the content to the declared size.
class ChunkStreamDecoder : public StreamDecoder {
public:
    ChunkStreamDecoder(int method, std::unique_ptr<ChunkDecoder> decoder, std::uint64_t limit)
        : m_method(method), m_decoder(std::move(decoder)), m_limit(limit) {}
    bool decode(DataSource& source, DataSink& sink, LogBase& log) override {
        MethodDecodeProcessor processor(*m_decoder, m_limit);
        processor.setSource(&source);
        processor.setSink(&sink);
        // The sink's monitor stops the pump within one forwarded block of an abort answer.
        ProgressMonitor* monitor = sink.progressMonitor();
        DataPipeline pipeline;
        if (pipeline.addProcessor(&processor) && pipeline.run(monitor)) return true;
        if (monitor && monitor->isAborted()) return log.logError("Decoding aborted by application."), false;
        log.logError(*processor.failure() ? processor.failure() : "Decoding stopped making progress");
        log.logData("compressionMethod", ZipMethod::name(m_method));
        log.logDataInt64("decodedBytes", static_cast<std::int64_t>(processor.bytesDecoded()));
        log.logError("Failed to decode the entry's compressed data");
        return false;
    }

private:
    int m_method;
    std::unique_ptr<ChunkDecoder> m_decoder;
    std::uint64_t m_limit;
};
}  // namespace

std::unique_ptr<StreamDecoder> makeMethodDecoder(int method, std::uint16_t flags, std::uint64_t uncompressedSize,
                                                 std::uint64_t memoryLimit) {
    switch (method) {
        case kMethodShrunk: return std::make_unique<UnshrinkDecoder>();
        case kMethodImploded: return std::make_unique<ExplodeDecoder>(flags);
        default: break;
    }
    std::unique_ptr<ChunkDecoder> chunks = ZipMethod::createDecoder(method, flags, uncompressedSize, memoryLimit);
    if (!chunks) return nullptr;
    return std::make_unique<ChunkStreamDecoder>(method, std::move(chunks), uncompressedSize);
}

bool hasMethodDecoder(int method) { return makeMethodDecoder(method, 0) != nullptr; }
