// Clock keeping: the hardware clock text, the decisions of the hardware
// clock check, the corrections as they reach the simulated clocks, and the
// shared copy.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Transplant.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "support/Sandbox.h"

using komain_test::Sandbox;

namespace {

struct tm At(int y, int mo, int d, int h, int mi, int s)
{
    struct tm t {};
    t.tm_year = y;
    t.tm_mon = mo;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return t;
}

// Sets the hardware clock to the simulated system clock plus offsetSeconds.
void SetRtc(const Sandbox &sb, long offsetSeconds)
{
    time_t hw = TpTime() + offsetSeconds;
    struct tm t;
    localtime_r(&hw, &t);
    char line[64];
    std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d\n", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    sb.Write("/sim/rtc", line);
}

bool CommandLogged(const Sandbox &sb, const char *prefix)
{
    return sb.Read("/sim/commands.log").find(prefix) != std::string::npos;
}

struct ClockFixture : ::testing::Test {
    TemproraryDataRec live{};
    void SetUp() override { TemproraryData = &live; }
    void TearDown() override { TemproraryData = nullptr; }
};

} // namespace

TEST(HwclockText, ParsesMonthNamesAndFallsBackToTheSystemMonth)
{
    struct tm hw;
    ASSERT_EQ(ParseHwclockText("Dec 5 18:43:14 2026\n", 7, &hw), 0);
    EXPECT_EQ(hw.tm_year, 2026);
    EXPECT_EQ(hw.tm_mon, 12);
    EXPECT_EQ(hw.tm_mday, 5);
    EXPECT_EQ(hw.tm_hour, 18);
    EXPECT_EQ(hw.tm_min, 43);
    EXPECT_EQ(hw.tm_sec, 14);

    ASSERT_EQ(ParseHwclockText("Foo 5 18:43:14 2026", 7, &hw), 0);
    EXPECT_EQ(hw.tm_mon, 7);
    ASSERT_EQ(ParseHwclockText("Febuary 29 00:00:00 2024", 1, &hw), 0);
    EXPECT_EQ(hw.tm_mon, 2);   // matched on the first three characters
}

TEST(HwclockText, GarbledLinesAreRefused)
{
    struct tm hw;
    EXPECT_EQ(ParseHwclockText("", 1, &hw), -1);
    EXPECT_EQ(ParseHwclockText("Dec 5 18:43 2026", 1, &hw), -1);
    EXPECT_EQ(ParseHwclockText("hwclock: cannot access the Hardware Clock", 1, &hw), -1);
    std::string longWord(500, 'x');
    EXPECT_EQ(ParseHwclockText(longWord.c_str(), 1, &hw), -1);
    EXPECT_EQ(ParseHwclockText("\x01\xff\x7f 1 2:3:4", 1, &hw), -1);
}

// The thresholds on exact readings: 1 set, 0 leave, -1 refuse.
TEST(HwclockVerdict, ThresholdsDatesAndYears)
{
    const struct tm sys = At(2026, 6, 15, 12, 0, 0);
    const struct {
        int mode;
        struct tm hw;
        int verdict;
    } cases[] = {
        // Start-up: 4 s either way is left alone, 5 s and another date set.
        {0, At(2026, 6, 15, 12, 0, 4), 0}, {0, At(2026, 6, 15, 11, 59, 56), 0},
        {0, At(2026, 6, 15, 12, 0, 5), 1}, {0, At(2026, 6, 15, 11, 59, 55), 1},
        {0, At(2026, 6, 16, 12, 0, 0), 1},
        // Run time: 2 s ignored, 3 to 60 s applied, 61 s ignored, another date refused.
        {1, At(2026, 6, 15, 12, 0, 2), 0}, {1, At(2026, 6, 15, 11, 59, 58), 0},
        {1, At(2026, 6, 15, 12, 0, 3), 1}, {1, At(2026, 6, 15, 11, 59, 57), 1},
        {1, At(2026, 6, 15, 12, 1, 0), 1}, {1, At(2026, 6, 15, 11, 59, 0), 1},
        {1, At(2026, 6, 15, 12, 1, 1), 0}, {1, At(2026, 6, 15, 11, 58, 59), 0},
        {1, At(2026, 6, 14, 12, 0, 10), -1},
        // Trusted years: 2012 to 2037.
        {0, At(2011, 6, 15, 12, 0, 30), -1}, {0, At(2012, 6, 15, 12, 0, 30), 1},
        {0, At(2030, 6, 15, 12, 0, 30), 1},  {0, At(2031, 6, 15, 12, 0, 30), 1},
        {0, At(2037, 6, 15, 12, 0, 30), 1},  {0, At(2038, 6, 15, 12, 0, 30), -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " " << c.hw.tm_year << "-" << c.hw.tm_mday << " "
                                        << c.hw.tm_hour << ":" << c.hw.tm_min << ":" << c.hw.tm_sec);
        EXPECT_EQ(HwclockVerdict(c.mode, c.hw, sys), c.verdict);
    }
}

