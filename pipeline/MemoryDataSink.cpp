// Ring-buffer storage behind MemoryDataSink and every processor.
#include "pipeline/MemoryDataSink.h"

#include <algorithm>
#include <climits>

bool MemoryDataSink::write(const std::uint8_t* bytes, std::uint32_t n) {
    if (!bytes || n == 0) return true;
    feedCrc(bytes, n);
    std::int32_t want = static_cast<std::int32_t>(std::min<std::uint32_t>(n, INT32_MAX));
    std::int32_t stored = m_ring.write(bytes, want);
    countTaken(static_cast<std::uint32_t>(stored));
    return static_cast<std::uint32_t>(stored) == n;
}

std::uint64_t MemoryDataSink::bytesPending() { return static_cast<std::uint64_t>(m_ring.usedBytes()); }

bool MemoryDataSink::spaceAvailable(std::uint32_t& count) {
    count = static_cast<std::uint32_t>(m_ring.freeBytes());
    return count > 0;
}
