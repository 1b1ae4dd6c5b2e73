// Least-significant-bit-first reader shared by the legacy decoders, over a whole input block or
// pulling its input in chunks from an InflateInput. Reading past the end yields zero bits and
// latches the overrun flag, so a decoder can finish a symbol and then decide whether that symbol
// was really present in the input.
#pragma once
#include <cstdint>
#include <vector>

class InflateInput;

class LegacyBitReader {
public:
    // The block must outlive the reader.
    LegacyBitReader(const std::uint8_t* data, std::uint32_t size);
    // Pulls chunks of up to kChunk bytes from input (not owned) as the bits are needed.
    explicit LegacyBitReader(InflateInput& input);

    static constexpr std::uint32_t kChunk = 65536;

    // The next n bits (n <= 16), the first bit read being the lowest.
    std::uint32_t bits(int n) {
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

    // Whether at least n (<= 16) more bits come from the input itself.
    bool has(int n) {
        if (m_count < n) refill();
        return m_count >= n;
    }

    // Latched once any read needed bits beyond the end of the input.
    bool overrun() const { return m_overrun; }
    // The input reported a failure (a failed read or an abort) rather than its end.
    bool inputFailed() const { return m_inputFailed; }

private:
    void refill();
    bool fetch();

    InflateInput* m_input = nullptr;  // null for a whole block
    std::vector<std::uint8_t> m_chunk;
    const std::uint8_t* m_data;
    std::uint32_t m_size;
    std::uint32_t m_pos = 0;
    std::uint64_t m_buffer = 0;  // unread bits, next bit lowest
    int m_count = 0;             // number of valid bits in m_buffer
    bool m_overrun = false;
    bool m_inputEnded = false;
    bool m_inputFailed = false;
};
