// Hour stepping on the calendar: midnight, month and year ends, leap days.
#include <gtest/gtest.h>

#include <ctime>

#include "processing/Statistic.h"

namespace {

struct tm At(int y, int mo, int d, int h)
{
    struct tm t {};
    t.tm_year = y;
    t.tm_mon = mo;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = 17;
    t.tm_sec = 42;
    return t;
}

void ExpectAt(const struct tm &t, int y, int mo, int d, int h)
{
    EXPECT_EQ(t.tm_year, y);
    EXPECT_EQ(t.tm_mon, mo);
    EXPECT_EQ(t.tm_mday, d);
    EXPECT_EQ(t.tm_hour, h);
    EXPECT_EQ(t.tm_min, 17);
    EXPECT_EQ(t.tm_sec, 42);
}

// Reference: the C library on a UTC calendar.
struct tm Shift(const struct tm &t, long hours)
{
    struct tm u {};
    u.tm_year = t.tm_year - 1900;
    u.tm_mon = t.tm_mon - 1;
    u.tm_mday = t.tm_mday;
    u.tm_hour = t.tm_hour;
    u.tm_min = t.tm_min;
    u.tm_sec = t.tm_sec;
    time_t s = timegm(&u) + hours * 3600;
    struct tm r;
    gmtime_r(&s, &r);
    r.tm_year += 1900;
    r.tm_mon += 1;
    return r;
}

} // namespace

TEST(StatTime, OneHourBackAndForwardAcrossMidnightMonthAndYear)
{
    // Leap days: 2024 and 2000 (divisible by 400) have one, 2100 (by 100)
    // and 2023 have none.
    const struct { int y, mo, d, h, dy, dmo, dd, dh; bool forward; } cases[] = {
        {2026, 7, 15, 0, 2026, 7, 14, 23, false},  {2026, 5, 1, 0, 2026, 4, 30, 23, false},
        {2026, 1, 1, 0, 2025, 12, 31, 23, false},  {2024, 3, 1, 0, 2024, 2, 29, 23, false},
        {2100, 3, 1, 0, 2100, 2, 28, 23, false},   {2000, 3, 1, 0, 2000, 2, 29, 23, false},
        {2026, 12, 31, 23, 2027, 1, 1, 0, true},   {2024, 2, 28, 23, 2024, 2, 29, 0, true},
        {2023, 2, 28, 23, 2023, 3, 1, 0, true},    {2026, 4, 30, 23, 2026, 5, 1, 0, true},
        {2026, 4, 30, 9, 2026, 4, 30, 10, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << '-' << c.mo << '-' << c.d << ' ' << c.h);
        struct tm t = At(c.y, c.mo, c.d, c.h);
        EXPECT_EQ(c.forward ? GetNextHour(&t) : GetLastHour(&t), 1);
        ExpectAt(t, c.dy, c.dmo, c.dd, c.dh);
    }
}

TEST(StatTime, StepByStepAndAtOnceAgreeWithTheCalendar)
{
    const struct tm starts[] = {At(2024, 3, 1, 5), At(2023, 3, 1, 5), At(2025, 1, 1, 0),
                                At(2026, 12, 31, 23), At(2000, 3, 31, 2)};
    for (const struct tm &s : starts) {
        for (int n : {0, 1, 5, 23, 24, 25, 47, 100, 743, 744, 1000, 2000, 5000, 7000}) {
            struct tm a = s, b = s;
            struct tm want = Shift(s, -n);
            ASSERT_EQ(CalcNhoursBack(&a, n), 1);
            ExpectAt(a, want.tm_year, want.tm_mon, want.tm_mday, want.tm_hour);
            ASSERT_EQ(calculate_nhours_back(&b, n), 1) << n;
            ExpectAt(b, want.tm_year, want.tm_mon, want.tm_mday, want.tm_hour);
        }
    }
}

TEST(StatTime, OutOfRangeStepsLeaveTheTimeUnchanged)
{
    struct tm t = At(2026, 6, 10, 12);
    EXPECT_EQ(CalcNhoursBack(&t, 40000), 0);
    EXPECT_EQ(CalcNhoursBack(&t, 32768), 0);
    EXPECT_EQ(CalcNhoursBack(&t, -1), 0);
    ExpectAt(t, 2026, 6, 10, 12);
    // At once: at most 11 months back.
    EXPECT_EQ(calculate_nhours_back(&t, 366 * 24), 0);
    EXPECT_EQ(calculate_nhours_back(&t, -5), 0);
    ExpectAt(t, 2026, 6, 10, 12);
    EXPECT_EQ(calculate_nhours_back(&t, 300 * 24), 1);
    ExpectAt(t, 2025, 8, 14, 12);
    // Nonsense dates are refused rather than stepped into nonsense.
    struct tm bad = At(2026, 13, 1, 5);
    EXPECT_EQ(GetLastHour(&bad), 0);
    EXPECT_EQ(GetNextHour(&bad), 0);
    bad = At(2026, 2, 30, 5);
    EXPECT_EQ(calculate_nhours_back(&bad, 1), 0);
}
