// Whole stations against the simulated world outside them (tools/stationsim
// as a library): boards, instruments, media and central computer play
// through the sandbox only, as they do for the demo. Each scenario starts
// the clock a few seconds before the boundary it needs.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>

#include "core/Param.h"
#include "stationsim/Watch.h"
#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::ReadHostFile;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// A station at `clock` whose hardware clock agrees, with the factory
// parameters of a record generation and the radiation clock `td` minutes
// ahead; the steady weather unless told otherwise.
struct Steady {
    Station st;
    stationsim::World *world = nullptr;
    Steady(const char *clock, int generation, int td, stationsim::WorldOptions w = {}, bool archiveT0 = false)
        : st(StationOptions{clock, "", "", true})
    {
        DefDataRec d;
        FillDefaultParam(d, generation);
        d.Td = td;
        if (archiveT0)
            d.SampleArchive[2] = '1';
        st.WriteFile("/mnt/nand2/para.bin", std::string(reinterpret_cast<const char *>(&d), sizeof d));
        const int32_t g = generation;
        st.WriteFile("/mnt/nand2/para_ex.bin", std::string(reinterpret_cast<const char *>(&g), sizeof g));
        st.WriteFile("/sim/rtc", std::string(clock) + "\n");
        w.steady = true;
        world = &st.StartWorld(w);
    }
};

bool Saved(Station &st, const std::string &minute, std::chrono::seconds within = 70s)
{
    return Station::WaitFor([&] { return st.Output().find("savefile:" + minute) != std::string::npos; }, within);
}

// A fixed-slot record as text, up to its line end.
std::string Slot(Station &st, const std::string &file, long slot, long size)
{
    return stationsim::ReadSlot(st.Path(file), slot, size);
}

// Item of element `e` in a record line ("" when absent).
std::string Item(const std::string &record, int e)
{
    std::istringstream in(record);
    std::vector<std::string> t;
    for (std::string w; in >> w;)
        t.push_back(w);
    if (t.size() < 6 || int(t[4].size()) <= e || t[4][size_t(e)] != '1')
        return "";
    size_t k = 6;
    for (int f = 0; f < e; ++f)
        k += t[4][size_t(f)] == '1';
    return k < t.size() ? t[k] : "";
}

// Modification time of a sandbox file as the station's clock (UTC) shows it.
std::string Stamp(Station &st, const std::string &file)
{
    struct stat s {};
    if (stat(st.Path(file).c_str(), &s) != 0)
        return {};
    struct tm t {};
    gmtime_r(&s.st_mtime, &t);
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%d %H:%M:%S", &t);
    return b;
}

// Places a file modified at the given simulated time.
void PlaceAt(Station &st, const std::string &path, const char *when)
{
    st.WriteFile(path, path.substr(path.size() - 12));
    struct tm t {};
    strptime(when, "%Y-%m-%d %H:%M:%S", &t);
    struct timespec ts[2] = {{timegm(&t), 0}, {timegm(&t), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, st.Path(path).c_str(), ts, 0), 0);
}

const char *const kDmgd0310 = "/mnt/nand3/tempdata/DMGD/260310.DAT";

} // namespace

// The steady weather gives round values; the minute's record is read back
// the two ways an operator would: on COM0 and, as the central computer,
// over the LAN link.
TEST(WorldE2E, SteadyMinuteIsSavedAndReadsBackOnCom0AndTheLanLink)
{
    StationOptions o;
    o.clock = "2026-03-10 08:14:50";
    Station st(o);
    st.WriteFile("/sim/rtc", "2026-03-10 08:14:50\n");
    stationsim::WorldOptions w;
    w.steady = true;
    stationsim::World &world = st.StartWorld(w);

    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() == 4; }, 15s)) << st.Output();
    // A technician points the LAN link at the central computer.
    const std::string dest = "DEST 127.0.0.1 " + std::to_string(world.LanPort()) + "\r\n";
    EXPECT_NE(st.AskCom0(dest, "T\n").find("T\n"), std::string::npos);
    ASSERT_TRUE(Station::WaitFor([&] { return world.LanConnected(); }, 15s)) << st.Output();
    ASSERT_TRUE(Saved(st, "2026-03-10 08:16")) << st.Output();
    const std::string line = Slot(st, kDmgd0310, 8 * 60 + 16, 512);
    stationsim::MinuteRow row;
    ASSERT_TRUE(stationsim::ParseDmgd(line, &row)) << line;
    EXPECT_EQ(row.time, "08:16");
    EXPECT_TRUE(row.hasTemp && row.temp == 20.0) << line;
    EXPECT_TRUE(row.hasHum && row.hum == 50.0) << line;
    EXPECT_TRUE(row.hasDew && row.dew == 9.3) << line;

    EXPECT_NE(st.AskCom0("DMGD 2026-03-10 08:16 1\r\n", line).find(line), std::string::npos);
    EXPECT_NE(st.AskLan("DMGD 2026-03-10 08:16 1\r\n", line).find(line), std::string::npos);
    // The watch row of that minute.
    EXPECT_EQ(stationsim::FormatRow(row).substr(0, 23), "08:16   20.0   50  9.3 ");
    // The pressure sensor's answers reach the record too.
    EXPECT_TRUE(row.hasPress) << line;
}

