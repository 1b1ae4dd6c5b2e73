// Reading, seeking and scanning over a borrowed memory block.
#include "pipeline/MemoryDataSource.h"

#include <algorithm>
#include <cstring>

#include "base/LittleEndian.h"

void MemoryDataSource::initMemory(const std::uint8_t* data, std::uint32_t size) {
    m_data = data;
    m_size = data ? size : 0;
    m_position = 0;
}

std::uint32_t MemoryDataSource::copyOut(std::uint8_t* buffer, std::uint32_t capacity) const {
    if (!buffer) return 0;
    std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(capacity, m_size - m_position));
    if (n) std::memcpy(buffer, m_data + m_position, n);
    return n;
}

bool MemoryDataSource::getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    count = copyOut(buffer, capacity);
    if (count == 0) return false;
    m_position += count;
    return countDelivered(count, log);
}

bool MemoryDataSource::peekNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase*) {
    count = copyOut(buffer, capacity);
    return count > 0;
}

bool MemoryDataSource::seekAbsolute(std::uint64_t position, LogBase*) {
    m_position = std::min(position, m_size);
    return true;
}

bool MemoryDataSource::seekRelative(std::int64_t delta, LogBase*) {
    if (delta < 0) m_position -= std::min(m_position, static_cast<std::uint64_t>(-(delta + 1)) + 1);
    else m_position += std::min(m_size - m_position, static_cast<std::uint64_t>(delta));
    return true;
}

bool MemoryDataSource::skipBytes(std::uint64_t count, LogBase* log) {
    return seekRelative(static_cast<std::int64_t>(std::min<std::uint64_t>(count, INT64_MAX)), log);
}

bool MemoryDataSource::scanForSignature(std::uint32_t signature, std::uint64_t& skipped, LogBase*) {
    skipped = 0;
    for (; m_size - m_position >= 4; ++m_position, ++skipped) {
        if (loadLe32(m_data + m_position) != signature) continue;
        m_position += 4;
        return true;
    }
    return false;
}
