// Extraction of encrypted archives end to end: WinZip AES archives made now by 7-Zip and bsdtar
// (entries above and below the 8,000,000-byte in-memory limit) give 7-Zip's own tree, a wrong
// password leaves no file behind; the whole-data stage of the decode pipeline reads what the
// test encoder writes; every kind of encryption behind a data descriptor extracts as without one.
#include <gtest/gtest.h>

#include "ExtractFixture.h"
#include "TempFolder.h"
#include "WholeDataEncoder.h"
#include "WinZipAesEncoder.h"
#include "base/DataBuffer.h"
#include "crypto/WholeDataCrypt.h"
#include "extract/ZipPipeline.h"
#include "pipeline/OutputDataBuffer.h"

using namespace extractfix;

namespace {
struct AesMaker {
    const char* label;
    const char* tool;
    const char* command;  // run inside the source tree; OUT is the archive path
};
const AesMaker kAesMakers[] = {
    {"7z_aes128_deflate", "7z", "7z a -tzip -bd -bso0 -psecret -mem=AES128 OUT ."},
    {"7z_aes192_store", "7z", "7z a -tzip -bd -bso0 -mx=0 -psecret -mem=AES192 OUT ."},
    {"7z_aes256_deflate", "7z", "7z a -tzip -bd -bso0 -psecret -mem=AES256 OUT ."},
    {"bsdtar_aes256", "bsdtar", "bsdtar --format zip --options zip:encryption=aes256 --passphrase secret -cf OUT ."},
};

class ExtractAes : public ::testing::TestWithParam<AesMaker> {};

std::string randomText(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::uint32_t x = seed;
    for (auto& c : s) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
    return s;
}

// A WinZip AES (AE-2) entry of stored content whose sizes follow its data.
zipfix::Member aesBehindDescriptor(const std::string& name, const std::string& plain, int keyBytes,
                                   const std::string& password) {
    std::string field;
    zipfix::put16(field, 2);
    field += "AE";
    field += static_cast<char>(keyBytes / 8 - 1);
    zipfix::put16(field, 0);
    const std::vector<std::uint8_t> stored = winZipAesEncrypt(password, keyBytes, {plain.begin(), plain.end()});
    return {.name = name,
            .data = std::string(stored.begin(), stored.end()),
            .flags = 1,
            .method = 99,
            .localExtra = zipfix::block(0x9901, field),
            .centralExtra = zipfix::block(0x9901, field),
            .descriptor = true,
            .centralUncompressed = static_cast<std::int64_t>(plain.size())};
}

// An entry of the library's whole-data scheme (AES-256) whose sizes follow its data.
zipfix::Member wholeDataBehindDescriptor(const std::string& name, const std::string& plain,
                                         const std::string& password) {
    std::string marker;
    for (std::uint32_t word : {0xAB39F277u, 0u, 1u, 256u, 0u}) zipfix::put32(marker, word);
    const wholedata::Bytes stored = wholedata::entryData(1, 32, password, {plain.begin(), plain.end()});
    return {.name = name,
            .data = std::string(stored.begin(), stored.end()),
            .method = 8,
            .localExtra = marker,
            .descriptor = true,
            .centralUncompressed = static_cast<std::int64_t>(plain.size())};
}
}  // namespace

