// The minute loop's clock check: a system clock more than 10 s off the
// shared clock (or in a year outside 2012 to 2037) is corrected from the hardware
// clock at most once between two processed minutes, never at minutes 0 and
// 59; a correction that worked is broadcast to the boards while the bus is
// up. And the minute itself never starts at second 55 or later.
#include "dmgd_fixture.h"

#include <algorithm>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "canbus/CanSend.h"
#include "core/MyTime.h"

namespace {

struct ClockCheckTest : MinuteTest {
    void TearDown() override
    {
        if (fd_socket_can >= 0)
            TpCanClose(fd_socket_can);
        fd_socket_can = -1;
        if (peer_ >= 0)
            close(peer_);
        peer_ = -1;
        MinuteTest::TearDown();
    }
    // The station at clock, with the hardware clock reading rtc.
    void Station(const std::string &clock, const std::string &rtc)
    {
        Start(clock);
        if (!rtc.empty())
            sb_->Write("/sim/rtc", rtc + "\n");
        TemproraryData->MainStat.CanBusState = '0';
        peer_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::string p = sb_->Root() + "/run/can0.bus";
        std::memcpy(a.sun_path, p.c_str(), p.size() + 1);
        ASSERT_EQ(bind(peer_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        fd_socket_can = TpCanOpen("can0");
        ASSERT_GE(fd_socket_can, 0);
    }
    // The shared clock off the system clock by delta seconds.
    void ShareOff(int delta)
    {
        LoadShareClock(GetTime(0));
        ShareClockRec &c = TemproraryData->ShareClock;
        int s = c.Min * 60 + c.Sec + delta;
        c.Min = s / 60;
        c.Sec = s % 60;
    }
    int Pass()
    {
        testing::internal::CaptureStdout();
        int r = DataProcessPass(st_);
        testing::internal::GetCapturedStdout();
        return r;
    }
    int Count(const std::string &what) const
    {
        std::string log = sb_->Read("/sim/commands.log");
        int n = 0;
        for (std::string::size_type p = log.find(what); p != std::string::npos;
             p = log.find(what, p + 1))
            ++n;
        return n;
    }
    int TimeFrames() const
    {
        int n = 0;
        unsigned char buf[64];
        pollfd p{peer_, POLLIN, 0};
        while (poll(&p, 1, 0) > 0 && recv(peer_, buf, sizeof buf, 0) == 16) {
            uint32_t id = buf[0] | buf[1] << 8 | buf[2] << 16 | uint32_t(buf[3]) << 24;
            n += id == CANID_TIME;
        }
        return n;
    }
    DataProcessState st_;
    int peer_ = -1;
};

} // namespace

TEST_F(ClockCheckTest, CorrectedOnceUntilTheNextMinuteIsProcessed)
{
    Station("2026-03-10 08:30:20", "2026-03-10 08:30:40");
    st_.p_min = 30;
    ShareOff(-10);   // 10 s is still right
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(Count("hwclock"), 0);
    ShareOff(11);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(Count("hwclock"), 1);
    EXPECT_EQ(Count("date -s 031008302026.4"), 1);   // moved to the hardware clock
    EXPECT_EQ(GetTime(0)->tm_sec / 10, 4);
    EXPECT_EQ(TimeFrames(), 1);
    // Off again in the same minute: nothing more.
    ShareOff(-30);
    Pass();
    EXPECT_EQ(Count("hwclock"), 1);
    // The next minute is processed and clears the mark.
    ASSERT_EQ(TpSetTime(TpTime() + 25), 0);   // 08:31:0x
    EXPECT_EQ(Pass(), 1);
    ShareOff(-30);
    Pass();
    EXPECT_EQ(Count("hwclock"), 2);
}

TEST_F(ClockCheckTest, FailedCorrectionIsNotRetriedAndNotBroadcast)
{
    Station("2026-03-10 08:30:20", "");   // the hardware clock cannot be read
    st_.p_min = 30;
    ShareOff(20);
    Pass();
    ShareOff(20);
    Pass();
    EXPECT_EQ(Count("hwclock"), 1);
    EXPECT_EQ(TimeFrames(), 0);
    EXPECT_TRUE(st_.corrected);
}

TEST_F(ClockCheckTest, NoBroadcastWhileTheBusIsDown)
{
    Station("2026-03-10 08:30:20", "2026-03-10 08:30:40");
    TemproraryData->MainStat.CanBusState = '2';
    st_.p_min = 30;
    ShareOff(15);
    Pass();
    EXPECT_EQ(Count("date -s"), 1);
    EXPECT_EQ(TimeFrames(), 0);
}

TEST_F(ClockCheckTest, MinutesZeroAndFiftyNineAreNotChecked)
{
    Station("2026-03-10 08:59:20", "2026-03-10 08:59:40");
    st_.p_min = 59;
    ShareOff(30);
    Pass();
    ASSERT_EQ(TpSetTime(TpTime() + 60), 0);   // 09:00:20
    st_.p_min = 0;
    ShareOff(30);
    Pass();
    EXPECT_EQ(Count("hwclock"), 0);
}

TEST_F(ClockCheckTest, AnImpossibleYearIsCheckedEvenWithTheClocksAgreeing)
{
    for (auto [year, checked] : {std::pair{2011, 1}, {2030, 0}, {2031, 0}, {2037, 0}, {2038, 1}}) {
        SCOPED_TRACE(year);
        Station(std::to_string(year) + "-01-01 10:20:20", "2026-03-10 08:30:40");
        st_ = DataProcessState{};
        st_.p_min = 20;
        ShareOff(0);
        Pass();
        EXPECT_EQ(Count("hwclock"), checked);
        TearDown();
    }
    // Garbage in the shared copy never overflows the difference.
    Start("2026-03-10 08:30:20");
    st_ = DataProcessState{};
    st_.p_min = 30;
    TemproraryData->ShareClock.Min = INT32_MAX;
    TemproraryData->ShareClock.Sec = INT32_MIN;
    Pass();
    EXPECT_TRUE(st_.corrected);
}

TEST_F(ClockCheckTest, MinuteStartsBeforeSecond55AndASkippedMinuteHasNoRecord)
{
    Station("2026-03-10 08:16:54", "");
    st_.p_min = 15;
    LoadShareClock(GetTime(0));
    EXPECT_EQ(Pass(), 1);   // second 54 still starts minute 16
    EXPECT_EQ(Pass(), 0);   // and only once
    EXPECT_EQ(sb_->Read("/mnt/nand3/tempdata/lastmindata_new.bin").size(), 504u);
    ASSERT_EQ(TpSetTime(TpTime() + 61), 0);   // 08:17:55
    LoadShareClock(GetTime(0));
    for (int i = 0; i < 5; ++i) {   // 55 to 59: minute 17 is never started
        EXPECT_EQ(Pass(), 0);
        ASSERT_EQ(TpSetTime(TpTime() + 1), 0);
    }
    ASSERT_EQ(TpSetTime(TpTime() + 60), 0);   // 08:19:00: busy through all of minute 18
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(st_.p_min, 19);
    std::string day = sb_->Read("/mnt/nand3/tempdata/DMGD/260310.DAT");
    ASSERT_EQ(day.size(), 1440u * 512);
    auto slot = [&](int h, int m) { return day.substr(size_t(h * 60 + m) * 512, 27); };
    EXPECT_EQ(slot(8, 16), "DMGD 12345 2026-03-10 08:16");
    EXPECT_EQ(slot(8, 19), "DMGD 12345 2026-03-10 08:19");
    // 08:17 holds the body carried from 08:16 under its own placeholder
    // head; 08:18 is still the bare placeholder.
    EXPECT_EQ(day.substr((8 * 60 + 18) * 512 + 27, 5), "-----");
}
