// Chunks of an archive range through the windowed archive reader.
#include "zip/MemDataObjSource.h"

#include <algorithm>

#include "zip/MemoryData.h"

void MemDataObjSource::initRange(MemoryData* data, std::uint64_t start, std::uint64_t count) {
    m_data = data;
    m_start = m_offset = start;
    m_remaining = count;
}

bool MemDataObjSource::getNextChunk(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count, LogBase* log) {
    count = 0;
    if (!buffer || !m_data) return false;
    std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(capacity, m_remaining));
    if (want == 0 || !m_data->copyOut(m_offset, buffer, want, count)) return false;
    m_offset += count;
    m_remaining -= count;
    return countDelivered(count, log);
}
