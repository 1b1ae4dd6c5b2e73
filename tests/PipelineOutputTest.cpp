// Sinks and copies that end in an Output, the decode stage, the inflate adapters and the
// ready-made memory pipelines.
#include <gtest/gtest.h>

#include "PipelineTestParts.h"
#include "archive/ProgressMonitor.h"
#include "crypto/PwdProtect.h"
#include "log/LogBase.h"
#include "pipeline/CrcProcessor.h"
#include "pipeline/DataPipeline.h"
#include "pipeline/FileDataSink.h"
#include "pipeline/MemoryDataSource.h"
#include "pipeline/PipelineHelp.h"
#include "pipeline/ZipDecodeProcessor.h"

namespace {

// Compressible text with some variety, so deflate makes literals, matches and several blocks.
std::vector<std::uint8_t> textBytes(size_t n) {
    auto noise = patternBytes(n);
    std::vector<std::uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>("abcdefgh \n"[noise[i] % 10]);
    return v;
}

class ErrorLog : public LogBase {
public:
    bool logError(const char* text) override {
        errors += text;
        errors += "|";
        return true;
    }
    bool logInfo(const char* text) override {
        infos += text;
        infos += "|";
        return true;
    }
    std::string errors, infos;
    // The engine logs its own detail first; the driver's line comes last.
    bool lastErrorIs(const std::string& text) const {
        return errors.size() >= text.size() + 1 &&
               errors.compare(errors.size() - text.size() - 1, text.size(), text) == 0;
    }
};

class AbortAt : public ProgressEvent {
public:
    explicit AbortAt(int p) : m_at(p) {}
    void percentDone(int percent, bool* abort) override { *abort = percent >= m_at; }

private:
    int m_at;
};

}  // namespace

TEST(FileDataSink, WritesThroughAndForgetsAFailingOutput) {
    auto data = patternBytes(100);
    VectorOutput out(150);
    FileDataSink sink;
    EXPECT_FALSE(sink.write(data.data(), 10));  // no Output yet
    sink.setOutput(&out);
    sink.setComputeCrc(true);
    EXPECT_TRUE(sink.write(data.data(), 100));
    EXPECT_TRUE(sink.write(nullptr, 0));
    EXPECT_FALSE(sink.write(nullptr, 1));
    EXPECT_EQ(sink.crcValue(), zlibCrc(data));
    EXPECT_EQ(sink.bytesWritten(), 100u);
    EXPECT_FALSE(sink.writeFailed());
    EXPECT_FALSE(sink.write(data.data(), 100));  // the Output takes only 50 more
    EXPECT_TRUE(sink.writeFailed());
    EXPECT_FALSE(sink.write(data.data(), 1));
    EXPECT_FALSE(sink.write(data.data(), 0));  // even 0 bytes, once failed
    EXPECT_EQ(out.data, data);
}

TEST(DataSource, CopyToOutputReportsItsFailures) {
    auto data = patternBytes(70000);
    struct Case {
        const char* what;
        size_t outLimit;
        size_t failAt;
        int abortAt;
        const char* error;
    };
    const Case cases[] = {
        {"whole copy", SIZE_MAX, SIZE_MAX, 1000, ""},
        {"output fills up", 30000, SIZE_MAX, 1000, "Failed to write data to output.|"},
        {"read fails midway", SIZE_MAX, 50000, 1000, ""},
        {"application aborts", SIZE_MAX, SIZE_MAX, 50, "Copy-to-output aborted in application event callback.|"},
    };
    for (const Case& c : cases) {
        ChunkySource src(data, 13000, c.failAt);
        VectorOutput out(c.outLimit);
        AbortAt app(c.abortAt);
        ProgressMonitor monitor(&app, 70000);
        ErrorLog log;
        bool whole = c.outLimit == SIZE_MAX && c.failAt == SIZE_MAX && c.abortAt > 100;
        EXPECT_EQ(src.copyToOutput(out, &monitor, &log), whole) << c.what;
        EXPECT_EQ(log.errors, c.error) << c.what;
        if (whole) {
            EXPECT_EQ(out.data, data);
        }
        if (c.failAt != SIZE_MAX) {
            EXPECT_EQ(out.data.size(), 39000u) << c.what;  // 3 chunks landed
        }
    }
}

