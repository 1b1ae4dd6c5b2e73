// Windowed archive access: window reuse, seek avoidance, chunked signature searches at chunk
// and file edges, the memory-block mode and the pool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "TempFolder.h"
#include "base/PlatformFiles.h"
#include "zip/MemoryData.h"
#include "zip/MemoryDataPool.h"

namespace {

constexpr std::uint32_t kLocal = 0x04034B50;    // "PK\3\4"
constexpr std::uint32_t kCentral = 0x02014B50;  // "PK\1\2"

std::string le32(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// size bytes of filler with the signature's bytes placed at offset (cut off at the end).
std::string withSignature(std::size_t size, std::size_t offset, std::uint32_t signature) {
    std::string content(size, 'P');
    content.replace(offset, std::min<std::size_t>(4, size - offset), le32(signature).substr(0, size - offset));
    return content;
}

// Platform reads and seeks made by this thread since construction.
class CallCounter {
public:
    CallCounter() : m_start(platformFileCounters()) {}
    std::uint64_t reads() const { return platformFileCounters().reads - m_start.reads; }
    std::uint64_t seeks() const { return platformFileCounters().seeks - m_start.seeks; }

private:
    PlatformFileCounters m_start;
};

}  // namespace

TEST(MemoryData, WindowIsReusedAndSequentialReadsDoNotSeek) {
    TempFolder dir;
    std::string content;
    for (int i = 0; i < 100; ++i) content += char(i);
    MemoryData md;
    RecordingLog log;
    ASSERT_TRUE(md.openFile(dir.write("a.bin", content).c_str(), log));
    CallCounter calls;
    const std::uint8_t* p = md.getData(0, 10, log);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[9], 9);
    const std::uint64_t firstReads = calls.reads();  // the read-ahead took the whole small file
    ASSERT_NE(md.getData(0, 4, log), nullptr);       // same address, smaller count: the window
    ASSERT_NE(md.getData(0, 10, log), nullptr);
    p = md.getData(10, 20, log);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 10);
    p = md.getData(10, 30, log);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[29], 39);
    p = md.getData(99, 1, log);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 99);
    EXPECT_EQ(calls.reads(), firstReads);
    EXPECT_EQ(calls.seeks(), 0u);
    EXPECT_TRUE(log.lines.empty()) << log.dump();
}

// Byte i of the pattern file; 251 is prime, so a misplaced window shows in the values.
std::uint8_t patternByte(std::uint64_t i) { return std::uint8_t(i % 251); }

std::string patternFile(std::size_t size) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = char(patternByte(i));
    return content;
}

bool holdsPattern(const std::uint8_t* p, std::uint64_t address, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i)
        if (p[i] != patternByte(address + i)) return false;
    return true;
}

// Small records read front to back straddle the read-ahead's edges: each edge costs one read,
// the straddling record keeps its first bytes, and nothing seeks.
TEST(MemoryData, ReadAheadAcrossWindowEdges) {
    TempFolder dir;
    const std::size_t size = 3 * MemoryData::kReadAhead + 1234;
    MemoryData md;
    RecordingLog log;
    ASSERT_TRUE(md.openFile(dir.write("p.bin", patternFile(size)).c_str(), log));
    CallCounter calls;
    std::uint64_t address = 0;
    const std::uint32_t sizes[] = {4, 30, 17, 4, 46, 9};
    for (int i = 0; address + 46 <= size; ++i) {
        const std::uint32_t n = sizes[i % 6];
        const std::uint8_t* p = md.getData(address, n, log);
        ASSERT_NE(p, nullptr) << address;
        ASSERT_TRUE(holdsPattern(p, address, n)) << address << "+" << n;
        if (i % 6 != 0) address += n;  // a 4-byte peek is read again as part of the next record
    }
    EXPECT_LE(calls.reads(), 4u + 1);
    EXPECT_EQ(calls.seeks(), 0u);

    // Back before the window and a request larger than the read-ahead: correct bytes again.
    const std::uint8_t* p = md.getData(5, 4, log);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(holdsPattern(p, 5, 4));
    p = md.getData(7, MemoryData::kReadAhead + 3, log);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(holdsPattern(p, 7, MemoryData::kReadAhead + 3));
    EXPECT_TRUE(log.lines.empty()) << log.dump();
}

// Near the end of the file the window holds only what exists: a request up to the last byte
// succeeds, one past it fails as a short read, and the up-to form reports what there is.
TEST(MemoryData, ReadAheadAtFileEnd) {
    TempFolder dir;
    const std::size_t size = MemoryData::kReadAhead + 100;
    MemoryData md;
    RecordingLog log;
    ASSERT_TRUE(md.openFile(dir.write("end.bin", patternFile(size)).c_str(), log));
    ASSERT_NE(md.getData(MemoryData::kReadAhead - 10, 4, log), nullptr);
    const std::uint8_t* p = md.getData(size - 20, 20, log);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(holdsPattern(p, size - 20, 20));
    EXPECT_TRUE(log.lines.empty()) << log.dump();
    EXPECT_EQ(md.getData(size - 20, 21, log), nullptr);
    EXPECT_EQ(log.lines, std::vector<std::string>{"E:File access error: did not read full requested amount of data."});
    std::uint32_t available = 0;
    p = md.getDataUpTo(size - 3, 10, available);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(available, 3u);
    EXPECT_TRUE(holdsPattern(p, size - 3, 3));
    md.getDataUpTo(size, 10, available);
    EXPECT_EQ(available, 0u);
    p = md.getData(size - 4, 4, log);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(holdsPattern(p, size - 4, 4));
}

