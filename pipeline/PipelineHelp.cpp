// Copy and decryption pipelines of PipelineHelp; the inflate drivers are in PipelineHelpInflate.
#include "pipeline/PipelineHelp.h"

#include "base/TarnelHandle.h"
#include "pipeline/CrcProcessor.h"
#include "pipeline/DataPipeline.h"
#include "pipeline/FileDataSink.h"
#include "pipeline/FileDataSource.h"
#include "pipeline/MemoryDataSource.h"
#include "pipeline/ZipDecodeProcessor.h"

namespace {
constexpr std::uint32_t kInputBufferSize = 60000;
}

bool PipelineHelp::runOneStage(DataSource& source, DataProcessor& processor, Output& output) {
    FileDataSink sink;
    sink.setOutput(&output);
    processor.setSource(&source);
    processor.setSink(&sink);
    if (!processor.allocateInputBuffer(kInputBufferSize)) return false;
    DataPipeline pipeline;
    if (!pipeline.addProcessor(&processor)) return false;
    return pipeline.run(m_monitor) && !sink.writeFailed();
}

bool PipelineHelp::streamFileToOutput(TarnelHandle& handle, Output& output, std::uint32_t& crc,
                                      std::uint64_t& byteCount) {
    crc = 0;
    byteCount = 0;
    if (!handle.isOpen()) return false;
    FileDataSource source;
    source.attachHandle(&handle);
    source.setProgressMonitor(m_monitor);
    CrcProcessor processor;
    if (!runOneStage(source, processor, output)) return false;
    crc = processor.crcValue();
    byteCount = processor.bytesOut();
    return true;
}

bool PipelineHelp::streamMemoryToOutput(const std::uint8_t* bytes, std::uint32_t size, Output* output,
                                        std::uint32_t& crc) {
    crc = 0;
    if (!bytes || !output) return false;
    MemoryDataSource source;
    source.initMemory(bytes, size);
    source.setProgressMonitor(m_monitor);
    CrcProcessor processor;
    if (!runOneStage(source, processor, *output)) return false;
    crc = processor.crcValue();
    return true;
}

bool PipelineHelp::decryptSourceToOutput(DataSource& source, Output& output, PwdProtect& decryptor) {
    ZipDecodeProcessor processor;
    processor.setDecryptor(&decryptor);
    return runOneStage(source, processor, output);
}

bool PipelineHelp::decryptMemoryToOutput(const std::uint8_t* bytes, std::uint32_t size, Output& output,
                                         PwdProtect& decryptor) {
    if (!bytes) return false;
    MemoryDataSource source;
    source.initMemory(bytes, size);
    source.setProgressMonitor(m_monitor);
    return decryptSourceToOutput(source, output, decryptor);
}
