// Win32 clock and time zone.
#include "base/PlatformClock.h"

#include <windows.h>

// The offset FileTimeToLocalFileTime applies now, in seconds.
std::int64_t platformUtcOffsetNow() {
    FILETIME utc, local;
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
    auto value = [](const FILETIME& ft) { return std::int64_t((std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime); };
    return (value(local) - value(utc)) / 10000000;
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
