// The driver of PipelineHelp for methods decoded by a StreamDecoder.
#include "archive/ProgressMonitor.h"
#include "log/LogBase.h"
#include "pipeline/DataPipeline.h"
#include "pipeline/FileDataSink.h"
#include "pipeline/MethodDecodeProcessor.h"
#include "pipeline/PipelineHelp.h"

bool PipelineHelp::decodeSourceToOutput(DataSource& source, StreamDecoder& decoder,
                                        std::uint64_t limit, Output& output, std::uint32_t& crc,
                                        LogBase& log) {
    crc = 0;
    FileDataSink sink;
    sink.setOutput(&output);
    sink.setComputeCrc(true);
    sink.setProgressMonitor(m_monitor);
    sink.setLog(&log);
    MethodDecodeProcessor processor(decoder, limit);
    processor.setSource(&source);
    processor.setSink(&sink);
    DataPipeline pipeline;
    if (!pipeline.addProcessor(&processor)) return false;
    bool ok = pipeline.run(m_monitor);
    if (!ok && m_monitor && m_monitor->isAborted()) {
        log.logError("Decoding aborted by application.");
        return false;
    }
    if (!ok) {
        log.logError(*processor.failure() ? processor.failure() : "Decoding stopped making progress");
        log.logDataInt64("decodedBytes", static_cast<std::int64_t>(processor.bytesDecoded()));
        return false;
    }
    if (sink.writeFailed()) {
        log.logError("Failed to write decoded data to output.");
        return false;
    }
    crc = sink.crcValue();
    return true;
}
