// Reading the upstream a few blocks ahead on a second thread.
#include "pipeline/ReadAheadSource.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

ReadAheadSource::ReadAheadSource(DataSource& upstream, LogRecorder* upstreamLog, LogBase* log)
    : m_upstream(upstream), m_upstreamLog(upstreamLog), m_log(log) {}

ReadAheadSource::~ReadAheadSource() { stop(); }

void ReadAheadSource::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable()) m_thread.join();
    m_stopped = true;
}

bool ReadAheadSource::getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    count = 0;
    if (m_stopped) return false;
    if (!m_threaded && m_passed >= kThreadAfter) startThread(log);
    if (!m_threaded) return passThrough(buffer, capacity, count, log);
    if (!buffer || capacity == 0) return false;
    if (!takeAhead(buffer, capacity, count)) return false;
    return count == 0 || countDelivered(count, log);
}

bool ReadAheadSource::endOfStream() {
    if (!m_threaded) return m_upstream.endOfStream();
    return m_lastEnded;
}

bool ReadAheadSource::passThrough(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    const bool ok = m_upstream.getNextChunk(buffer, capacity, count, log);
    if (m_upstreamLog) {
        LogRecorder::Lines lines = m_upstreamLog->take();
        replay(lines);
    }
    if (!ok) return false;
    m_passed += count;
    return count == 0 || countDelivered(count, log);
}

// Without the blocks' memory or a thread, reads go on passing through.
void ReadAheadSource::startThread(LogBase* log) {
    if (m_upstream.endOfStream()) return;
    try {
        for (Block& block : m_blocks) block.bytes.reset(new std::uint8_t[kBlockSize]);
        m_thread = std::thread(&ReadAheadSource::readLoop, this, log);
        m_threaded = true;
    } catch (const std::bad_alloc&) {
    } catch (const std::system_error&) {
    }
}

// Fills free blocks until the upstream ends or fails; a failure is queued like data, so the
// caller meets it after the bytes that came before it.
void ReadAheadSource::readLoop(LogBase* log) {
    for (;;) {
        Block* block = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stop || m_used < kBlocks; });
            if (m_stop) return;
            block = &m_blocks[(m_head + m_used) % kBlocks];
        }
        std::uint32_t n = 0;
        const bool ok = m_upstream.getNextChunk(block->bytes.get(), kBlockSize, n, log);
        const bool ended = ok && m_upstream.endOfStream();
        if (m_upstreamLog) block->lines = m_upstreamLog->take();
        std::lock_guard<std::mutex> lock(m_mutex);
        block->size = ok ? n : 0;
        block->ok = ok;
        block->ended = ended;
        ++m_used;
        m_done = !ok || ended;
        m_changed.notify_all();
        if (m_done) return;
    }
}

// A queued block belongs to the caller until it is popped, so it is copied outside the lock.
bool ReadAheadSource::takeAhead(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_used > 0 || m_done; });
    if (m_used == 0) return true;  // everything was delivered
    Block& front = m_blocks[m_head];
    lock.unlock();
    if (!front.lines.empty()) replay(front.lines);
    if (!front.ok) return false;
    const std::uint32_t n = std::min(capacity, front.size - m_offset);
    if (n) std::memcpy(buffer, front.bytes.get() + m_offset, n);
    m_offset += n;
    count = n;
    if (m_offset < front.size) return true;
    lock.lock();
    m_lastEnded = front.ended;
    m_head = (m_head + 1) % kBlocks;
    --m_used;
    m_offset = 0;
    m_changed.notify_all();
    return true;
}

// Lines are written once: the failure a caller meets again does not log again.
void ReadAheadSource::replay(LogRecorder::Lines& lines) {
    if (m_log) LogRecorder::replay(lines, *m_log);
    lines.clear();
}
