// Iterates the blocks of a ZIP extra field (16-bit ID, 16-bit length, data). A block whose
// header or data would run past the field ends the iteration, so data pointers are always in range.
#pragma once
#include <cstdint>

class ZipExtraField {
public:
    ZipExtraField(const std::uint8_t* field, std::uint32_t length) : m_field(field), m_length(length) {}

    // The next whole block, or false when none is left.
    bool next(std::uint16_t& id, const std::uint8_t*& data, std::uint16_t& dataLength);

    // False when a block's length runs past the end of the field, which unzip -t reports as
    // damage; up to three bytes of padding after the last block are no block.
    static bool isWellFormed(const std::uint8_t* field, std::uint32_t length);

    static constexpr std::uint16_t kZip64 = 0x0001;
    static constexpr std::uint16_t kStrongEncryption = 0x0017;
    static constexpr std::uint16_t kUnicodePath = 0x7075;
    static constexpr std::uint16_t kWinZipAes = 0x9901;

private:
    const std::uint8_t* m_field;
    std::uint32_t m_length;
    std::uint32_t m_used = 0;  // header plus data of the blocks returned so far
};
