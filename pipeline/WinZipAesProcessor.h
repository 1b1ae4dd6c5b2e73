// A first pipeline stage that decrypts and authenticates a WinZip AES entry read from its source
// (positioned at the stored data and limited to it): salt and verifier first, then the ciphertext
// in steps, always holding back the last 10 bytes read, which may be the authentication code.
// When the source ends, the code is compared; a mismatch fails that step, so a run or a
// ProcessorSource over this stage fails before its consumer sees the end of the data. What was
// already passed on must then be discarded by the caller.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "base/StringBuffer.h"
#include "pipeline/DataProcessor.h"

class LogBase;
class WinZipAesContext;

class WinZipAesProcessor : public DataProcessor {
public:
    // strength as WinZipAes takes it. log (not owned) receives the decryption's messages.
    WinZipAesProcessor(const StringBuffer& password, int strength, LogBase& log);
    ~WinZipAesProcessor() override;

    const char* name() const override { return "WinZipAesProcessor"; }
    void begin() override;
    int step() override;
    std::uint64_t bytesPending() override;

    bool wrongPassword() const { return m_wrongPassword; }
    bool authFailed() const { return m_authFailed; }

private:
    bool readMore();
    bool forwardReady();

    StringBuffer m_password;
    int m_strength;
    LogBase& m_log;
    std::unique_ptr<WinZipAesContext> m_context;
    // Ciphertext read and not yet decrypted is [m_readyEnd, m_held); decrypted bytes waiting for
    // the sink are [m_readyAt, m_readyEnd).
    std::vector<std::uint8_t> m_buffer;
    std::uint32_t m_held = 0;
    std::uint32_t m_readyAt = 0;
    std::uint32_t m_readyEnd = 0;
    bool m_started = false;
    bool m_done = false;  // the code has been checked
    bool m_wrongPassword = false;
    bool m_authFailed = false;
};
