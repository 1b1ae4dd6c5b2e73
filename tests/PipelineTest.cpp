// The ring buffer, the memory source and sinks, the processors and the pump.
#include <gtest/gtest.h>

#include "PipelineTestParts.h"
#include "archive/ProgressMonitor.h"
#include "pipeline/CrcProcessor.h"
#include "pipeline/DataPipeline.h"
#include "pipeline/MemoryDataSink.h"
#include "pipeline/MemoryDataSource.h"
#include "pipeline/NullDataSink.h"
#include "pipeline/StreamingBuffer.h"

namespace {

std::vector<std::uint8_t> ringContent(StreamingBuffer& ring) {
    const std::uint8_t* a;
    const std::uint8_t* b;
    std::int32_t na, nb;
    static_cast<const StreamingBuffer&>(ring).readRegions(a, na, b, nb);
    std::vector<std::uint8_t> out(a, a + na);
    out.insert(out.end(), b, b + nb);
    return out;
}

// Wires and runs source -> proc -> sink with an input buffer of bufferSize (0: none).
bool runOneStage(DataSource& src, DataProcessor& proc, DataSink& sink, std::uint32_t bufferSize,
                 ProgressMonitor* monitor = nullptr) {
    proc.setSource(&src);
    proc.setSink(&sink);
    if (bufferSize) proc.allocateInputBuffer(bufferSize);
    DataPipeline pipe;
    pipe.addProcessor(&proc);
    return pipe.run(monitor);
}

class AbortAtHundred : public ProgressEvent {
public:
    void percentDone(int percent, bool* abort) override { *abort = percent == 100; }
};

}  // namespace

TEST(StreamingBuffer, WrapsAcrossTheEndInOrder) {
    StreamingBuffer ring;
    ASSERT_TRUE(ring.init(10));
    auto data = patternBytes(16);
    EXPECT_EQ(ring.write(data.data(), 7), 7);
    ring.consume(5);
    EXPECT_EQ(ring.write(data.data() + 7, 9), 8);  // 2 held, 8 free: the rest is refused
    const std::uint8_t* a;
    const std::uint8_t* b;
    std::int32_t na, nb;
    static_cast<const StreamingBuffer&>(ring).readRegions(a, na, b, nb);
    EXPECT_EQ(na, 5);  // indices 5..9
    EXPECT_EQ(nb, 5);  // indices 0..4
    EXPECT_EQ(ringContent(ring), std::vector<std::uint8_t>(data.begin() + 5, data.begin() + 15));
    ring.consume(100);
    EXPECT_EQ(ring.usedBytes(), 0);
    EXPECT_EQ(ring.freeBytes(), 10);
    EXPECT_EQ(ring.write(data.data(), 10), 10);  // empty again: restarts at index 0, one region
    EXPECT_EQ(ringContent(ring), std::vector<std::uint8_t>(data.begin(), data.begin() + 10));
}

TEST(StreamingBuffer, ZeroCapacityTakesNothing) {
    StreamingBuffer ring;
    ring.init(0);
    std::uint8_t byte = 1;
    EXPECT_EQ(ring.write(&byte, 1), 0);
    EXPECT_EQ(ringContent(ring).size(), 0u);
}

TEST(MemoryDataSink, OverfullWriteStoresWhatFitsAndFails) {
    MemoryDataSink sink;
    sink.initRing(50000);
    sink.setComputeCrc(true);
    auto data = patternBytes(60000);
    EXPECT_FALSE(sink.write(data.data(), 60000));
    EXPECT_EQ(sink.bytesWritten(), 50000u);
    EXPECT_EQ(sink.bytesPending(), 50000u);
    std::uint32_t space = 7;
    EXPECT_FALSE(sink.spaceAvailable(space));
    EXPECT_EQ(space, 0u);
    EXPECT_EQ(sink.receivedCrc(), zlibCrc(data));  // the CRC sees every byte offered
    EXPECT_TRUE(sink.write(nullptr, 5));
    EXPECT_TRUE(sink.write(data.data(), 0));
}

