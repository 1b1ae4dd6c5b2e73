// File handles: reading to the end, chunked writes, seeks, sizes, times and ownership.
#include <gtest/gtest.h>

#include <vector>

#include "TempFolder.h"
#include "base/DateTime.h"
#include "base/FileOpen.h"
#include "base/FileSystem.h"
#include "base/PlatformFiles.h"

namespace {

// A new empty file in the folder, open for writing.
void createFile(const TempFolder& dir, const char* name, TarnelHandle& h) {
    int reason = 0;
    ASSERT_TRUE(openForWrite((dir / name).c_str(), h, reason, nullptr));
}

}  // namespace

TEST(TarnelHandle, ReadSeekAndEndOfFile) {
    TempFolder dir;
    TarnelHandle h;
    int reason = 0;
    ASSERT_TRUE(openForRead(dir.write("f", "0123456789").c_str(), h, reason, nullptr));
    EXPECT_EQ(h.getSize(nullptr), 10);
    char buf[16] = {};
    std::uint32_t got = 0;
    bool eof = true;
    ASSERT_TRUE(h.seekAbsolute(4, nullptr));
    ASSERT_TRUE(h.read(buf, 3, got, eof, nullptr));
    EXPECT_EQ(std::string(buf, got), "456");
    EXPECT_FALSE(eof);
    ASSERT_TRUE(h.seekRelative(-2, nullptr));
    EXPECT_EQ(h.getPosition(nullptr), 5);
    ASSERT_TRUE(h.read(buf, 16, got, eof, nullptr));  // a short read succeeds
    EXPECT_EQ(std::string(buf, got), "56789");
    ASSERT_TRUE(h.read(buf, 16, got, eof, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(eof);
    ASSERT_TRUE(h.seekToEnd(nullptr));
    EXPECT_EQ(h.getPosition(nullptr), 10);
}

TEST(TarnelHandle, FailedSeekLogsMessageErrorAndPosition) {
    TempFolder dir;
    TarnelHandle h;
    int reason = 0;
    ASSERT_TRUE(openForRead(dir.write("f", "x").c_str(), h, reason, nullptr));
    RecordingLog log;
    EXPECT_FALSE(h.seekAbsolute(-5, &log));
    EXPECT_EQ(log.lines.front(), "E:Failed to SetFilePointer to absolute file position");
    EXPECT_TRUE(log.hasPrefix("WindowsError=Invalid argument")) << log.dump();
    EXPECT_EQ(log.lines.back(), "position=-5");
}

// Nothing reaches the system through an invalid handle.
TEST(TarnelHandle, InvalidHandleFailsWithoutPlatformCalls) {
    TarnelHandle h;
    PlatformFileCounters before = platformFileCounters();
    RecordingLog log;
    char buf[4];
    std::uint32_t got = 1;
    bool eof = true;
    std::uint64_t written = 0;
    FileTime a, b, c;
    EXPECT_FALSE(h.read(buf, 4, got, eof, &log));
    EXPECT_FALSE(h.write("abcd", 4, written, &log));
    EXPECT_FALSE(h.seekAbsolute(0, &log));
    EXPECT_FALSE(h.seekToEnd(&log));
    EXPECT_EQ(h.getPosition(&log), -1);
    EXPECT_EQ(h.getSize(&log), -1);
    EXPECT_FALSE(h.getFileTimes(a, b, c));
    h.setFileTimes(a);
    EXPECT_EQ(log.lines, std::vector<std::string>{"E:Failed to write because file is not open."});
    EXPECT_EQ(platformFileCounters().reads, before.reads);
    EXPECT_EQ(platformFileCounters().writes, before.writes);
    EXPECT_EQ(platformFileCounters().seeks, before.seeks);
}

TEST(TarnelHandle, WritesInTenMillionByteChunks) {
    TempFolder dir;
    TarnelHandle h;
    createFile(dir, "big", h);
    std::vector<char> data(25000000, 'z');
    data[24999999] = '!';
    std::uint64_t before = platformFileCounters().writes, written = 0;
    ASSERT_TRUE(h.write(data.data(), data.size(), written, nullptr));
    EXPECT_EQ(platformFileCounters().writes - before, 3u);
    EXPECT_EQ(written, 25000000u);
    ASSERT_TRUE(h.write(data.data(), 0, written, nullptr));
    EXPECT_EQ(platformFileCounters().writes - before, 3u);
    EXPECT_EQ(h.getSize(nullptr), 25000000);
}

TEST(TarnelHandle, FailedWriteLogsTheSystemError) {
    TarnelHandle h;
    int reason = 0;
    ASSERT_TRUE(openForWrite("/dev/full", h, reason, nullptr));
    RecordingLog log;
    std::uint64_t written = 7;
    EXPECT_FALSE(h.write("abc", 3, written, &log));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(log.lines, std::vector<std::string>{"WriteFileError=No space left on device"});
}

// Times go to the file system as UTC and come back the same; the DOS second is halved.
TEST(TarnelHandle, FileTimesRoundTrip) {
    TempFolder dir;
    TarnelHandle h;
    createFile(dir, "t", h);
    FileTime local, utc;
    ASSERT_TRUE(
        dosToFileTime(std::uint16_t((44 << 9) | (7 << 5) | 15), std::uint16_t((13 << 11) | (5 << 5) | 29), local));
    ASSERT_TRUE(localToUtc(local, utc));
    h.setFileTimes(utc);
    FileTime creation, access, write, last;
    ASSERT_TRUE(h.getFileTimes(creation, access, write));
    EXPECT_EQ(write.value(), utc.value());
    EXPECT_EQ(access.value(), utc.value());
    ASSERT_TRUE(h.getLastWriteTime(last, nullptr));
    EXPECT_EQ(last.value(), utc.value());
    h.close();
    std::uint16_t date = 0, time = 0;
    FileTime back;
    ASSERT_TRUE(utcToLocal(write, back));
    ASSERT_TRUE(fileTimeToDos(back, &date, &time));
    EXPECT_EQ(date, (44 << 9) | (7 << 5) | 15);
    EXPECT_EQ(time, (13 << 11) | (5 << 5) | 29);
    // A directory's times are set through a handle from openForReadDir.
    TarnelHandle d;
    int reason = 0;
    ASSERT_TRUE(openForReadDir(dir.path().c_str(), d, reason, nullptr));
    d.setFileTimes(utc);
    FileTime dirWrite;
    ASSERT_TRUE(getLastWriteTimeByName(dir.path().c_str(), dirWrite, nullptr));
    EXPECT_EQ(dirWrite.value(), utc.value());
}

TEST(TarnelHandle, TakeOverMovesOwnership) {
    TempFolder dir;
    TarnelHandle a, b;
    int reason = 0;
    ASSERT_TRUE(openForRead(dir.write("a", "A").c_str(), a, reason, nullptr));
    ASSERT_TRUE(openForRead(dir.write("b", "B").c_str(), b, reason, nullptr));
    int fd = a.descriptor();
    b.takeOver(a);
    EXPECT_FALSE(a.isOpen());
    EXPECT_EQ(b.descriptor(), fd);
    char c = 0;
    std::uint32_t got = 0;
    bool eof = false;
    ASSERT_TRUE(b.read(&c, 1, got, eof, nullptr));
    EXPECT_EQ(c, 'A');
    b.takeOver(b);
    EXPECT_TRUE(b.isOpen());
}
