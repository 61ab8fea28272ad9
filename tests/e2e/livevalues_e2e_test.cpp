// From the bus to the terminal: the test plays the main sampling board with
// fixed readings, komain converts them into its live tables, and OBSAMPLE
// on COM0 shows them. (The polling tick's SYNC and TIME frames have their
// own end-to-end test.)
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <unistd.h>

#include "../../tools/stationsim/CanFrames.h"
#include "support/Station.h"

using namespace std::chrono;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// Drops the carriage returns the pseudo-terminal adds before line feeds.
std::string Plain(const std::string &s)
{
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

TEST(LiveValuesE2E, MainBoardFramesReachTheObservationView)
{
    StationOptions o;
    // Start-up takes about 8 s; the query then comes well before the
    // minute's hand-over resets the board status.
    o.clock = "2024-04-05 10:11:08";
    Station st(o);
    const int com0 = st.AddPty("ttymxc4");
    ASSERT_GE(com0, 0);
    const int peer = st.CanPeer(0);
    ASSERT_GE(peer, 0);
    ASSERT_GT(st.Start(), 0);

    // 21.37 degC, 65.43 % (kept as 65 %), 12.00 mA of the evaporation gauge
    // (49.05 mm of water); 60 wind pulses a quarter second, half a turn of
    // the vane; board at 25.5 degC on 13.6 V.
    const TpCanFrame answer[4] = {
        stationsim::MainTempHum(2137, 6543, 1200),
        stationsim::MainWindSpeed(60),
        stationsim::MainWindDir(1250, false, true),
        stationsim::MainRain(0, 0, 2550, 13600),
    };

    int syncs = 0;
    std::string reply;
    const auto end = steady_clock::now() + seconds(30);
    auto replied = [&] {
        const std::size_t p = reply.find("POWER:");
        return p != std::string::npos && reply.find('\n', p) != std::string::npos;
    };
    while (steady_clock::now() < end && !replied()) {
        TpCanFrame f;
        if (Station::CanRecv(peer, &f, 20) && f.can_id == stationsim::ID_SYNC) {
            for (const TpCanFrame &a : answer)
                st.CanSend(peer, a);
            // Two seconds of answers: every reading has been converted a few times.
            if (++syncs == 8) {
                ASSERT_EQ(15, write(com0, "OBSAMPLE MAIN\r\n", 15));
            }
        }
        char b[1024];
        ssize_t n = read(com0, b, sizeof b);
        if (n > 0)
            reply.append(b, std::size_t(n));
    }
    std::string text = Plain(reply);
    const std::size_t at = text.find("P:");
    ASSERT_NE(std::string::npos, at) << "no OBSAMPLE reply: " << reply << "\n" << st.Output().substr(0, 4000);
    // The time prefix is the station's clock.
    ASSERT_GE(at, 9u);
    EXPECT_EQ("10:11:", text.substr(at - 9, 6)) << text;
    for (const char *item : {" T0:21.37 ", " U:65 ", " WD:180 ", " WS:3.2 ", " LE:49.05 ", " SUM:0.0 RAW:",
                             " DOOR:1 MBTEMP:25.5 POWER:13.6\n"})
        EXPECT_NE(std::string::npos, text.find(item, at)) << item << " in " << text.substr(at);
}

} // namespace