// Minute 59 writes the hourly records of the coming hour, minute 0
// rewrites them with the hour's final values: those of the steady weather.
TEST(WorldE2E, HourlyRecordsAtMinutes59And0)
{
    Steady s("2026-03-10 08:59:10", 1, 0);
    Station &st = s.st;
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Saved(st, "2026-03-10 08:59", 40s)) << st.Output();
    const long hour09 = 9 * 24 + 9;
    for (const auto &[dir, size] : {std::pair<const char *, long>{"DHGD", 540}, {"DHCD", 512}, {"DHRD", 512}}) {
        const std::string file = std::string("/mnt/nand3/tempdata/") + dir + "/2603.DAT";
        const std::string head = std::string(dir) + " 10101 2026-03-10 09 ";
        EXPECT_TRUE(Station::WaitFor(
            [&] {
                const std::string slot = Slot(st, file, hour09, size);
                return slot.rfind(head, 0) == 0 && slot.find("----") == std::string::npos;
            },
            10s))
            << Slot(st, file, hour09, size);
    }
    const std::string file = "/mnt/nand3/tempdata/DHGD/2603.DAT";
    ASSERT_TRUE(Saved(st, "2026-03-10 09:00", 40s)) << st.Output();
    ASSERT_TRUE(Station::WaitFor([&] { return Stamp(st, file) >= "2026-03-10 09:00:00"; }, 10s)) << Stamp(st, file);
    const std::string dhgd = Slot(st, file, hour09, 540);
    // 20.0 degC, 50 %, 5.2 m/s, no rain; the extremes are of the first
    // minute with enough samples, 08:59 or, on a slow start, 09:00;
    // ten-minute winds need ten minutes. (So may the pressure.)
    const std::string first = Item(dhgd, 21);
    EXPECT_TRUE(first == "0859" || first == "0900") << dhgd;
    const std::pair<int, std::string> items[] = {{3, "////"}, {10, "52"}, {12, "0"}, {19, "200"}, {20, "200"},
                                                 {22, "200"}, {23, first}, {45, "50"}, {46, "50"}, {49, "93"}};
    for (const auto &[e, v] : items)
        EXPECT_EQ(Item(dhgd, e), v) << "element " << e << ": " << dhgd;
    EXPECT_NE(st.AskCom0("DHGD 2026-03-10 09 1\r\n", dhgd).find(dhgd), std::string::npos);
    // The watch's hourly line of that record.
    stationsim::HourRow h;
    ASSERT_TRUE(stationsim::ParseDhgd(dhgd, &h));
    EXPECT_EQ(stationsim::FormatHour(h, 2),
              "== 2026-03-10 09h DHGD: temp 20.0 (max 20.0 at " + first.substr(0, 2) + ":" + first.substr(2) +
                  ", min 20.0 at " + first.substr(0, 2) + ":" + first.substr(2) + ") hum 50 (min 50) dew 9.3 press " +
                  std::string(Item(dhgd, 50) == "10000" ? "1000.0" : "--") +
                  " wind -- from -- (max -- from --) rain 0.0 | 2 minute rows watched");
}

