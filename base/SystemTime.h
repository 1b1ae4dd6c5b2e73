// A broken-down wall-clock time, field for field as the platform's SYSTEMTIME record.
#pragma once
#include <cstdint>

struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;      // 1 to 12
    std::uint16_t dayOfWeek = 0;  // 0 = Sunday; ignored on input
    std::uint16_t day = 0;        // 1 to 31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    void clear() { *this = SystemTime(); }
};
