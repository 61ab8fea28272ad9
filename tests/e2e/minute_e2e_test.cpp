// The minute cycle of a whole simulated station: main-board temperature and
// humidity frames on the bus become the minute's DMGD slot of the day file,
// the next slot carries its body, and a restart within two minutes takes
// the hour's statistics back.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// Types a command on a terminal line and collects the reply until `expect`
// has arrived or 3 s have passed; returns what came.
std::string Ask(int fd, const std::string &command, const std::string &expect)
{
    if (write(fd, command.data(), command.size()) != ssize_t(command.size()))
        return {};
    std::string got;
    Station::WaitFor(
        [&] {
            char buf[1024];
            for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
                got.append(buf, size_t(n));
            return got.find(expect) != std::string::npos;
        },
        3s);
    return got.find(expect) != std::string::npos ? expect : got;
}

constexpr int SLOT_0816 = 8 * 60 + 16;
const char *const kDay = "/mnt/nand3/tempdata/DMGD/260310.DAT";

} // namespace

TEST(MinuteE2E, MainBoardFramesBecomeTheMinuteSlotAndARestartResumesTheHour)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:53";
    Station st(o);
    st.WriteFile("/sim/rtc", "2026-03-10 08:15:53\n");
    int peer = st.CanPeer();
    ASSERT_GE(peer, 0);
    int com0 = st.AddPty("ttymxc4");   // the main terminal on the newer board
    ASSERT_GE(com0, 0);
    ASSERT_GT(st.Start(), 0);

    std::atomic<bool> stop{false};
    std::thread board([&] {
        while (!stop) {
            st.CanSend(peer, komain_test::MainBoardTempHumidity(2212, 6500));
            std::this_thread::sleep_for(100ms);
        }
    });
    bool written = Station::WaitFor(
        [&] {
            std::string f = st.ReadFile(kDay);
            return f.size() == 1440u * 512 && f.compare(SLOT_0816 * 512 + 22, 6, "08:16 ") == 0;
        },
        20s);
    stop = true;
    board.join();
    ASSERT_TRUE(written) << st.Output();

    std::string f = st.ReadFile(kDay);
    std::string slot = f.substr(SLOT_0816 * 512, 512);
    std::string line = slot.substr(0, slot.find('\0'));
    EXPECT_EQ(line.substr(0, 5), "DMGD ");
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    // Factory generation is the older one. 22.12 deg C and 65 %: the
    // temperature, the wet bulb, the humidity, then vapour
    // pressure and dew point.
    EXPECT_NE(line.find(" 221 * 65 173 152 "), std::string::npos) << line;
    std::string next = f.substr((SLOT_0816 + 1) * 512, 512);
    EXPECT_EQ(next.substr(0, 27), "DMGD 10101 2026-03-10 08:17");
    EXPECT_EQ(next.substr(27), slot.substr(27));
    EXPECT_EQ(st.ReadFile("/mnt/nand3/tempdata/lastmindata.bin").size(), 504u);

    // The terminal reads the record back from its slot (the line's output
    // processing is the driver's: its end may arrive as "\r\r\n").
    std::string body = line.substr(0, line.size() - 2);
    EXPECT_EQ(Ask(com0, "DMGD 2026-03-10 08:16 1\r\n", body), body);

    // A restart well within two minutes of the save, in the same hour.
    st.Stop();
    ASSERT_GT(st.Start(), 0);
    EXPECT_TRUE(Station::WaitFor(
        [&] { return st.Output().find("lastmindata is useful\r\n") != std::string::npos; }, 25s))
        << st.Output();
    st.Stop();
}