// copyOut serves small or windowed requests from the window, and reads large ones outside it
// straight into the caller's buffer (one read, the window kept); both end at the file's end.
TEST(MemoryData, CopyOutLargeRequestsBypassTheWindow) {
    TempFolder dir;
    const std::size_t size = 3 * MemoryData::kReadAhead + 77;
    MemoryData md;
    RecordingLog log;
    ASSERT_TRUE(md.openFile(dir.write("c.bin", patternFile(size)).c_str(), log));
    std::vector<std::uint8_t> into(size + 10);
    std::uint32_t got = 0;
    ASSERT_TRUE(md.copyOut(3, into.data(), 40, got));  // small: fills the window
    EXPECT_EQ(got, 40u);
    EXPECT_TRUE(holdsPattern(into.data(), 3, 40));
    {
        CallCounter calls;
        ASSERT_TRUE(md.copyOut(10, into.data(), 2 * MemoryData::kReadAhead, got));  // starts in the window
        EXPECT_EQ(calls.reads(), 0u);
        EXPECT_EQ(got, MemoryData::kReadAhead - 7);  // the window is [3, 3 + kReadAhead)
        EXPECT_TRUE(holdsPattern(into.data(), 10, got));
    }
    {
        CallCounter calls;
        const std::uint64_t from = 3 + MemoryData::kReadAhead;
        ASSERT_TRUE(md.copyOut(from, into.data(), std::uint32_t(size + 10 - from), got));  // past the end
        EXPECT_EQ(calls.reads(), 1u);
        EXPECT_EQ(got, size - from);
        EXPECT_TRUE(holdsPattern(into.data(), from, got));
        ASSERT_NE(md.getData(5, 8, log), nullptr);  // the window is still there
        EXPECT_EQ(calls.reads(), 1u);
    }
    EXPECT_FALSE(md.copyOut(size, into.data(), MemoryData::kReadAhead, got));
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(md.copyOut(size, into.data(), 4, got));
    EXPECT_TRUE(log.lines.empty()) << log.dump();
}

// Searches look in the window first (no platform call) and go on in the file behind it,
// including a signature that starts in the window's last bytes.
TEST(MemoryData, SearchUsesWindowThenFile) {
    TempFolder dir;
    const std::size_t edge = MemoryData::kReadAhead;
    std::string content = withSignature(2 * edge, 1000, kCentral);
    content.replace(edge - 2, 4, le32(kLocal));
    MemoryData md;
    RecordingLog log;
    ASSERT_TRUE(md.openFile(dir.write("w.bin", content).c_str(), log));
    ASSERT_NE(md.getData(0, 4, log), nullptr);
    CallCounter calls;
    std::uint64_t address = 0;
    const std::uint8_t* p = md.findEitherSignature(address, kLocal, kCentral);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(address, 1000u);
    EXPECT_EQ(p[2], 1);
    EXPECT_EQ(calls.reads(), 0u);
    address = 1001;
    p = md.findSignature(address, kLocal);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(address, edge - 2);
    EXPECT_EQ(std::memcmp(p, "PK\3\4", 4), 0);
    p = md.getData(address, 6, log);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "PK\3\4PP", 6), 0);
    address = edge;
    EXPECT_EQ(md.findSignature(address, kLocal), nullptr);
    EXPECT_EQ(address, edge);
}

TEST(MemoryData, ShortFileFailsAndInvalidatesWindow) {
    TempFolder dir;
    MemoryData md;
    RecordingLog log;
    ASSERT_TRUE(md.openFile(dir.write("ten", "0123456789").c_str(), log));
    EXPECT_EQ(md.getData(0, 16, log), nullptr);
    EXPECT_EQ(log.lines, std::vector<std::string>{"E:File access error: did not read full requested amount of data."});
    // The failed window is not served again: a smaller request at the same address reads.
    CallCounter calls;
    const std::uint8_t* p = md.getData(0, 4, log);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "0123", 4), 0);
    EXPECT_EQ(calls.reads(), 1u);

    std::uint32_t available = 99;
    p = md.getDataUpTo(6, 100, available);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(available, 4u);
    EXPECT_EQ(std::memcmp(p, "6789", 4), 0);
    md.getDataUpTo(6, 2, available);
    EXPECT_EQ(available, 2u);
    md.getDataUpTo(50, 2, available);
    EXPECT_EQ(available, 0u);
}

