// One-statement rejection for routines that take an optional log: log the error, return false.
#pragma once
#include "log/LogBase.h"

inline bool rejectWith(LogBase* log, const char* message) {
    if (log) log->logError(message);
    return false;
}
