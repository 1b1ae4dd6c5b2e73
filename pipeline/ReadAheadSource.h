// A DataSource that reads its upstream source on a second thread, a few blocks ahead of the
// caller, so that the upstream's work (a decryption) overlaps with the caller's (inflating,
// writing). The caller sees the same bytes, the same end and the same failure at the same place
// as if it read the upstream itself.
//
// The thread starts only once the caller has taken kThreadAfter bytes: small entries never pay
// for one. Before that, and when the system refuses a thread, reads pass straight through. The
// upstream must not report progress, since it may run beside the caller's thread; this source
// counts and reports what it delivers itself. An upstream that logs logs into a LogRecorder: the
// lines of each read are written into the caller's log when the caller reaches that read's
// data (or its failure), never for data the caller does not reach. Destroying the source (or
// stop()) stops and joins the thread; do it before the upstream goes away.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "log/LogRecorder.h"
#include "pipeline/DataSource.h"

class ReadAheadSource : public DataSource {
public:
    // The queue holds more than the inflater takes in one refill (4,000,000 bytes): a smaller one
    // fills while the inflater works through its buffer, and the two threads take turns.
    static constexpr std::uint32_t kBlockSize = 65536;
    static constexpr unsigned kBlocks = 96;
    static constexpr std::uint64_t kThreadAfter = 256u << 10;

    // `upstreamLog`, when given, is where the upstream logs; its lines go into `log`.
    explicit ReadAheadSource(DataSource& upstream, LogRecorder* upstreamLog = nullptr, LogBase* log = nullptr);
    ~ReadAheadSource() override;

    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override;
    // True once every byte has been delivered and the upstream had ended after its last read.
    bool endOfStream() override;
    // Stops and joins the thread; later reads fail.
    void stop();

private:
    struct Block {
        // Not zeroed: its pages are first touched by the thread that fills it, not the caller.
        std::unique_ptr<std::uint8_t[]> bytes;
        std::uint32_t size = 0;
        bool ok = true;            // the read that filled it succeeded
        bool ended = false;        // the upstream had ended after that read
        LogRecorder::Lines lines;  // what the upstream logged during that read
    };

    bool passThrough(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log);
    bool takeAhead(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count);
    void startThread(LogBase* log);
    void readLoop(LogBase* log);
    void replay(LogRecorder::Lines& lines);

    DataSource& m_upstream;
    LogRecorder* m_upstreamLog;
    LogBase* m_log;
    std::uint64_t m_passed = 0;  // bytes delivered before the thread started
    bool m_threaded = false;
    bool m_stopped = false;
    bool m_lastEnded = false;  // the upstream's end as of the last block the caller finished

    std::mutex m_mutex;
    std::condition_variable m_changed;
    Block m_blocks[kBlocks];
    unsigned m_head = 0, m_used = 0;
    std::uint32_t m_offset = 0;  // taken from the front block so far
    bool m_done = false;         // the thread read its last block (end or failure)
    bool m_stop = false;
    std::thread m_thread;
};
