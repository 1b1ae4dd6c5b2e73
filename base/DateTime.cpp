// Calendar arithmetic on the proleptic Gregorian calendar, counted from 1601-01-01 (the first
// day of a 400-year cycle, which keeps the leap-year arithmetic simple).
#include "base/DateTime.h"

#include "base/PlatformClock.h"

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kTicksPerDay = kTicksPerSecond * 86400;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;
constexpr std::int64_t kDaysPer400Years = 146097;

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

// Days from 1601-01-01 to the first day of the given month.
std::int64_t daysBefore(int y, int m) {
    std::int64_t years = y - 1601;
    std::int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
    for (int i = 1; i < m; ++i) days += daysInMonth(y, i);
    return days;
}

// The inverse: year, month and day of a day number counted from 1601-01-01.
void civilFromDays(std::int64_t days, int& y, int& m, int& d) {
    y = 1601 + int(days / kDaysPer400Years) * 400;
    days %= kDaysPer400Years;
    while (days >= (isLeapYear(y) ? 366 : 365)) days -= isLeapYear(y++) ? 366 : 365;
    m = 1;
    while (days >= daysInMonth(y, m)) days -= daysInMonth(y, m++);
    d = int(days) + 1;
}

bool shift(const FileTime& in, std::int64_t seconds, FileTime& out) {
    std::uint64_t v = in.value();
    std::uint64_t delta = std::uint64_t(seconds < 0 ? -seconds : seconds) * kTicksPerSecond;
    if (seconds < 0 && v < delta) return false;
    if (seconds > 0 && v + delta > kMaxFileTime) return false;
    out.setValue(seconds < 0 ? v - delta : v + delta);
    return true;
}

}  // namespace

bool systemTimeToFileTime(const SystemTime& st, FileTime& ft) {
    if (st.year < 1601 || st.year > 30827 || st.month < 1 || st.month > 12) return false;
    if (st.day < 1 || st.day > daysInMonth(st.year, st.month)) return false;
    if (st.hour > 23 || st.minute > 59 || st.second > 59 || st.milliseconds > 999) return false;
    std::uint64_t days = std::uint64_t(daysBefore(st.year, st.month) + st.day - 1);
    std::uint64_t seconds = std::uint64_t(st.hour) * 3600 + st.minute * 60 + st.second;
    ft.setValue(days * kTicksPerDay + seconds * kTicksPerSecond + st.milliseconds * 10000ull);
    return true;
}

bool fileTimeToSystemTime(const FileTime& ft, SystemTime& st) {
    std::uint64_t v = ft.value();
    if (v > kMaxFileTime) return false;
    std::int64_t days = std::int64_t(v / kTicksPerDay);
    std::uint64_t rest = v % kTicksPerDay;
    int y, m, d;
    civilFromDays(days, y, m, d);
    st.year = std::uint16_t(y);
    st.month = std::uint16_t(m);
    st.day = std::uint16_t(d);
    st.dayOfWeek = std::uint16_t((days + 1) % 7);  // 1601-01-01 was a Monday
    st.hour = std::uint16_t(rest / (3600 * kTicksPerSecond));
    st.minute = std::uint16_t(rest / (60 * kTicksPerSecond) % 60);
    st.second = std::uint16_t(rest / kTicksPerSecond % 60);
    st.milliseconds = std::uint16_t(rest / 10000 % 1000);
    return true;
}

bool dosToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, FileTime& local) {
    SystemTime st;
    st.year = std::uint16_t(1980 + (dosDate >> 9));
    st.month = std::uint16_t((dosDate >> 5) & 0x0F);
    st.day = std::uint16_t(dosDate & 0x1F);
    st.hour = std::uint16_t(dosTime >> 11);
    st.minute = std::uint16_t((dosTime >> 5) & 0x3F);
    st.second = std::uint16_t((dosTime & 0x1F) * 2);  // a field above 29 gives 60 and more
    if (systemTimeToFileTime(st, local)) return true;
    SystemTime fallback;
    fallback.year = 1980;
    fallback.month = fallback.day = 1;
    systemTimeToFileTime(fallback, local);
    return false;
}

bool fileTimeToDos(const FileTime& time, std::uint16_t* dosDate, std::uint16_t* dosTime) {
    if (dosDate == nullptr || dosTime == nullptr) return false;
    SystemTime st;
    if (!fileTimeToSystemTime(time, st) || st.year < 1980 || st.year > 2107) return false;
    *dosDate = std::uint16_t(((st.year - 1980) << 9) | (st.month << 5) | st.day);
    *dosTime = std::uint16_t((st.hour << 11) | (st.minute << 5) | (st.second / 2));
    return true;
}

bool localToUtc(const FileTime& local, FileTime& utc) { return shift(local, -platformUtcOffsetNow(), utc); }

bool localToUtcAtDate(const FileTime& local, FileTime& utc) {
    const std::int64_t wall = std::int64_t(local.value() / kTicksPerSecond) - kSecondsFrom1601To1970;
    return shift(local, -platformUtcOffsetAt(wall), utc);
}

bool utcToLocal(const FileTime& utc, FileTime& local) { return shift(utc, platformUtcOffsetNow(), local); }

int compareFileTimes(const FileTime& a, const FileTime& b) {
    return a.value() < b.value() ? -1 : a.value() > b.value() ? 1 : 0;
}

void nowLocal(SystemTime& st) { platformNowLocal(st); }

void nowAsLocalFileTime(FileTime& ft) {
    SystemTime st;
    nowLocal(st);
    if (!systemTimeToFileTime(st, ft)) ft.clear();
}
