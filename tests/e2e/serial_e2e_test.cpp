// Serial instruments on a whole simulated station: the GPS corrects the
// clock within its limits at second 42, the pressure sensor is asked every
// other second, and lines of the pressure, visibility and sampling-board
// ports reach the live view and the next minute record.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/Station.h"

using namespace std::chrono;
using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

std::string Zda(int hour, int min, int sec)
{
    char body[64];
    std::snprintf(body, sizeof body, "GPZDA,%02d%02d%02d.00,10,03,2026,00,00", hour, min, sec);
    unsigned x = 0;
    for (const char *p = body; *p; ++p)
        x ^= uint8_t(*p);
    char line[96];
    std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, x);
    return line;
}

void Put(int fd, const std::string &s) { ASSERT_EQ(ssize_t(s.size()), write(fd, s.data(), s.size())); }

std::string Drain(int fd)
{
    std::string got;
    char b[1024];
    for (ssize_t n; (n = read(fd, b, sizeof b)) > 0;)
        got.append(b, std::size_t(n));
    return got;
}

} // namespace

TEST(SerialE2E, GpsPressureVisibilityAndBoardLines)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:28";
    Station st(o);
    st.WriteFile("/sim/rtc", "2026-03-10 08:15:28\n");
    const int com0 = st.AddPty("ttymxc4");
    const int gps = st.AddPty("ttymxc3");
    const int vis = st.AddPty("ttymxc1");
    const int press = st.AddPty("ttymxc2");
    const int board = st.AddPty("ttymxc6");
    ASSERT_GE(std::min({com0, gps, vis, press, board}), 0);
    ASSERT_GT(st.Start(), 0);
    const auto start = steady_clock::now();
    auto simSec = [&] { return int(duration_cast<seconds>(steady_clock::now() - start).count()) + 28; };

    // At second 42 (local time, UTC + 8 h): 11 minutes off is ignored, 5
    // minutes off sets the clock and the hardware clock.
    ASSERT_TRUE(Station::WaitFor([&] { return simSec() >= 41; }, 20s));
    ASSERT_LE(simSec(), 43) << "start-up too slow for the GPS window";
    Put(gps, Zda(0, 26, simSec()));
    ASSERT_TRUE(Station::WaitFor(
        [&] { return st.Output().find("no need to modify clock:2") != std::string::npos; }, 3s))
        << st.Output();
    EXPECT_EQ(0u, st.ReadFile("/sim/rtc").find("2026-03-10 08:15:28"));
    Put(gps, Zda(0, 20, simSec()));
    ASSERT_TRUE(Station::WaitFor([&] { return st.ReadFile("/sim/rtc").find("08:20:4") == 11; }, 5s))
        << st.ReadFile("/sim/rtc") << st.Output();

    // The pressure sensor is asked every other second (AirpType 4: ".P";
    // the line's output processing may double the CR).
    std::vector<steady_clock::time_point> asked;
    std::string q;
    Drain(press);   // the queries of the start-up
    ASSERT_TRUE(Station::WaitFor(
        [&] {
            q += Drain(press);
            for (std::size_t at; (at = q.find(".P\r")) != std::string::npos; q.erase(0, at + 3))
                asked.push_back(steady_clock::now());
            return asked.size() >= 4;
        },
        20s))
        << st.Output();
    // Three intervals of two seconds; each query leaves on its tick.
    auto span = duration_cast<milliseconds>(asked.back() - asked.front()).count();
    EXPECT_GT(span, 4500);
    EXPECT_LT(span, 7500);

    // Now at 08:20:5x: instrument lines of the minute.
    std::string p;
    for (int i = 0; i < 25; ++i)
        p += "1013.2\r\n";
    Put(press, p);
    Put(vis, "\x01PW  1   12345 13000\x03\r\n");
    for (int i = 0; i < 3; ++i) {
        Put(board, "2000 21.37 654 0.5 12.00 20 180 0 1 13600 25.5\r\n");
        usleep(300 * 1000);
    }
    Drain(com0);
    Put(com0, "OBSAMPLE MAIN\r\n");
    std::string view;
    Station::WaitFor(
        [&] {
            view += Drain(com0);
            return view.find("POWER:") != std::string::npos;
        },
        3s);
    EXPECT_NE(std::string::npos, view.find("P:1013.2 ")) << view;
    EXPECT_NE(std::string::npos, view.find(" WD:180 ")) << view;
    EXPECT_NE(std::string::npos, view.find(" VI:12345 ")) << view;

    // The record written at 08:21:00 (it carries the minute's end as its
    // time) holds the minute's pressure (factory generation: the older
    // record, pressure in 0.1 hPa).
    const std::size_t slot = (8 * 60 + 21) * 512;
    // The slot is pre-filled a minute ahead: wait for the minute's save.
    ASSERT_TRUE(Station::WaitFor(
        [&] { return st.Output().find("savefile:2026-03-10 08:21:0") != std::string::npos; }, 25s))
        << st.Output().substr(0, 3000);
    std::string line;
    Station::WaitFor(
        [&] {
            line = st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT").substr(slot, 512);
            return line.find(" 10132 ") != std::string::npos;
        },
        3s);
    ASSERT_EQ(0, line.compare(22, 6, "08:21 ")) << line;
    EXPECT_NE(std::string::npos, line.find(" 10132 ")) << line;
    st.Stop();
}
