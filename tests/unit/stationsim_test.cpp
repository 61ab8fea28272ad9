// The station simulator's texts and parsers: the exact bytes the
// instruments put on their lines, candump replay input, the watch's reading
// of a record line, and the weather model's reproducibility.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "stationsim/Instruments.h"
#include "stationsim/Watch.h"
#include "stationsim/Weather.h"
#include "stationsim/World.h"
#include "support/Sandbox.h"

using namespace stationsim;

TEST(StationSim, InstrumentLinesAreExactBytes)
{
    constexpr int64_t kUtc = 1773130512;   // 2026-03-10 08:15:12
    const struct {
        std::string got, want;
    } cases[] = {
        {GpsZda(kUtc), "$GPZDA,081512.00,10,03,2026,00,00*6D\r\n"},
        {GpsRmc(kUtc, 39.1675, 116.37388889), "$GPRMC,081512.00,A,3910.050,N,11622.433,E,0.0,0.0,100326,,,A*5B\r\n"},
        {PressureReply(1013.24), "1013.2\r\n"},
        {VisibilityMessage(0, 12345, 12000), "PW  1 00 12345 12000\r\n"},
        {VisibilityMessage(3, 800, 900), "#01 00 00 0 800 900\r\n"},
        {UltrasonicWind(10, 3.456, 271.2), ">3.46,271\r\n"},
        {FloatHex(1.0f), "0000803F"},
        {FloatHex(-2.5f), "000020C0"},
        {SerialBoardIntFrame({20.0, 500, 8.345, 11.84, 100, 180, 0, 1, 13600, 0, {}, {}}),
         "2000 20.00 500 8.345 11.84 100 180 0 1 13600 0\r\n"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.got, c.want);

    // The float frame: 177 characters before its line end, '*' and the
    // byte sum of what precedes it at 90.
    const std::string f = SerialBoardFloatFrame({});
    ASSERT_EQ(f.size(), 179u);
    EXPECT_EQ(f.substr(0, 10), "GETSFDATA,");
    EXPECT_EQ(f.substr(42, 16), "0000C07F0000C07F");   // values 4 and 5: not available
    unsigned sum = 0;
    for (size_t i = 0; i < 90; ++i)
        sum += static_cast<unsigned char>(f[i]);
    char check[4];
    std::snprintf(check, sizeof check, "*%02X", sum & 0xFF);
    EXPECT_EQ(f.substr(90, 3), check);

    // Type 11 wind: the bytes and their check add up to 0 modulo 256.
    const std::string u = UltrasonicWind(11, 2.5, 90);
    unsigned lrc = 0;
    for (size_t i = 0; i + 4 < u.size(); ++i)
        lrc += static_cast<unsigned char>(u[i]);
    EXPECT_EQ((lrc + std::stoul(u.substr(u.size() - 4, 2), nullptr, 16)) & 0xFF, 0u) << u;
    const std::string sd = SnowDepthReply(100.0);
    EXPECT_EQ(sd.substr(34, 5), "100.0");
    EXPECT_EQ(sd[40], '0');
    EXPECT_GE(RainGaugeReply({}, 3, 3).size(), 60u);
    EXPECT_EQ(WindPulses(5.2), 100);
    EXPECT_EQ(WindPulses(0.2), 0);
}

TEST(StationSim, ReplayRefusesABadLineByNumber)
{
    komain_test::Sandbox box;
    box.Write("/bad.log", "(1773130512.000000) can0 080#0102030405060708\n\n(1773130512.25) can0 080#01\n");
    std::vector<ReplayEntry> entries;
    std::string error;
    EXPECT_FALSE(LoadCandump(box.Path("/bad.log"), &entries, &error));
    EXPECT_EQ(error, box.Path("/bad.log") + ":3: not a candump log line: (1773130512.25) can0 080#01");
    box.Write("/good.log", "(1773130512.000000) can0 080#01\n(1773130512.250000) can1 712#05\n");
    ASSERT_TRUE(LoadCandump(box.Path("/good.log"), &entries, &error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_DOUBLE_EQ(entries[1].at, 0.25);
    EXPECT_EQ(entries[1].frame.can_id, 0x712u);
}

TEST(StationSim, WatchRowOfARecordLine)
{
    // The older record generation: T0 is field 12, U 14, dew point 16.
    const char *line = "DMGD 10101 2026-03-10 08:16 111111110011111111111111111111110000000000000 "
                       "888880000000000888888888880088 //// //// //// //// //// 32 0 0 0 0 215 * 65 167 146 "
                       "//// //// //// //// //// //// //// //// //// //// //// 0 0 //// //// \r\n";
    MinuteRow r;
    ASSERT_TRUE(ParseDmgd(line, &r));
    EXPECT_EQ(FormatRow(r), "08:16   21.5   65 14.6     --     --   --   3.2   0.0   --   00088800-");
    EXPECT_FALSE(ParseDmgd("DMGD 10101 2026-03-10 08:16 111 00", &r));
    EXPECT_FALSE(ParseDmgd("DMCD 10101 2026-03-10 08:16 ", &r));
    EXPECT_FALSE(ParseDmgd("", &r));

    // The hourly line of an older DHGD record: T0 group 15-19, U 21-23,
    // dew point 25, pressure 26 (here without a value), winds 2-6, rain 12.
    const char *text = "DHGD 10101 2026-03-10 09 00111110000010011111011101100000000000000000000000000000000000000000 "
                       "0000000000000008 231 34 240 81 0812 12 215 230 0845 201 0805 65 58 0850 146 //// \r\n";
    HourRow h;
    ASSERT_TRUE(ParseDhgd(text, &h));
    EXPECT_EQ(FormatHour(h, 60), "== 2026-03-10 09h DHGD: temp 21.5 (max 23.0 at 08:45, min 20.1 at 08:05) hum 65 "
                                 "(min 58) dew 14.6 press -- wind 3.4 from 231 (max 8.1 from 240 at 08:12) rain 1.2 "
                                 "| 60 minute rows watched");
    EXPECT_FALSE(ParseDhgd(line, &h));
    EXPECT_FALSE(ParseDhgd("DHGD 10101 2026-03-10 09 0111", &h));
}

TEST(StationSim, WeatherIsReproducibleAndPlausible)
{
    const Weather a(7, 39.17, 116.37, false), b(7, 39.17, 116.37, false), c(8, 39.17, 116.37, false);
    double minT = 1e9, maxT = -1e9;
    for (double t = 1773100800; t < 1773100800 + 86400; t += 600) {
        const Sky x = a.At(t), y = b.At(t);
        EXPECT_EQ(x.tempC, y.tempC);
        EXPECT_EQ(x.windDeg, y.windDeg);
        EXPECT_GE(x.humidity, 15.0);
        EXPECT_LE(x.humidity, 100.0);
        EXPECT_GE(x.windDeg, 0.0);
        EXPECT_LT(x.windDeg, 360.0);
        EXPECT_GE(x.global, 0.0);
        minT = std::min(minT, x.tempC);
        maxT = std::max(maxT, x.tempC);
    }
    EXPECT_GT(maxT - minT, 3.0);   // a daily cycle
    EXPECT_NE(a.At(1773130512).windMs, c.At(1773130512).windMs);
    const Sky s = Weather(1, 0, 0, true).At(1773130512);
    EXPECT_EQ(s.tempC, 20.0);
    EXPECT_EQ(s.humidity, 50.0);
    EXPECT_EQ(s.pressure, 1000.0);
}
