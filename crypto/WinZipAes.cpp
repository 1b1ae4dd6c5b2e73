// The two WinZip AES entry points: streaming from a DataSource into an Output, and in memory.
#include "crypto/WinZipAes.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/DataBuffer.h"
#include "base/StringBuffer.h"
#include "crypto/WinZipAesContext.h"
#include "log/LogBase.h"
#include "log/LogReject.h"
#include "pipeline/DataSource.h"
#include "pipeline/Output.h"

namespace {
constexpr std::uint32_t kCode = WinZipAesContext::kCodeSize;
constexpr std::uint32_t kVerifier = WinZipAesContext::kVerifierSize;
// Bytes decrypted and written per step. Large steps keep the per-call costs of the source, the
// output and libgcrypt small against the work itself; the buffer holds a step plus a margin
// that is never decrypted until more data proves it is not the authentication code.
constexpr std::uint32_t kStep = WinZipAes::kStreamStep;
constexpr std::uint32_t kBufferSize = kStep + 3 * kCode;

bool initContext(WinZipAesContext& context, const StringBuffer& password, std::uint32_t keyBytes,
                 const std::uint8_t* salt, LogBase& log) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(password.text());
    const auto length = static_cast<std::uint32_t>(password.length());
    if (context.init(bytes, length, keyBytes, salt)) return true;
    return rejectWith(log, "WinZip AES decrypt initialization failed");
}

bool decryptAndWrite(WinZipAesContext& context, std::uint8_t* bytes, std::uint32_t n, Output& output, LogBase& log) {
    context.decrypt(bytes, n);
    if (n == 0 || output.write(bytes, 1, n, &log) == n) return true;
    return rejectWith(log, "Failed to write data to output.");
}

// Decrypts everything after the verifier, holding back the last 10 bytes: the code.
bool streamCiphertext(DataSource& source, WinZipAesContext& context, Output& output, bool& authFailed, LogBase& log) {
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kBufferSize]);
    if (!buffer) return rejectWith(log, "Out of memory");
    std::uint32_t held = 0;
    for (;;) {
        std::uint32_t got = 0;
        if (!WinZipAes::readUpTo(source, buffer.get() + held, kBufferSize - held, got, log))
            return rejectWith(log, "Failed to read data for AES decryption");
        held += got;
        if (held < kBufferSize) break;  // the source has ended
        if (!decryptAndWrite(context, buffer.get(), kStep, output, log)) return false;
        held -= kStep;
        std::memmove(buffer.get(), buffer.get() + kStep, held);
    }
    if (held >= kCode) {
        if (!decryptAndWrite(context, buffer.get(), held - kCode, output, log)) return false;
        if (context.codeMatches(buffer.get() + held - kCode)) return true;
    }
    authFailed = true;
    return rejectWith(log, "WinZip AES authentication code mismatch-1");
}
}  // namespace

bool WinZipAes::readUpTo(DataSource& source, std::uint8_t* buffer, std::uint32_t n, std::uint32_t& got, LogBase& log) {
    got = 0;
    while (got < n && !source.endOfStream()) {
        std::uint32_t count = 0;
        if (!source.getNextChunk(buffer + got, n - got, count, &log)) return false;
        if (count == 0) break;  // a source that delivers nothing has ended, whatever it says
        got += count;
    }
    return true;
}

std::unique_ptr<WinZipAesContext> WinZipAes::startFromSource(DataSource& source, const StringBuffer& password,
                                                             int strength, bool& wrongPassword, LogBase& log) {
    wrongPassword = false;
    const std::uint32_t keyBytes = WinZipAesContext::keyBytesFor(strength);
    std::uint8_t salt[16];
    const std::uint32_t saltSize = WinZipAesContext::saltSizeFor(keyBytes ? keyBytes : 16);
    std::uint32_t got = 0;
    if (!readUpTo(source, salt, saltSize, got, log) || got < saltSize)
        return log.logError("Failed to read salt value for AES decryption"), nullptr;
    auto context = std::make_unique<WinZipAesContext>();
    if (!initContext(*context, password, keyBytes, salt, log)) return nullptr;
    std::uint8_t verifier[kVerifier];
    if (!readUpTo(source, verifier, kVerifier, got, log) || got < kVerifier)
        return log.logError("Failed to read pwd verification for AES decryption"), nullptr;
    if (!context->verifierMatches(verifier))
        return wrongPassword = true, log.logError("Invalid password for WinZip AES decryption;"), nullptr;
    return context;
}

bool WinZipAes::decryptFromSource(DataSource& source, const StringBuffer& password, int strength, Output& output,
                                  bool& wrongPassword, bool& authFailed, LogBase& log) {
    authFailed = false;
    auto context = startFromSource(source, password, strength, wrongPassword, log);
    return context && streamCiphertext(source, *context, output, authFailed, log);
}

bool WinZipAes::decryptInMemory(const std::uint8_t* stored, std::uint32_t size, const StringBuffer& password,
                                int strength, DataBuffer& plain, bool& wrongPassword, bool& authFailed, LogBase& log) {
    wrongPassword = authFailed = false;
    plain.clear();
    const std::uint32_t keyBytes = WinZipAesContext::keyBytesFor(strength);
    if (keyBytes == 0) return rejectWith(log, "WinZip AES decrypt initialization failed");
    const std::uint32_t saltSize = WinZipAesContext::saltSizeFor(keyBytes);
    if (stored == nullptr || size < saltSize + kVerifier + kCode) {
        if (stored == nullptr) log.logError("No data.");
        log.logError("Not enough data for a WinZip AES entry (2)");
        log.logDataLong("dataSize", static_cast<std::int32_t>(size));
        return false;
    }
    auto context = std::make_unique<WinZipAesContext>();
    if (!initContext(*context, password, keyBytes, stored, log)) return false;
    if (!context->verifierMatches(stored + saltSize)) {
        wrongPassword = true;
        return rejectWith(log, "Invalid password for WinZip AES decryption");
    }
    const std::uint32_t cipherSize = size - saltSize - kVerifier - kCode;
    if (!plain.append(stored + saltSize + kVerifier, cipherSize)) return rejectWith(log, "Out of memory");
    context->decrypt(plain.data(), cipherSize);
    if (context->codeMatches(stored + size - kCode)) return true;
    plain.clear();
    authFailed = true;
    return rejectWith(log, "WinZip AES authentication code mismatch-2");
}
