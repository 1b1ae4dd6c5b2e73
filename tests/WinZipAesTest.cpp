// WinZip AES: both entry points against data from the test encoder (every strength, lengths
// around the streaming step, awkward sources, damage and wrong passwords), against archives that
// 7-Zip and bsdtar encrypt at test time, and against the corpus's samples with known passwords.
#include <gtest/gtest.h>

#include <tuple>
#include <string>
#include <vector>

#include "TestData.h"
#include "PipelineTestParts.h"
#include "TempFolder.h"
#include "WinZipAesEncoder.h"
#include "ZipFixture.h"
#include "ZlibRaw.h"
#include "base/DataBuffer.h"
#include "base/ExtPtrArray.h"
#include "base/StringBuffer.h"
#include "crypto/WinZipAes.h"
#include "log/LogNull.h"
#include "pipeline/MemoryDataSource.h"
#include "zip/ZipWalk.h"

using Bytes = std::vector<std::uint8_t>;

namespace {
constexpr std::uint32_t kStep = WinZipAes::kStreamStep;

struct Outcome {
    bool ok = false;
    bool wrongPassword = false;
    bool authFailed = false;
    Bytes plain;
};

Outcome inMemory(const Bytes& stored, const std::string& password, int strength, LogBase& log) {
    Outcome r;
    DataBuffer plain;
    StringBuffer pw(password.c_str());
    r.ok = WinZipAes::decryptInMemory(stored.data(), static_cast<std::uint32_t>(stored.size()), pw, strength, plain,
                                      r.wrongPassword, r.authFailed, log);
    r.plain.assign(plain.data(), plain.data() + plain.size());
    return r;
}

Outcome fromSource(DataSource& source, const std::string& password, int strength, LogBase& log) {
    Outcome r;
    VectorOutput out;
    StringBuffer pw(password.c_str());
    r.ok = WinZipAes::decryptFromSource(source, pw, strength, out, r.wrongPassword, r.authFailed, log);
    r.plain = out.data;
    return r;
}

Outcome fromMemorySource(const Bytes& stored, const std::string& password, int strength, LogBase& log) {
    MemoryDataSource source;
    source.initMemory(stored.data(), static_cast<std::uint32_t>(stored.size()));
    return fromSource(source, password, strength, log);
}

// Bytes with some structure, different per length.
Bytes content(std::size_t n) {
    Bytes v = patternBytes(n);
    for (std::size_t i = 0; i < n; i += 3) v[i] = static_cast<std::uint8_t>('a' + i % 26);
    return v;
}
}  // namespace

// Every strength in both notations, with ciphertext lengths that end just before, at and after
// the places where the streaming buffer fills up and hands a step on.
TEST(WinZipAes, BothPathsDecryptEveryStrengthAcrossStepBoundaries) {
    const std::size_t lengths[] = {0,
                                   1,
                                   15,
                                   16,
                                   17,
                                   8096,
                                   kStep - 1,
                                   kStep,
                                   kStep + 19,
                                   kStep + 20,
                                   kStep + 21,
                                   2 * kStep + 20,
                                   2 * kStep + 31,
                                   3 * kStep + 5};
    const std::pair<int, int> strengths[] = {{16, 1}, {24, 2}, {32, 3}, {16, 128}, {24, 192}, {32, 256}};
    for (auto [keyBytes, strength] : strengths) {
        for (std::size_t n : lengths) {
            SCOPED_TRACE("strength " + std::to_string(strength) + ", " + std::to_string(n) + " bytes");
            const Bytes original = content(n);
            const Bytes stored = winZipAesEncrypt("secret", keyBytes, original);
            LogNull log;
            const Outcome memory = inMemory(stored, "secret", strength, log);
            ASSERT_TRUE(memory.ok);
            EXPECT_TRUE(memory.plain == original);
            const Outcome streamed = fromMemorySource(stored, "secret", strength, log);
            ASSERT_TRUE(streamed.ok);
            EXPECT_TRUE(streamed.plain == original);
        }
    }
}

// A source that hands out 1, 13 or 4,099 bytes at a time changes nothing.
TEST(WinZipAes, AwkwardChunkSizesGiveTheSamePlaintext) {
    const Bytes original = content(kStep + 333);
    const Bytes stored = winZipAesEncrypt("pw", 32, original);
    for (std::uint32_t chunk : {1u, 13u, 4099u}) {
        ChunkySource source(stored, chunk);
        LogNull log;
        const Outcome r = fromSource(source, "pw", 3, log);
        ASSERT_TRUE(r.ok) << chunk;
        EXPECT_TRUE(r.plain == original) << chunk;
    }
}

