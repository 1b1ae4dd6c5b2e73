// Defaults of the pull interface: read-and-discard skipping and the copy into an Output.
#include "pipeline/DataSource.h"

#include <algorithm>
#include <memory>
#include <new>

#include "archive/ProgressMonitor.h"
#include "log/LogNull.h"
#include "log/LogReject.h"
#include "pipeline/Output.h"

namespace {
constexpr std::uint32_t kWorkSize = 20000;

std::unique_ptr<std::uint8_t[]> workBuffer() {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[kWorkSize]);
}
}  // namespace

bool DataSource::getNextChunk(std::uint8_t*, std::uint32_t, std::uint32_t& count, LogBase*) {
    count = 0;
    return false;
}

bool DataSource::peekNextChunk(std::uint8_t*, std::uint32_t, std::uint32_t& count, LogBase*) {
    count = 0;
    return false;
}

bool DataSource::scanForSignature(std::uint32_t, std::uint64_t& skipped, LogBase*) {
    skipped = 0;
    return false;
}

bool DataSource::countDelivered(std::uint32_t n, LogBase* log) {
    m_bytesRead += n;
    if (!m_monitor) return true;
    bool abort = false;
    m_monitor->addProgress(n, &abort);
    if (abort && log) log->logInfo("Aborted by application");
    return !abort;
}

// Skipping stops early, successfully, at the end of the source. A source may deliver less than
// asked without having ended (small chunks, windows), so short reads just continue; only a read
// that fails or brings nothing before the end is a failure.
bool DataSource::skipBytes(std::uint64_t count, LogBase* log) {
    auto work = workBuffer();
    if (!work) return false;
    while (count != 0 && !endOfStream()) {
        std::uint32_t chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, kWorkSize));
        std::uint32_t got = 0;
        if (!getNextChunk(work.get(), chunk, got, log)) return false;
        if (got == 0 && !endOfStream()) return false;
        count -= got;
    }
    return true;
}

bool DataSource::copyToOutput(Output& output, ProgressMonitor* monitor, LogBase* log) {
    LogNull nullLog;
    if (!log) log = &nullLog;
    auto work = workBuffer();
    if (!work) return false;
    while (!endOfStream()) {
        std::uint32_t got = 0;
        if (!getNextChunk(work.get(), kWorkSize, got, log)) return false;
        if (got == 0) continue;
        std::uint32_t written = output.write(work.get(), 1, got, log);
        bool abort = false;
        if (monitor) monitor->addProgress(written, &abort);
        if (abort) return rejectWith(log, "Copy-to-output aborted in application event callback.");
        if (written != got) return rejectWith(log, "Failed to write data to output.");
    }
    return true;
}
