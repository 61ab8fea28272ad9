// The setup and status commands: the exact replies to a run of command
// lines on COM0, and what the accepted ones stored.
#include "terminal_fixture.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "core/Main.h"
#include "core/Param.h"
#include "platform/Transplant.h"
#include "processing/Dmgd.h"
#include "sampling/Sensortable.h"
#include "support/Station.h"
#include "terminal/CommandHandlers.h"

using terminal_test::Lines;
using terminal_test::TerminalTest;

namespace {

const std::string T = "T\r\n", F = "F\r\n";

class SetupStatusTest : public TerminalTest {
protected:
    SetupStatusTest()
    {
        save_ = terminal_test::Zeroed<FileSaveRec>();
        FileSave = save_.get();
        std::memset(lan_, 0, sizeof lan_);
        g_ucpLan = lan_;
        DefDataRec &d = *defdata;
        std::memset(d.ObValid, '1', sizeof d.ObValid);
        d.ObValid[OB_CLIM] = '0';
        std::memset(d.ElementEnable, '1', sizeof d.ElementEnable);
        d.ElementEnable[EL_RAW] = '0';
        d.GpsPortType = 10;
        d.CfValid = '1';
        std::memcpy(d.Lat, "39.10.03", 8);
        std::snprintf(TemproraryData->ComSetting, sizeof TemproraryData->ComSetting, "9600 8 N 1");
        // 12.5 V DC, MACT 22.7, no card ('1') with 812 MB, no GPS time, CAN quiet.
        TemproraryData->MainStat = {12.5f, '1', 22.7f, '0', '0', '1', 812, '2', '0', '0', '0', '2'};
        TemproraryData->CurrentValue[EL_LE] = 50.47f;
        TemproraryData->SubStat[SUB_RADI] = {'0', 12.9f, '1', 21.34f, '0', 'N'};
        TemproraryData->Terh = {'0', 12, '0', 25, '0', '2'};
        TemproraryData->TairStat = {'0', 13.2f, '0', -4.5f, '0', '9', 3, 7};
        for (int i = 0; i < ELEMENT_COUNT; ++i)
            TemproraryData->SensorState[i] = char('A' + i % 26);
    }
    ~SetupStatusTest() override
    {
        FileSave = nullptr;
        g_ucpLan = nullptr;
    }
    std::unique_ptr<FileSaveRec> save_;
    unsigned char lan_[8];
};

// Each '?' of an expected reply stands for any one character.
bool Match(const Lines &want, const Lines &got)
{
    auto line = [](const std::string &w, const std::string &g) {
        return std::equal(w.begin(), w.end(), g.begin(), g.end(), [](char a, char b) { return a == '?' || a == b; });
    };
    return std::equal(want.begin(), want.end(), got.begin(), got.end(), line);
}

// "\r", "\n" and "\\" of the reply file as the bytes they stand for.
std::string Unescaped(const std::string &t)
{
    std::string out;
    for (std::size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (c == '\\' && i + 1 < t.size())
            c = t[++i] == 'r' ? '\r' : t[i] == 'n' ? '\n' : t[i];
        out += c;
    }
    return out;
}

} // namespace

TEST_F(SetupStatusTest, RepliesToEachCommandLine)
{
    std::istringstream rows(komain_test::ReadHostFile(std::string(KOMAIN_TESTDATA) + "/setup_status/replies.txt"));
    int count = 0;
    for (std::string row; std::getline(rows, row);) {
        std::size_t bar1 = row.find('|'), bar2 = row.find('|', bar1 + 1);
        if (row.empty() || row[0] == '#')
            continue;
        ASSERT_NE(bar2, std::string::npos) << row;
        ++count;
        defdataEx->Generation = row[0] - '0';
        std::string line = row.substr(bar1 + 1, bar2 - bar1 - 1), reply = Unescaped(row.substr(bar2 + 1));
        Lines got = Run(COM0, line);
        EXPECT_TRUE(Match(reply.empty() ? Lines{} : Lines{reply}, got)) << line << ": " << ::testing::PrintToString(got);
    }
    EXPECT_EQ(count, 71);
    // What the accepted lines left in the record.
    const DefDataRec &d = *defdata;
    EXPECT_EQ(std::string(d.StationId, 6), std::string("A1b2C\0", 6));
    EXPECT_STREQ(d.Long, "-180.00.00");
    EXPECT_FLOAT_EQ(d.Alt, 100.0f);
    EXPECT_EQ(std::string(d.DestIp), "127.0.0.1");
    EXPECT_EQ(int(d.DestPort), 1800);
    EXPECT_EQ(d.RawMode, 8);
    EXPECT_EQ(sandbox_.Read("/mnt/nand2/para.bin"), std::string(reinterpret_cast<const char *>(&d), sizeof d));
    // TIME within a second of now touched neither clock.
    EXPECT_EQ(sandbox_.Read("/sim/commands.log").find("hwclock"), std::string::npos);
}

