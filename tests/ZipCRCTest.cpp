// ZipCRC against the byte-at-a-time rule and zlib's crc32, for both kernels and every split.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "CrcReference.h"
#include "codecs/ZipCRC.h"
#include "codecs/ZipCRCFold.h"

namespace {

std::vector<std::uint8_t> randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(gen());
    return v;
}

std::uint32_t zlibCrc(const std::uint8_t* p, std::size_t n) {
    return static_cast<std::uint32_t>(crc32(0L, p, static_cast<uInt>(n)));
}

}  // namespace

TEST(ZipCRC, KnownValuesAndTable) {
    EXPECT_EQ(ZipCRC::crcOfBuffer("", 0), 0u);
    EXPECT_EQ(ZipCRC::crcOfBuffer("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(ZipCRC::table()[1], 0x77073096u);
    EXPECT_EQ(ZipCRC::table()[255], 0x2D02EF8Du);

    std::uint16_t flag = 7;
    EXPECT_EQ(ZipCRC::crcOfBuffer("abc", 3, &flag), 0x352441C2u);
    EXPECT_EQ(flag, 0);
    const std::uint8_t binary[] = {0, 1, 2};
    ZipCRC::crcOfBuffer(binary, 3, &flag);
    EXPECT_EQ(flag, 1);
    flag = 7;
    EXPECT_EQ(ZipCRC::crcOfBuffer(binary, 0, &flag), 0u);
    EXPECT_EQ(flag, 7) << "no bytes leaves the flag alone";
}

TEST(ZipCRC, TextFlagThreshold) {
    // Binary when floor(text / 4) < binary; text bytes are 7..127, built from both ends of that range.
    struct Case {
        int text, binary, flag;
    } cases[] = {{4, 1, 0}, {3, 1, 1}, {8, 2, 0}, {7, 2, 1}, {9, 0, 0}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> v;
        for (int i = 0; i < c.text; ++i) v.push_back(i % 2 ? 7 : 127);
        for (int i = 0; i < c.binary; ++i) v.push_back(i % 2 ? 6 : 128);
        std::uint16_t flag = 9;
        ZipCRC::crcOfBuffer(v.data(), static_cast<int>(v.size()), &flag);
        EXPECT_EQ(flag, c.flag) << c.text << " text, " << c.binary << " binary";
    }
}

TEST(ZipCRC, RunningValue) {
    ZipCRC crc;
    crc.reset();
    EXPECT_EQ(crc.finalValue(), 0u);
    crc.update("1234", 4);
    crc.update(nullptr, 5);
    crc.update("xyz", 0);
    crc.update("xyz", -3);
    EXPECT_EQ(crc.finalValue(), crc.finalValue());
    crc.update("56789", 5);
    EXPECT_EQ(crc.finalValue(), 0xCBF43926u);
    crc.reset();
    crc.update("abc", 3);
    EXPECT_EQ(crc.finalValue(), 0x352441C2u);
}

// Every length 0..300 at every alignment 0..15 through both kernels, from a non-trivial register.
TEST(ZipCRC, KernelsMatchBitwiseRule) {
    const auto data = randomBytes(300 + 16, 1);
    for (std::size_t off = 0; off < 16; ++off)
        for (std::size_t len = 0; len <= 300; ++len) {
            const std::uint8_t* p = data.data() + off;
            std::uint32_t want = bitwiseCrcState(0x12345678u, p, len);
            ASSERT_EQ(zipCRCSlice16(0x12345678u, p, len), want) << off << "/" << len;
            if (zipCRCHasClmul()) {
                ASSERT_EQ(zipCRCFoldClmul(0x12345678u, p, len), want) << off << "/" << len;
            }
            ASSERT_EQ(~ZipCRC::updateState(0xFFFFFFFFu, p, len), zlibCrc(p, len));
        }
}

TEST(ZipCRC, LargeBuffersMatchZlib) {
    const auto data = randomBytes((1 << 20) + 77, 2);
    for (std::size_t len : {1023u, 4096u + 13u, 65537u, (1u << 20) + 77u}) {
        for (std::size_t off : {0u, 3u}) {
            const std::uint8_t* p = data.data() + off;
            std::size_t n = len - off;
            std::uint32_t want = zlibCrc(p, n);
            EXPECT_EQ(~zipCRCSlice16(0xFFFFFFFFu, p, n), want) << len;
            if (zipCRCHasClmul()) {
                EXPECT_EQ(~zipCRCFoldClmul(0xFFFFFFFFu, p, n), want) << len;
            }
        }
    }
}

// Random splits, including pieces that end in the middle of a fold block, give the one-shot CRC.
TEST(ZipCRC, AnySplitGivesSameValue) {
    const auto data = randomBytes(200000, 3);
    const std::uint32_t want = zlibCrc(data.data(), data.size());
    std::mt19937 gen(4);
    for (int round = 0; round < 200; ++round) {
        ZipCRC crc;
        crc.reset();
        std::size_t pos = 0;
        const std::size_t maxPiece = round % 2 ? 300 : 9000;
        while (pos < data.size()) {
            std::size_t piece = std::min<std::size_t>(gen() % (maxPiece + 1), data.size() - pos);
            crc.update(data.data() + pos, static_cast<std::int32_t>(piece));
            pos += piece;
        }
        ASSERT_EQ(crc.finalValue(), want) << "round " << round;
    }
    EXPECT_EQ(ZipCRC::crcOfBuffer(data.data(), static_cast<int>(data.size())), want);
}
