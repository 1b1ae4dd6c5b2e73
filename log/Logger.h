// The real log: a thread-safe ErrorLog tree behind the LogBase interface.
#pragma once
#include <cstdint>

#include "base/TarnelCritSec.h"
#include "log/ErrorLog.h"
#include "log/LogBase.h"

class Logger : public LogBase, public TarnelCritSec {
public:
    Logger() = default;
    ~Logger() override = default;

    void getLogXml(StringBuffer& out) override;
    void getLogHtml(StringBuffer& out) override;
    void getLogText(StringBuffer& out) override;
    bool logError(const char* text) override;
    bool logInfo(const char* text) override;
    bool logRaw(const char* text) override;
    bool clearLog() override;
    bool enterContext(const char* tag) override;
    bool leaveContext() override;
    bool logData(const char* key, const char* value) override;
    bool logDataLong(const char* key, std::int32_t value) override;
    bool logDataInt64(const char* key, std::int64_t value) override;
    bool logDataHex(const char* key, std::uint32_t value) override;
    void logDataTick(const char* key) override;
    bool saveLogXml(const char* path) override;

private:
    bool addMessage(char kind, const char* text);

    ErrorLog m_log;
};
