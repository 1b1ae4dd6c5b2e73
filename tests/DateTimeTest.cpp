// DOS date/time, FileTime and SystemTime conversions, and the local/UTC convention.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "base/DateTime.h"

namespace {

constexpr std::uint64_t kTicks1980 = 119600064000000000ull;  // 1980-01-01 00:00:00
constexpr std::uint64_t kSecondsTo1970 = 11644473600ull;

std::uint16_t dosDate(int y, int m, int d) { return std::uint16_t(((y - 1980) << 9) | (m << 5) | d); }
std::uint16_t dosTime(int h, int mi, int s) { return std::uint16_t((h << 11) | (mi << 5) | (s / 2)); }

// Runs the body under a fixed time zone; each test case runs in its own process.
class FixedZone {
public:
    explicit FixedZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    ~FixedZone() {
        unsetenv("TZ");
        tzset();
    }
};

}  // namespace

TEST(DateTime, DosDateTimeRoundTrips) {
    struct Case {
        int y, mo, d, h, mi, s, expectSecond;
    };
    const Case cases[] = {
        {1980, 1, 1, 0, 0, 0, 0},       {2000, 2, 29, 23, 59, 59, 58}, {2024, 12, 31, 12, 30, 1, 0},
        {2107, 12, 31, 23, 59, 58, 58}, {1999, 6, 15, 7, 8, 10, 10},
    };
    for (const Case& c : cases) {
        FileTime ft;
        ASSERT_TRUE(dosToFileTime(dosDate(c.y, c.mo, c.d), dosTime(c.h, c.mi, c.s), ft)) << c.y;
        SystemTime st;
        ASSERT_TRUE(fileTimeToSystemTime(ft, st));
        EXPECT_EQ(st.year, c.y);
        EXPECT_EQ(st.month, c.mo);
        EXPECT_EQ(st.day, c.d);
        EXPECT_EQ(st.hour, c.h);
        EXPECT_EQ(st.minute, c.mi);
        EXPECT_EQ(st.second, c.expectSecond);
        std::uint16_t date = 0, time = 0;
        ASSERT_TRUE(fileTimeToDos(ft, &date, &time));
        EXPECT_EQ(date, dosDate(c.y, c.mo, c.d));
        EXPECT_EQ(time, dosTime(c.h, c.mi, c.s));
    }
}

TEST(DateTime, KnownValuesAndEpoch) {
    FileTime ft;
    ASSERT_TRUE(dosToFileTime(0x0021, 0, ft));
    EXPECT_EQ(ft.value(), kTicks1980);
    SystemTime st;
    ASSERT_TRUE(fileTimeToSystemTime(ft, st));
    EXPECT_EQ(st.dayOfWeek, 2);  // a Tuesday
    FileTime zero;
    ASSERT_TRUE(fileTimeToSystemTime(zero, st));
    EXPECT_EQ(st.year, 1601);
    EXPECT_EQ(st.dayOfWeek, 1);  // a Monday
}

// Invalid fields fall back to 1980-01-01 00:00:00; day 31 of a 30-day month is invalid too.
TEST(DateTime, InvalidDosValuesFallBackTo1980) {
    struct Case {
        std::uint16_t date, time;
    };
    const Case cases[] = {
        {dosDate(2000, 0, 1), 0},       {dosDate(2000, 13, 1), 0}, {dosDate(2000, 1, 0), 0},
        {dosDate(2001, 2, 29), 0},      {dosDate(2000, 4, 31), 0}, {dosDate(2000, 1, 1), 24 << 11},
        {dosDate(2000, 1, 1), 60 << 5}, {dosDate(2000, 1, 1), 30},
    };
    for (const Case& c : cases) {
        FileTime ft;
        ft.setValue(1);
        EXPECT_FALSE(dosToFileTime(c.date, c.time, ft)) << std::hex << c.date << " " << c.time;
        EXPECT_EQ(ft.value(), kTicks1980);
    }
}

TEST(DateTime, FileTimeToDosNeedsBothOutputsAndRange) {
    FileTime ft;
    ft.setValue(kTicks1980 - 1);
    std::uint16_t date = 7, time = 7;
    EXPECT_FALSE(fileTimeToDos(ft, &date, &time));
    EXPECT_EQ(date, 7);
    ft.setValue(kTicks1980);
    EXPECT_FALSE(fileTimeToDos(ft, &date, nullptr));
    EXPECT_EQ(date, 7);
    SystemTime st{2108, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_TRUE(systemTimeToFileTime(st, ft));
    EXPECT_FALSE(fileTimeToDos(ft, &date, &time));
}

// The calendar arithmetic agrees with the C library's over leap years and centuries.
TEST(DateTime, AgreesWithLibcCalendar) {
    for (std::int64_t t = -11644473600LL + 86399; t < 8000000000LL; t += 86400LL * 97 + 3601) {
        std::time_t tt = std::time_t(t);
        std::tm parts{};
        ASSERT_NE(gmtime_r(&tt, &parts), nullptr);
        SystemTime st{std::uint16_t(parts.tm_year + 1900),
                      std::uint16_t(parts.tm_mon + 1),
                      0,
                      std::uint16_t(parts.tm_mday),
                      std::uint16_t(parts.tm_hour),
                      std::uint16_t(parts.tm_min),
                      std::uint16_t(parts.tm_sec),
                      250};
        FileTime ft;
        ASSERT_TRUE(systemTimeToFileTime(st, ft)) << t;
        EXPECT_EQ(ft.value(), std::uint64_t(t + std::int64_t(kSecondsTo1970)) * 10000000 + 2500000);
        SystemTime back;
        ASSERT_TRUE(fileTimeToSystemTime(ft, back));
        EXPECT_EQ(back.dayOfWeek, parts.tm_wday);
        EXPECT_EQ(back.day, st.day);
        EXPECT_EQ(back.milliseconds, 250);
    }
}

TEST(DateTime, LocalUtcUseTheZoneOffsetOfNow) {
    FixedZone zone("EST5");
    FileTime local, utc, back;
    ASSERT_TRUE(dosToFileTime(0x0021, 0, local));
    ASSERT_TRUE(localToUtc(local, utc));
    EXPECT_EQ(utc.value() - local.value(), 5ull * 3600 * 10000000);
    ASSERT_TRUE(utcToLocal(utc, back));
    EXPECT_EQ(compareFileTimes(back, local), 0);
    EXPECT_EQ(compareFileTimes(local, utc), -1);
    EXPECT_EQ(compareFileTimes(utc, local), 1);
    // East of UTC, a time near the epoch cannot move back before it.
    FixedZone east("XYZ-3");
    FileTime early, out;
    early.setValue(100);
    out.setValue(42);
    EXPECT_FALSE(localToUtc(early, out));
    EXPECT_EQ(out.value(), 42u);
}

TEST(DateTime, NowLocalMatchesTheClock) {
    FixedZone zone("UTC0");
    FileTime ft;
    nowAsLocalFileTime(ft);
    std::uint64_t expected = (std::uint64_t(std::time(nullptr)) + kSecondsTo1970) * 10000000;
    EXPECT_LT(ft.value() > expected ? ft.value() - expected : expected - ft.value(), 30000000u);
}
