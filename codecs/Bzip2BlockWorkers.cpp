// bzip2 block decoding on worker threads. Compiled only where libbz2 is used (TN_METHOD_BZIP2).
#if TN_METHOD_BZIP2
#include "codecs/Bzip2BlockWorkers.h"

#include <bzlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace {
constexpr std::size_t kChunk = 256 * 1024;  // output per libbz2 call; cancellation is seen between
}  // namespace

Bzip2BlockWorkers::Bzip2BlockWorkers(unsigned threads, std::size_t keepLimit)
    : m_threadCount(threads), m_keepLimit(keepLimit) {}

Bzip2BlockWorkers::~Bzip2BlockWorkers() { stop(); }

bool Bzip2BlockWorkers::start() {
    if (m_started) return !m_threads.empty();
    m_started = true;
    try {
        while (m_threads.size() < m_threadCount) m_threads.emplace_back([this] { run(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked for still decode ahead; none leaves the caller on its own.
    }
    return !m_threads.empty();
}

std::size_t Bzip2BlockWorkers::pending() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pieces.size();
}

void Bzip2BlockWorkers::push(std::unique_ptr<Bzip2Piece> piece) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pieces.push_back(std::move(piece));
    m_changed.notify_all();
}

Bzip2Piece* Bzip2BlockWorkers::waitFront() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_pieces.empty() || m_pieces.front()->state == Bzip2Piece::State::Done; });
    return m_pieces.empty() ? nullptr : m_pieces.front().get();
}

Bzip2Piece* Bzip2BlockWorkers::frontIfDone() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pieces.empty() || m_pieces.front()->state != Bzip2Piece::State::Done) return nullptr;
    return m_pieces.front().get();
}

void Bzip2BlockWorkers::popFront() {
    std::unique_ptr<Bzip2Piece> done;  // freed outside the lock
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pieces.empty()) return;
    done = std::move(m_pieces.front());
    m_pieces.pop_front();
    if (m_next) --m_next;
}

void Bzip2BlockWorkers::cancelAll() {
    std::deque<std::unique_ptr<Bzip2Piece>> dropped;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (auto& piece : m_pieces) piece->cancelled = true;
    m_changed.wait(lock, [&] { return m_running == 0; });
    dropped.swap(m_pieces);
    m_next = 0;
}

void Bzip2BlockWorkers::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        for (auto& piece : m_pieces) piece->cancelled = true;
        m_changed.notify_all();
    }
    for (std::thread& t : m_threads) t.join();
    m_threads.clear();
    m_pieces.clear();
    m_next = 0;
}

void Bzip2BlockWorkers::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stop || m_next < m_pieces.size(); });
        if (m_stop) return;
        Bzip2Piece& piece = *m_pieces[m_next++];
        piece.state = Bzip2Piece::State::Running;
        ++m_running;
        lock.unlock();
        decode(piece);
        lock.lock();
        piece.state = Bzip2Piece::State::Done;
        --m_running;
        m_changed.notify_all();
    }
}

bool Bzip2BlockWorkers::keepGoing(const Bzip2Piece& piece) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_stop && !piece.cancelled;
}

// Decodes the piece's stream whole. The content is kept while it fits in the limit; past it the
// decoding goes on into a scratch buffer only to learn whether the piece verifies.
void Bzip2BlockWorkers::decode(Bzip2Piece& piece) {
    piece.verified = piece.kept = false;
    bz_stream s{};
    if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) return;
    s.next_in = reinterpret_cast<char*>(piece.stream.data());
    s.avail_in = unsigned(piece.stream.size());
    // A block holds up to level x 100,000 bytes before its run-length step, usually about that after.
    const std::size_t level = piece.stream.size() > 3 ? std::size_t(piece.stream[3] - '0') : 9;
    std::size_t capacity = std::min(m_keepLimit, level * 100000 + kChunk);
    piece.content.reset(new (std::nothrow) std::uint8_t[capacity]);
    piece.contentSize = 0;
    piece.kept = piece.content != nullptr;
    std::unique_ptr<std::uint8_t[]> scratch;
    for (;;) {
        if (!keepGoing(piece)) break;
        if (piece.kept && piece.contentSize == capacity && capacity < m_keepLimit) {
            const std::size_t grown = std::min(m_keepLimit, capacity * 2);
            std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[grown]);
            if (bigger) {
                std::memcpy(bigger.get(), piece.content.get(), piece.contentSize);
                piece.content = std::move(bigger);
                capacity = grown;
            }
        }
        if (piece.kept && piece.contentSize == capacity) {
            piece.kept = false;
            piece.content.reset();
        }
        if (!piece.kept && !scratch) {
            scratch.reset(new (std::nothrow) std::uint8_t[kChunk]);
            if (!scratch) break;
        }
        const std::size_t room = piece.kept ? std::min(kChunk, capacity - piece.contentSize) : kChunk;
        s.next_out = reinterpret_cast<char*>(piece.kept ? piece.content.get() + piece.contentSize : scratch.get());
        s.avail_out = unsigned(room);
        const unsigned inBefore = s.avail_in;
        const int rc = BZ2_bzDecompress(&s);
        const std::size_t produced = room - s.avail_out;
        if (piece.kept) piece.contentSize += produced;
        if (rc == BZ_STREAM_END) {
            piece.verified = s.avail_in == 0;
            break;
        }
        // Anything else ends the piece unverified: an error, or input used up before the end.
        if (rc != BZ_OK || (produced == 0 && s.avail_in == inBefore)) break;
    }
    BZ2_bzDecompressEnd(&s);
    if (!piece.verified) {
        piece.kept = false;
        piece.content.reset();
        piece.contentSize = 0;
    }
}
#endif  // TN_METHOD_BZIP2
