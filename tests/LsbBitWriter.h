// Test helper: builds least-significant-bit-first bit streams by hand, as deflate and the legacy
// ZIP methods store them. The last byte is padded with zero bits.
#pragma once
#include <cstdint>
#include <vector>

class LsbBitWriter {
public:
    // A numeric field of n bits, lowest bit first.
    LsbBitWriter& field(std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i) bit((value >> i) & 1);
        return *this;
    }
    // A prefix code of n bits, highest bit first.
    LsbBitWriter& code(std::uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) bit((value >> i) & 1);
        return *this;
    }
    // Zero bits up to the next byte boundary.
    LsbBitWriter& align() {
        m_bits = (m_bits + 7) / 8 * 8;
        return *this;
    }
    LsbBitWriter& byte(std::uint8_t b) { return field(b, 8); }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

private:
    void bit(std::uint32_t b) {
        if (m_bits % 8 == 0) m_bytes.push_back(0);
        m_bytes.back() = static_cast<std::uint8_t>(m_bytes.back() | (b << (m_bits % 8)));
        ++m_bits;
    }
    std::vector<std::uint8_t> m_bytes;
    int m_bits = 0;
};
