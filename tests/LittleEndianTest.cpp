// The unaligned little-endian loads and stores: low byte first, at any address, touching only
// the word's own bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "base/LittleEndian.h"

TEST(LittleEndian, LoadsAndStoresAtEveryAlignment) {
    const std::array<std::uint8_t, 16> bytes = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                                0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    for (std::size_t at = 0; at < 8; ++at) {
        SCOPED_TRACE(at);
        const auto b = static_cast<std::uint64_t>(at);
        const std::uint64_t want = 0x0706050403020100ULL + b * 0x0101010101010101ULL;
        EXPECT_EQ(loadLe16(bytes.data() + at), static_cast<std::uint16_t>(want));
        EXPECT_EQ(loadLe32(bytes.data() + at), static_cast<std::uint32_t>(want));
        EXPECT_EQ(loadLe64(bytes.data() + at), want);

        std::array<std::uint8_t, 16> out{};
        out.fill(0xEE);
        storeLe64(out.data() + at, want);
        EXPECT_EQ(0, std::memcmp(out.data() + at, bytes.data() + at, 8));
        storeLe32(out.data() + at, 0xA3A2A1A0u);
        storeLe16(out.data() + at + 4, 0xB1B0u);
        const std::array<std::uint8_t, 6> low = {0xA0, 0xA1, 0xA2, 0xA3, 0xB0, 0xB1};
        EXPECT_EQ(0, std::memcmp(out.data() + at, low.data(), low.size()));
        EXPECT_EQ(out[at + 6], bytes[at + 6]);
        EXPECT_EQ(out[at + 8], 0xEE);
        if (at > 0) {
            EXPECT_EQ(out[at - 1], 0xEE);
        }
    }
}
