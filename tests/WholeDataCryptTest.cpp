// Whole-data decryption against fixtures from the test encoder: every cipher and key length in
// memory and as files around the 800,000-byte pieces, the check text, the entry data layering.
#include <gtest/gtest.h>

#include <gcrypt.h>

#include <cstring>
#include <string>

#include "TempFolder.h"
#include "WholeDataEncoder.h"
#include "ZlibRaw.h"
#include "archive/ProgressMonitor.h"
#include "base/ContentCoding.h"
#include "base/DataBuffer.h"
#include "crypto/WholeDataCipher.h"
#include "crypto/WholeDataCrypt.h"
#include "log/LogNull.h"

using wholedata::Bytes;

namespace {
const std::string kPassword = "correct horse";

// A requested key length and the key the writer really used for it.
struct KeyCase {
    int algorithm;
    int requestedBits;
    std::size_t keyBytes;
};
// One row per algorithm.
// clang-format off
const KeyCase kKeyCases[] = {
    {1, 128, 16}, {1, 192, 24}, {1, 256, 32}, {1, 160, 24}, {1, 100, 16}, {1, 0, 16}, {1, 512, 32},
    {2, 128, 16}, {2, 192, 24}, {2, 256, 32}, {2, 0, 32},
    {3, 40, 5},   {3, 128, 16}, {3, 256, 32}, {3, 448, 56}, {3, 32, 5},  {3, 512, 56}, {3, 100, 12},
};
// clang-format on

std::string describe(const KeyCase& c) {
    return "algorithm " + std::to_string(c.algorithm) + ", " + std::to_string(c.requestedBits) + " bits";
}

bool decryptData(int algorithm, int bits, const std::string& password, const Bytes& in, Bytes& out, LogBase& log) {
    DataBuffer plain;
    const bool ok = WholeDataCrypt::decryptData(algorithm, bits, password.c_str(), in.data(),
                                                static_cast<std::uint32_t>(in.size()), plain, log);
    out.assign(plain.data(), plain.data() + plain.size());
    return ok;
}
}  // namespace

TEST(WholeDataCrypt, DecryptDataUndoesTheMemoryFormForEveryCipherAndKeyLength) {
    LogNull log;
    for (const KeyCase& c : kKeyCases) {
        for (std::size_t size : {1u, 15u, 16u, 17u, 31u, 32u, 1000u}) {
            SCOPED_TRACE(describe(c) + ", " + std::to_string(size) + " bytes");
            const Bytes original = patternBytes(size);
            const Bytes sealed = wholedata::memoryForm(c.algorithm, c.keyBytes, kPassword, original);
            Bytes plain;
            ASSERT_TRUE(decryptData(c.algorithm, c.requestedBits, kPassword, sealed, plain, log));
            EXPECT_EQ(plain, original);
        }
    }
}

// Aligned data carries a whole block of each padding: 32 bytes under the 16-byte ciphers.
TEST(WholeDataCrypt, AlignedDataLosesBothWholeBlockPaddings) {
    LogNull log;
    const Bytes original = patternBytes(64);
    for (int algorithm : {1, 2}) {
        const Bytes sealed = wholedata::memoryForm(algorithm, 32, kPassword, original);
        ASSERT_EQ(sealed.size(), 96u);
        Bytes plain;
        ASSERT_TRUE(decryptData(algorithm, 256, kPassword, sealed, plain, log));
        EXPECT_EQ(plain, original);
    }
}

TEST(WholeDataCrypt, AlgorithmZeroCopiesAndEmptyInputGivesEmptyOutput) {
    LogNull log;
    const Bytes original = patternBytes(23);
    Bytes plain;
    ASSERT_TRUE(decryptData(0, 256, kPassword, original, plain, log));
    EXPECT_EQ(plain, original);
    for (int algorithm : {0, 1, 2, 3}) {
        DataBuffer out;
        out.append("old", 3);
        EXPECT_TRUE(WholeDataCrypt::decryptData(algorithm, 128, "pw", nullptr, 0, out, log));
        EXPECT_EQ(out.size(), 0u);
    }
}

