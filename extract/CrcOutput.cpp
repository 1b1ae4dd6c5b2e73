// CRC-summing Output wrapper: only the items the inner Output accepted are summed.
#include "extract/CrcOutput.h"

#include "base/StringBuffer.h"

std::uint32_t CrcOutput::write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) {
    return write64(bytes, itemSize, count, log);
}

std::uint32_t CrcOutput::write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) {
    std::uint32_t taken = m_inner.write64(bytes, itemSize, count, log);
    if (taken == 0) return 0;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::uint64_t n = itemSize * taken;
    while (n > 0) {  // ZipCRC takes signed 32-bit counts
        auto part = static_cast<std::int32_t>(n > 0x40000000 ? 0x40000000 : n);
        m_crc.update(p, part);
        p += part;
        n -= static_cast<std::uint64_t>(part);
    }
    return taken;
}
