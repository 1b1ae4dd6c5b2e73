// The LogBase helpers: formatting done once here for every log implementation.
#include "log/LogBase.h"

#include <cstdio>
#include <cstring>

#include "base/ContentCoding.h"
#include "base/StringBuffer.h"
#include "base/TickCount.h"

namespace {
// Longer spans are taken for a counter that wrapped past the start.
constexpr std::uint32_t kElapsedLimitMs = 900000000u;
}  // namespace

// Two upper-case digits per byte, a space after every second byte, a line feed after every 16th.
void LogBase::logDataBytes(const char* key, const unsigned char* bytes, unsigned count) {
    static const char kDigits[] = "0123456789ABCDEF";
    StringBuffer dump;
    if (!bytes) count = 0;
    for (unsigned i = 0; i < count; ++i) {
        dump.appendChar(kDigits[bytes[i] >> 4]);
        dump.appendChar(kDigits[bytes[i] & 0x0F]);
        if (i % 2 == 1) dump.appendChar(' ');
        if (i % 16 == 15) dump.appendChar('\n');
    }
    logData(key, dump.text());
}

void LogBase::logDataQP(const char* key, const char* text) {
    StringBuffer encoded;
    ContentCoding coding;
    coding.encodeQuotedPrintable(text, text ? static_cast<std::uint32_t>(std::strlen(text)) : 0, encoded);
    logData(key, encoded.text());
}

void LogBase::logDataBracketed(const char* key, const char* text) {
    StringBuffer bracketed("[");
    bracketed.append(text);
    bracketed.appendChar(']');
    logData(key, bracketed.text());
}

void LogBase::logElapsedMs(const char* key, std::uint32_t startTick) {
    const std::uint32_t now = tickCountMs();
    if (now < startTick || now - startTick >= kElapsedLimitMs) return;
    char text[48];
    std::snprintf(text, sizeof text, "Elapsed time: %d millisec", static_cast<int>(now - startTick));
    logData(key, text);
}

void LogBase::logWindowsError(unsigned errorCode) {
    if (errorCode == 0) return;
    StringBuffer message;
    message.appendSystemMessage(static_cast<int>(errorCode));
    logData("WindowsError", message.text());
}