// No salt, verifier or code: the entry is damaged, whatever the password.
TEST(WinZipAes, EmptyStoredDataIsRefused) {
    DataBuffer plain;
    plain.append("old", 3);
    bool wrong = true, auth = true;
    LogNull log;
    EXPECT_FALSE(WinZipAes::decryptInMemory(nullptr, 0, StringBuffer("pw"), 1, plain, wrong, auth, log));
    EXPECT_EQ(plain.size(), 0u);
    EXPECT_FALSE(wrong || auth);
}

// Both paths refuse stored, the verifier or the code having caught it as byVerifier says, each
// with its own line; in memory nothing of an unauthenticated plaintext is left in the output.
void expectRefused(const Bytes& stored, const std::string& password, int strength, bool byVerifier,
                   const char* memoryLine, const char* sourceLine) {
    RecordingLog memoryLog, sourceLog;
    for (auto [r, log, line] :
         {std::tuple{inMemory(stored, password, strength, memoryLog), &memoryLog, memoryLine},
          std::tuple{fromMemorySource(stored, password, strength, sourceLog), &sourceLog, sourceLine}}) {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.wrongPassword, byVerifier);
        EXPECT_EQ(r.authFailed, !byVerifier);
        EXPECT_TRUE(log->has(line)) << log->dump();
    }
    EXPECT_TRUE(inMemory(stored, password, strength, memoryLog).plain.empty());
}

TEST(WinZipAes, WrongPasswordIsCaughtByTheVerifierBeforeAnyOutput) {
    const Bytes stored = winZipAesEncrypt("right", 24, content(5000));
    expectRefused(stored, "wrong", 2, true, "E:Invalid password for WinZip AES decryption",
                  "E:Invalid password for WinZip AES decryption;");
    LogNull log;
    EXPECT_TRUE(fromMemorySource(stored, "wrong", 2, log).plain.empty());
}

// One flipped bit anywhere after the verifier fails authentication.
TEST(WinZipAes, DamagedCiphertextOrCodeFailsAuthentication) {
    const Bytes good = winZipAesEncrypt("pw", 16, content(kStep + 100));
    for (std::size_t at : {std::size_t(10), std::size_t(5000), good.size() - 11, good.size() - 10, good.size() - 1}) {
        SCOPED_TRACE(at);
        Bytes bad = good;
        bad[at] ^= 0x20;
        expectRefused(bad, "pw", 1, false, "E:WinZip AES authentication code mismatch-2",
                      "E:WinZip AES authentication code mismatch-1");
    }
}

TEST(WinZipAes, PasswordsUpTo128BytesAndTheThreeStrengthsOnly) {
    const std::string longest(128, 'p');
    const Bytes stored = winZipAesEncrypt(longest, 32, content(40));
    LogNull quiet;
    EXPECT_TRUE(inMemory(stored, longest, 3, quiet).ok);
    EXPECT_TRUE(fromMemorySource(stored, longest, 3, quiet).ok);

    const std::string tooLong(129, 'p');
    const Bytes stored129 = winZipAesEncrypt(tooLong, 32, content(40));
    for (auto [password, strength] : {std::pair<std::string, int>{tooLong, 3}, {"pw", 0}, {"pw", 4}, {"pw", 64}}) {
        SCOPED_TRACE(std::to_string(password.size()) + " bytes, strength " + std::to_string(strength));
        RecordingLog memoryLog, sourceLog;
        EXPECT_FALSE(inMemory(stored129, password, strength, memoryLog).ok);
        EXPECT_TRUE(memoryLog.has("E:WinZip AES decrypt initialization failed")) << memoryLog.dump();
        EXPECT_FALSE(fromMemorySource(stored129, password, strength, sourceLog).ok);
        EXPECT_TRUE(sourceLog.has("E:WinZip AES decrypt initialization failed")) << sourceLog.dump();
    }
}

// Salt + verifier + code and nothing else is a valid, empty entry; anything shorter is not.
TEST(WinZipAes, ShortStoredData) {
    const Bytes empty = winZipAesEncrypt("pw", 24, {});
    ASSERT_EQ(empty.size(), 12u + 12u);
    LogNull quiet;
    EXPECT_TRUE(inMemory(empty, "pw", 2, quiet).ok);
    const Outcome streamed = fromMemorySource(empty, "pw", 2, quiet);
    EXPECT_TRUE(streamed.ok);
    EXPECT_TRUE(streamed.plain.empty());

    const Bytes cut(empty.begin(), empty.end() - 1);
    RecordingLog memoryLog;
    EXPECT_FALSE(inMemory(cut, "pw", 2, memoryLog).ok);
    EXPECT_TRUE(memoryLog.has("E:Not enough data for a WinZip AES entry (2)")) << memoryLog.dump();
    EXPECT_TRUE(memoryLog.has("dataSize=23")) << memoryLog.dump();
    RecordingLog nullLog;
    bool wrong, auth;
    DataBuffer plain;
    EXPECT_FALSE(WinZipAes::decryptInMemory(nullptr, 5, StringBuffer("pw"), 2, plain, wrong, auth, nullLog));
    EXPECT_TRUE(nullLog.has("E:No data.")) << nullLog.dump();

    const std::pair<std::size_t, const char*> streamCases[] = {
        {11, "E:Failed to read salt value for AES decryption"},
        {13, "E:Failed to read pwd verification for AES decryption"},
        {23, "E:WinZip AES authentication code mismatch-1"},
    };
    for (auto [n, message] : streamCases) {
        RecordingLog log;
        const Outcome r = fromMemorySource(Bytes(empty.begin(), empty.begin() + n), "pw", 2, log);
        EXPECT_FALSE(r.ok) << n;
        EXPECT_TRUE(log.has(message)) << log.dump();
        EXPECT_EQ(r.authFailed, n == 23) << n;
    }
}

