// Setting up a running station from its main terminal: the clock commands
// move the simulated clock and the hardware clock and are refused while
// the minute holds rain, STATMAIN follows the main board on the bus, and
// the identity, position and LAN destination survive a restart.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

#include "support/Central.h"
#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// Node 18, transmit PDO 1: air temperature and humidity.
TpCanFrame TempHumidity()
{
    TpCanFrame f{};
    f.can_id = 0x180 + 18;
    f.can_dlc = 8;
    f.data[0] = 0xa4;   // 22.12 deg C
    f.data[1] = 0x08;
    f.data[2] = 0x64;   // 65 %
    f.data[3] = 0x19;
    return f;
}

// Node 18, transmit PDO 4: 5 rain counts, MACT 22.70, supply 12500 mV.
TpCanFrame RainAndSupply()
{
    TpCanFrame f{};
    f.can_id = 0x480 + 18;
    f.can_dlc = 8;
    const uint16_t w[4] = {5, 0, 2270, 12500};
    for (int i = 0; i < 4; ++i) {
        f.data[2 * i] = uint8_t(w[i] & 0xff);
        f.data[2 * i + 1] = uint8_t(w[i] >> 8);
    }
    return f;
}

// Types a command on the terminal and returns what arrived once `expect`
// is in it (or after 4 s).
std::string Ask(int fd, const std::string &command, const std::string &expect)
{
    std::string line = command + "\r\n";
    if (write(fd, line.data(), line.size()) != ssize_t(line.size()))
        return {};
    std::string got;
    Station::WaitFor(
        [&] {
            char buf[1024];
            for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
                got.append(buf, size_t(n));
            return got.find(expect) != std::string::npos;
        },
        4s);
    return got;
}

bool Has(const std::string &got, const std::string &want) { return got.find(want) != std::string::npos; }

// The CAN link status of a STATMAIN reply: its 14th word.
std::string CanLink(const std::string &reply)
{
    std::size_t at = reply.rfind("STATMAIN ");
    if (at == std::string::npos)
        return "?";
    std::string word;
    int n = 0;
    for (std::size_t i = at; i < reply.size() && reply[i] != '\r'; ++i) {
        if (reply[i] != ' ') {
            word += reply[i];
            continue;
        }
        if (++n == 14)
            return word;
        word.clear();
    }
    return "?";
}

} // namespace

TEST(SetupE2E, ClockPositionAndMainBoardStatusOnARunningStation)
{
    Station st(StationOptions{"2026-03-10 08:15:30", "", "", true});
    st.WriteFile("/sim/rtc", "2026-03-10 08:15:30\n");
    int peer = st.CanPeer();
    int com0 = st.AddPty("ttymxc4");
    ASSERT_GE(com0, 0);
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() >= 4; }, 15s)) << st.Output();
    ASSERT_TRUE(Has(Ask(com0, "DATE", "2026-03-10"), "2026-03-10")) << st.Output();

    std::atomic<bool> talking{true};
    std::thread board([&] {
        while (talking) {
            st.CanSend(peer, TempHumidity());
            std::this_thread::sleep_for(100ms);
        }
    });
    // The clock moves to a minute's end on the next day; the hardware
    // clock follows.
    EXPECT_TRUE(Has(Ask(com0, "DATE 2026-03-11", "T\r"), "T\r"));
    EXPECT_TRUE(Has(Ask(com0, "TIME 08:16:54", "T\r"), "T\r"));
    EXPECT_TRUE(Station::WaitFor([&] { return st.ReadFile("/sim/rtc").rfind("2026-03-11 08:16:5", 0) == 0; }, 3s))
        << st.ReadFile("/sim/rtc");
    EXPECT_TRUE(Has(Ask(com0, "DATE", "2026-03-11"), "2026-03-11"));

    // Rain and the supply voltage from the main board, which then falls
    // silent before the minute ends.
    st.CanSend(peer, RainAndSupply());
    EXPECT_TRUE(Has(Ask(com0, "STATMAIN", " - - - - -"), "STATMAIN 0 125 1 227 "));
    std::string live = Ask(com0, "STATMAIN", " - - - - -");
    talking = false;
    board.join();
    EXPECT_EQ(CanLink(live), "0") << live;

    ASSERT_TRUE(Station::WaitFor(
        [&] {
            std::string f = st.ReadFile("/mnt/nand3/tempdata/DMGD/260311.DAT");
            return f.size() == 1440u * 512 && f.compare((8 * 60 + 17) * 512 + 22, 6, "08:17 ") == 0;
        },
        15s))
        << st.Output();
    // The minute's record holds rain: the clock stays.
    EXPECT_TRUE(Has(Ask(com0, "TIME 09:00:00", "F\r"), "F\r"));
    EXPECT_TRUE(Has(Ask(com0, "DATE 2026-03-12", "F\r"), "F\r"));
    std::string silent = Ask(com0, "STATMAIN", " - - - - -");
    EXPECT_TRUE(Has(silent, "STATMAIN 0 0 1 0 ")) << silent;
    EXPECT_EQ(CanLink(silent), "2") << silent;

    komain_test::Central central;
    const std::string dest = "127.0.0.1 " + std::to_string(central.port);
    EXPECT_TRUE(Has(Ask(com0, "ID 54399", "T\r"), "T\r"));
    EXPECT_TRUE(Has(Ask(com0, "LAT -0.30.00", "T\r"), "T\r"));
    EXPECT_TRUE(Has(Ask(com0, "DEST " + dest, "T\r"), "T\r"));
    st.Stop();
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() >= 4; }, 15s)) << st.Output();
    EXPECT_TRUE(Has(Ask(com0, "ID", "54399"), "54399\r"));
    EXPECT_TRUE(Has(Ask(com0, "LAT", "-0.30.00"), "-0.30.00\r"));
    EXPECT_TRUE(Has(Ask(com0, "DEST", dest), dest + "\r"));
    st.Stop();
}
