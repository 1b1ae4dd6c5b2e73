// The byte limit in front of an Output.
#include "pipeline/BoundedOutput.h"

std::uint32_t BoundedOutput::write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) {
    return write64(bytes, itemSize, count, log);
}

std::uint32_t BoundedOutput::write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) {
    if (!bytes || itemSize == 0 || count == 0) return 0;
    const std::uint64_t total = itemSize * count;
    if (m_exceeded || total > m_limit - m_taken) {
        m_exceeded = true;
        return 0;
    }
    const std::uint32_t written = m_inner.write64(bytes, itemSize, count, log);
    m_taken += itemSize * written;
    return written;
}
