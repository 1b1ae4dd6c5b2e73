// The entry decode pipeline on its own: each stage's failure lines, the CRC it returns, and no
// temporary file left behind whatever the outcome.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CrcReference.h"
#include "TempFolder.h"
#include "ZipFixture.h"
#include "ZlibRaw.h"
#include "base/DataBuffer.h"
#include "extract/ZipPipeline.h"
#include "log/Logger.h"
#include "pipeline/MemoryDataSource.h"
#include "pipeline/OutputDataBuffer.h"

namespace {
namespace fs = std::filesystem;

std::string rawDeflate(const std::string& text) {
    std::vector<std::uint8_t> out = zlibDeflateRaw(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 6);
    return std::string(out.begin(), out.end());
}

const std::uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

struct Outcome {
    bool ok = false;
    std::uint32_t crc = 0;
    std::string written;
    std::string log;
};

enum class Source { kMemory, kDataSource };

struct Case {
    const char* label;
    std::string input;
    Source source;
    bool compressed;
    bool traditional;
    bool wholeData;
    bool expectOk;
    std::string expectWritten;
    std::vector<const char*> expectLines;  // in this order
    const char* tempSub = "";              // below the scratch folder: the temporary directory
};

Outcome runPipeline(const Case& c, const fs::path& tempDir) {
    DataBuffer buffer;
    OutputDataBuffer out(&buffer);
    ZipPipeline pipeline;
    pipeline.setTempDir((tempDir / c.tempSub).c_str());
    pipeline.setOutput(&out);
    pipeline.setSourceCompressed(c.compressed);
    MemoryDataSource source;
    source.initMemory(bytesOf(c.input), static_cast<std::uint32_t>(c.input.size()));
    if (c.source == Source::kDataSource) pipeline.setSourceData(&source);
    else pipeline.setSourceMemory(bytesOf(c.input), static_cast<std::uint32_t>(c.input.size()));
    if (c.traditional) {
        pipeline.setPassword("pw");
        pipeline.setTraditionalEncryption(true, 0x12345678, 0x6000, false);
    }
    if (c.wholeData) {
        pipeline.setWholeDataEncrypted(true);
        pipeline.setWholeDataParams(2, 256);
    }
    Logger log;
    Outcome r;
    r.ok = pipeline.run(r.crc, log, true);
    r.written.assign(reinterpret_cast<const char*>(buffer.data()), buffer.size());
    StringBuffer text;
    log.getLogText(text);
    r.log = text.text();
    return r;
}

TEST(ZipPipeline, StagesAndTheirLines) {
    const std::string text = "pipeline content, pipeline content, pipeline content\n";
    // clang-format off
    const Case cases[] = {
        {"deflated_memory", rawDeflate(text), Source::kMemory, true, false, false, true, text, {}},
        {"deflated_source", rawDeflate(text), Source::kDataSource, true, false, false, true, text, {}},
        {"stored_memory", text, Source::kMemory, false, false, false, true, text, {}},
        // Streamed from a data source the copy is summed too, so the entry's CRC can be checked.
        {"stored_source", text, Source::kDataSource, false, false, false, true, text, {}},
        {"empty_compressed", "", Source::kMemory, true, false, false, true, "", {"compressed source is empty."}},
        {"not_deflate", "\xff\xff", Source::kMemory, true, false, false, false, "",
         {"Inflate from memory source failed.", "Compressed to uncompressed failed."}},
        {"short_header", "0123456789", Source::kDataSource, false, true, false, false, "",
         {"Failed to get encryption header for pwd-protect", "Password decode failed (Zip 2.0 legacy encryption)."}},
        {"wrong_password", "0123456789abcdef", Source::kMemory, false, true, false, false, "",
         {"Password incorrect for password-protected Zip", "Password decode failed (Zip 2.0 legacy encryption)."}},
        {"whole_data_bad_deflate", "\xff\xff", Source::kMemory, true, false, true, false, "",
         {"Failed to inflate to temp for AES decryption", "AES decryption failed."}},
        {"whole_data_no_decryptor", rawDeflate(text), Source::kMemory, true, false, true, false, "",
         {"Failed to AES decrypt file", "encryptedFile", "AES decryption failed."}},
        {"whole_data_no_temp_dir", rawDeflate(text), Source::kMemory, true, false, true, false, "",
         {"Failed to create temporary output file", "filename", "missing/tnZ.dat",
          "Failed to inflate to temp for AES decryption", "AES decryption failed."}, "missing"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder scratch;
        fs::path temp = scratch.path();
        Outcome r = runPipeline(c, temp);
        EXPECT_EQ(r.ok, c.expectOk) << r.log;
        EXPECT_EQ(r.written, c.expectWritten);
        if (c.expectOk) {
            EXPECT_EQ(r.crc, bitwiseCrc32(c.expectWritten));
        }
        std::size_t at = 0;
        for (const char* line : c.expectLines) {
            at = r.log.find(line, at);
            EXPECT_NE(at, std::string::npos) << line << "\n" << r.log;
        }
        EXPECT_TRUE(fs::is_empty(temp)) << "temporary files left behind";
    }
}

TEST(ZipPipeline, NoDestination) {
    Logger log;
    std::uint32_t crc = 0;
    for (bool compressed : {true, false}) {
        ZipPipeline pipeline;
        pipeline.setSourceCompressed(compressed);
        EXPECT_FALSE(pipeline.run(crc, log, false));
    }
    StringBuffer text;
    log.getLogText(text);
    std::string s = text.text();
    EXPECT_NE(s.find("No dest out for inflate."), std::string::npos) << s;
    EXPECT_NE(s.find("No dest output."), std::string::npos) << s;
}

}  // namespace
