// A whole simulated station: start-up, the four processes, the boot record,
// the watchdog reboot, and the refusal to run outside a sandbox.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

bool Contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

int IndexOf(const std::vector<std::string> &lines, const std::string &line)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == line)
            return int(i);
    return -1;
}

} // namespace

TEST(StationE2E, StartsWritesItsFilesAndRunsFourProcesses)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:00";
    Station st(o);
    st.WriteFile("/sim/rtc", "2026-03-10 08:15:00\n");
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() == 4; }, 20s)) << st.Output();

    EXPECT_EQ(st.ReadFile("/mnt/nand2/para_ex.bin").size(), 4u);
    EXPECT_EQ(st.ReadFile("/mnt/nand2/para.bin").size(), 5840u);
    EXPECT_EQ(st.ReadFile("/mnt/nand2/modipam.bin").size(), 1600u);
    std::string boot = st.ReadFile("/mnt/cf/tempdata/RebootRec.TXT");
    EXPECT_EQ(boot.substr(0, 16), "2026-03-10 08:15") << boot;
    EXPECT_EQ(boot.size(), 21u);
    EXPECT_EQ(boot.substr(19), "\r\n");

    std::string out = st.Output();
    EXPECT_TRUE(Contains(out, "Storge:/mnt/nand3/!\r\n"));
    EXPECT_TRUE(Contains(out, "Share Memory OK!\r\n"));

    // Start-up commands in their order, board paths as written.
    auto cmds = st.Commands();
    int mkdirCf = IndexOf(cmds, "mkdir /mnt/cf/tempdata");
    int rmUpgrade = IndexOf(cmds, "rm /mnt/ko_aws -fr");
    int route = IndexOf(cmds, "route add default gw 192.168.8.1");
    int umountNfs = IndexOf(cmds, "umount -l /mnt/nfs");
    EXPECT_GE(mkdirCf, 0);
    EXPECT_GT(rmUpgrade, mkdirCf);
    EXPECT_GT(route, rmUpgrade);
    EXPECT_GT(umountNfs, route);
    EXPECT_GE(IndexOf(cmds, "ifconfig eth1 192.168.1.202 up"), 0);
    // The hardware clock agrees: no date is set.
    for (const auto &c : cmds)
        EXPECT_FALSE(Contains(c, "date -s")) << c;
    st.Stop();
    EXPECT_EQ(st.ProcessCount(), 0);
}

TEST(StationE2E, OlderBoardUsesEth0AndItsDeviceNames)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:00";
    o.kernel = "2.6.39";
    Station st(o);
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() == 4; }, 20s)) << st.Output();
    EXPECT_GE(IndexOf(st.Commands(), "ifconfig eth0 192.168.1.202 up"), 0);
    EXPECT_TRUE(Contains(st.Output(), "Version:2.6.39 2.6.39\n")) << st.Output();
}

TEST(StationE2E, HardwareClockAheadSetsTheClockAtStartUp)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:00";
    Station st(o);
    st.WriteFile("/sim/rtc", "2026-03-10 09:15:10\n");
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() == 4; }, 20s)) << st.Output();
    bool set = false;
    for (const auto &c : st.Commands())
        set = set || c.rfind("date -s 03100915", 0) == 0;
    EXPECT_TRUE(set) << st.Output();
}

// With process A stopped its watchdog slot is never fed again: after about
// 25 s the housekeeping process records the culprit and reboots the board.
TEST(StationE2E, WatchdogRebootsWhenAProcessStops)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:00";
    Station st(o);
    pid_t a = st.Start();
    ASSERT_GT(a, 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() == 4; }, 20s)) << st.Output();
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(st.ReadFile("/sim/reboot.log"), "");
    auto stopped = std::chrono::steady_clock::now();
    kill(a, SIGSTOP);   // the starting process becomes A, the CAN receiver
    ASSERT_TRUE(Station::WaitFor([&] { return !st.ReadFile("/sim/reboot.log").empty(); }, 40s));
    double after = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    EXPECT_GT(after, 20.0);
    EXPECT_LT(after, 32.0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() == 0; }, 3s));

    std::string rec = st.ReadFile("/mnt/cf/tempdata/ErrorRec.TXT");
    ASSERT_GE(rec.size(), 27u) << rec;
    EXPECT_EQ(rec.substr(0, 8), "2026-03-");
    EXPECT_EQ(rec.substr(19), " a a b\r\n");
    std::string reboot = st.ReadFile("/sim/reboot.log");
    EXPECT_TRUE(Contains(reboot, "2026-03-10 08:1")) << reboot;
    EXPECT_TRUE(Contains(reboot, " reboot\n"));
    EXPECT_TRUE(Contains(st.Output(), "SoftDog Status,errortime:101\n"));
    bool logged = false;
    for (const auto &c : st.Commands())
        logged = logged || c == "reboot";
    EXPECT_TRUE(logged);
}