// Decrypting through a stage must equal decrypting the whole block at once, however the source
// chunks and the sink's room split the bytes (each byte decrypted exactly once, in order).
TEST(ZipDecodeProcessor, DecryptsEachByteOnceWhateverTheSplits) {
    const auto cipher = patternBytes(20011);
    std::vector<std::uint8_t> expected = cipher;
    PwdProtect whole;
    whole.setPassword("secret");
    whole.initKeys();
    whole.decryptBytes(expected.data(), static_cast<std::uint32_t>(expected.size()));
    for (std::uint32_t chunk : {1u, 13u, 31u}) {
        for (std::uint32_t room : {7u, 4096u}) {
            PwdProtect pwd;
            pwd.setPassword("secret");
            pwd.initKeys();
            ChunkySource src(cipher, chunk);
            ZipDecodeProcessor proc;
            proc.setDecryptor(&pwd);
            NarrowSink sink(room);
            proc.setSource(&src);
            proc.setSink(&sink);
            proc.allocateInputBuffer(60000);
            DataPipeline pipe;
            pipe.addProcessor(&proc);
            ASSERT_TRUE(pipe.run(nullptr));
            EXPECT_EQ(sink.received, expected) << chunk << " " << room;
            EXPECT_STREQ(proc.name(), "PassThruProcessor");
        }
    }
}

// Fed through its ring by a stage before it, the decode stage decrypts as the bytes leave the ring.
TEST(ZipDecodeProcessor, DecryptsRingContentAcrossWraps) {
    const auto cipher = patternBytes(5003);
    std::vector<std::uint8_t> expected = cipher;
    PwdProtect whole, pwd;
    for (PwdProtect* p : {&whole, &pwd}) {
        p->setPassword("secret");
        p->initKeys();
    }
    whole.decryptBytes(expected.data(), static_cast<std::uint32_t>(expected.size()));
    ChunkySource src(cipher, 31);
    CrcProcessor first;
    ZipDecodeProcessor second;
    second.initRing(13);
    second.setDecryptor(&pwd);
    NarrowSink sink(7);
    first.setSource(&src);
    first.setSink(&second);
    first.allocateInputBuffer(31);
    second.setSink(&sink);
    DataPipeline pipe;
    pipe.addProcessor(&first);
    pipe.addProcessor(&second);
    ASSERT_TRUE(pipe.run(nullptr));
    EXPECT_EQ(sink.received, expected);
    EXPECT_EQ(first.crcValue(), zlibCrc(cipher));
}

TEST(PipelineHelp, MemoryPipelines) {
    const auto data = patternBytes(150001);
    PipelineHelp help;
    VectorOutput out;
    std::uint32_t crc = 1;
    EXPECT_TRUE(help.streamMemoryToOutput(data.data(), 150001, &out, crc));
    EXPECT_EQ(out.data, data);
    EXPECT_EQ(crc, zlibCrc(data));

    VectorOutput empty;
    EXPECT_TRUE(help.streamMemoryToOutput(data.data(), 0, &empty, crc));
    EXPECT_EQ(crc, 0u);
    EXPECT_FALSE(help.streamMemoryToOutput(nullptr, 5, &empty, crc));
    EXPECT_FALSE(help.streamMemoryToOutput(data.data(), 5, nullptr, crc));

    // The pump succeeds but the Output refused bytes: still a failure, CRC 0.
    VectorOutput small(1000);
    crc = 1;
    EXPECT_FALSE(help.streamMemoryToOutput(data.data(), 150001, &small, crc));
    EXPECT_EQ(crc, 0u);

    PwdProtect pwd, reference;
    for (PwdProtect* p : {&pwd, &reference}) {
        p->setPassword("pw");
        p->initKeys();
    }
    std::vector<std::uint8_t> plain = data;
    reference.decryptBytes(plain.data(), 150001);
    VectorOutput decrypted;
    EXPECT_TRUE(help.decryptMemoryToOutput(data.data(), 150001, decrypted, pwd));
    EXPECT_EQ(decrypted.data, plain);
    EXPECT_FALSE(help.decryptMemoryToOutput(nullptr, 1, decrypted, pwd));
}

