// Outputs, sources and ready-made pipelines on real files in a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "PipelineTestParts.h"
#include "TempFolder.h"
#include "base/DataBuffer.h"
#include "base/FileOpen.h"
#include "base/StringBuffer.h"
#include "log/LogBase.h"
#include "pipeline/FileDataSource.h"
#include "zip/MemDataObjSource.h"
#include "pipeline/OutputDataBuffer.h"
#include "pipeline/OutputFile.h"
#include "pipeline/PipelineHelp.h"
#include "zip/MemoryData.h"

namespace fs = std::filesystem;

namespace {

class MessageLog : public LogBase {
public:
    bool logError(const char* text) override { return record(text); }
    bool logInfo(const char* text) override { return record(text); }
    std::string lines;

private:
    bool record(const char* text) {
        lines += text;
        lines += "|";
        return true;
    }
};

class PipelineFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_temp.path().empty()); }

    std::string path(const char* name) const { return m_temp / name; }
    std::string makeFile(const char* name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }
    static std::vector<std::uint8_t> readFile(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    static void openRead(const std::string& p, TarnelHandle& h) {
        int reason = 0;
        ASSERT_TRUE(openForRead(p.c_str(), h, reason, nullptr));
    }

    TempFolder m_temp;
};

}  // namespace

TEST_F(PipelineFiles, OutputFileTracksPositionAndEnd) {
    const std::uint8_t items[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    OutputFile out;
    makeFile("o.bin", {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
    ASSERT_TRUE(out.open(path("o.bin").c_str(), nullptr));  // replaces what was there
    EXPECT_EQ(out.write(items, 4, 3, nullptr), 3u);
    EXPECT_EQ(out.position(), 12u);
    EXPECT_TRUE(out.seek(2, nullptr));
    EXPECT_EQ(out.write(items, 1, 2, nullptr), 2u);
    EXPECT_EQ(out.position(), 4u);
    EXPECT_EQ(out.endPosition(), 12u);
    EXPECT_EQ(out.write(nullptr, 1, 2, nullptr), 0u);
    EXPECT_EQ(out.write(items, 0, 2, nullptr), 0u);
    StringBuffer text;
    out.describe(text);
    EXPECT_EQ(std::string(text.text()), "file: " + path("o.bin"));
    out.handle().close();
    EXPECT_EQ(readFile(path("o.bin")), (std::vector<std::uint8_t>{1, 2, 1, 2, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(out.write(items, 1, 1, nullptr), 0u);  // closed: nothing written
    OutputFile unnamed;
    StringBuffer bare;
    unnamed.describe(bare);
    EXPECT_STREQ(bare.text(), "file");
}

TEST_F(PipelineFiles, OutputDataBufferAppendsPadsAndRewinds) {
    DataBuffer buffer;
    const std::uint8_t ten[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    buffer.append(ten, 10);
    OutputDataBuffer out(&buffer);
    EXPECT_EQ(out.write(ten, 2, 1, nullptr), 1u);  // appends after the 10 held
    EXPECT_EQ(buffer.size(), 12u);
    EXPECT_TRUE(out.seek(15, nullptr));
    EXPECT_EQ(buffer.size(), 12u);
    EXPECT_EQ(out.write(ten + 5, 1, 2, nullptr), 2u);
    std::vector<std::uint8_t> got(buffer.data(), buffer.data() + buffer.size());
    EXPECT_EQ(got, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 0, 0, 0, 5, 6}));
    EXPECT_TRUE(out.seek(1, nullptr));
    EXPECT_EQ(out.write(ten + 7, 1, 1, nullptr), 1u);  // overwrites in place
    EXPECT_EQ(buffer.data()[1], 7);
    EXPECT_EQ(buffer.size(), 17u);
    EXPECT_FALSE(out.seek(0x100000000ull, nullptr));
    EXPECT_TRUE(out.rewind(nullptr));
    EXPECT_EQ(buffer.size(), 0u);  // discarded, not merely overwritten
    EXPECT_EQ(out.position(), 0u);
    OutputDataBuffer none(nullptr);
    EXPECT_EQ(none.write(ten, 1, 1, nullptr), 0u);
}

TEST_F(PipelineFiles, OutputDataBufferReroutesPastTheThreshold) {
    auto first = patternBytes(600), second = patternBytes(900);
    std::vector<std::uint8_t> both = first;
    both.insert(both.end(), second.begin(), second.end());
    {
        DataBuffer buffer;
        OutputDataBuffer out(&buffer);
        out.setReroute(1000, path("reroute.bin").c_str());
        MessageLog log;
        EXPECT_EQ(out.write(first.data(), 1, 600, &log), 600u);
        EXPECT_FALSE(out.isRerouted());
        EXPECT_EQ(out.write(second.data(), 300, 3, &log), 3u);  // 600 + 900 + 8 > 1000
        EXPECT_TRUE(out.isRerouted());
        EXPECT_EQ(log.lines, "Rerouting in-memory output to file because of size.|");
        EXPECT_EQ(buffer.size(), 0u);
        EXPECT_EQ(out.position(), 1500u);
    }  // the reroute file closes with its Output
    EXPECT_EQ(readFile(path("reroute.bin")), both);

    DataBuffer stay;
    OutputDataBuffer refused(&stay);
    refused.setReroute(10, path("no/such/dir/x.bin").c_str());
    EXPECT_EQ(refused.write(first.data(), 1, 600, nullptr), 600u);  // stays in memory
    EXPECT_FALSE(refused.isRerouted());
    EXPECT_EQ(stay.size(), 600u);
}

TEST_F(PipelineFiles, FileDataSourceReadsToTheEndThroughSmallChunks) {
    auto data = patternBytes(5000);
    TarnelHandle h;
    openRead(makeFile("d.bin", data), h);
    FileDataSource src;
    src.attachHandle(&h);
    std::uint8_t buf[64];
    std::uint32_t n = 0;
    ASSERT_TRUE(src.peekNextChunk(buf, 13, n, nullptr));
    EXPECT_EQ(n, 13u);
    std::vector<std::uint8_t> got;
    while (!src.endOfStream()) {
        ASSERT_TRUE(src.getNextChunk(buf, 13, n, nullptr));
        got.insert(got.end(), buf, buf + n);
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(src.bytesRead(), 5000u);
    EXPECT_TRUE(h.isOpen());  // dropped, not closed

    TarnelHandle e;
    openRead(makeFile("empty.bin", {}), e);
    FileDataSource empty;
    empty.attachHandle(&e);
    EXPECT_TRUE(empty.getNextChunk(buf, 13, n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(empty.endOfStream());
}

TEST_F(PipelineFiles, FileDataSourceRefusals) {
    TarnelHandle h;
    openRead(makeFile("r.bin", patternBytes(100)), h);
    FileDataSource src;
    src.attachHandle(&h);
    MessageLog log;
    std::uint8_t buf[8];
    std::uint32_t n = 0;
    EXPECT_FALSE(src.getNextChunk(buf, 0, n, &log));
    EXPECT_FALSE(src.getNextChunk(nullptr, 8, n, &log));
    EXPECT_FALSE(src.seekRelative(-1, &log));
    EXPECT_TRUE(src.skipBytes(100, &log));
    EXPECT_TRUE(src.getNextChunk(buf, 8, n, &log));  // end of file: drops the handle
    EXPECT_FALSE(src.seekRelative(1, &log));
    EXPECT_EQ(log.lines,
              "zero-size buffer passed to get-next-chunk.|NULL buffer passed to get-next-chunk.|"
              "Cannot seek relative on non-owned file handle|Cannot fseek relative, file already "
              "closed.|");
}

TEST_F(PipelineFiles, FileDataSourceFindsSignaturesAcrossBlocks) {
    struct Case {
        size_t at;
        size_t size;
        bool found;
    };
    const Case cases[] = {
        {0, 100, true},        // at the current position
        {19998, 50000, true},  // straddles the first two 20,000-byte blocks
        {39997, 40001, true},  // ends exactly at the end of the file
        {0, 3, false},         // too short to hold one
    };
    for (const Case& c : cases) {
        auto data = patternBytes(c.size);
        for (auto& b : data)
            if (b == 0x50) b = 0x51;  // no accidental match
        if (c.found) {
            const std::uint8_t sig[4] = {0x50, 0x4B, 0x03, 0x04};
            std::copy(sig, sig + 4, data.begin() + c.at);
        }
        TarnelHandle h;
        openRead(makeFile("s.bin", data), h);
        FileDataSource src;
        src.attachHandle(&h);
        std::uint64_t skipped = 99;
        EXPECT_EQ(src.scanForSignature(0x04034B50, skipped, nullptr), c.found) << c.at;
        if (!c.found) continue;
        EXPECT_EQ(skipped, c.at);
        EXPECT_EQ(h.getPosition(nullptr), static_cast<std::int64_t>(c.at + 4));
    }
}

TEST_F(PipelineFiles, StreamFileToOutputCopiesWithCrc) {
    auto data = patternBytes(200003);
    TarnelHandle in;
    openRead(makeFile("in.bin", data), in);
    OutputFile out;
    ASSERT_TRUE(out.open(path("out.bin").c_str(), nullptr));
    PipelineHelp help;
    std::uint32_t crc = 0;
    std::uint64_t count = 0;
    ASSERT_TRUE(help.streamFileToOutput(in, out, crc, count));
    EXPECT_EQ(crc, zlibCrc(data));
    EXPECT_EQ(count, data.size());
    out.handle().close();
    EXPECT_EQ(readFile(path("out.bin")), data);
    TarnelHandle closed;
    EXPECT_FALSE(help.streamFileToOutput(closed, out, crc, count));
    EXPECT_EQ(count, 0u);
}

TEST_F(PipelineFiles, MemDataObjSourceReadsARangeOfTheArchive) {
    auto data = patternBytes(70000);
    MemoryData md;
    MessageLog log;
    ASSERT_TRUE(md.openFile(makeFile("a.zip", data).c_str(), log));
    for (std::uint32_t chunk : {1u, 13u, 31u, 30000u}) {
        MemDataObjSource src;
        src.initRange(&md, 1234, 60000);
        std::vector<std::uint8_t> got, buf(chunk);
        std::uint32_t n = 0;
        while (!src.endOfStream()) {
            ASSERT_TRUE(src.getNextChunk(buf.data(), chunk, n, nullptr));
            got.insert(got.end(), buf.begin(), buf.begin() + n);
        }
        EXPECT_EQ(got, std::vector<std::uint8_t>(data.begin() + 1234, data.begin() + 61234)) << chunk;
        EXPECT_FALSE(src.getNextChunk(buf.data(), chunk, n, nullptr));
    }
    MemDataObjSource beyond;  // a range running past the end of the file
    beyond.initRange(&md, 69990, 100);
    std::uint8_t buf[64];
    std::uint32_t n = 0;
    EXPECT_TRUE(beyond.getNextChunk(buf, 64, n, nullptr));
    EXPECT_EQ(n, 10u);
    EXPECT_FALSE(beyond.getNextChunk(buf, 64, n, nullptr));
}

// Below 4,000,000 bytes the file is loaded whole, above it streamed; both must reject corruption.
TEST_F(PipelineFiles, InflateFileLoadsOrStreams) {
    for (size_t size : {size_t(100000), size_t(4100000)}) {
        auto plain = patternBytes(size);  // incompressible: the deflated file is as large
        auto packed = rawDeflate(plain);
        OutputFile out;
        ASSERT_TRUE(out.open(path("inflated.bin").c_str(), nullptr));
        PipelineHelp help;
        MessageLog log;
        std::uint32_t crc = 0;
        ASSERT_TRUE(help.inflateFileToOutput(makeFile("p.deflate", packed).c_str(), out, crc, log, false))
            << size << log.lines;
        EXPECT_EQ(crc, zlibCrc(plain));
        out.handle().close();
        EXPECT_EQ(readFile(path("inflated.bin")), plain);

        packed.resize(packed.size() - 1000);
        OutputFile cut;
        ASSERT_TRUE(cut.open(path("cut.bin").c_str(), nullptr));
        EXPECT_FALSE(help.inflateFileToOutput(makeFile("cut.deflate", packed).c_str(), cut, crc, log, false)) << size;
        EXPECT_EQ(crc, 0u);
    }
    OutputFile out;
    MessageLog log;
    std::uint32_t crc = 0;
    PipelineHelp help;
    EXPECT_FALSE(help.inflateFileToOutput(nullptr, out, crc, log, false));
    EXPECT_EQ(log.lines, "Inflate failed: no input filename|");
}
