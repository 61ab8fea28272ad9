// The housekeeping loop's triggers: the nightly window with the CF-copy
// flag, and the hourly resync of the shared clock copy.
#include <gtest/gtest.h>

#include "core/Main.h"
#include "station/Polling.h"
#include "station/Station.h"
#include "core/ShareMem.h"
#include "support/Sandbox.h"

using komain_test::Sandbox;

namespace {

struct HousekeepingTest : ::testing::Test {
    TemproraryDataRec live{};
    unsigned char flag = 0;
    HousekeepingState st;

    void SetUp() override
    {
        TemproraryData = &live;
        g_pCpyCfDataFlag = &flag;
    }
    void TearDown() override
    {
        TemproraryData = nullptr;
        g_pCpyCfDataFlag = nullptr;
    }
    void At(int day, int hour, int min, int sec)
    {
        live.ShareClock.Year = 2026;
        live.ShareClock.Mon = 3;
        live.ShareClock.Day = day;
        live.ShareClock.Hour = hour;
        live.ShareClock.Min = min;
        live.ShareClock.Sec = sec;
    }
    // Runs one pass and counts the nightly copies it made.
    int Pass()
    {
        testing::internal::CaptureStdout();
        HousekeepingPass(st);
        std::string out = testing::internal::GetCapturedStdout();
        int copies = 0;
        for (size_t p = out.find("*******\n1\r\n"); p != std::string::npos; p = out.find("*******\n1\r\n", p + 1))
            ++copies;
        return copies;
    }
};

} // namespace

TEST_F(HousekeepingTest, StartInsideTheNightlyWindowCopiesAtOnceAndOncePerDay)
{
    Sandbox sb("2026-03-10 02:03:30");
    At(10, 2, 3, 30);
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(flag, 1);
    At(10, 2, 3, 31);
    EXPECT_EQ(Pass(), 0);
    At(10, 2, 4, 59);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(flag, 1);
    At(10, 2, 5, 0);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(flag, 0);
    At(11, 2, 3, 0);
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(flag, 1);
    // The nightly clock check asked the hardware clock.
    EXPECT_NE(sb.Read("/sim/commands.log").find("hwclock"), std::string::npos);
}

TEST_F(HousekeepingTest, FlagLeftSetByAnEarlierRunIsClearedOutsideTheWindow)
{
    Sandbox sb("2026-03-10 09:00:00");
    flag = 1;
    At(10, 9, 0, 0);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(flag, 0);
    At(10, 2, 2, 59);
    Pass();
    EXPECT_EQ(flag, 0);
}

TEST_F(HousekeepingTest, SharedCopyIsReloadedAfterSecondFourOfMinuteZero)
{
    Sandbox sb("2026-03-11 00:00:05");
    // The tick ran the copy's hour up to 24 at midnight.
    At(10, 24, 0, 4);
    Pass();
    EXPECT_EQ(live.ShareClock.Hour, 24);   // second 4: not yet
    At(10, 24, 0, 5);
    Pass();
    EXPECT_EQ(live.ShareClock.Hour, 0);
    EXPECT_EQ(live.ShareClock.Day, 11);
    EXPECT_EQ(live.ShareClock.Mon, 3);
    EXPECT_EQ(live.ShareClock.Year, 2026);
    // Once per hour only: a later pass in the same minute keeps the copy.
    live.ShareClock.Hour = 7;
    live.ShareClock.Sec = 6;
    Pass();
    EXPECT_EQ(live.ShareClock.Hour, 7);
}