TEST_P(ExtractAes, SameTreeAs7zWithThePasswordAndNoFilesWithoutIt) {
    const AesMaker& c = GetParam();
    if (!zipfix::haveTool(c.tool) || !zipfix::haveTool("7z")) GTEST_SKIP() << c.tool << " missing";
    TempFolder scratch;
    const fs::path dir = scratch.path();
    makeSourceTree(dir / "src");
    zipfix::writeFile(dir / "src/large.bin", std::string(9000000, 'x') + "end");  // streamed via a temp file
    fs::last_write_time(dir / "src/large.bin", fs::last_write_time(dir / "src/small.txt"));
    const std::string archive = (dir / "a.zip").string();
    std::string command = c.command;
    command.replace(command.find("OUT"), 3, "'" + archive + "'");
    int rc = -1;
    zipfix::run("cd '" + (dir / "src").string() + "' && " + command + " 2>&1", &rc);
    ASSERT_EQ(rc, 0) << command;
    zipfix::run("7z x -y -bd -psecret -o'" + (dir / "ref").string() + "' '" + archive + "' >/dev/null 2>&1", &rc);
    ASSERT_EQ(rc, 0);

    Extracted r = extract(archive, dir / "ours", nullptr, "secret");
    ASSERT_GT(r.count, 0) << r.log;
    expectSameTree(dir / "ref", dir / "ours");

    // Temporary files go to a folder of this test's own, which must be empty afterwards.
    fs::create_directories(dir / "tmp");
    TnZip zip;
    zip.SetPassword("secreT");
    zip.SetTempDir((dir / "tmp").c_str());
    ASSERT_TRUE(zip.OpenZip(archive.c_str()));
    Extracted wrong{zip.Unzip((dir / "wrong").c_str(), nullptr), zip.LastErrorText()};
    EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "temporary files left behind";
    EXPECT_LT(wrong.count, 0);
    EXPECT_NE(wrong.log.find("Invalid password for WinZip AES decryption"), std::string::npos) << wrong.log;
    EXPECT_NE(wrong.log.find("Unzip failed"), std::string::npos) << wrong.log;  // named like every failure
    EXPECT_NE(wrong.log.find("filename"), std::string::npos) << wrong.log;
    // Only directories, and the empty file that bsdtar stores without encryption, may exist.
    if (fs::exists(dir / "wrong")) {
        for (auto& [name, path] : listTree(dir / "wrong"))
            EXPECT_TRUE(name.back() == '/' || fs::file_size(path) == 0) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Makers, ExtractAes, ::testing::ValuesIn(kAesMakers),
                         [](const auto& info) { return std::string(info.param.label); });

// Stored data of the library's own scheme (deflate of the encrypted deflate data) leaves the
// pipeline as the content; with a wrong password the run fails as "AES decryption failed.".
TEST(ExtractWholeData, PipelineInflatesDecryptsAndInflates) {
    TempFolder temp;
    std::vector<std::uint8_t> content(1700000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>("whole data "[i % 11] ^ (i >> 16));
    for (auto [algorithm, bits] : {std::pair{1, 256}, {2, 192}, {3, 128}}) {
        for (const char* password : {"pw", "wrong"}) {
            SCOPED_TRACE(std::to_string(algorithm) + " " + password);
            const wholedata::Bytes stored = wholedata::entryData(algorithm, static_cast<std::size_t>(bits / 8), "pw",
                                                                 content);
            DataBuffer buffer;
            OutputDataBuffer out(&buffer);
            ZipPipeline pipeline;
            pipeline.setTempDir(temp.path().c_str());
            pipeline.setOutput(&out);
            pipeline.setSourceMemory(stored.data(), static_cast<std::uint32_t>(stored.size()));
            pipeline.setSourceCompressed(true);
            pipeline.setWholeDataEncrypted(true);
            pipeline.setWholeDataParams(algorithm, bits);
            pipeline.setPassword(password);
            RecordingLog log;
            std::uint32_t crc = 0;
            const bool ok = pipeline.run(crc, log, false);
            if (std::string(password) == "pw") {
                ASSERT_TRUE(ok) << log.dump();
                EXPECT_TRUE(std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size()) == content);
            } else {
                EXPECT_FALSE(ok && std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size()) == content);
            }
            EXPECT_TRUE(fs::is_empty(temp.path())) << "temporary files left behind";
        }
    }
}

