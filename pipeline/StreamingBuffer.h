// A fixed-capacity ring of bytes. Writes take what fits; readers see the held bytes as at most two
// contiguous regions (the second starts at the beginning of the storage) and then consume them.
#pragma once
#include <cstdint>

class StreamingBuffer {
public:
    StreamingBuffer() = default;
    StreamingBuffer(const StreamingBuffer&) = delete;
    StreamingBuffer& operator=(const StreamingBuffer&) = delete;
    ~StreamingBuffer();

    // Drops any storage and content; allocates capacity bytes (none for 0 or less).
    bool init(std::int32_t capacity);

    // Copies min(n, free) bytes in and returns that count.
    std::int32_t write(const std::uint8_t* bytes, std::int32_t n);
    // The held bytes in order. Pointers stay valid until the next write, consume or init.
    void readRegions(const std::uint8_t*& first, std::int32_t& firstLen, const std::uint8_t*& second,
                     std::int32_t& secondLen) const;
    // Writable view of the same regions, for stages that transform bytes in place.
    void readRegions(std::uint8_t*& first, std::int32_t& firstLen, std::uint8_t*& second, std::int32_t& secondLen);
    // Drops min(n, used) bytes from the front.
    void consume(std::int32_t n);

    std::int32_t capacity() const { return m_capacity; }
    std::int32_t freeBytes() const { return m_free; }
    std::int32_t usedBytes() const { return m_used; }

private:
    std::int32_t advance(std::int32_t index, std::int32_t n) const;

    // Invariant: m_free + m_used == m_capacity; the used bytes start at m_readIndex and wrap.
    std::uint8_t* m_data = nullptr;
    std::int32_t m_capacity = 0;
    std::int32_t m_free = 0;
    std::int32_t m_writeIndex = 0;
    std::int32_t m_used = 0;
    std::int32_t m_readIndex = 0;
};
