// An event sink that only records: the last percent for another thread to read, and an abort
// request that another thread may set. Both are atomics, so no lock is needed.
#pragma once
#include <atomic>

#include "archive/ProgressEvent.h"

class AsyncProgressEvent : public ProgressEvent {
public:
    AsyncProgressEvent() = default;
    ~AsyncProgressEvent() override = default;

    void percentDone(int percent, bool* abort) override;
    void abortCheck(bool* abort) override { answer(abort); }
    void textProgress(const char*, bool* abort) override { answer(abort); }

    int lastPercent() const { return m_lastPercent.load(std::memory_order_relaxed); }
    void requestAbort(bool abort) { m_abortRequest.store(abort, std::memory_order_relaxed); }
    bool abortRequested() const { return m_abortRequest.load(std::memory_order_relaxed); }

private:
    void answer(bool* abort) const {
        if (abort) *abort = abortRequested();
    }

    std::atomic<bool> m_abortRequest{false};
    std::atomic<int> m_lastPercent{0};
};
