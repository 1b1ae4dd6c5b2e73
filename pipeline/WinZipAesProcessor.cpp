// Stepwise WinZip AES decryption with the authentication code held back.
#include "pipeline/WinZipAesProcessor.h"

#include <algorithm>
#include <cstring>

#include "crypto/WinZipAes.h"
#include "crypto/WinZipAesContext.h"
#include "log/LogBase.h"
#include "pipeline/DataSink.h"
#include "pipeline/DataSource.h"

namespace {
constexpr std::uint32_t kCode = WinZipAesContext::kCodeSize;
constexpr std::uint32_t kBufferSize = WinZipAes::kStreamStep + kCode;
}  // namespace

WinZipAesProcessor::WinZipAesProcessor(const StringBuffer& password, int strength, LogBase& log)
    : m_strength(strength), m_log(log) {
    m_password.setFrom(password);
}

WinZipAesProcessor::~WinZipAesProcessor() { m_password.wipe(); }

void WinZipAesProcessor::begin() {
    m_buffer.assign(kBufferSize, 0);
    m_held = m_readyAt = m_readyEnd = 0;
}

std::uint64_t WinZipAesProcessor::bytesPending() {
    return MemoryDataSink::bytesPending() + (m_done ? m_readyEnd - m_readyAt : m_held - m_readyAt);
}

int WinZipAesProcessor::step() {
    if (!sink() || !source()) return -1;
    if (!m_started) {
        m_started = true;
        m_context = WinZipAes::startFromSource(*source(), m_password, m_strength, m_wrongPassword, m_log);
        if (!m_context) return -1;
    }
    if (m_readyAt < m_readyEnd) return forwardReady() ? 0 : -1;
    if (m_done) {
        sink()->markEndOfInput();
        return 0;
    }
    return readMore() ? 0 : -1;
}

bool WinZipAesProcessor::forwardReady() {
    std::uint32_t space = 0;
    sink()->spaceAvailable(space);
    const std::uint32_t n = std::min(space, m_readyEnd - m_readyAt);
    if (n > 0 && !sink()->write(m_buffer.data() + m_readyAt, n)) return false;
    m_readyAt += n;
    if (m_readyAt == m_readyEnd && m_done) sink()->markEndOfInput();
    return true;
}

// Moves the held-back tail to the front, reads, and decrypts all but the last kCode bytes; at
// the end of the source those are the code, compared here.
bool WinZipAesProcessor::readMore() {
    m_held -= m_readyEnd;
    std::memmove(m_buffer.data(), m_buffer.data() + m_readyEnd, m_held);
    m_readyAt = m_readyEnd = 0;
    std::uint32_t got = 0;
    if (!WinZipAes::readUpTo(*source(), m_buffer.data() + m_held, kBufferSize - m_held, got, m_log))
        return m_log.logError("Failed to read data for AES decryption"), false;
    m_held += got;
    const bool ended = m_held < kBufferSize;  // readUpTo stops short only at the end
    if (ended && m_held < kCode)
        return m_authFailed = true, m_log.logError("WinZip AES authentication code mismatch-1"), false;
    m_readyEnd = m_held > kCode ? m_held - kCode : 0;
    m_context->decrypt(m_buffer.data(), m_readyEnd);
    if (!ended) return true;
    if (!m_context->codeMatches(m_buffer.data() + m_readyEnd))
        return m_authFailed = true, m_log.logError("WinZip AES authentication code mismatch-1"), false;
    m_done = true;
    if (m_readyEnd == 0) sink()->markEndOfInput();
    return true;
}