TEST(WholeDataCrypt, RejectsShortAesInputUnknownAlgorithmsAndBadPadding) {
    {
        RecordingLog log;
        Bytes plain;
        EXPECT_FALSE(decryptData(1, 128, kPassword, patternBytes(15), plain, log));
        EXPECT_TRUE(log.has("E:Decryption failed")) << log.dump();
        EXPECT_TRUE(log.hasPrefix("error_code=")) << log.dump();
    }
    {
        RecordingLog log;
        Bytes plain;
        EXPECT_FALSE(decryptData(4, 128, kPassword, patternBytes(16), plain, log));
        EXPECT_TRUE(log.has("E:Unsupported encryption algorithm")) << log.dump();
    }
    // A last byte of 0 or above the block can be no padding: the plaintext is not handed out.
    for (std::uint8_t last : {0, 17, 200}) {
        Bytes data = patternBytes(31);
        data.push_back(last);
        wholedata::encryptBlocks(1, 16, kPassword, data);
        RecordingLog log;
        Bytes plain;
        EXPECT_FALSE(decryptData(1, 128, kPassword, data, plain, log)) << int(last);
        EXPECT_TRUE(plain.empty());
        EXPECT_TRUE(log.has("E:Decryption failed")) << log.dump();
    }
}

// Without a verifier a wrong password can only show in the padding; it must never come back as
// a plaintext, and for nearly every password it is reported.
TEST(WholeDataCrypt, WrongPasswordsAreMostlyRejectedAndNeverDecrypt) {
    LogNull log;
    const Bytes original = patternBytes(100);
    int rejected = 0;
    for (int i = 0; i < 40; ++i) {
        const int algorithm = 1 + i % 3;
        const Bytes sealed = wholedata::memoryForm(algorithm, 16, kPassword, original);
        Bytes plain;
        const bool ok = decryptData(algorithm, 128, "wrong " + std::to_string(i), sealed, plain, log);
        EXPECT_NE(plain, original);
        rejected += ok ? 0 : 1;
    }
    EXPECT_GE(rejected, 30);
}

// The format reads Blowfish halves little-endian: one block through our cipher equals the
// reference cipher on the word-swapped block, and differs from it on the block as it is.
TEST(WholeDataCrypt, BlowfishReadsLittleEndianHalves) {
    auto cipher = WholeDataCipher::create(3, 128, "pw");
    ASSERT_TRUE(cipher);
    const Bytes key = wholedata::keyMaterial("pw", 16);
    gcry_cipher_hd_t h;
    ASSERT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_BLOWFISH, GCRY_CIPHER_MODE_ECB, 0), 0u);
    gcry_cipher_setkey(h, key.data(), 16);
    const std::uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::uint8_t ours[8], asIs[8], swapped[8] = {4, 3, 2, 1, 8, 7, 6, 5};
    std::memcpy(ours, block, 8);
    std::memcpy(asIs, block, 8);
    ASSERT_EQ(cipher->decrypt(ours, 8), 0);
    gcry_cipher_decrypt(h, asIs, 8, nullptr, 0);
    gcry_cipher_decrypt(h, swapped, 8, nullptr, 0);
    gcry_cipher_close(h);
    const std::uint8_t back[8] = {swapped[3], swapped[2], swapped[1], swapped[0],
                                  swapped[7], swapped[6], swapped[5], swapped[4]};
    EXPECT_EQ(0, std::memcmp(ours, back, 8));
    EXPECT_NE(0, std::memcmp(ours, asIs, 8));
}

// Files: one piece up to 800,000 encrypted bytes, more pieces beyond, with the CBC chain carried
// across them and only the last one unpadded.
TEST(WholeDataCrypt, DecryptFileAroundThePieceSize) {
    TempFolder dir;
    struct FileCase {
        int algorithm;
        std::size_t keyBytes;
        int bits;
        std::size_t plainSize;
        std::size_t sealedSize;
    };
    const FileCase cases[] = {
        {1, 32, 256, 799999, 800000},   {1, 16, 128, 800000, 800016},   {2, 24, 192, 799999, 800000},
        {2, 32, 256, 800000, 800016},   {3, 56, 448, 800000, 800008},   {3, 16, 128, 2500001, 2500008},
        {1, 24, 192, 1600000, 1600016}, {2, 16, 128, 1599999, 1600000}, {0, 0, 0, 900000, 900000},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE("algorithm " + std::to_string(c.algorithm) + ", " + std::to_string(c.plainSize) + " bytes");
        const Bytes original = patternBytes(c.plainSize);
        const Bytes sealed = wholedata::fileForm(c.algorithm, c.keyBytes, kPassword, original);
        ASSERT_EQ(sealed.size(), c.sealedSize);
        const std::string in = dir.write("sealed", std::string(sealed.begin(), sealed.end()));
        ProgressMonitor monitor(static_cast<std::int64_t>(sealed.size()));
        RecordingLog log;
        ASSERT_TRUE(WholeDataCrypt::decryptFile(c.algorithm, c.bits, kPassword.c_str(), in.c_str(),
                                                (dir / "plain").c_str(), &monitor, log))
            << log.dump();
        const std::string plain = readAll(dir / "plain");
        EXPECT_TRUE(plain == std::string(original.begin(), original.end()));
        EXPECT_EQ(monitor.currentPercent(), 100);
    }
}