// A restart within the hour takes the hour's statistics back from the
// last-minute file: the record of minute 59 still has the hour's extreme
// wind from 08:58, the minute saved before the restart. The factory (older)
// record generation, whose DHGD slots are 512 bytes, writes its DHGDNZ
// record too.
TEST(WorldE2E, ARestartWithinTheHourResumesItsStatistics)
{
    Steady s("2026-03-10 08:58:30", 0, 0);
    Station &st = s.st;
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Saved(st, "2026-03-10 08:58", 25s)) << st.Output();
    EXPECT_TRUE(Station::WaitFor(
        [&] { return st.ReadFile("/mnt/nand3/tempdata/lastmindata.bin").size() == 504u; }, 5s));
    // Late in the minute, so that the restarted station's first minute is
    // 08:59 and not 08:58 again.
    ASSERT_TRUE(Station::WaitFor([&] { return std::fmod(s.world->LoggerNow(), 60.0) >= 48.0; }, 20s));
    st.Stop();
    ASSERT_GT(st.Start(), 0);
    EXPECT_TRUE(Station::WaitFor([&] { return st.Output().find("lastmindata is useful\r\n") != std::string::npos; },
                                 30s))
        << st.Output();
    ASSERT_TRUE(Saved(st, "2026-03-10 08:59", 40s)) << st.Output();
    const std::string file = "/mnt/nand3/tempdata/DHGD/2603.DAT";
    std::string dhgd;
    ASSERT_TRUE(Station::WaitFor(
        [&] {
            dhgd = Slot(st, file, 9 * 24 + 9, 512);
            return dhgd.rfind("DHGD 10101 2026-03-10 09 ", 0) == 0 && dhgd.find("----") == std::string::npos;
        },
        10s))
        << dhgd;
    EXPECT_EQ(st.Output().find("savefile:2026-03-10 08:58", st.Output().find("lastmindata is useful")),
              std::string::npos);
    // Elements 10 and 11: the speed of the hour's extreme wind and its time.
    EXPECT_EQ(Item(dhgd, 10), "52") << dhgd;
    EXPECT_EQ(Item(dhgd, 11), "0858") << dhgd;
    EXPECT_EQ(st.ReadFile(file).size(), 744u * 512);
    EXPECT_TRUE(Station::WaitFor(
        [&] {
            return Slot(st, "/mnt/nand3/tempdata/DHGDNZ/2603.DAT", 9 * 24 + 9, 1024).rfind("DHGDNZ 10101 2026-03-10 09 ",
                                                                                          0) == 0;
        },
        10s));
}

// 20:01 opens the next observation day (GG and ST files); with the
// radiation clock 239 minutes ahead 20:01 is 24:00, the last line, of the
// old radiation day. The T0 samples are archived and read back with SAMPLE.
TEST(WorldE2E, ObservationAndRadiationDaysChange)
{
    Steady s("2026-03-10 20:00:05", 0, 239, {}, true);
    Station &st = s.st;
    ASSERT_GT(st.Start(), 0);
    const std::string gg = "/mnt/nand3/data/GG260311.DAT";
    ASSERT_TRUE(Saved(st, "2026-03-10 20:01", 70s)) << st.Output();
    ASSERT_TRUE(Station::WaitFor([&] { std::string f = st.ReadFile(gg);
                                       return f.size() == 1441u * 258 && f[258 + 208] != '-'; }, 10s));
    const std::string g = st.ReadFile(gg);
    const std::string line = g.substr(258, 258);
    EXPECT_EQ(line.substr(0, 4), "2001");
    EXPECT_EQ(line.substr(256), "\r\n");
    // T0 in bytes 64-67, the humidity twice in 80-87.
    EXPECT_EQ(line.substr(64, 4), " 200");
    EXPECT_EQ(line.substr(80, 8), "  50  50");
    // The older minute record: T0, TW, U, vapour pressure, dew point; the
    // next slot carries its body ahead.
    const std::string rec = Slot(st, kDmgd0310, 20 * 60 + 1, 512);
    EXPECT_NE(rec.find(" 200 * 50 117 93 "), std::string::npos) << rec;
    const std::string next = Slot(st, kDmgd0310, 20 * 60 + 2, 512);
    EXPECT_EQ(next.substr(0, 27), "DMGD 10101 2026-03-10 20:02");
    EXPECT_EQ(next.substr(27), rec.substr(27));

    EXPECT_EQ(st.ReadFile("/mnt/nand3/data/ST260311.DAT").substr(251, 4), "2001");
    const std::string rr = st.ReadFile("/mnt/nand3/data/RR260310.DAT");
    ASSERT_EQ(rr.size(), 1441u * 136);
    EXPECT_EQ(rr.substr(1440 * 136, 4), "2400");
    EXPECT_NE(rr[1440 * 136 + 10], '-') << rr.substr(1440 * 136);

    const std::string head = "SAMPLE_T0 10101 2026-03-10 20:01 ";
    const std::string sample = st.AskCom0("SAMPLE T0\r\n", head + "2000 2000 2000 ");
    EXPECT_NE(sample.find(head + "2000 2000 2000 "), std::string::npos) << sample;
    EXPECT_EQ(Slot(st, "/mnt/nand3/tempdata/sample/T0.DAT", 20 * 60 + 1, 512).substr(0, 33), head);
}

