// Keeping log lines and writing them into another log later.
#include "log/LogRecorder.h"

#include <new>

// A line that cannot be kept for want of memory is lost, as a log line would be.
bool LogRecorder::add(Line::Kind kind, const char* key, const char* text, std::int64_t number) {
    try {
        m_lines.push_back(Line{kind, key ? key : "", text ? text : "", number});
    } catch (const std::bad_alloc&) {
    }
    return true;
}

LogRecorder::Lines LogRecorder::take() {
    Lines lines;
    lines.swap(m_lines);
    return lines;
}

void LogRecorder::replay(const Lines& lines, LogBase& log) {
    using Kind = Line::Kind;
    for (const Line& l : lines) {
        switch (l.kind) {
            case Kind::Error: log.logError(l.text.c_str()); break;
            case Kind::Info: log.logInfo(l.text.c_str()); break;
            case Kind::Raw: log.logRaw(l.text.c_str()); break;
            case Kind::Clear: log.clearLog(); break;
            case Kind::Enter: log.enterContext(l.key.c_str()); break;
            case Kind::Leave: log.leaveContext(); break;
            case Kind::Data: log.logData(l.key.c_str(), l.text.c_str()); break;
            case Kind::Long: log.logDataLong(l.key.c_str(), std::int32_t(l.number)); break;
            case Kind::Int64: log.logDataInt64(l.key.c_str(), l.number); break;
            case Kind::Hex: log.logDataHex(l.key.c_str(), std::uint32_t(l.number)); break;
            case Kind::Tick: log.logDataTick(l.key.c_str()); break;
        }
    }
}
