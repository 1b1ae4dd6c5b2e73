// Reading ahead on a second thread changes nothing the reader can see: the same bytes, the same
// end, a failure at the same place, the same count, and the upstream's log lines for the data the
// reader reached and no others.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "PipelineTestParts.h"
#include "log/LogRecorder.h"
#include "pipeline/ReadAheadSource.h"

namespace {

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::uint32_t x = 7;
    for (auto& b : bytes) b = std::uint8_t((x = x * 1103515245u + 12345u) >> 23);
    return bytes;
}

struct Outcome {
    std::vector<std::uint8_t> bytes;
    bool failed = false;
    bool ended = false;
    std::uint64_t counted = 0;
    bool operator==(const Outcome& o) const {
        return bytes == o.bytes && failed == o.failed && ended == o.ended && counted == o.counted;
    }
};

// Reads as the inflater does: until the source ends or a read fails.
Outcome drain(DataSource& source, std::uint32_t capacity) {
    Outcome o;
    std::vector<std::uint8_t> buffer(capacity);
    while (!source.endOfStream()) {
        std::uint32_t n = 0;
        if (!source.getNextChunk(buffer.data(), capacity, n, nullptr)) {
            o.failed = true;
            break;
        }
        o.bytes.insert(o.bytes.end(), buffer.begin(), buffer.begin() + n);
    }
    o.ended = source.endOfStream();
    o.counted = source.bytesRead();
    return o;
}

// An upstream that logs where each read starts, and its failure, as a decryption stage does.
class LoggingSource : public DataSource {
public:
    LoggingSource(ChunkySource& inner, LogBase& log) : m_inner(inner), m_log(log) {}
    bool getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) override {
        readsAt.push_back(std::int64_t(m_inner.bytesRead()));
        ++reads;
        m_log.logDataInt64("readAt", readsAt.back());
        if (m_inner.getNextChunk(buffer, capacity, count, log)) return true;
        m_log.logError("upstream failed");
        ++failures;
        return false;
    }
    bool endOfStream() override { return m_inner.endOfStream(); }
    std::vector<std::int64_t> readsAt;  // every read's start, logged or not
    int failures = 0;
    std::atomic<std::size_t> reads{0};  // readsAt's size, for a reader on another thread

private:
    ChunkySource& m_inner;
    LogBase& m_log;
};

// The reads' starts and the failures that reached the reader's log.
struct Logged {
    std::vector<std::int64_t> readsAt;
    int failures = 0;
};
Logged logged(LogRecorder& log) {
    Logged l;
    for (const auto& line : log.take()) {
        if (line.kind == LogRecorder::Line::Kind::Int64) l.readsAt.push_back(line.number);
        if (line.kind == LogRecorder::Line::Kind::Error) ++l.failures;
    }
    return l;
}

}  // namespace

TEST(ReadAheadSource, ReaderSeesWhatTheUpstreamGives) {
    const std::size_t past = ReadAheadSource::kThreadAfter;
    struct Case {
        const char* label;
        std::size_t size;
        std::uint32_t chunk;     // most the upstream gives per read
        std::uint32_t capacity;  // what the reader asks for
        std::size_t failAt;      // the upstream read that would pass this offset fails
    } cases[] = {
        {"empty", 0, 4096, 1000, SIZE_MAX},
        {"small, no thread", 100000, 4096, 60000, SIZE_MAX},
        {"large, reader asks more than a block", 3 * past + 12345, 60000, 4000000, SIZE_MAX},
        {"large, reader asks less than a chunk", 3 * past + 1, 60000, 777, SIZE_MAX},
        {"longer than the queue", 40u << 20, 65536, 65536, SIZE_MAX},
        {"fails before the thread", 3 * past, 5000, 60000, 100000},
        {"fails on the thread", 3 * past, 5000, 60000, 2 * past + 3},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> data = pattern(c.size);
        ChunkySource direct(data, c.chunk, c.failAt);
        ChunkySource upstream(data, c.chunk, c.failAt);
        ReadAheadSource ahead(upstream);
        const Outcome expected = drain(direct, c.capacity);
        EXPECT_TRUE(drain(ahead, c.capacity) == expected) << c.label;
        std::uint32_t n = 1;
        std::uint8_t byte = 0;
        // After the end nothing more comes; after a failure, reads keep failing.
        EXPECT_EQ(ahead.getNextChunk(&byte, 1, n, nullptr), !expected.failed) << c.label;
        EXPECT_EQ(n, 0u) << c.label;
    }
}

