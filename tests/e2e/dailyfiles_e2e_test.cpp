// The daily files and the sample archive of a whole simulated station over
// two minutes: 20:01 opens the next observation day (GG and ST), and with
// the radiation clock 239 minutes ahead 20:01 is radiation 24:00 of the old
// radiation day and 20:02 its 00:01, the first line of the next RR file.
// SAMPLE T0 on COM0 then returns the samples the bus delivered.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/Param.h"
#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// Item of record field `field` in a stored record line ("" when absent).
std::string Item(const std::string &record, int field)
{
    std::istringstream in(record);
    std::vector<std::string> t;
    for (std::string w; in >> w;)
        t.push_back(w);
    if (t.size() < 6 || int(t[4].size()) <= field || t[4][std::size_t(field)] != '1')
        return "";
    std::size_t k = 6;
    for (int f = 0; f < field; ++f)
        k += t[4][std::size_t(f)] == '1';
    return k < t.size() ? t[k] : "";
}

} // namespace

TEST(DailyFilesE2E, TwoMinutesAcrossTheObservationAndRadiationDays)
{
    Station st(StationOptions{"2026-03-10 20:00:40", "", "", true});
    int peer = st.CanPeer();
    ASSERT_GE(peer, 0);
    int com0 = st.AddPty("ttymxc4");
    ASSERT_GE(com0, 0);
    // A first start makes the factory parameters; then the radiation clock
    // is set 239 minutes ahead and the T0 samples are archived.
    st.Start();
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() >= 4; }, 20s)) << st.Output();
    st.Stop();
    std::string para = st.ReadFile("/mnt/nand2/para.bin");
    ASSERT_EQ(para.size(), sizeof(DefDataRec));
    int32_t td = 239;
    std::memcpy(&para[offsetof(DefDataRec, Td)], &td, sizeof td);
    para[offsetof(DefDataRec, SampleArchive) + 2] = '1';
    st.WriteFile("/mnt/nand2/para.bin", para);
    ASSERT_GT(st.Start(), 0);

    std::atomic<bool> stop{false};
    std::thread board([&] {
        while (!stop) {
            st.CanSend(peer, komain_test::MainBoardTempHumidity(2212, 6500));
            std::this_thread::sleep_for(100ms);
        }
    });
    const std::string gg = "/mnt/nand3/data/GG260311.DAT";
    bool two = Station::WaitFor(
        [&] {
            std::string f = st.ReadFile(gg);
            // Line 2 written: its first QC character is no longer a '-'.
            return f.size() > 3 * 258 && f[2 * 258 + 208] != '-';
        },
        100s);
    std::string sample;
    if (two) {
        const char ask[] = "SAMPLE T0\r\n";
        EXPECT_EQ(write(com0, ask, sizeof ask - 1), ssize_t(sizeof ask - 1));
        Station::WaitFor(
            [&] {
                char buf[1024];
                for (ssize_t n; (n = read(com0, buf, sizeof buf)) > 0;)
                    sample.append(buf, std::size_t(n));
                return sample.find("\n", sample.find("SAMPLE_T0")) != std::string::npos;
            },
            5s);
    }
    stop = true;
    board.join();
    ASSERT_TRUE(two) << st.Output();

    // Factory format generation: the older 258-byte GG and 251-byte ST lines.
    std::string g = st.ReadFile(gg), dmgd = st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT");
    ASSERT_EQ(g.size(), 1441u * 258);
    ASSERT_EQ(dmgd.size(), 1440u * 512);
    for (int k : {1, 2}) {
        SCOPED_TRACE(k);
        std::string line = g.substr(std::size_t(k) * 258, 258);
        std::string rec = dmgd.substr(std::size_t(20 * 60 + k) * 512, 512);
        EXPECT_EQ(line.substr(0, 4), k == 1 ? "2001" : "2002");
        EXPECT_EQ(line.substr(256), "\r\n");
        // T0 (record field 12) in bytes 64-67, humidity (14) twice in 80-87.
        EXPECT_EQ(Item(rec, 12), "221") << rec;
        EXPECT_EQ(line.substr(64, 4), " 221");
        EXPECT_EQ(Item(rec, 14), "65");
        EXPECT_EQ(line.substr(80, 8), "  65  65");
    }
    EXPECT_EQ(st.ReadFile("/mnt/nand3/data/ST260311.DAT").substr(251, 4), "2001");
    EXPECT_EQ(st.ReadFile("/mnt/nand3/data/RR260310.DAT").substr(1440 * 136, 4), "2400");
    std::string rr = st.ReadFile("/mnt/nand3/data/RR260311.DAT");
    ASSERT_EQ(rr.size(), 1441u * 136);
    EXPECT_EQ(rr.substr(136, 4), "0001");
    EXPECT_EQ(rr.substr(2 * 136, 4), "0002");   // still empty

    std::size_t at = sample.find("SAMPLE_T0 10101 2026-03-10 20:02 ");
    ASSERT_NE(at, std::string::npos) << sample;
    EXPECT_NE(sample.find("2212 2212 2212 ", at), std::string::npos) << sample;
    std::string t0 = st.ReadFile("/mnt/nand3/tempdata/sample/T0.DAT");
    ASSERT_EQ(t0.size(), 1440u * 512);
    EXPECT_EQ(t0.substr(std::size_t(20 * 60 + 2) * 512, 33), "SAMPLE_T0 10101 2026-03-10 20:02 ");
    st.Stop();
}