// Signatures around the 20,000-byte chunk edges and the ends of the file.
TEST(MemoryData, SignatureSearchAtChunkAndFileEdges) {
    TempFolder dir;
    struct Case {
        std::size_t size, at;
        std::uint64_t from;
        bool found;
    };
    const Case cases[] = {
        {50000, 0, 0, true},     {50000, 19996, 0, true}, {50000, 19997, 0, true},  {50000, 19998, 0, true},
        {50000, 19999, 0, true}, {50000, 20000, 0, true}, {50000, 39995, 0, true},  {50000, 39994, 0, true},
        {50000, 20001, 3, true}, {50000, 49996, 0, true}, {50000, 49997, 0, false}, {50000, 49999, 0, false},
        {4, 0, 0, true},         {3, 0, 0, false},        {20003, 19999, 0, true},  {50000, 100, 101, false},
    };
    for (const Case& c : cases) {
        MemoryData md;
        RecordingLog log;
        ASSERT_TRUE(md.openFile(dir.write("s.bin", withSignature(c.size, c.at, kLocal)).c_str(), log));
        std::uint64_t address = c.from;
        const std::uint8_t* p = md.findSignature(address, kLocal);
        ASSERT_EQ(p != nullptr, c.found) << c.size << "@" << c.at;
        EXPECT_EQ(address, c.found ? c.at : c.from) << c.size << "@" << c.at;
        if (!c.found) continue;
        EXPECT_EQ(std::memcmp(p, "PK\3\4", 4), 0);
        // The match is the window: reading its 4 bytes again costs nothing.
        CallCounter calls;
        ASSERT_NE(md.getData(address, 4, log), nullptr);
        EXPECT_EQ(calls.reads(), 0u);
    }
}

TEST(MemoryData, EitherSignatureFindsTheFirst) {
    TempFolder dir;
    std::string content = withSignature(30000, 25000, kLocal);
    content.replace(21000, 4, le32(kCentral));
    MemoryData md;
    RecordingLog log;
    ASSERT_TRUE(md.openFile(dir.write("e.bin", content).c_str(), log));
    std::uint64_t address = 0;
    const std::uint8_t* p = md.findEitherSignature(address, kLocal, kCentral);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(address, 21000u);
    EXPECT_EQ(p[2], 1);
    address = 21001;
    ASSERT_NE(md.findEitherSignature(address, kLocal, kCentral), nullptr);
    EXPECT_EQ(address, 25000u);
    // Reading on from the match works after the search moved the file.
    p = md.getData(address, 8, log);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[4], 'P');
    // Signatures with different first bytes take the plain walk.
    content.replace(22222, 4, le32(0x11223344));
    MemoryData other;
    ASSERT_TRUE(other.openFile(dir.write("f.bin", content).c_str(), log));
    address = 21001;
    ASSERT_NE(other.findEitherSignature(address, 0x11223344, kLocal), nullptr);
    EXPECT_EQ(address, 22222u);
}

TEST(MemoryData, MemoryBlockBoundsAndSearch) {
    MemoryData md;
    auto* block = static_cast<std::uint8_t*>(std::malloc(16));
    std::memcpy(block, withSignature(16, 11, kLocal).data(), 16);
    md.setMemory(block, 16, true);
    RecordingLog log;
    EXPECT_EQ(md.getData(12, 4, log), block + 12);
    EXPECT_EQ(md.getData(16, 4, log), nullptr);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"E:Address is beyond data length", "addr64=16", "dataLen=16"}));
    log.lines.clear();
    EXPECT_EQ(md.getData(12, 8, log), nullptr);
    EXPECT_EQ(log.lines, std::vector<std::string>{"E:Not enough bytes remaining to fulfill memory-data request."});
    std::uint32_t available = 0;
    EXPECT_EQ(md.getDataUpTo(10, 100, available), block + 10);
    EXPECT_EQ(available, 6u);
    EXPECT_EQ(md.getDataUpTo(16, 1, available), nullptr);
    std::uint64_t address = 2;
    EXPECT_EQ(md.findSignature(address, kLocal), block + 11);
    EXPECT_EQ(address, 11u);
    address = 12;
    EXPECT_EQ(md.findSignature(address, kLocal), nullptr);
    EXPECT_EQ(address, 12u);
    md.reset();  // releases the owned block
    EXPECT_EQ(md.getData(0, 1, log), nullptr);
}

TEST(MemoryDataPool, OneOpenFilePerPath) {
    TempFolder dir;
    std::string a = dir.write("a.zip", "aaaa"), b = dir.write("b.zip", "bbbb");
    RecordingLog log;
    MemoryDataPool pool;
    MemoryData* first = pool.getOrOpen(a.c_str(), log);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isFileBacked());
    EXPECT_EQ(pool.getOrOpen(a.c_str(), log), first);
    MemoryData* second = pool.getOrOpen(b.c_str(), log);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(pool.count(), 2);
    EXPECT_EQ(pool.getOrOpen((dir / "missing.zip").c_str(), log), nullptr);
    EXPECT_EQ(pool.count(), 2);
    EXPECT_TRUE(log.has("E:Failed to open file (2)")) << log.dump();
    EXPECT_EQ(pool.getOrOpen("", log), nullptr);
}
