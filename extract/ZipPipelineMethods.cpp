// ZipPipeline's transfer for the methods that stream through a StreamDecoder: whichever kind the
// source is (data source, file, memory), it is read as a DataSource.
#include <memory>

#include "base/FileOpen.h"
#include "base/TarnelHandle.h"
#include "codecs/StreamDecoder.h"
#include "codecs/ZipMethod.h"
#include "extract/ZipPipeline.h"
#include "log/LogBase.h"
#include "pipeline/FileDataSource.h"
#include "pipeline/MemoryDataSource.h"
#include "pipeline/PipelineHelp.h"

bool ZipPipeline::decodeMethodInto(Output& out, std::uint32_t& crc, LogBase& log) {
    crc = 0;
    std::unique_ptr<StreamDecoder> decoder =
        ZipMethod::createDecoder(m_method, m_methodFlags, expectedUncompressedSize);
    if (!decoder) {
        log.logError("Unsupported compression method");
        log.logDataLong("compressionMethod", m_method);
        return false;
    }
    if (m_verbose) log.logData("decodingMethod", ZipMethod::name(m_method));
    PipelineHelp help;
    preparePipelineHelp(help);
    bool ok;
    if (m_srcIsFile) {
        TarnelHandle handle;
        int reason = 0;
        if (!openForRead(m_srcFile.text(), handle, reason, &log)) {
            log.logError("Failed to open file for reading (5)");
            return false;
        }
        FileDataSource source;
        source.attachHandle(&handle);
        ok = help.decodeSourceToOutput(source, *decoder, expectedUncompressedSize, out, crc, log);
        handle.close();
    } else if (m_source) {
        ok = help.decodeSourceToOutput(*m_source, *decoder, expectedUncompressedSize, out, crc, log);
    } else {
        MemoryDataSource source;
        source.initMemory(m_srcBytes.data(), m_srcBytes.size());
        ok = help.decodeSourceToOutput(source, *decoder, expectedUncompressedSize, out, crc, log);
    }
    if (!ok) {
        log.logError("Failed to decode the entry's compressed data");
        log.logData("compressionMethod", ZipMethod::name(m_method));
    }
    return ok;
}