TEST(MemoryDataSource, ReadsPeeksAndEnds) {
    auto data = patternBytes(40);
    MemoryDataSource src;
    src.initMemory(data.data(), 40);
    std::uint8_t buf[64];
    std::uint32_t n = 0;
    EXPECT_TRUE(src.peekNextChunk(buf, 13, n, nullptr));
    EXPECT_EQ(n, 13u);
    EXPECT_EQ(src.bytesRead(), 0u);
    std::vector<std::uint8_t> got;
    while (!src.endOfStream()) {
        ASSERT_TRUE(src.getNextChunk(buf, 13, n, nullptr));
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(src.bytesRead(), 40u);
    EXPECT_FALSE(src.getNextChunk(buf, 13, n, nullptr));  // at the end: false with 0 bytes
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(src.peekNextChunk(buf, 13, n, nullptr));
}

TEST(MemoryDataSource, SeeksClampToTheBlock) {
    struct Case {
        std::uint64_t start;
        std::int64_t delta;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {10, 5, 15}, {10, 1000, 40}, {10, -3, 7}, {10, -11, 0}, {0, INT64_MIN, 0}, {40, INT64_MAX, 40},
    };
    std::uint8_t data[40] = {};
    MemoryDataSource src;
    src.initMemory(data, 40);
    for (const Case& c : cases) {
        src.seekAbsolute(c.start, nullptr);
        EXPECT_TRUE(src.seekRelative(c.delta, nullptr));
        EXPECT_EQ(src.position(), c.expected) << c.start << " " << c.delta;
    }
    EXPECT_TRUE(src.seekAbsolute(1000, nullptr));
    EXPECT_EQ(src.position(), 40u);
    src.seekAbsolute(0, nullptr);
    EXPECT_TRUE(src.skipBytes(~0ull, nullptr));
    EXPECT_TRUE(src.endOfStream());
}

TEST(MemoryDataSource, ScansForSignatures) {
    const std::uint8_t data[] = {1, 2, 0x50, 0x4B, 0x03, 0x04, 9, 0x50, 0x4B, 0x05};
    struct Case {
        std::uint64_t start;
        bool found;
        std::uint64_t skipped;
        std::uint64_t position;
    };
    const Case cases[] = {
        {0, true, 2, 6},   // mid-block
        {2, true, 0, 6},   // at the current position
        {3, false, 4, 7},  // none: stops 3 bytes before the end
        {8, false, 0, 8},  // fewer than 4 bytes left
    };
    MemoryDataSource src;
    src.initMemory(data, sizeof data);
    for (const Case& c : cases) {
        src.seekAbsolute(c.start, nullptr);
        std::uint64_t skipped = 99;
        EXPECT_EQ(src.scanForSignature(0x04034B50, skipped, nullptr), c.found) << c.start;
        EXPECT_EQ(skipped, c.skipped) << c.start;
        EXPECT_EQ(src.position(), c.position) << c.start;
    }
}

TEST(DataSource, DefaultSkipReadsAndDiscards) {
    ChunkySource src(patternBytes(50000), 31);
    EXPECT_TRUE(src.skipBytes(45000, nullptr));  // 31-byte reads are short, not the end
    EXPECT_EQ(src.bytesRead(), 45000u);
    EXPECT_FALSE(src.endOfStream());
}

TEST(DataSource, DefaultSkipPastTheEndAndOnFailure) {
    ChunkySource whole(patternBytes(30000), 100000);
    EXPECT_TRUE(whole.skipBytes(70000, nullptr));
    EXPECT_TRUE(whole.endOfStream());
    ChunkySource failing(patternBytes(50000), 100000, 25000);
    EXPECT_FALSE(failing.skipBytes(45000, nullptr));
}

// The CRC and the bytes of what a sink receives, through awkward chunk and buffer sizes.
TEST(DataPipeline, CrcProcessorPassesEverythingThroughAwkwardChunks) {
    const auto data = patternBytes(123457);
    for (std::uint32_t chunk : {1u, 13u, 31u, 60000u}) {
        for (std::uint32_t room : {7u, 999999999u}) {
            ChunkySource src(data, chunk);
            CrcProcessor proc;
            NarrowSink sink(room);
            ASSERT_TRUE(runOneStage(src, proc, sink, chunk == 1 ? 13 : 60000)) << chunk << " " << room;
            EXPECT_EQ(sink.received, data);
            EXPECT_EQ(proc.crcValue(), zlibCrc(data));
            EXPECT_EQ(proc.bytesOut(), data.size());
            EXPECT_TRUE(sink.endOfInput());
        }
    }
}

// A second stage fed through a small ring that wraps on almost every pass.
TEST(DataPipeline, ChainedStagesKeepOrderAcrossRingWraps) {
    const auto data = patternBytes(5000);
    MemoryDataSource src;
    src.initMemory(data.data(), static_cast<std::uint32_t>(data.size()));
    CrcProcessor first, second;
    ASSERT_TRUE(second.initRing(13));
    NullDataSink sink;
    sink.setComputeCrc(true);
    first.setSource(&src);
    first.setSink(&second);
    second.setSink(&sink);
    first.allocateInputBuffer(31);
    DataPipeline pipe;
    pipe.addProcessor(&first);
    pipe.addProcessor(&second);
    ASSERT_TRUE(pipe.run(nullptr));
    EXPECT_EQ(sink.receivedCrc(), zlibCrc(data));
    EXPECT_EQ(second.crcValue(), zlibCrc(data));
    EXPECT_EQ(sink.bytesWritten(), data.size());
    EXPECT_TRUE(sink.endOfInput());
}

TEST(DataPipeline, EmptySourceEndsAfterOnePass) {
    MemoryDataSource src;
    src.initMemory(nullptr, 0);
    CrcProcessor proc;
    NullDataSink sink;
    EXPECT_TRUE(runOneStage(src, proc, sink, 60000));
    EXPECT_EQ(proc.crcValue(), 0u);
    EXPECT_EQ(proc.bytesOut(), 0u);
    EXPECT_TRUE(sink.endOfInput());
}

TEST(DataPipeline, FailuresStopTheRunWithoutFinish) {
    const auto data = patternBytes(1000);
    struct Case {
        const char* what;
        size_t failAt;
        std::uint32_t room;
        bool bufferGiven;
    };
    const Case cases[] = {
        {"source read fails midway", 500, 999999999, true},
        {"sink never has room", SIZE_MAX, 0, true},
        {"no input buffer", SIZE_MAX, 999999999, false},
    };
    for (const Case& c : cases) {
        ChunkySource src(data, 100, c.failAt);
        CrcProcessor proc;
        NarrowSink sink(c.room);
        EXPECT_FALSE(runOneStage(src, proc, sink, c.bufferGiven ? 100 : 0)) << c.what;
        EXPECT_EQ(proc.crcValue(), 0u) << c.what;  // finish never ran
    }
    DataPipeline empty;
    EXPECT_FALSE(empty.run(nullptr));
}

TEST(DataPipeline, AbortDuringTheLastChunkFailsTheRun) {
    const auto data = patternBytes(1000);
    AbortAtHundred app;
    ProgressMonitor monitor(&app, 1000);
    MemoryDataSource src;
    src.initMemory(data.data(), 1000);
    src.setProgressMonitor(&monitor);
    CrcProcessor proc;
    NullDataSink sink;
    EXPECT_FALSE(runOneStage(src, proc, sink, 400, &monitor));
    EXPECT_TRUE(monitor.isAborted());
    EXPECT_EQ(src.bytesRead(), 1000u);
}

TEST(DataPipeline, SinkProgressIsCountedAndNamesAreNumbered) {
    const auto data = patternBytes(250);
    std::vector<int> seen;
    struct Recorder : ProgressEvent {
        std::vector<int>* out;
        void percentDone(int p, bool*) override { out->push_back(p); }
    } rec;
    rec.out = &seen;
    ProgressMonitor monitor(&rec, 250);
    ChunkySource src(data, 100);
    CrcProcessor proc;
    NullDataSink sink;
    sink.setProgressMonitor(&monitor);
    ASSERT_TRUE(runOneStage(src, proc, sink, 1000, &monitor));
    EXPECT_EQ(seen, (std::vector<int>{40, 80, 100}));
    CrcProcessor other;
    EXPECT_STRNE(proc.instanceName(), other.instanceName());
    EXPECT_STREQ(proc.name(), "CrcProcessor");
    DataPipeline pipe;
    EXPECT_EQ(std::string(pipe.name()).rfind("DataPipeline_", 0), 0u);
}
