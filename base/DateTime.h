// Conversions between MS-DOS date/time pairs, FileTime and SystemTime, and the local/UTC
// convention: archive times are local wall time, file-system times are UTC, and comparisons
// are always made between two local FileTimes.
#pragma once
#include <cstdint>

#include "base/FileTime.h"
#include "base/SystemTime.h"

// An invalid DOS date or time gives 1980-01-01 00:00:00 and false.
bool dosToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, FileTime& local);

// Years outside 1980..2107 cannot be expressed: false and both outputs unchanged. Nothing is
// done unless both outputs are given. Seconds are stored halved, so an odd second rounds down.
bool fileTimeToDos(const FileTime& time, std::uint16_t* dosDate, std::uint16_t* dosTime);

// Shift by the machine's time-zone offset in effect now (not at the time converted), as the
// platform calls do. False, with the output unchanged, when the result would leave the range.
bool localToUtc(const FileTime& local, FileTime& utc);
bool utcToLocal(const FileTime& utc, FileTime& local);
// Shift by the offset in force at that local time (daylight saving of that date included), the
// way archive tools read a DOS time stored on another day.
bool localToUtcAtDate(const FileTime& local, FileTime& utc);

// False, with the output unchanged, for a field out of range (year 1601..30827, valid day of
// month, hour < 24, minute < 60, second < 60, milliseconds < 1000).
bool systemTimeToFileTime(const SystemTime& st, FileTime& ft);
// False for values at or above 2^63, as the platform call.
bool fileTimeToSystemTime(const FileTime& ft, SystemTime& st);

// -1, 0 or 1 as a is earlier than, equal to or later than b.
int compareFileTimes(const FileTime& a, const FileTime& b);

void nowLocal(SystemTime& st);
// nowLocal converted without any UTC shift.
void nowAsLocalFileTime(FileTime& ft);