TEST(WinZipAes, FailedReadsAndWritesFailTheStream) {
    const Bytes stored = winZipAesEncrypt("pw", 16, content(3 * kStep));
    ChunkySource failing(stored, 5000, 2 * kStep);
    RecordingLog readLog;
    EXPECT_FALSE(fromSource(failing, "pw", 1, readLog).ok);
    EXPECT_TRUE(readLog.has("E:Failed to read data for AES decryption")) << readLog.dump();

    MemoryDataSource source;
    source.initMemory(stored.data(), static_cast<std::uint32_t>(stored.size()));
    VectorOutput full(kStep + 7);
    bool wrong, auth;
    RecordingLog writeLog;
    EXPECT_FALSE(WinZipAes::decryptFromSource(source, StringBuffer("pw"), 1, full, wrong, auth, writeLog));
    EXPECT_TRUE(writeLog.has("E:Failed to write data to output.")) << writeLog.dump();
}

// --- Archives of other tools ---

namespace {
struct AesMember {
    std::string name;
    int keyBits = 0;
    int method = 0;  // the actual compression method
    Bytes stored;
};

std::vector<AesMember> aesMembers(const std::string& archive) {
    std::vector<AesMember> found;
    ZipWalk walk;
    LogNull log;
    ExtPtrArray records;
    StringBuffer comment;
    EndOfCentralDir end;
    bool mismatch = false;
    walk.walkFile(archive.c_str(), log, records, comment, end, 437, mismatch, false);
    const std::string bytes = readAll(archive);
    for (int i = 0; i < records.count(); ++i) {
        const auto* r = static_cast<const ZipWalkEntry*>(records.get(i));
        if (r->encryptionKind != 4 || r->dataOffset + r->compressedSize64() > bytes.size()) continue;
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data()) + r->dataOffset;
        found.push_back({r->decodedName.text(), static_cast<int>(r->keyLength), r->aesActualMethod,
                         Bytes(p, p + r->compressedSize64())});
    }
    records.deleteAll();
    return found;
}

// Decrypts through both paths (they must agree) and decodes stored or deflated content.
bool decryptMember(const AesMember& m, const std::string& password, Bytes& content, Outcome& result) {
    LogNull log;
    result = inMemory(m.stored, password, m.keyBits, log);
    const Outcome streamed = fromMemorySource(m.stored, password, m.keyBits, log);
    EXPECT_EQ(streamed.ok, result.ok) << m.name;
    if (!result.ok) return false;
    EXPECT_TRUE(streamed.plain == result.plain) << m.name;
    if (m.method == 0) return content = result.plain, true;
    return m.method == 8 && zlibInflateRaw(result.plain.data(), result.plain.size(), content);
}

// Every AES member with a method we decode matches the peer's own extraction (7z x -p).
void expectMatchesPeer(const std::string& archive, const std::string& password, std::size_t expectedMembers) {
    TempFolder scratch;
    const std::filesystem::path out = scratch / (std::filesystem::path(archive).filename().string() + ".peer");
    int rc = 0;
    zipfix::run("7z x -y -p'" + password + "' -o'" + out.string() + "' '" + archive + "' >/dev/null 2>&1", &rc);
    const std::vector<AesMember> members = aesMembers(archive);
    EXPECT_EQ(members.size(), expectedMembers) << archive;
    for (const AesMember& m : members) {
        if (m.name.empty() || m.name.back() == '/' || (m.method != 0 && m.method != 8)) continue;
        SCOPED_TRACE(archive + ": " + m.name);
        Bytes plain;
        Outcome r;
        ASSERT_TRUE(decryptMember(m, password, plain, r));
        ASSERT_TRUE(std::filesystem::is_regular_file(out / m.name));
        const std::string expected = zipfix::readFile(out / m.name);
        EXPECT_TRUE(std::string(plain.begin(), plain.end()) == expected);
    }
}

