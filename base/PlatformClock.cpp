// POSIX clock and time zone.
#include "base/PlatformClock.h"

#include <ctime>

std::int64_t platformUtcOffsetNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (localtime_r(&now, &parts) == nullptr) return 0;
    return parts.tm_gmtoff;
}

std::int64_t platformUtcOffsetAt(std::int64_t localWallSeconds) {
    std::time_t wall = static_cast<std::time_t>(localWallSeconds);
    std::tm parts{};
    if (gmtime_r(&wall, &parts) == nullptr) return platformUtcOffsetNow();
    parts.tm_isdst = -1;  // let the zone's rules for that date decide
    std::time_t utc = std::mktime(&parts);
    if (utc == std::time_t(-1) && localWallSeconds != -1) return platformUtcOffsetNow();
    return localWallSeconds - static_cast<std::int64_t>(utc);
}

void platformNowLocal(SystemTime& st) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm parts{};
    st.clear();
    if (localtime_r(&ts.tv_sec, &parts) == nullptr) return;
    st.year = std::uint16_t(parts.tm_year + 1900);
    st.month = std::uint16_t(parts.tm_mon + 1);
    st.dayOfWeek = std::uint16_t(parts.tm_wday);
    st.day = std::uint16_t(parts.tm_mday);
    st.hour = std::uint16_t(parts.tm_hour);
    st.minute = std::uint16_t(parts.tm_min);
    // A leap second (60) is folded into 59: the record's range stops there.
    st.second = std::uint16_t(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    st.milliseconds = std::uint16_t(ts.tv_nsec / 1000000);
}
