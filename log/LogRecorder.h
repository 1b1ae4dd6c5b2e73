// A log that keeps what it is told, in order, to be written into another log later. A stage that
// works ahead of its reader on another thread logs here; the reader writes the lines into its own
// log when it reaches the data they belong to, so the log reads as if the reader had done the
// work itself, and lines about data the reader never reaches never appear.
//
// Not locked: one thread at a time uses a recorder, and the lines it hands out.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/LogBase.h"

class LogRecorder : public LogBase {
public:
    struct Line {
        enum class Kind : std::uint8_t { Error, Info, Raw, Clear, Enter, Leave, Data, Long, Int64, Hex, Tick };
        Kind kind;
        std::string key;   // the data key, or the context tag
        std::string text;  // the message, or the data value as text
        std::int64_t number = 0;
    };
    using Lines = std::vector<Line>;

    bool logError(const char* text) override { return add(Line::Kind::Error, "", text); }
    bool logInfo(const char* text) override { return add(Line::Kind::Info, "", text); }
    bool logRaw(const char* text) override { return add(Line::Kind::Raw, "", text); }
    bool clearLog() override { return add(Line::Kind::Clear, "", ""); }
    bool enterContext(const char* tag) override { return add(Line::Kind::Enter, tag, ""); }
    bool leaveContext() override { return add(Line::Kind::Leave, "", ""); }
    bool logData(const char* key, const char* value) override { return add(Line::Kind::Data, key, value); }
    bool logDataLong(const char* key, std::int32_t value) override { return add(Line::Kind::Long, key, "", value); }
    bool logDataInt64(const char* key, std::int64_t value) override { return add(Line::Kind::Int64, key, "", value); }
    bool logDataHex(const char* key, std::uint32_t value) override { return add(Line::Kind::Hex, key, "", value); }
    void logDataTick(const char* key) override { add(Line::Kind::Tick, key, ""); }

    // The lines kept so far; the recorder starts over empty.
    Lines take();
    // Writes `lines` into `log` as they were told.
    static void replay(const Lines& lines, LogBase& log);

private:
    bool add(Line::Kind kind, const char* key, const char* text, std::int64_t number = 0);

    Lines m_lines;
};
