// A whole station against the simulated world outside it (tools/stationsim
// as a library): boards, instruments and central computer play through the
// sandbox only, as they would for the demo.
#include <gtest/gtest.h>

#include "stationsim/Watch.h"
#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::ReadHostFile;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

const char *const kDay = "/mnt/nand3/tempdata/DMGD/260310.DAT";
constexpr long kSlot0816 = 8 * 60 + 16;

bool Saved(Station &st, const char *minute)
{
    return Station::WaitFor([&] { return st.Output().find(std::string("savefile:") + minute) != std::string::npos; },
                            70s);
}

std::string Slot(Station &st, long slot) { return stationsim::ReadSlot(st.Path(kDay), slot, 512); }

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
    const std::string line = Slot(st, kSlot0816);
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
    EXPECT_EQ(Slot(st, kSlot0816), golden);
}
