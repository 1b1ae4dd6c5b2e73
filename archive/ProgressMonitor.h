// Turns byte counts of one extraction into whole percentages for a ProgressEvent, raises abort
// checks between them at a steady pace, and remembers an abort request for good: once aborted it
// still counts but raises no further event.
// Included by crypto/, pipeline/ and extract/: this header includes nothing above base/.
#pragma once
#include <cstdint>

#include "archive/AsyncProgressEvent.h"

class ProgressMonitor {
public:
    // sink may be null: the monitor then reports to its own AsyncProgressEvent. Not owned.
    ProgressMonitor(ProgressEvent* sink, std::int64_t total);
    explicit ProgressMonitor(std::int64_t total) : ProgressMonitor(nullptr, total) {}
    ProgressMonitor(const ProgressMonitor&) = delete;
    ProgressMonitor& operator=(const ProgressMonitor&) = delete;
    virtual ~ProgressMonitor() = default;

    // Counts bytes and raises a percent event, or else a heartbeat abort check, when due.
    // *abort (may be null) receives this call's answer; isAborted() keeps any abort for good.
    void addProgress(std::int64_t count, bool* abort);
    // Counts bytes and raises a percent event when due; no heartbeat, abort answers ignored.
    void addProgressQuiet(std::int64_t count);
    // Counts whatever is not yet done.
    void finishProgress();

    bool isAborted() const { return m_aborted; }
    int currentPercent() const;

    // 0 restores the default of 300 ms. Nothing in the extraction changes these.
    void setHeartbeatInterval(std::uint32_t ms) { m_heartbeatMs = ms; }
    void setHeartbeatOff(bool off) { m_heartbeatOff = off; }
    // A disabled monitor still counts but raises no event at all, so it never reports an abort.
    void setDisabled(bool disabled) { m_disabled = disabled; }
    // Holding 100 stops the percent events at 99, for a caller that has work left after the
    // last byte and reports completion itself.
    void setHold100(bool hold) { m_hold100 = hold; }
    AsyncProgressEvent& ownEvent() { return m_ownEvent; }

private:
    bool countAndReport(std::int64_t count, bool* abort);
    void heartbeat(bool* abort);
    std::uint32_t heartbeatInterval() const { return m_heartbeatMs ? m_heartbeatMs : 300; }

    AsyncProgressEvent m_ownEvent;
    std::int64_t m_total;
    std::int64_t m_done = 0;  // never above m_total
    int m_lastReported = 0;   // highest percent sent to the sink
    ProgressEvent* m_sink;
    bool m_aborted = false;
    std::uint32_t m_lastCallTick;  // construction, last percent event or last abort check
    std::uint32_t m_heartbeatMs = 0;
    bool m_heartbeatOff = false;
    std::uint32_t m_lastHeartbeatTick = 0;
    bool m_disabled = false;
    bool m_hold100 = false;
};
