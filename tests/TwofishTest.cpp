// Twofish against the published known-answer values for all three key sizes, against
// libgcrypt's Twofish where it has the key size, and CBC decryption piece by piece.
#include <gcrypt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "HexText.h"
#include "crypto/Twofish.h"

namespace {
std::vector<std::uint8_t> encrypt(const std::vector<std::uint8_t>& key, const std::vector<std::uint8_t>& plain) {
    Twofish tf;
    EXPECT_TRUE(tf.setKey(key.data(), static_cast<int>(key.size())));
    std::vector<std::uint8_t> out(16);
    tf.encryptBlock(plain.data(), out.data());
    std::vector<std::uint8_t> back(16);
    tf.decryptBlock(out.data(), back.data());
    EXPECT_EQ(back, plain);
    return out;
}
}  // namespace

TEST(Twofish, PublishedKnownAnswers) {
    struct Case {
        const char* key;
        const char* plain;
        const char* cipher;
    } cases[] = {
        {"00000000000000000000000000000000", "00000000000000000000000000000000", "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
        {"000000000000000000000000000000000000000000000000", "00000000000000000000000000000000",
         "EFA71F788965BD4453F860178FC19101"},
        {"0000000000000000000000000000000000000000000000000000000000000000", "00000000000000000000000000000000",
         "57FF739D4DC92C1BD7FC01700CC8216F"},
        {"0123456789ABCDEFFEDCBA98765432100011223344556677", "00000000000000000000000000000000",
         "CFD1D2E5A9BE9CDF501F13B892BD2248"},
        {"0123456789ABCDEFFEDCBA987654321000112233445566778899AABBCCDDEEFF", "00000000000000000000000000000000",
         "37527BE0052334B89F0CFCCAE87CFA20"},
        {"9F589F5CF6122C32B6BFEC2F2AE8C35A", "D491DB16E7B1C39E86CB086B789F5419", "019F9809DE1711858FAAC3A3BA20FBC3"},
        {"EFA71F788965BD4453F860178FC191010000000000000000", "88B2B2706B105E36B446BB6D731A1E88",
         "39DA69D6BA4997D585B6DC073CA341B2"},
        {"57FF739D4DC92C1BD7FC01700CC8216F00000000000000000000000000000000", "D43BB7556EA32E46F2A282B7D45B4E0D",
         "90AFE91BB288544F2C32DC239B2635E6"},
    };
    for (const Case& c : cases) EXPECT_EQ(encrypt(fromHex(c.key), fromHex(c.plain)), fromHex(c.cipher)) << c.key;
}

// The published iterated test: 49 encryptions, each keyed by the previous plaintext followed by
// the start of the previous key, each encrypting the previous ciphertext.
TEST(Twofish, PublishedIteratedValues) {
    struct Case {
        int keyBytes;
        const char* last;
    } cases[] = {
        {16, "5D9D4EEFFA9151575524F115815A12E0"},
        {24, "E75449212BEEF9F4A390BD860A640941"},
        {32, "37FE26FF1CF66175F5DDF4C33B97A205"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> key(static_cast<std::size_t>(c.keyBytes)), plain(16), cipher;
        for (int i = 1; i <= 49; ++i) {
            cipher = encrypt(key, plain);
            std::vector<std::uint8_t> next(plain);
            next.insert(next.end(), key.begin(), key.end() - 16);
            key = next;
            plain = cipher;
        }
        EXPECT_EQ(cipher, fromHex(c.last)) << c.keyBytes;
    }
}

// libgcrypt has Twofish with 128 and 256-bit keys: its CBC ciphertext of random data must come
// back through our CBC decryption, fed in uneven pieces.
TEST(Twofish, CbcDecryptsWhatLibgcryptEncrypts) {
    ASSERT_TRUE(gcry_check_version(nullptr));
    std::vector<std::uint8_t> key(32), iv(16), plain(16 * 37);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i * 29 + 7);
    for (std::size_t i = 0; i < iv.size(); ++i) iv[i] = static_cast<std::uint8_t>(0xA5 ^ i);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    for (int algo : {GCRY_CIPHER_TWOFISH128, GCRY_CIPHER_TWOFISH}) {
        std::size_t keyBytes = gcry_cipher_get_algo_keylen(algo);
        gcry_cipher_hd_t hd;
        ASSERT_EQ(gcry_cipher_open(&hd, algo, GCRY_CIPHER_MODE_CBC, 0), 0u);
        ASSERT_EQ(gcry_cipher_setkey(hd, key.data(), keyBytes), 0u);
        ASSERT_EQ(gcry_cipher_setiv(hd, iv.data(), iv.size()), 0u);
        std::vector<std::uint8_t> data(plain.size());
        ASSERT_EQ(gcry_cipher_encrypt(hd, data.data(), data.size(), plain.data(), plain.size()), 0u);
        gcry_cipher_close(hd);

        Twofish tf;
        ASSERT_TRUE(tf.setKey(key.data(), static_cast<int>(keyBytes)));
        tf.setIv(iv.data());
        std::uint32_t pieces[] = {16, 0, 160, 48, 368};
        std::uint32_t at = 0;
        for (std::uint32_t n : pieces) {
            ASSERT_TRUE(tf.decryptCbc(data.data() + at, n));
            at += n;
        }
        ASSERT_EQ(at, data.size());
        EXPECT_EQ(data, plain) << keyBytes;
    }
}

TEST(Twofish, RefusesBadKeysAndPartialBlocks) {
    std::uint8_t key[32] = {}, data[32] = {};
    Twofish tf;
    for (int n : {0, 8, 15, 17, 20, 31, 33}) EXPECT_FALSE(tf.setKey(key, n)) << n;
    EXPECT_FALSE(tf.decryptCbc(data, 16)) << "unkeyed";
    ASSERT_TRUE(tf.setKey(key, 24));
    EXPECT_FALSE(tf.decryptCbc(data, 17));
    EXPECT_TRUE(tf.decryptCbc(data, 32));
}
