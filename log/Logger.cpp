// Logger: every operation on the tree runs under the Logger's own lock.
#include "log/Logger.h"

#include <cinttypes>
#include <cstdio>

#include "base/FileSystem.h"
#include "base/StringBuffer.h"
#include "base/TickCount.h"
#include "log/LogEntry2.h"

namespace {

// Trimmed, with every inner space turned into '_'. Empty when the key is null or all blanks.
void normaliseKey(const char* key, StringBuffer& out) {
    out.setString(key);
    out.trim();
    out.replaceChar(' ', '_');
}

}  // namespace

void Logger::getLogXml(StringBuffer& out) {
    TarnelLockGuard lock(*this);
    out.clear();
    m_log.renderXml(out);
}

void Logger::getLogHtml(StringBuffer& out) {
    TarnelLockGuard lock(*this);
    out.clear();
    m_log.renderHtml(out);
}

void Logger::getLogText(StringBuffer& out) {
    TarnelLockGuard lock(*this);
    out.clear();
    m_log.renderText(out);
}

bool Logger::addMessage(char kind, const char* text) {
    if (!text) return true;
    TarnelLockGuard lock(*this);
    m_log.addMessage(kind, text);
    return true;
}

bool Logger::logError(const char* text) { return addMessage(LogEntry2::kError, text); }

bool Logger::logInfo(const char* text) { return addMessage(LogEntry2::kInfo, text); }

bool Logger::logRaw(const char* text) { return addMessage(LogEntry2::kRaw, text); }

bool Logger::clearLog() {
    TarnelLockGuard lock(*this);
    m_log.clear();
    return true;
}

bool Logger::enterContext(const char* tag) {
    TarnelLockGuard lock(*this);
    m_log.enterContext(tag);
    return true;
}

bool Logger::leaveContext() {
    TarnelLockGuard lock(*this);
    m_log.leaveContext();
    return true;
}

bool Logger::logData(const char* key, const char* value) {
    StringBuffer normal;
    normaliseKey(key, normal);
    if (normal.length() == 0) return false;
    TarnelLockGuard lock(*this);
    m_log.addKeyValue(normal.text(), value ? value : "(NULL)");
    return true;
}

bool Logger::logDataLong(const char* key, std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%" PRId32, value);
    return logData(key, text);
}

bool Logger::logDataInt64(const char* key, std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%" PRId64, value);
    return logData(key, text);
}

bool Logger::logDataHex(const char* key, std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%" PRIx32, value);
    return logData(key, text);
}

void Logger::logDataTick(const char* key) {
    char text[16];
    std::snprintf(text, sizeof text, "%" PRIx32, tickCountMs());
    logData(key, text);
}

bool Logger::saveLogXml(const char* path) {
    StringBuffer xml;
    getLogXml(xml);
    return writeWholeFile(path, xml.text(), static_cast<std::uint64_t>(xml.length()), nullptr);
}