TEST(WholeDataCrypt, DecryptFileFailures) {
    TempFolder dir;
    RecordingLog missing;
    EXPECT_FALSE(
        WholeDataCrypt::decryptFile(1, 256, "pw", (dir / "absent").c_str(), (dir / "out").c_str(), nullptr, missing));
    EXPECT_FALSE(missing.lines.empty());

    // A padding that cannot be one at the very end of a two-piece file.
    Bytes data = patternBytes(800016);
    data.back() = 0;
    wholedata::encryptBlocks(2, 32, "pw", data);
    const std::string in = dir.write("bad", std::string(data.begin(), data.end()));
    RecordingLog log;
    EXPECT_FALSE(WholeDataCrypt::decryptFile(2, 256, "pw", in.c_str(), (dir / "out").c_str(), nullptr, log));
    EXPECT_TRUE(log.has("E:Decryption failed")) << log.dump();
}

// Stored entry data is deflate of the encrypted deflate data: inflate, decryptFile, inflate.
TEST(WholeDataCrypt, EntryDataDecodesThroughInflateDecryptInflate) {
    TempFolder dir;
    Bytes content(1200000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>("tarnel "[i % 7] + i / 100000);
    for (int algorithm : {1, 2, 3}) {
        SCOPED_TRACE(algorithm);
        const Bytes stored = wholedata::entryData(algorithm, 16, kPassword, content);
        std::vector<std::uint8_t> sealed, plain;
        ASSERT_TRUE(zlibInflateRaw(stored.data(), stored.size(), sealed));
        const std::string in = dir.write("sealed", std::string(sealed.begin(), sealed.end()));
        LogNull log;
        ASSERT_TRUE(WholeDataCrypt::decryptFile(algorithm, 128, kPassword.c_str(), in.c_str(),
                                                (dir / "deflated").c_str(), nullptr, log));
        const std::string deflated = readAll(dir / "deflated");
        ASSERT_TRUE(zlibInflateRaw(reinterpret_cast<const std::uint8_t*>(deflated.data()), deflated.size(), plain));
        EXPECT_TRUE(plain == content);
    }
}

// The comment's bracketed text opens with the right password at the key length it was made
// with, under either marker, and with no other password.
TEST(WholeDataCrypt, CheckTextRecognisesThePassword) {
    for (const char* marker : {WholeDataCrypt::kMarkerSentence, WholeDataCrypt::kShortMarker}) {
        for (int bits : {128, 192, 256, 40, 448}) {
            SCOPED_TRACE(std::to_string(bits));
            const std::string comment = wholedata::checkComment(marker, "open sesame", bits / 8);
            ASSERT_EQ(comment.rfind(marker, 0), 0u);
            const std::size_t open = comment.find('['), close = comment.find(']');
            std::uint32_t length = 0;
            std::uint8_t* sealed = ContentCoding().decodeBase64(comment.substr(open + 1, close - open - 1).c_str(),
                                                                length);
            ASSERT_NE(sealed, nullptr);
            EXPECT_TRUE(WholeDataCrypt::checkTextMatches("open sesame", sealed, length, bits));
            EXPECT_FALSE(WholeDataCrypt::checkTextMatches("open sesame!", sealed, length, bits));
            EXPECT_FALSE(WholeDataCrypt::checkTextMatches("", sealed, length, bits));
            std::free(sealed);
        }
    }
}
