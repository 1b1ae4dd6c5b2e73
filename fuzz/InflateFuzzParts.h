// Test doubles shared by the inflate and deflate64 fuzz targets: a sink that collects every
// window, a source that hands out input in small chunks, and the failure check.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/InflateInput.h"
#include "codecs/InflateOutput.h"
#include "codecs/InflateState2.h"
#include "log/LogNull.h"
#include "tests/ZlibRaw.h"

namespace inflatefuzz {

using Bytes = std::vector<std::uint8_t>;

class CollectSink : public InflateOutput {
public:
    bool spaceAvailable(std::uint32_t& count) override { return count = 32768, true; }
    bool write(const std::uint8_t* bytes, std::uint32_t count) override {
        data.insert(data.end(), bytes, bytes + count);
        return true;
    }
    Bytes data;
};

class ChunkedInput : public InflateInput {
public:
    ChunkedInput(const std::uint8_t* bytes, std::size_t size, std::size_t chunk)
        : m_bytes(bytes), m_size(size), m_chunk(chunk) {}
    bool read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count) override {
        std::size_t n = m_size - m_pos;
        if (n > m_chunk) n = m_chunk;
        if (n > capacity) n = capacity;
        std::memcpy(buffer, m_bytes + m_pos, n);
        m_pos += n;
        count = std::uint32_t(n);
        return true;
    }

private:
    const std::uint8_t* m_bytes;
    std::size_t m_size, m_chunk, m_pos = 0;
};

inline void check(bool condition) {
    if (!condition) std::abort();
}
}  // namespace inflatefuzz