TEST_F(SetupStatusTest, GatewayChangeReconnectsTheLanLink)
{
    auto lan = [&](int32_t set) {
        int32_t state;
        std::memcpy(&state, lan_, sizeof state);
        std::memcpy(lan_, &set, sizeof set);
        return state;
    };
    lan(LAN_UP);
    EXPECT_EQ(Run(COM0, "GW 10.0.0.1"), Lines{T});
    EXPECT_EQ(lan(LAN_UP), LAN_CLOSE);
    EXPECT_EQ(Run(COM0, "GW 10.0.0.1"), Lines{T});
    EXPECT_EQ(lan(LAN_UP), LAN_UP);
}

TEST_F(SetupStatusTest, SunHeightAtSolarNoonOfTheSolstice)
{
    // 40 degrees north on the 120 degrees east meridian, whose standard
    // time the station keeps: the sun culminates near 90 - 40 + 23.44.
    std::memcpy(defdata->Long, "120.00.00", 10);
    std::memcpy(defdata->Lat, "40.00.00", 9);
    TpSetTime(1718971200 + 90);   // 2024-06-21 12:01:30
    Lines r = Run(COM0, "SUNARCH");
    ASSERT_EQ(r.size(), 1u);
    double s = 0, h = 0;
    ASSERT_EQ(std::sscanf(r[0].c_str(), "SINHA:%lf Ha:%lf\r\n", &s, &h), 2) << r[0];
    EXPECT_NEAR(h, 73.4, 0.1) << r[0];
    EXPECT_NEAR(s, std::sin(h * M_PI / 180), 0.005);
    // The southern hemisphere mirrors it into the winter sun.
    std::memcpy(defdata->Lat, "-40.00.00", 10);
    r = Run(COM0, "SUNARCH");
    ASSERT_EQ(std::sscanf(r[0].c_str(), "SINHA:%lf Ha:%lf\r\n", &s, &h), 2) << r[0];
    EXPECT_NEAR(h, 26.6, 0.2) << r[0];
}

TEST_F(SetupStatusTest, SpaceLeavesAMountedCardMounted)
{
    // /dev/sdd1 is the newer board's card.
    struct Board {
        int was = g_HardwareCheck;
        Board() { g_HardwareCheck = 1; }
        ~Board() { g_HardwareCheck = was; }
    } board;
    sandbox_.Write("/dev/sdd1", "");
    sandbox_.Write("/sim/df/nand2", "23\n");
    ASSERT_EQ(TpSystem("mount /dev/sdd1 /mnt/cf"), 0);
    // SPACE works in the station's working folder.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(TpChdir("/mnt/nand3"), 0);
    Lines r = Run(COM0, "SPACE");
    ASSERT_EQ(chdir(cwd), 0);
    ASSERT_EQ(r.size(), 1u);
    int total[3], free[3];
    EXPECT_EQ(std::sscanf(r[0].c_str(), "CF,total:%d M,free:%d M\r\nNAND2,total:%d M,free:%d M\r\nNAND3,total:%d M,free:%d M\r\n",
                          &total[0], &free[0], &total[1], &free[1], &total[2], &free[2]),
              6)
        << r[0];
    EXPECT_EQ(free[1], 23);
    EXPECT_EQ(int(TemproraryData->MainStat.CFSpace), free[0]);
    EXPECT_NE(sandbox_.Read("/sim/mounts").find("/mnt/cf"), std::string::npos);
    defdata->CfValid = '0';
    EXPECT_EQ(Run(COM0, "SPACE"), Lines{F});
}
