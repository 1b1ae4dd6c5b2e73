// Rejecting input in one statement: log the error (and, where given, the one data item that
// explains it, after the error) and return false. The log may be null where a routine takes an
// optional log. Depends on nothing but LogBase, so every layer may use it.
#pragma once
#include <cstdint>

#include "log/LogBase.h"

inline bool rejectWith(LogBase* log, const char* message) {
    if (log) log->logError(message);
    return false;
}

inline bool rejectWith(LogBase& log, const char* message) { return rejectWith(&log, message); }

inline bool rejectWith(LogBase& log, const char* message, const char* key, const char* value) {
    log.logError(message);
    log.logData(key, value);
    return false;
}

inline bool rejectWith(LogBase& log, const char* message, const char* key, std::int64_t value) {
    log.logError(message);
    log.logDataInt64(key, value);
    return false;
}
