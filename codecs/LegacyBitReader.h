// Least-significant-bit-first reader over a whole input block, shared by the legacy decoders.
// Reading past the end yields zero bits and latches the overrun flag, so a decoder can finish a
// symbol and then decide whether that symbol was really present in the input.
#pragma once
#include <cstdint>

class LegacyBitReader {
public:
    LegacyBitReader(const std::uint8_t* data, std::uint32_t size);

    // The next n bits (n <= 16), the first bit read being the lowest.
    std::uint32_t bits(int n)
    {
        if (m_count < n) refill();
        std::uint32_t v = static_cast<std::uint32_t>(m_buffer) & ((1u << n) - 1);
        if (m_count < n) {
            m_overrun = true;
            m_buffer = 0;
            m_count = 0;
            return v;
        }
        m_buffer >>= n;
        m_count -= n;
        return v;
    }

    // Whether at least n more bits come from the input itself.
    bool has(int n) const { return m_count + 8 * static_cast<std::uint64_t>(m_size - m_pos) >= static_cast<std::uint64_t>(n); }

    // Latched once any read needed bits beyond the end of the input.
    bool overrun() const { return m_overrun; }

private:
    void refill();

    const std::uint8_t* m_data;
    std::uint32_t m_size;
    std::uint32_t m_pos = 0;
    std::uint64_t m_buffer = 0;  // unread bits, next bit lowest
    int m_count = 0;             // number of valid bits in m_buffer
    bool m_overrun = false;
};
