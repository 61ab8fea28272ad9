// Clock keeping: GetTime, the hardware clock corrections, the shared copy.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>

#include "platform/Transplant.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "support/Sandbox.h"

using komain_test::Sandbox;

namespace {

time_t Local(int y, int mo, int d, int h, int mi, int s)
{
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    return mktime(&t);
}

// Waits until the simulated clock is early in its second, so that a test
// that compares whole seconds does not straddle a second boundary.
void WaitEarlyInSecond()
{
    for (;;) {
        struct timeval tv;
        TpGetTimeOfDay(&tv);
        if (tv.tv_usec >= 50000 && tv.tv_usec < 400000)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Sets the hardware clock to the simulated system clock plus offsetSeconds
// (plus extra whole days), as read right now.
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

TEST_F(ClockFixture, GetTimeGivesFullYearAndMonthOneToTwelveAcrossLeapDay)
{
    Sandbox sb("2020-03-01 00:30:00");
    struct tm *t = GetTime(-1440);
    EXPECT_EQ(t->tm_year, 2020);
    EXPECT_EQ(t->tm_mon, 2);
    EXPECT_EQ(t->tm_mday, 29);
    EXPECT_EQ(t->tm_hour, 0);
    EXPECT_EQ(t->tm_min, 30);
    EXPECT_EQ(live.TimeNow, int32_t(Local(2020, 3, 1, 0, 30, 0)));

    t = GetTime(-525600);   // 365 days back from 1 March 2020 is 2 March 2019
    EXPECT_EQ(t->tm_year, 2019);
    EXPECT_EQ(t->tm_mon, 3);
    EXPECT_EQ(t->tm_mday, 2);

    t = GetTime(1);
    EXPECT_EQ(t->tm_min, 31);
}

TEST_F(ClockFixture, GetTimeAtYearEndRollsIntoJanuary)
{
    Sandbox sb("2026-12-31 23:59:30");
    struct tm *t = GetTime(1);
    EXPECT_EQ(t->tm_year, 2027);
    EXPECT_EQ(t->tm_mon, 1);
    EXPECT_EQ(t->tm_mday, 1);
    EXPECT_EQ(t->tm_hour, 0);
    EXPECT_EQ(t->tm_min, 0);
}

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

TEST_F(ClockFixture, StartupCheckKeepsFourSecondsAndSetsFive)
{
    Sandbox sb("2026-06-15 12:00:00");
    WaitEarlyInSecond();
    SetRtc(sb, 4);
    EXPECT_EQ(SetSystimeByHwclock(0), 0);
    EXPECT_FALSE(CommandLogged(sb, "date -s"));

    WaitEarlyInSecond();
    SetRtc(sb, -4);
    EXPECT_EQ(SetSystimeByHwclock(0), 0);
    EXPECT_FALSE(CommandLogged(sb, "date -s"));

    WaitEarlyInSecond();
    time_t before = TpTime();
    SetRtc(sb, 5);
    EXPECT_EQ(SetSystimeByHwclock(0), 0);
    EXPECT_TRUE(CommandLogged(sb, "date -s 06151200"));
    EXPECT_NEAR(double(TpTime() - before), 5.0, 1.0);
    // The shared copy follows the new system time.
    EXPECT_EQ(live.ShareClock.Year, 2026);
    EXPECT_EQ(live.ShareClock.Mon, 6);
}

TEST_F(ClockFixture, StartupCheckSetsOnAnotherDate)
{
    Sandbox sb("2026-06-15 12:00:00");
    WaitEarlyInSecond();
    SetRtc(sb, 86400);
    EXPECT_EQ(SetSystimeByHwclock(0), 0);
    EXPECT_TRUE(CommandLogged(sb, "date -s 06161200"));
    EXPECT_EQ(GetTime(0)->tm_mday, 16);
}

TEST_F(ClockFixture, RuntimeCheckAppliesThreeToSixtySeconds)
{
    Sandbox sb("2026-06-15 12:00:00");
    struct Case {
        long offset;
        int result;
        bool set;
    };
    const Case cases[] = {{2, 0, false}, {-2, 0, false}, {61, 0, false}, {-61, 0, false},
                          {3, 0, true},  {-3, 0, true},  {60, 0, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.offset);
        WaitEarlyInSecond();
        time_t before = TpTime();
        SetRtc(sb, c.offset);
        EXPECT_EQ(SetSystimeByHwclock(1), c.result);
        double moved = double(TpTime() - before);
        if (c.set)
            EXPECT_NEAR(moved, double(c.offset), 1.0);
        else
            EXPECT_NEAR(moved, 0.0, 1.0);
    }
}

TEST_F(ClockFixture, RuntimeCheckRefusesAnotherDate)
{
    Sandbox sb("2026-06-15 23:59:58");
    WaitEarlyInSecond();
    SetRtc(sb, 86400);
    EXPECT_EQ(SetSystimeByHwclock(1), -1);
    EXPECT_FALSE(CommandLogged(sb, "date -s"));
}

TEST_F(ClockFixture, UntrustedYearsAndMissingClockChangeNothing)
{
    Sandbox sb("2026-06-15 12:00:00");
    sb.Write("/sim/rtc", "2011-06-15 12:00:30\n");
    EXPECT_EQ(SetSystimeByHwclock(0), -1);
    sb.Write("/sim/rtc", "2031-06-15 12:00:30\n");
    EXPECT_EQ(SetSystimeByHwclock(0), -1);
    std::remove(sb.Path("/sim/rtc").c_str());
    EXPECT_EQ(SetSystimeByHwclock(0), -1);
    EXPECT_EQ(SetSystimeByHwclock(1), -1);
    EXPECT_FALSE(CommandLogged(sb, "date -s"));
    EXPECT_EQ(GetTime(0)->tm_year, 2026);
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

TEST_F(ClockFixture, DelaySWaitsForNPlusOneChanges)
{
    std::atomic<bool> stop{false};
    std::atomic<int> ticks{0};
    std::thread ticker([&] {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            live.ShareClock.Sec = (live.ShareClock.Sec + 1) % 60;
            ++ticks;
        }
    });
    int start = ticks;
    DelayS(0);
    int afterZero = ticks;
    DelayS(3);
    int afterThree = ticks;
    stop = true;
    ticker.join();
    EXPECT_GE(afterZero - start, 1);
    EXPECT_LE(afterZero - start, 2);
    EXPECT_GE(afterThree - afterZero, 4);
    EXPECT_LE(afterThree - afterZero, 5);
}
