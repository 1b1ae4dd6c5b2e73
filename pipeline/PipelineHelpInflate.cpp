// The inflate drivers of PipelineHelp: InflateState2 behind a CRC-computing FileDataSink.
#include "archive/ProgressMonitor.h"
#include "base/DataBuffer.h"
#include "base/FileOpen.h"
#include "base/FileSystem.h"
#include "codecs/InflateAhead.h"
#include "codecs/InflateState2.h"
#include "log/LogBase.h"
#include "log/LogReject.h"
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

// Streams with the decoding on a second thread, overlapping it with the writing and the CRC,
// unless the source reports progress itself: progress callbacks stay on the calling thread.
bool inflateStreamed(InflateTarget& target, DataSource& source, LogBase& log) {
    InflateSourceAdapter input(source);
    if (source.progressMonitor()) return target.inflater.inflateSource(input, log, false);
    return InflateAhead::inflateSource(target.inflater, input, target.adapter, log, false);
}

// Files above this size are streamed rather than loaded whole.
constexpr std::int64_t kLoadWholeLimit = 4000000;

}  // namespace

bool PipelineHelp::inflateSourceToOutput(DataSource& source, Output& output, LogBase& log, std::uint32_t& crc,
                                         bool verbose) {
    crc = 0;
    InflateTarget target(output, m_monitor, &log, m_deflate64);
    bool streamed = inflateStreamed(target, source, log);
    bool ok = true;
    bool aborted = m_monitor && m_monitor->isAborted();
    // A refused write stops the decode as well, so it is named first.
    if (target.sink.writeFailed())
        ok = rejectWith(log, "Failed to inflate from data source because sink write failed.");
    else if (target.inflater.hadError() || (!streamed && !aborted))
        ok = rejectWith(log, "Failed to inflate from data source (2)");
    else if (aborted) ok = rejectWith(log, "Inflate aborted by application..");
    if (ok) crc = target.sink.crcValue();
    if (verbose && ok) log.logDataHex("inflatorOutputCrc", crc);
    if (verbose && !ok) log.logError("Inflate failed.");
    return ok;
}

bool PipelineHelp::inflateMemoryToOutput(const std::uint8_t* bytes, std::uint32_t count, Output& output,
                                         std::uint32_t& crc, LogBase& log, bool verbose) {
    crc = 0;
    if (!bytes) return rejectWith(log, "No input data");
    InflateTarget target(output, m_monitor, nullptr, m_deflate64);
    target.inflater.inflateBuffer(bytes, count, log, verbose);
    if (target.sink.writeFailed()) return rejectWith(log, "Sink write failed.");
    if (m_monitor && m_monitor->isAborted()) return rejectWith(log, "Inflate aborted by application.");
    if (target.inflater.hadError()) return rejectWith(log, "Internal error in huffman decoding.");
    crc = target.sink.crcValue();
    return true;
}

// A corrupt stream fails in both forms; the streamed form also watches for an abort.
bool PipelineHelp::inflateFileToOutput(const char* utf8Path, Output& output, std::uint32_t& crc, LogBase& log,
                                       bool verbose) {
    crc = 0;
    if (!utf8Path) return rejectWith(log, "Inflate failed: no input filename");
    InflateTarget target(output, m_monitor, nullptr, m_deflate64);
    bool opened = false;
    TarnelHandle handle;
    int reason = 0;
    if (getFileSizeByName(utf8Path, opened) > kLoadWholeLimit && openForRead(utf8Path, handle, reason, &log)) {
        FileDataSource source;
        source.attachHandle(&handle);
        bool streamed = inflateStreamed(target, source, log);
        handle.close();
        if (m_monitor && m_monitor->isAborted()) return rejectWith(log, "Inflate aborted by application.");
        if (!streamed || target.inflater.hadError())
            return rejectWith(
                log, target.sink.writeFailed() ? "Inflate failed to write to output file" : "Failed to inflate file.");
    } else {
        DataBuffer whole;
        if (!whole.loadFile(utf8Path, log)) return false;
        target.inflater.inflateBuffer(whole.data(), whole.size(), log, verbose);
        if (target.inflater.hadError() && !target.sink.writeFailed()) return false;
        if (m_monitor && m_monitor->isAborted()) return rejectWith(log, "Inflate aborted by application.");
    }
    if (target.sink.writeFailed()) return rejectWith(log, "Inflate failed to write to output file");
    crc = target.sink.crcValue();
    return true;
}
