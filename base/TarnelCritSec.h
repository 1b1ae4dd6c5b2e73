// The recursive lock behind every lock of the library.
#pragma once
#include <mutex>

class TarnelCritSec {
public:
    TarnelCritSec() = default;
    TarnelCritSec(const TarnelCritSec&) = delete;
    TarnelCritSec& operator=(const TarnelCritSec&) = delete;
    // Waits for a thread still inside to leave before the lock goes away.
    virtual ~TarnelCritSec() {
        enter();
        leave();
    }

    void enter() { m_mutex.lock(); }
    void leave() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a TarnelCritSec for the lifetime of a scope.
class TarnelLockGuard {
public:
    explicit TarnelLockGuard(TarnelCritSec& cs) : m_cs(cs) { m_cs.enter(); }
    ~TarnelLockGuard() { m_cs.leave(); }
    TarnelLockGuard(const TarnelLockGuard&) = delete;
    TarnelLockGuard& operator=(const TarnelLockGuard&) = delete;

private:
    TarnelCritSec& m_cs;
};
