// The memory sink.
#include "pipeline/DataBufferSink.h"

#include "base/DataBuffer.h"

bool DataBufferSink::write(const std::uint8_t* bytes, std::uint32_t n) {
    if (!m_buffer) return false;
    if (!bytes || n == 0) return true;
    feedCrc(bytes, n);
    return m_buffer->append(bytes, n);
}

bool DataBufferSink::spaceAvailable(std::uint32_t& count) {
    count = 2147483647;
    return true;
}