// A reader that stops early (a corrupt stream, an abort) leaves the thread waiting on a full
// queue: stopping ends it, and the source fails from then on.
TEST(ReadAheadSource, StopsAheadOfAReaderThatGaveUp) {
    ChunkySource upstream(pattern(64u << 20), 65536);
    ReadAheadSource ahead(upstream);
    std::vector<std::uint8_t> buffer(65536);
    std::uint64_t taken = 0;
    while (taken < 2 * ReadAheadSource::kThreadAfter) {
        std::uint32_t n = 0;
        ASSERT_TRUE(ahead.getNextChunk(buffer.data(), 65536, n, nullptr));
        taken += n;
    }
    ahead.stop();
    EXPECT_LT(upstream.bytesRead(),
              taken + ReadAheadSource::kBlocks * std::uint64_t(ReadAheadSource::kBlockSize) + 65536);
    std::uint32_t n = 0;
    EXPECT_FALSE(ahead.getNextChunk(buffer.data(), 65536, n, nullptr));
}

// A reader that meets the failure has every line the upstream logged, in order. A failure met on
// the thread is logged once, however often the reader reads again; before the thread, each read
// goes to the upstream, which logs it again.
TEST(ReadAheadSource, UpstreamLinesReachTheReadersLogInOrder) {
    for (const std::size_t failAt : {std::size_t(100000), 2 * ReadAheadSource::kThreadAfter + 3}) {
        ChunkySource inner(pattern(3 * ReadAheadSource::kThreadAfter), 5000, failAt);
        LogRecorder upstreamLog, readerLog;
        LoggingSource upstream(inner, upstreamLog);
        ReadAheadSource ahead(upstream, &upstreamLog, &readerLog);
        EXPECT_TRUE(drain(ahead, 60000).failed);
        std::uint32_t n = 0;
        std::uint8_t byte = 0;
        EXPECT_FALSE(ahead.getNextChunk(&byte, 1, n, nullptr));
        const Logged l = logged(readerLog);
        EXPECT_EQ(l.readsAt, upstream.readsAt) << failAt;
        EXPECT_EQ(l.failures, upstream.failures) << failAt;
        EXPECT_EQ(l.failures, failAt < ReadAheadSource::kThreadAfter ? 2 : 1) << failAt;
    }
}

// Lines of the reads ahead of a reader that gave up never appear.
TEST(ReadAheadSource, LinesAheadOfTheReaderAreDropped) {
    ChunkySource inner(pattern(64u << 20), 65536);
    LogRecorder upstreamLog, readerLog;
    LoggingSource upstream(inner, upstreamLog);
    ReadAheadSource ahead(upstream, &upstreamLog, &readerLog);
    std::vector<std::uint8_t> buffer(65536);
    std::int64_t taken = 0;
    while (taken < std::int64_t(4 * ReadAheadSource::kThreadAfter)) {
        std::uint32_t n = 0;
        ASSERT_TRUE(ahead.getNextChunk(buffer.data(), 65536, n, nullptr));
        taken += n;
    }
    // The thread fills its queue ahead of the reader, which takes nothing more.
    const std::size_t reached = std::size_t(taken / 65536);
    for (int ms = 0; upstream.reads < reached + 8 && ms < 10000; ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ahead.stop();
    const Logged l = logged(readerLog);
    ASSERT_FALSE(l.readsAt.empty());
    EXPECT_LT(l.readsAt.back(), taken);
    EXPECT_GT(upstream.readsAt.back(), l.readsAt.back());
    EXPECT_TRUE(std::equal(l.readsAt.begin(), l.readsAt.end(), upstream.readsAt.begin()));
}
