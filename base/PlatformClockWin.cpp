// Win32 clock and time zone.
#include "base/PlatformClock.h"

#include <windows.h>

// The offset FileTimeToLocalFileTime applies now, in seconds.
std::int64_t platformUtcOffsetNow() {
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
    auto value = [](const FILETIME& ft) {
        return std::int64_t((std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    };
    return (value(local) - value(utc)) / 10000000;
}

// TzSpecificLocalTimeToSystemTime applies the zone's rules for that date, daylight saving
// included; the offset is the wall time less the UTC time it gives.
std::int64_t platformUtcOffsetAt(std::int64_t localWallSeconds) {
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
    const std::int64_t seconds = localWallSeconds + kSecondsFrom1601To1970;
    if (seconds < 0) return platformUtcOffsetNow();
    const std::uint64_t ticks = std::uint64_t(seconds) * 10000000;
    FILETIME wall = {DWORD(ticks), DWORD(ticks >> 32)}, utcTime;
    SYSTEMTIME local, utc;
    if (!FileTimeToSystemTime(&wall, &local) || !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !SystemTimeToFileTime(&utc, &utcTime))
        return platformUtcOffsetNow();
    const std::uint64_t utcTicks = (std::uint64_t(utcTime.dwHighDateTime) << 32) | utcTime.dwLowDateTime;
    return (std::int64_t(ticks) - std::int64_t(utcTicks)) / 10000000;
}

void platformNowLocal(SystemTime& st) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    st.year = now.wYear;
    st.month = now.wMonth;
    st.dayOfWeek = now.wDayOfWeek;
    st.day = now.wDay;
    st.hour = now.wHour;
    st.minute = now.wMinute;
    st.second = now.wSecond;
    st.milliseconds = now.wMilliseconds;
}
