// The Output-backed sink.
#include "pipeline/FileDataSink.h"

#include "log/LogNull.h"
#include "pipeline/Output.h"

bool FileDataSink::write(const std::uint8_t* bytes, std::uint32_t n) {
    if (!m_output) return false;
    if (n == 0) return true;
    if (!bytes) return false;
    feedCrc(bytes, n);
    LogNull nullLog;
    if (m_output->write(bytes, 1, n, m_log ? m_log : &nullLog) == n) {
        countTaken(n);
        return true;
    }
    m_writeFailed = true;
    m_output = nullptr;
    return false;
}

// No room at all once a write has failed, so that producers stop instead of decoding on.
bool FileDataSink::spaceAvailable(std::uint32_t& count) {
    count = m_writeFailed ? 0 : 999999999;
    return !m_writeFailed;
}
