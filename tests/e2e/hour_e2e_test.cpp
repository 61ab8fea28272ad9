// The hour change of whole simulated stations: at minute 59 the hourly
// records of the coming hour are written into their month files, at minute
// 0 the same slots are rewritten with the hour's final values, and the
// terminal reads the hourly and the climate minute record back as stored.
// A station of the older record generation writes its DHGDNZ record too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <unistd.h>

#include "core/Param.h"
#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// Factory parameters of the generation with the radiation clock on the
// clock (Td 0), so that both hours change at once.
void Prepare(Station &st, int generation)
{
    DefDataRec d;
    FillDefaultParam(d, generation);
    d.Td = 0;
    st.WriteFile("/mnt/nand2/para.bin", std::string(reinterpret_cast<const char *>(&d), sizeof d));
    int32_t g = generation;
    st.WriteFile("/mnt/nand2/para_ex.bin", std::string(reinterpret_cast<const char *>(&g), sizeof g));
    st.WriteFile("/sim/rtc", "2026-03-10 08:58:30\n");
}

// Slot of 2026-03-10 09 in a month file, as text up to its first NUL.
std::string Slot(const Station &st, const char *dir, int size)
{
    std::string f = st.ReadFile(std::string("/mnt/nand3/tempdata/") + dir + "/2603.DAT");
    if (f.size() != 744u * size)
        return {};
    std::string s = f.substr((9 * 24 + 9) * size_t(size), size_t(size));
    return s.substr(0, s.find('\0'));
}

bool Written(const std::string &slot, const char *head)
{
    return slot.compare(0, std::strlen(head), head) == 0 && slot.find("--------") == std::string::npos;
}

} // namespace

TEST(HourE2E, HourlyRecordsAtMinute59AndAgainAtMinute0)
{
    StationOptions o;
    o.clock = "2026-03-10 08:58:30";
    Station cur(o), old(o);
    Prepare(cur, 1);
    Prepare(old, 0);
    int peer = cur.CanPeer();
    ASSERT_GE(peer, 0);
    int com0 = cur.AddPty("ttymxc4");
    ASSERT_GE(com0, 0);
    ASSERT_GT(cur.Start(), 0);
    ASSERT_GT(old.Start(), 0);

    std::atomic<int> humidity{6500};
    std::atomic<bool> stop{false};
    std::thread board([&] {
        while (!stop) {
            cur.CanSend(peer, komain_test::MainBoardTempHumidity(2212, humidity));
            std::this_thread::sleep_for(100ms);
        }
    });
    // Minute 59: the records of hour 09 exist, with 65 % humidity.
    bool at59 = Station::WaitFor(
        [&] {
            return Written(Slot(cur, "DHGD", 540), "DHGD 10101 2026-03-10 09 ") &&
                   Written(Slot(cur, "DHCD", 512), "DHCD 10101 2026-03-10 09 ") &&
                   Written(Slot(cur, "DHRD", 512), "DHRD 10101 2026-03-10 09 ");
        },
        45s);
    std::string dhgd59 = Slot(cur, "DHGD", 540);
    humidity = 7000;
    // Minute 0 rewrites the slot with the last minute's 70 %.
    bool at0 = at59 && Station::WaitFor(
        [&] { return Slot(cur, "DHGD", 540).find(" * 70 ") != std::string::npos; }, 75s);
    stop = true;
    board.join();
    ASSERT_TRUE(at59) << cur.Output();
    EXPECT_NE(dhgd59.find(" * 65 "), std::string::npos) << dhgd59;
    ASSERT_TRUE(at0) << Slot(cur, "DHGD", 540);

    std::string dhgd = Slot(cur, "DHGD", 540);
    EXPECT_EQ(dhgd.substr(dhgd.size() - 2), "\r\n");
    std::string body = dhgd.substr(0, dhgd.size() - 2);
    EXPECT_EQ(komain_test::AskTerminal(com0, "DHGD 2026-03-10 09 1\r\n", body), body);
    std::string day = cur.ReadFile("/mnt/nand3/tempdata/DMCD/260310.DAT");
    ASSERT_EQ(day.size(), 1440u * 512);
    std::string dmcd = day.substr((8 * 60 + 59) * 512, 512);
    dmcd = dmcd.substr(0, dmcd.find('\0'));
    ASSERT_EQ(dmcd.substr(0, 27), "DMCD 10101 2026-03-10 08:59");
    std::string dmcdBody = dmcd.substr(0, dmcd.size() - 2);
    EXPECT_EQ(komain_test::AskTerminal(com0, "DMCD 2026-03-10 08:59 1\r\n", dmcdBody), dmcdBody);

    EXPECT_TRUE(Station::WaitFor(
        [&] { return Written(Slot(old, "DHGDNZ", 1024), "DHGDNZ 10101 2026-03-10 09 "); }, 5s))
        << Slot(old, "DHGDNZ", 1024);
    EXPECT_EQ(old.ReadFile("/mnt/nand3/tempdata/DHGD/2603.DAT").size(), 744u * 512);
    cur.Stop();
    old.Stop();
}
