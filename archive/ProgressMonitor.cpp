// Percent arithmetic and event pacing of ProgressMonitor.
#include "archive/ProgressMonitor.h"

#include "base/TickCount.h"

namespace {

// Both values are scaled down together so that done * 100 cannot overflow.
int percentOf(std::int64_t done, std::int64_t total) {
    if (total <= 0) return 100;
    while (total > 1000000) {
        total /= 10;
        done /= 10;
    }
    return static_cast<int>(done * 100 / total);
}

}  // namespace

ProgressMonitor::ProgressMonitor(ProgressEvent* sink, std::int64_t total)
    : m_total(total), m_sink(sink ? sink : &m_ownEvent), m_lastCallTick(tickCountMs()) {}

int ProgressMonitor::currentPercent() const { return percentOf(m_done, m_total); }

// Adds the bytes; true when a percent event was raised (its answer is in *abort).
bool ProgressMonitor::countAndReport(std::int64_t count, bool* abort) {
    *abort = false;
    int before = currentPercent();
    // Counts may come from archive sizes: stop at the total rather than overflow past it.
    if (count > 0) m_done = count >= m_total - m_done ? m_total : m_done + count;
    int after = currentPercent();
    // After an abort answer the application hears nothing more from this extraction.
    if (m_disabled || m_aborted) return false;
    if (m_hold100 && after > 99) after = 99;
    if (after <= before || after <= m_lastReported) return false;
    m_lastCallTick = tickCountMs();
    m_lastReported = after;
    m_sink->percentDone(after, abort);
    return true;
}

void ProgressMonitor::heartbeat(bool* abort) {
    if (m_heartbeatOff || m_disabled || m_aborted) return;
    std::uint32_t now = tickCountMs();
    if (now - m_lastCallTick <= heartbeatInterval()) return;
    m_lastHeartbeatTick = now;
    m_lastCallTick = now;
    m_sink->abortCheck(abort);
}

void ProgressMonitor::addProgress(std::int64_t count, bool* abort) {
    bool answer = false;
    if (!countAndReport(count, &answer)) heartbeat(&answer);
    if (answer) m_aborted = true;
    if (abort) *abort = answer;
}

void ProgressMonitor::addProgressQuiet(std::int64_t count) {
    bool ignored = false;
    countAndReport(count, &ignored);
}

void ProgressMonitor::finishProgress() {
    if (m_done < m_total) addProgressQuiet(m_total - m_done);
}
