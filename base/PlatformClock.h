// The machine's clock and time zone: the only place that asks the system for the time.
#pragma once
#include <cstdint>

#include "base/SystemTime.h"

// Seconds east of UTC of the machine's time zone as in effect now (daylight saving included).
std::int64_t platformUtcOffsetNow();

// Local wall time now, with milliseconds and day of week.
void platformNowLocal(SystemTime& st);
