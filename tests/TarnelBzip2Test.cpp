// The bzip2 block of the code page tables: magic, stated size, and the three failures.
#include <gtest/gtest.h>

#include <bzlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/DataBuffer.h"
#include "codecs/TarnelBzip2.h"

namespace {

// Magic, the stated size, then a bzip2 stream of data made here with libbz2.
std::vector<std::uint8_t> block(const std::string& data, std::uint32_t stated) {
    std::vector<char> stream(data.size() + data.size() / 100 + 600);
    unsigned int n = static_cast<unsigned int>(stream.size());
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(stream.data(), &n, const_cast<char*>(data.data()),
                                       static_cast<unsigned int>(data.size()), 9, 0, 0),
              BZ_OK);
    std::vector<std::uint8_t> out(8 + n);
    const std::uint32_t header[2] = {TarnelBzip2::kMagic, stated};
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(header[i / 4] >> (8 * (i % 4)));
    std::copy(stream.begin(), stream.begin() + n, out.begin() + 8);
    return out;
}

bool unpack(const std::vector<std::uint8_t>& in, DataBuffer& out) {
    DataBuffer input;
    input.append(in.data(), static_cast<std::uint32_t>(in.size()));
    return TarnelBzip2::decompress(input, out);
}

const std::string kText(5000, 'x');

}  // namespace

TEST(TarnelBzip2, UnpacksToTheStatedSize) {
    DataBuffer out;
    ASSERT_TRUE(unpack(block(kText, 5000), out));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), out.size()), kText);
    DataBuffer empty;
    EXPECT_TRUE(unpack({}, empty));
    EXPECT_EQ(empty.size(), 0u);
}

TEST(TarnelBzip2, Failures) {
    DataBuffer untouched;
    untouched.append("keep", 4);
    std::vector<std::uint8_t> wrongMagic = block(kText, 5000);
    wrongMagic[0] = 0xE2;
    EXPECT_FALSE(unpack(wrongMagic, untouched));
    EXPECT_EQ(untouched.size(), 4u);

    DataBuffer tooSmall;  // more data than the stated size + 20 bytes of room
    EXPECT_FALSE(unpack(block(kText, 100), tooSmall));
    EXPECT_EQ(tooSmall.size(), 120u);

    std::vector<std::uint8_t> corrupt = block(kText, 5000);
    corrupt[corrupt.size() / 2] ^= 0x55;
    DataBuffer broken;
    EXPECT_FALSE(unpack(corrupt, broken));
    EXPECT_EQ(broken.size(), 0u);

    DataBuffer cut;  // header only
    EXPECT_FALSE(unpack({0xE1, 0xA7, 0x94}, cut));
}