TEST(PipelineHelp, AbortFromTheApplicationFailsTheCopy) {
    const auto data = patternBytes(150000);
    AbortAt app(50);
    ProgressMonitor monitor(&app, 150000);
    PipelineHelp help;
    help.setProgressMonitor(&monitor);
    VectorOutput out;
    std::uint32_t crc = 1;
    EXPECT_FALSE(help.streamMemoryToOutput(data.data(), 150000, &out, crc));
    EXPECT_EQ(crc, 0u);
    EXPECT_LT(out.data.size(), data.size());
}

// Raw deflate through the adapters: awkward source chunks, the CRC of what the sink received.
TEST(PipelineHelp, InflatesFromSourcesAndMemory) {
    const auto plain = textBytes(300000);
    const auto packed = rawDeflate(plain);
    for (std::uint32_t chunk : {1u, 13u, 31u, 65536u}) {
        ChunkySource src(packed, chunk);
        VectorOutput out;
        ErrorLog log;
        std::uint32_t crc = 0;
        PipelineHelp help;
        ASSERT_TRUE(help.inflateSourceToOutput(src, out, log, crc, true)) << chunk << log.errors;
        EXPECT_EQ(out.data, plain) << chunk;
        EXPECT_EQ(crc, zlibCrc(plain));
    }
    VectorOutput out;
    ErrorLog log;
    std::uint32_t crc = 0;
    PipelineHelp help;
    ASSERT_TRUE(
        help.inflateMemoryToOutput(packed.data(), static_cast<std::uint32_t>(packed.size()), out, crc, log, false));
    EXPECT_EQ(out.data, plain);
    EXPECT_EQ(crc, zlibCrc(plain));
}

TEST(PipelineHelp, InflateFailuresAreNamed) {
    const auto plain = textBytes(200000);
    const auto packed = rawDeflate(plain);
    const std::vector<std::uint8_t> truncated(packed.begin(), packed.begin() + packed.size() / 2);
    PipelineHelp help;
    std::uint32_t crc = 0;
    {
        ChunkySource src(truncated, 31);
        VectorOutput out;
        ErrorLog log;
        EXPECT_FALSE(help.inflateSourceToOutput(src, out, log, crc, false));
        EXPECT_TRUE(log.lastErrorIs("Failed to inflate from data source (2)")) << log.errors;
    }
    {
        ChunkySource src(packed, 4096);
        VectorOutput out(50000);
        ErrorLog log;
        EXPECT_FALSE(help.inflateSourceToOutput(src, out, log, crc, false));
        EXPECT_TRUE(log.lastErrorIs("Failed to inflate from data source because sink write failed.")) << log.errors;
    }
    {
        AbortAt app(10);
        ProgressMonitor monitor(&app, 200000);
        PipelineHelp watched;
        watched.setProgressMonitor(&monitor);
        ChunkySource src(packed, 4096);
        VectorOutput out;
        ErrorLog log;
        EXPECT_FALSE(watched.inflateSourceToOutput(src, out, log, crc, false));
        EXPECT_TRUE(log.lastErrorIs("Inflate aborted by application..")) << log.errors;
        EXPECT_LT(out.data.size(), plain.size());
    }
    VectorOutput out;
    ErrorLog log;
    EXPECT_FALSE(help.inflateMemoryToOutput(truncated.data(), static_cast<std::uint32_t>(truncated.size()), out, crc,
                                            log, false));
    EXPECT_TRUE(log.lastErrorIs("Internal error in huffman decoding.")) << log.errors;
    EXPECT_FALSE(help.inflateMemoryToOutput(nullptr, 3, out, crc, log, false));
    EXPECT_EQ(crc, 0u);
}
