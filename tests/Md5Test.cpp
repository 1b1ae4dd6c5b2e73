// Md5: the RFC 1321 test suite, piecewise feeding and agreement with libgcrypt.
#include <gtest/gtest.h>

#include <gcrypt.h>

#include <random>
#include <string>

#include "HexText.h"
#include "base/DataBuffer.h"
#include "base/Md5.h"
#include "base/StringBuffer.h"

namespace {

std::string md5Hex(const std::string& text) {
    std::uint8_t digest[16];
    Md5::digestString(StringBuffer(text.c_str()), digest);
    return toHex(digest, 16);
}

}  // namespace

TEST(Md5, Rfc1321TestSuite) {
    const char* suite[][2] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (auto& c : suite) EXPECT_EQ(md5Hex(c[0]), c[1]) << c[0];
}

// Every split of the input and every length around the padding boundary agree with libgcrypt.
TEST(Md5, PiecewiseFeedingMatchesLibgcrypt) {
    ASSERT_NE(gcry_check_version(nullptr), nullptr);
    std::mt19937 gen(1321);
    std::string data(300, '\0');
    for (char& c : data) c = static_cast<char>(gen());
    for (std::size_t n = 0; n <= data.size(); ++n) {
        std::uint8_t expected[16];
        gcry_md_hash_buffer(GCRY_MD_MD5, expected, data.data(), n);
        DataBuffer whole;
        whole.append(data.data(), static_cast<std::uint32_t>(n));
        std::uint8_t digest[16];
        Md5::digestData(whole, digest);
        ASSERT_EQ(toHex(digest, 16), toHex(expected, 16)) << n;
        Md5 pieces;
        for (std::size_t at = 0; at < n;) {
            std::size_t step = 1 + gen() % 70;
            pieces.update(data.data() + at, std::min(step, n - at));
            at += step;
        }
        pieces.finish(digest);
        ASSERT_EQ(toHex(digest, 16), toHex(expected, 16)) << n;
    }
}
