// DataSource behind the inflate engine's input.
#include "pipeline/InflateSourceAdapter.h"

#include "pipeline/DataSource.h"

bool InflateSourceAdapter::read(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& count) {
    count = 0;
    if (m_source.endOfStream()) return true;
    return m_source.getNextChunk(buffer, capacity, count, nullptr);
}
