// The inflate drivers of PipelineHelp: InflateState2 behind a CRC-computing FileDataSink.
#include "archive/ProgressMonitor.h"
#include "base/DataBuffer.h"
#include "base/FileOpen.h"
#include "base/FileSystem.h"
#include "codecs/InflateState2.h"
#include "log/LogBase.h"
#include "pipeline/FileDataSink.h"
#include "pipeline/FileDataSource.h"
#include "pipeline/InflateSinkAdapter.h"
#include "pipeline/InflateSourceAdapter.h"
#include "pipeline/PipelineHelp.h"

namespace {

// One decode's sink: CRC on, the monitor of the helper, writes into output.
struct InflateTarget {
    InflateTarget(Output& output, ProgressMonitor* monitor, LogBase* log, bool deflate64) : adapter(sink) {
        sink.setOutput(&output);
        sink.setComputeCrc(true);
        sink.setProgressMonitor(monitor);
        sink.setLog(log);
        inflater.setSink(&adapter);
        inflater.setDeflate64(deflate64);
    }
    FileDataSink sink;
    InflateSinkAdapter adapter;
    InflateState2 inflater;
};

bool fail(LogBase& log, const char* message) {
    log.logError(message);
    return false;
}

// Files above this size are streamed rather than loaded whole.
constexpr std::int64_t kLoadWholeLimit = 4000000;

}  // namespace

bool PipelineHelp::inflateSourceToOutput(DataSource& source, Output& output, LogBase& log,
                                         std::uint32_t& crc, bool verbose) {
    crc = 0;
    InflateTarget target(output, m_monitor, &log, m_deflate64);
    InflateSourceAdapter input(source);
    bool streamed = target.inflater.inflateSource(input, log, false);
    bool ok = true;
    bool aborted = m_monitor && m_monitor->isAborted();
    // A refused write stops the decode as well, so it is named first.
    if (target.sink.writeFailed())
        ok = fail(log, "Failed to inflate from data source because sink write failed.");
    else if (target.inflater.hadError() || (!streamed && !aborted))
        ok = fail(log, "Failed to inflate from data source (2)");
    else if (aborted)
        ok = fail(log, "Inflate aborted by application..");
    if (ok) crc = target.sink.crcValue();
    if (verbose && ok) log.logDataHex("inflatorOutputCrc", crc);
    if (verbose && !ok) log.logError("Inflate failed.");
    return ok;
}

bool PipelineHelp::inflateMemoryToOutput(const std::uint8_t* bytes, std::uint32_t count,
                                         Output& output, std::uint32_t& crc, LogBase& log,
                                         bool verbose) {
    crc = 0;
    if (!bytes) return fail(log, "No input data");
    InflateTarget target(output, m_monitor, nullptr, m_deflate64);
    target.inflater.inflateBuffer(bytes, count, log, verbose);
    if (target.sink.writeFailed()) return fail(log, "Sink write failed.");
    if (target.inflater.hadError()) return fail(log, "Internal error in huffman decoding.");
    crc = target.sink.crcValue();
    return true;
}

// A corrupt stream fails in both forms; the streamed form also watches for an abort.
bool PipelineHelp::inflateFileToOutput(const char* utf8Path, Output& output, std::uint32_t& crc,
                                       LogBase& log, bool verbose) {
    crc = 0;
    if (!utf8Path) return fail(log, "Inflate failed: no input filename");
    InflateTarget target(output, m_monitor, nullptr, m_deflate64);
    bool opened = false;
    TarnelHandle handle;
    int reason = 0;
    if (getFileSizeByName(utf8Path, opened) > kLoadWholeLimit &&
        openForRead(utf8Path, handle, reason, &log)) {
        FileDataSource source;
        source.attachHandle(&handle);
        InflateSourceAdapter input(source);
        bool streamed = target.inflater.inflateSource(input, log, false);
        handle.close();
        if (m_monitor && m_monitor->isAborted())
            return fail(log, "Inflate aborted by application.");
        if (!streamed || target.inflater.hadError())
            return fail(log, target.sink.writeFailed() ? "Inflate failed to write to output file" : "Failed to inflate file.");
    } else {
        DataBuffer whole;
        if (!whole.loadFile(utf8Path, log)) return false;
        target.inflater.inflateBuffer(whole.data(), whole.size(), log, verbose);
        if (target.inflater.hadError() && !target.sink.writeFailed()) return false;
    }
    if (target.sink.writeFailed()) return fail(log, "Inflate failed to write to output file");
    crc = target.sink.crcValue();
    return true;
}
