// Write-failure recording Output wrapper.
#include "extract/CheckedOutput.h"

#include "base/PlatformFiles.h"
#include "base/StringBuffer.h"

std::uint32_t CheckedOutput::write(const void* bytes, std::uint32_t itemSize, std::uint32_t count, LogBase* log) {
    return write64(bytes, itemSize, count, log);
}

std::uint32_t CheckedOutput::write64(const void* bytes, std::uint64_t itemSize, std::uint32_t count, LogBase* log) {
    platformSetLastErrno(0);
    const std::uint32_t taken = m_inner.write64(bytes, itemSize, count, log);
    const bool asked = bytes != nullptr && itemSize != 0 && count != 0;
    if (asked && taken != count && !m_failed) {
        m_failed = true;
        m_error = platformLastErrno();
    }
    return taken;
}
