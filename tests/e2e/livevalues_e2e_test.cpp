// From the bus to the terminal: the test plays the main sampling board with
// fixed readings, komain converts them into its live tables, and OBSAMPLE
// on COM0 shows them; meanwhile the polling tick keeps its SYNC rhythm and
// sends the minute's TIME frame at second 23.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "../../tools/stationsim/CanFrames.h"
#include "support/Station.h"

using namespace std::chrono;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// The board's fixed readings.
constexpr int kTempCenti = 2137;       // 21.37 degC
constexpr int kHumCenti = 6543;        // 65.43 %, kept as 65.4 %
constexpr int kLeCurrent = 1200;       // 12.00 mA: 49.05 mm of water
constexpr int kWindCount = 60;         // pulses of a quarter second
constexpr int kWindDirRaw = 1250;      // half a turn: 180 degrees
constexpr int kBoardTempCenti = 2550;  // 25.5 degC
constexpr int kSupplyMilliVolt = 13600;

std::string Fmt(const char *fmt, double v)
{
    char b[64];
    std::snprintf(b, sizeof b, fmt, v);
    return b;
}

// The wind speed as the station converts a pulse count with its factory
// coefficients (0.3 + 0.049 n), kept in 0.01 m/s.
std::string WindSpeedText()
{
    float speed = 0.3f + 0.049f * kWindCount;
    int centi = int(speed * 100.0f);
    return "WS:" + Fmt("%0.1f", double(centi / 100.0f)) + " ";
}

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
    // minute's hand-over resets the board status, and second 23 follows.
    o.clock = "2024-04-05 10:11:08";
    Station st(o);
    const int com0 = st.AddPty("ttymxc4");
    ASSERT_GE(com0, 0);
    const int peer = st.CanPeer(0);
    ASSERT_GE(peer, 0);
    ASSERT_GT(st.Start(), 0);

    const TpCanFrame answer[4] = {
        stationsim::MainTempHum(kTempCenti, kHumCenti, kLeCurrent),
        stationsim::MainWindSpeed(kWindCount),
        stationsim::MainWindDir(kWindDirRaw, false, true),
        stationsim::MainRain(0, 0, kBoardTempCenti, kSupplyMilliVolt),
    };

    std::vector<steady_clock::time_point> syncs;
    std::vector<TpCanFrame> times;
    std::string reply;
    bool asked = false;
    const auto end = steady_clock::now() + seconds(30);
    while (steady_clock::now() < end) {
        TpCanFrame f;
        if (Station::CanRecv(peer, &f, 20)) {
            if (f.can_id == stationsim::ID_SYNC) {
                syncs.push_back(steady_clock::now());
                for (const TpCanFrame &a : answer)
                    st.CanSend(peer, a);
            } else if (f.can_id == stationsim::ID_TIME) {
                times.push_back(f);
            }
        }
        // Two seconds of answers: every reading has been converted a few times.
        if (!asked && syncs.size() >= 8) {
            ASSERT_EQ(15, write(com0, "OBSAMPLE MAIN\r\n", 15));
            asked = true;
        }
        char b[1024];
        ssize_t n = read(com0, b, sizeof b);
        if (n > 0)
            reply.append(b, std::size_t(n));
        const bool replied = reply.find("POWER:") != std::string::npos && reply.find('\n', reply.find("POWER:")) != std::string::npos;
        if (replied && !times.empty())
            break;
    }

    std::string text = Plain(reply);
    const std::size_t at = text.find("P:");
    ASSERT_NE(std::string::npos, at) << "no OBSAMPLE reply: " << reply << "\n" << st.Output().substr(0, 4000);
    std::string line = text.substr(at, text.find('\n', at) - at + 1);
    // The time prefix is the station's clock.
    ASSERT_GE(at, 9u);
    EXPECT_EQ("10:11:", text.substr(at - 9, 6)) << text;

    EXPECT_NE(std::string::npos, line.find(" T0:21.37 ")) << line;
    EXPECT_NE(std::string::npos, line.find(" U:65 ")) << line;
    EXPECT_NE(std::string::npos, line.find(" WD:180 ")) << line;
    EXPECT_NE(std::string::npos, line.find(" " + WindSpeedText())) << line;
    EXPECT_NE(std::string::npos, line.find(" WS:3.2 ")) << line;
    EXPECT_NE(std::string::npos, line.find(" LE:49.05 ")) << line;
    EXPECT_NE(std::string::npos, line.find(" SUM:0.0 RAW:")) << line;   // no minute record yet
    EXPECT_NE(std::string::npos, line.find(" DOOR:1 MBTEMP:25.5 POWER:13.6\n")) << line;

    // The polling tick around it: a SYNC every 250 ms, one TIME frame at
    // second 23 of 2024-04-05 10:11.
    ASSERT_GE(syncs.size(), 8u);
    const double mean = double(duration_cast<milliseconds>(syncs.back() - syncs.front()).count()) /
                        double(syncs.size() - 1);
    EXPECT_NEAR(250.0, mean, 25.0);
    ASSERT_EQ(1u, times.size()) << st.Output().substr(0, 4000);
    const uint8_t expect[8] = {0x07, 0xE8, 0x04, 0x05, 0x0A, 0x0B, 0x17, 0x00};
    EXPECT_EQ(0, std::memcmp(times[0].data, expect, 8));
}

} // namespace
