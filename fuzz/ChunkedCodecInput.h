// Fuzz helper: a codec input over a block that hands out at most `chunk` bytes per read, so the
// streamed decoders cross their refill boundaries at every offset.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "codecs/InflateInput.h"

class ChunkedCodecInput : public InflateInput {
public:
    ChunkedCodecInput(const std::uint8_t* data, std::uint32_t size, std::uint32_t chunk)
        : m_data(data), m_size(size), m_chunk(chunk ? chunk : 1) {}
    bool read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count) override {
        count = std::min({capacity, m_chunk, m_size - m_pos});
        if (count) std::memcpy(buffer, m_data + m_pos, count);
        m_pos += count;
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::uint32_t m_size;
    std::uint32_t m_pos = 0;
    std::uint32_t m_chunk;
};