// The comment's check text admits the right password at open and at Unzip, under either marker
// and at any of the key lengths tried; another password is refused at open.
TEST(ExtractWholeData, CommentCheckTextAdmitsOnlyThePassword) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    int n = 0;
    for (const char* marker : {WholeDataCrypt::kMarkerSentence, WholeDataCrypt::kShortMarker}) {
        for (std::size_t keyBytes : {16u, 24u, 32u}) {
            SCOPED_TRACE(std::to_string(keyBytes));
            zipfix::Archive a;
            a.members.push_back({.name = "plain.txt", .data = "plain", .crc = 0x192062CFu});
            a.comment = wholedata::checkComment(marker, "open sesame", keyBytes);
            const std::string archive = zipfix::writeFile(dir / ("a" + std::to_string(n++) + ".zip"), a.build());
            Extracted right = extract(archive, dir / "right", nullptr, "open sesame");
            EXPECT_EQ(right.count, 1) << right.log;
            Extracted wrong = extract(archive, dir / "wrong", nullptr, "open sesame!");
            EXPECT_LT(wrong.count, 0);
            EXPECT_NE(wrong.log.find("Invalid password (6)"), std::string::npos) << wrong.log;
        }
    }
}

// Behind a data descriptor the local header says 0 for both sizes: each kind of encryption takes
// the record's full sizes instead and extracts as without a descriptor, large entries streamed
// (a large WinZip AES entry has its verifier read first, by the streaming reader, and nothing
// more under a wrong password) and small ones in memory; a wrong password leaves no file.
TEST(ExtractEncrypted, EveryKindBehindADataDescriptor) {
    TempFolder scratch;
    const fs::path dir = scratch.path();
    const std::string large = randomText(9000000, 1), small = "small plaintext\n";
    struct Case {
        const char* label;
        std::string archive;
        std::map<std::string, std::string> files;
        const char* wrongPasswordLine;
    };
    std::vector<Case> cases;

    zipfix::Archive aes;
    aes.members = {aesBehindDescriptor("large.bin", large, 32, "pw"),
                   aesBehindDescriptor("small.txt", small, 16, "pw")};
    cases.push_back({"winzip_aes",
                     zipfix::writeFile(dir / "aes.zip", aes.build()),
                     {{"large.bin", large}, {"small.txt", small}},
                     "Invalid password for WinZip AES decryption;"});

    zipfix::Archive whole;
    whole.members = {wholeDataBehindDescriptor("large.bin", large.substr(0, 5000000), "pw"),
                     wholeDataBehindDescriptor("small.txt", small, "pw")};
    whole.comment = wholedata::checkComment(WholeDataCrypt::kShortMarker, "pw", 32);
    cases.push_back({"whole_data",
                     zipfix::writeFile(dir / "whole.zip", whole.build()),
                     {{"large.bin", large.substr(0, 5000000)}, {"small.txt", small}},
                     "Invalid password (6)"});

    if (zipfix::haveTool("zip")) {
        fs::create_directories(dir / "src");
        zipfix::writeFile(dir / "src/large.bin", large.substr(0, 5000000));
        zipfix::writeFile(dir / "src/small.txt", small);
        const std::string archive = (dir / "zipcrypto.zip").string();
        zipfix::run("cd '" + (dir / "src").string() + "' && zip -q -P pw '" + archive + "' large.bin small.txt");
        ASSERT_TRUE(zipfix::readFile(archive)[6] & 0x08) << "Info-ZIP wrote no data descriptor";
        cases.push_back({"zipcrypto",
                         archive,
                         {{"large.bin", large.substr(0, 5000000)}, {"small.txt", small}},
                         "Password incorrect for password-protected Zip"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const fs::path out = dir / (std::string(c.label) + "_out"), wrongOut = dir / (std::string(c.label) + "_wrong");
        Extracted r = extract(c.archive, out, nullptr, "pw");
        EXPECT_EQ(r.count, static_cast<int>(c.files.size())) << r.log;
        for (const auto& [name, content] : c.files) EXPECT_TRUE(zipfix::readFile(out / name) == content) << name;
        Extracted wrong = extract(c.archive, wrongOut, nullptr, "pX");
        EXPECT_LT(wrong.count, 0);
        EXPECT_NE(wrong.log.find(c.wrongPasswordLine), std::string::npos) << wrong.log;
        for (const auto& [name, content] : c.files) EXPECT_FALSE(fs::exists(wrongOut / name)) << name;
    }
}
