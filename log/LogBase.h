// The log interface every fallible routine reports through. Every operation here does nothing;
// Logger records, LogNull discards. This header depends on nothing so that base/ can use it.
#pragma once
#include <cstdint>

class StringBuffer;

class LogBase {
public:
    LogBase() = default;
    virtual ~LogBase() = default;

    virtual void getLogXml(StringBuffer&) {}
    virtual void getLogHtml(StringBuffer&) {}
    virtual void getLogText(StringBuffer&) {}
    virtual bool logError(const char*) { return true; }
    virtual bool logInfo(const char*) { return true; }
    virtual bool logRaw(const char*) { return true; }
    virtual bool clearLog() { return true; }
    virtual bool enterContext(const char*) { return true; }
    virtual bool leaveContext() { return true; }
    virtual bool logData(const char*, const char*) { return true; }
    virtual bool logDataLong(const char*, std::int32_t) { return true; }
    virtual bool logDataInt64(const char*, std::int64_t) { return true; }
    virtual bool logDataHex(const char*, std::uint32_t) { return true; }
    virtual void logDataTick(const char*) {}
    virtual bool saveLogXml(const char*) { return true; }

    // Helpers that work on any log through logData.
    void logDataBytes(const char* key, const unsigned char* bytes, unsigned count);
    void logDataQP(const char* key, const char* text);
    void logDataBracketed(const char* key, const char* text);
    void logElapsedMs(const char* key, std::uint32_t startTick);
    void logWindowsError(unsigned errorCode);
};

// Pairs enterContext with leaveContext on every path out of a scope. A context opened with
// open false (the verbose-only contexts, which appear only when verbose logging is on) writes
// nothing at all.
class LogContext {
public:
    LogContext(LogBase& log, const char* tag, bool open = true) : m_log(log), m_open(open) {
        if (m_open) m_log.enterContext(tag);
    }
    ~LogContext() { close(); }
    // Leaves the context before the end of the scope (once).
    void close() {
        if (m_open) m_log.leaveContext();
        m_open = false;
    }
    LogContext(const LogContext&) = delete;
    LogContext& operator=(const LogContext&) = delete;

private:
    LogBase& m_log;
    bool m_open;
};