// The GPS runs 5 minutes ahead of the station: in seconds 40 to 45 its
// time is taken, the clock and the hardware clock are set, and from then
// on the two agree, so the clock moves once. The minutes it jumped over
// stay unwritten.
TEST(WorldE2E, GpsFiveMinutesAheadSetsTheClockOnce)
{
    stationsim::WorldOptions w;
    w.faults = {"gps-off 300"};
    Steady s("2026-03-10 08:15:10", 1, 0, w);
    Station &st = s.st;
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Station::WaitFor([&] { return st.ReadFile("/sim/rtc").rfind("2026-03-10 08:20:4", 0) == 0; }, 45s))
        << st.ReadFile("/sim/rtc") << st.Output();
    ASSERT_TRUE(Saved(st, "2026-03-10 08:21", 30s)) << st.Output();
    EXPECT_NE(st.Output().find("no need to modify clock:1\n"), std::string::npos);
    EXPECT_EQ(st.ReadFile("/sim/rtc").substr(0, 16), "2026-03-10 08:20");
    // 08:16 holds the body 08:15 carried ahead; 08:17 to 08:20 never came.
    EXPECT_NE(Slot(st, kDmgd0310, 8 * 60 + 18, 512).find("-----"), std::string::npos);
    // The boards were told the new time.
    const double told = s.world->LoggerNow();
    struct tm t {};
    strptime("2026-03-10 08:21:00", "%Y-%m-%d %H:%M:%S", &t);
    EXPECT_GE(told, double(timegm(&t)));
    EXPECT_LT(told, double(timegm(&t)) + 30);
}

// The card is inserted: at 02:03 yesterday's daily files go to it, and the
// minute record of 02:03 is twinned on it.
TEST(WorldE2E, NightlyCopyReachesTheInsertedCard)
{
    stationsim::WorldOptions w;
    w.faults = {"cf-in"};
    Steady s("2026-03-01 02:02:40", 0, -14, w);
    Station &st = s.st;
    st.WriteFile("/sim/df/cf", "500");
    for (const char *k : {"GG", "RR", "ST"})
        PlaceAt(st, std::string("/mnt/nand3/data/") + k + "260228.DAT", "2026-02-28 20:00:00");
    ASSERT_GT(st.Start(), 0);
    const std::string dir = "/mnt/cf/data/10101/202602/";
    EXPECT_TRUE(Station::WaitFor([&] { return st.ReadFile(dir + "ST260228.DAT") == "ST260228.DAT"; }, 40s))
        << st.Output();
    EXPECT_EQ(st.ReadFile(dir + "GG260228.DAT"), "GG260228.DAT");
    EXPECT_EQ(st.ReadFile(dir + "RR260228.DAT"), "RR260228.DAT");
    EXPECT_TRUE(Station::WaitFor(
        [&] { return Slot(st, "/mnt/cf/tempdata/DMGD/260301.DAT", 2 * 60 + 3, 512).substr(22, 5) == "02:03"; }, 20s))
        << st.Output();
}

// A bus session recorded with candump, replayed into a fresh station: the
// minute record it gives is the reviewed one.
TEST(WorldE2E, ReplayedCandumpSessionGivesTheGoldenRecord)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:04";
    Station st(o);
    st.WriteFile("/sim/rtc", "2026-03-10 08:15:04\n");
    stationsim::WorldOptions w;
    w.replay = std::string(KOMAIN_TESTDATA) + "/replay/tarh_session.log";
    w.lanPort = -1;
    st.StartWorld(w);
    ASSERT_GT(st.Start(), 0);
    ASSERT_TRUE(Saved(st, "2026-03-10 08:16")) << st.Output();
    std::string golden = ReadHostFile(std::string(KOMAIN_TESTDATA) + "/replay/tarh_session.dmgd");
    while (!golden.empty() && golden.back() == '\n')
        golden.pop_back();
    EXPECT_EQ(Slot(st, kDmgd0310, 8 * 60 + 16, 512), golden);
}