void writeSampleTree(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "sub");
    const Bytes random = patternBytes(600000);
    zipfix::writeFile(dir / "random.bin", std::string(random.begin(), random.end()));
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + " of the sample text\n";
    zipfix::writeFile(dir / "sub/text.txt", text);
    zipfix::writeFile(dir / "small.txt", "hello\n");
    zipfix::writeFile(dir / "empty.txt", "");
}
}  // namespace

TEST(WinZipAesInterop, SevenZipArchivesOfEveryStrength) {
    if (!zipfix::haveTool("7z")) GTEST_SKIP() << "7z not installed";
    TempFolder scratch;
    const std::filesystem::path dir = scratch.path();
    writeSampleTree(dir / "in");
    for (const char* strength : {"AES128", "AES192", "AES256"}) {
        SCOPED_TRACE(strength);
        const std::string archive = (dir / (std::string(strength) + ".zip")).string();
        int rc = 0;
        zipfix::run("cd '" + (dir / "in").string() + "' && 7z a -tzip -p'pass word #1' -mem=" + strength + " '" +
                        archive + "' . >/dev/null 2>&1",
                    &rc);
        ASSERT_EQ(rc, 0);
        expectMatchesPeer(archive, "pass word #1", 4);
        for (const AesMember& m : aesMembers(archive)) {
            Bytes plain;
            Outcome r;
            EXPECT_FALSE(decryptMember(m, "pass word #2", plain, r)) << m.name;
            EXPECT_TRUE(r.wrongPassword || r.authFailed) << m.name;
        }
    }
}

TEST(WinZipAesInterop, BsdtarAes256Archive) {
    if (!zipfix::haveTool("bsdtar") || !zipfix::haveTool("7z")) GTEST_SKIP() << "bsdtar or 7z not installed";
    TempFolder scratch;
    const std::filesystem::path dir = scratch.path();
    writeSampleTree(dir / "in");
    const std::string archive = (dir / "bsdtar.zip").string();
    int rc = 0;
    zipfix::run("cd '" + (dir / "in").string() +
                    "' && bsdtar --format zip --options zip:encryption=aes256 "
                    "--passphrase secret -cf '" +
                    archive + "' random.bin small.txt empty.txt sub/text.txt 2>&1",
                &rc);
    ASSERT_EQ(rc, 0);
    expectMatchesPeer(archive, "secret", 3);  // the empty file is stored without encryption
}

// The corpus's WinZip AES samples with known passwords, stored or deflated inside.
TEST(WinZipAesInterop, CorpusSamplesWithKnownPasswords) {
    if (!zipfix::haveTool("7z")) GTEST_SKIP() << "7z not installed";
    const struct {
        const char* path;
        const char* password;
        std::size_t members;
    } samples[] = {
        {"libarchive/test_read_format_zip_winzip_aes128.zip", "password", 1},
        {"libarchive/test_read_format_zip_winzip_aes256.zip", "password", 1},
        {"libarchive/test_read_format_zip_winzip_aes256_large.zip", "password", 4},
        {"libarchive/test_read_format_zip_winzip_aes256_stored.zip", "password", 1},
        {"libarchive/bsdunzip_test_encrypted.zip", "password", 1},
        {"zip-rs/aes_archive.zip", "helloworld", 4},
        {"libzip/encrypt-aes128.zip", "foofoofoo", 1},
        {"libzip/encrypt-aes192.zip", "foofoofoo", 1},
        {"libzip/encrypt-aes256.zip", "foofoofoo", 1},
        {"rubyzip/aes-keka.zip", "swordfish", 2},
        {"rubyzip/zip-aes-128.zip", "password", 1},
        {"rubyzip/zip-aes-256.zip", "password", 2},
        {"sharpcompress/Zip.deflate.WinzipAES.zip", "test", 3},
        {"sharpcompress/Zip.deflate.WinzipAES2.zip", "test", 3},
        {"sharpcompress/Zip.none.encrypted.zip", "test", 2},
    };
    for (const auto& s : samples) {
        expectMatchesPeer(testdata::path(s.path), s.password, s.members);
    }
}

// Samples whose authentication code does not match their data.
TEST(WinZipAesInterop, CorpusSamplesWithBadCodesFailAuthentication) {
    for (auto [path, password] : {std::pair<const char*, const char*>{"libzip/hmac-error.zip", "1234"},
                                  {"zip4j/aes_with_extra_data_record_and_corrupt_mac.zip", "test123!"}}) {
        const std::vector<AesMember> members = aesMembers(testdata::path(path));
        ASSERT_EQ(members.size(), 1u) << path;
        Bytes plain;
        Outcome r;
        EXPECT_FALSE(decryptMember(members[0], password, plain, r)) << path;
        EXPECT_TRUE(r.authFailed && !r.wrongPassword) << path;
    }
}