// The corrections on the simulated clocks, well away from the thresholds,
// in the years around the old bound.
TEST_F(ClockFixture, CorrectionsReachTheSimulatedClocks)
{
    for (int year : {2030, 2031, 2037}) {
        SCOPED_TRACE(year);
        Sandbox sb(std::to_string(year) + "-06-15 12:00:00");
        time_t before = TpTime();
        SetRtc(sb, 30);
        EXPECT_EQ(SetSystimeByHwclock(0), 0);
        EXPECT_TRUE(CommandLogged(sb, "date -s 061512"));
        EXPECT_NEAR(double(TpTime() - before), 30.0, 2.0);
        EXPECT_EQ(live.ShareClock.Year, year);
        SetRtc(sb, -30);
        EXPECT_EQ(SetSystimeByHwclock(1), 0);
        EXPECT_NEAR(double(TpTime() - before), 0.0, 2.0);
    }
    Sandbox sb("2026-06-15 12:00:00");
    SetRtc(sb, 86400);
    EXPECT_EQ(SetSystimeByHwclock(1), -1);   // another date at run time
    EXPECT_EQ(SetSystimeByHwclock(0), 0);    // set at start-up
    EXPECT_EQ(GetTime(0)->tm_mday, 16);
    std::remove(sb.Path("/sim/rtc").c_str());
    EXPECT_EQ(SetSystimeByHwclock(0), -1);
    EXPECT_EQ(SetSystimeByHwclock(1), -1);
}

TEST_F(ClockFixture, HwclockFollowsTheSystemTime)
{
    Sandbox sb("2026-06-15 12:00:00");
    sb.Write("/sim/rtc", "2020-01-01 00:00:00\n");
    EXPECT_EQ(SetHwclockBySysTime(0), 0);
    struct tm hw;
    ASSERT_EQ(ReadHwclock(&hw), 0);
    EXPECT_EQ(hw.tm_year, 2026);
    EXPECT_EQ(hw.tm_mon, 6);
    EXPECT_EQ(hw.tm_mday, 15);
    EXPECT_TRUE(CommandLogged(sb, "hwclock --systohc"));
}

TEST_F(ClockFixture, SharedCopyTicksWithoutWrappingTheHour)
{
    live.ShareClock.Hour = 23;
    live.ShareClock.Min = 59;
    live.ShareClock.Sec = 58;
    live.ShareClock.Day = 31;
    UpdateMyTime();
    EXPECT_EQ(live.ShareClock.Sec, 59);
    UpdateMyTime();
    EXPECT_EQ(live.ShareClock.Sec, 0);
    EXPECT_EQ(live.ShareClock.Min, 0);
    EXPECT_EQ(live.ShareClock.Hour, 24);   // the hourly resync puts it right
    EXPECT_EQ(live.ShareClock.Day, 31);
}

TEST(DateValid, CalendarAndYears)
{
    const struct {
        int y, m, d, valid;
    } cases[] = {
        {1969, 12, 31, -1}, {1970, 1, 1, 1},   {2000, 2, 29, 1},   {2100, 2, 29, -1}, {2024, 2, 29, 1},
        {2026, 2, 29, -1},  {2026, 4, 31, -1}, {2026, 12, 31, 1},  {2026, 13, 1, -1}, {2026, 0, 1, -1},
        {2026, 1, 0, -1},   {2030, 12, 31, 1}, {2031, 1, 1, 1},    {2037, 12, 31, 1}, {2038, 1, 1, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CheckDateValid(c.y, c.m, c.d), c.valid) << c.y << "-" << c.m << "-" << c.d;
}
