// Threads that decode bzip2 blocks, each handed over as a one-block stream of its own (a
// "piece"), in the order they are queued. A piece is verified when libbz2 ends the stream having
// read every byte of it; its content is kept for the caller up to a limit, beyond which it is
// only checked and the caller decodes it again.
//
// One mutex and one condition variable guard everything shared. A piece belongs to the calling
// thread until it is queued, to the worker that takes it while it runs, and to the calling thread
// again once it is done; its bytes are read and written outside the lock only by its owner.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct Bzip2Piece {
    enum class State { Queued, Running, Done };

    std::vector<std::uint8_t> stream;  // the whole one-block stream
    std::uint64_t startBit = 0;        // where the block begins in the caller's data
    std::uint64_t endBit = 0;          // where the next magic begins
    std::uint32_t blockCrc = 0;        // the CRC stored after the block magic

    // Results, valid once done.
    bool verified = false;
    bool kept = false;  // content holds the whole block
    std::unique_ptr<std::uint8_t[]> content;
    std::size_t contentSize = 0;

    State state = State::Queued;
    bool cancelled = false;
};

class Bzip2BlockWorkers {
public:
    Bzip2BlockWorkers(unsigned threads, std::size_t keepLimit);
    ~Bzip2BlockWorkers();
    Bzip2BlockWorkers(const Bzip2BlockWorkers&) = delete;
    Bzip2BlockWorkers& operator=(const Bzip2BlockWorkers&) = delete;

    // Starts the threads once; false when the system gives none.
    bool start();
    // Pieces queued and not yet taken back with popFront.
    std::size_t pending();
    void push(std::unique_ptr<Bzip2Piece> piece);
    // The oldest piece, waiting until it is done; null when none is queued.
    Bzip2Piece* waitFront();
    // The oldest piece if it is done, else null.
    Bzip2Piece* frontIfDone();
    void popFront();
    // Drops every piece, waiting for those running to notice.
    void cancelAll();
    // Ends the threads (pieces still queued are dropped).
    void stop();

private:
    void run();
    void decode(Bzip2Piece& piece);
    bool keepGoing(const Bzip2Piece& piece);

    const unsigned m_threadCount;
    const std::size_t m_keepLimit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Bzip2Piece>> m_pieces;  // in stream order
    std::size_t m_next = 0;                            // first piece no worker has taken
    unsigned m_running = 0;
    bool m_stop = false;
    bool m_started = false;
    std::vector<std::thread> m_threads;
};
