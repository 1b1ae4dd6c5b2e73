// The machine's clock and time zone: the only place that asks the system for the time.
#pragma once
#include <cstdint>

#include "base/SystemTime.h"

// Seconds east of UTC of the machine's time zone as in effect now (daylight saving included).
std::int64_t platformUtcOffsetNow();
// Seconds east of UTC in force at a local wall time (given as seconds since 1970-01-01 00:00 of
// wall time), daylight saving of that date included.
std::int64_t platformUtcOffsetAt(std::int64_t localWallSeconds);

// Local wall time now, with milliseconds and day of week.
void platformNowLocal(SystemTime& st);
