// Ring arithmetic of StreamingBuffer.
#include "pipeline/StreamingBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

StreamingBuffer::~StreamingBuffer() { delete[] m_data; }

bool StreamingBuffer::init(std::int32_t capacity) {
    delete[] m_data;
    m_data = nullptr;
    m_capacity = m_free = m_used = m_writeIndex = m_readIndex = 0;
    if (capacity <= 0) return true;
    m_data = new (std::nothrow) std::uint8_t[capacity];
    if (!m_data) return false;
    m_capacity = m_free = capacity;
    return true;
}

std::int32_t StreamingBuffer::advance(std::int32_t index, std::int32_t n) const {
    index += n;
    return index >= m_capacity ? index - m_capacity : index;
}

std::int32_t StreamingBuffer::write(const std::uint8_t* bytes, std::int32_t n) {
    n = std::min(n, m_free);
    if (n <= 0 || !bytes) return 0;
    if (m_used == 0) m_readIndex = m_writeIndex = 0;
    std::int32_t tail = std::min(n, m_capacity - m_writeIndex);
    std::memcpy(m_data + m_writeIndex, bytes, tail);
    std::memcpy(m_data, bytes + tail, n - tail);
    m_writeIndex = advance(m_writeIndex, n);
    m_used += n;
    m_free -= n;
    return n;
}

void StreamingBuffer::readRegions(std::uint8_t*& first, std::int32_t& firstLen, std::uint8_t*& second,
                                  std::int32_t& secondLen) {
    first = second = nullptr;
    firstLen = secondLen = 0;
    if (m_used == 0) return;
    first = m_data + m_readIndex;
    firstLen = std::min(m_used, m_capacity - m_readIndex);
    secondLen = m_used - firstLen;
    if (secondLen) second = m_data;
}

void StreamingBuffer::readRegions(const std::uint8_t*& first, std::int32_t& firstLen, const std::uint8_t*& second,
                                  std::int32_t& secondLen) const {
    std::uint8_t* f;
    std::uint8_t* s;
    const_cast<StreamingBuffer*>(this)->readRegions(f, firstLen, s, secondLen);
    first = f;
    second = s;
}

void StreamingBuffer::consume(std::int32_t n) {
    n = std::min(n, m_used);
    if (n <= 0) return;
    m_readIndex = advance(m_readIndex, n);
    m_used -= n;
    m_free += n;
}
