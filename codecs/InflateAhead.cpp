// Streaming inflate on a second thread, handing its blocks to the calling thread through a small
// bounded queue.
#include "codecs/InflateAhead.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "codecs/InflateInput.h"
#include "codecs/InflateOutput.h"
#include "codecs/InflateState2.h"
#include "log/LogBase.h"

namespace {

// A side that finds the queue empty (or full) sleeps until half of it has filled (or emptied),
// and is woken only then: each wake-up hands over several blocks rather than one, which saves
// the system time of a sleep and a wake-up per block.
constexpr unsigned kBatch = InflateAhead::kBlocks / 2;

// The decoder writes into the queue; the calling thread takes blocks from its front. A block
// belongs to the decoder until it is counted in `m_used`, and to the calling thread from then
// until pop, so the bytes are copied and read outside the lock.
class BlockQueue : public InflateOutput {
public:
    // The real output is asked for room on the calling thread, before each block goes out.
    bool spaceAvailable(std::uint32_t& count) override {
        count = 0xFFFFFFFFu;
        return true;
    }

    // Waits for a free block; false (the block is dropped) once the calling thread has stopped.
    bool write(const std::uint8_t* bytes, std::uint32_t count) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_stop && m_used == InflateAhead::kBlocks) {
            m_writerWaits = true;
            m_changed.wait(lock, [&] { return m_stop || m_used <= InflateAhead::kBlocks - kBatch; });
            m_writerWaits = false;
        }
        if (m_stop) return false;
        std::vector<std::uint8_t>& block = m_blocks[(m_head + m_used) % InflateAhead::kBlocks];
        lock.unlock();
        block.assign(bytes, bytes + count);
        lock.lock();
        ++m_used;
        if (m_readerWaits && m_used >= kBatch) m_changed.notify_all();
        return true;
    }

    // Ends the decoder's run at its next hand-over once the calling thread has stopped.
    bool isAborted() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stop;
    }

    // The next block, or null when the decoder has finished and every block has been taken.
    const std::vector<std::uint8_t>* front() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_used == 0 && !m_done) {
            m_readerWaits = true;
            m_changed.wait(lock, [&] { return m_used >= kBatch || m_done; });
            m_readerWaits = false;
        }
        return m_used > 0 ? &m_blocks[m_head] : nullptr;
    }

    void pop() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_head = (m_head + 1) % InflateAhead::kBlocks;
        --m_used;
        if (m_writerWaits && m_used <= InflateAhead::kBlocks - kBatch) m_changed.notify_all();
    }

    void decoderDone() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_done = true;
        m_changed.notify_all();
    }

    void stop() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint8_t> m_blocks[InflateAhead::kBlocks];
    unsigned m_head = 0, m_used = 0;
    bool m_done = false, m_stop = false;
    bool m_readerWaits = false, m_writerWaits = false;
};

// Hands the queued blocks to `output` as the decoder itself would: room asked first, the abort
// state after each block. Returns 0, or the location at which the output made the decode end.
int drain(BlockQueue& queue, InflateOutput& output) {
    while (const std::vector<std::uint8_t>* block = queue.front()) {
        const std::uint32_t n = std::uint32_t(block->size());
        std::uint32_t space = 0;
        if (!output.spaceAvailable(space) || space < n) return InflateState2::kSinkRefusedLocation;
        output.write(block->data(), n);
        queue.pop();
        if (output.isAborted()) return InflateState2::kAborted;
    }
    return 0;
}

}  // namespace

bool InflateAhead::inflateSource(InflateState2& inflater, InflateInput& source, InflateOutput& output, LogBase& log,
                                 bool verbose) {
    if (verbose) log.enterContext("inflator");
    BlockQueue queue;
    inflater.setSink(&queue);
    std::thread decoder;
    try {
        decoder = std::thread([&] {
            inflater.decodeSource(source);
            queue.decoderDone();
        });
    } catch (const std::system_error&) {
        inflater.setSink(&output);
        inflater.decodeSource(source);
        return inflater.reportSource(log, verbose);
    }
    const int stoppedAt = drain(queue, output);
    queue.stop();
    decoder.join();
    if (stoppedAt) inflater.endAs(stoppedAt);
    return inflater.reportSource(log, verbose);
}
