// OBSAMPLE: the exact reply line of each group from a live state set here.
#include "terminal_fixture.h"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "processing/Dmgd.h"
#include "sampling/Sensortable.h"
#include "terminal/CommandHandlers.h"

using terminal_test::Lines;
using terminal_test::TerminalTest;

namespace {

class ObSampleTest : public TerminalTest {
protected:
    ObSampleTest()
    {
        save_ = terminal_test::Zeroed<FileSaveRec>();
        FileSave = save_.get();
        std::memset(qc_, '8', sizeof qc_);
        g_ucpSampleDataQc = qc_;
        TemproraryDataRec &t = *TemproraryData;
        std::memset(t.CurrentQc, '8', sizeof t.CurrentQc);
        for (auto &s : t.SubStat)
            s.State = '0';
        t.TairStat.State = '0';
        t.RainStat.State = '0';
    }
    ~ObSampleTest() override
    {
        FileSave = nullptr;
        g_ucpSampleDataQc = nullptr;
    }

    // Live values (QC '0' unless given), published in both places as the
    // samplers do.
    struct Value {
        int index;
        float v;
        char qc = '0';
    };
    void Live(std::initializer_list<Value> values)
    {
        for (const Value &x : values) {
            TemproraryData->CurrentValue[x.index] = x.v;
            TemproraryData->CurrentQc[x.index] = x.qc;
            qc_[x.index] = static_cast<unsigned char>(x.qc);
        }
    }
    void Live(int index, float v, char qc = '0') { Live({{index, v, qc}}); }

    // The reply to one parameter with its "HH:MM:SS " prefix checked and
    // cut off; "" when there was no reply.
    std::string Ask(const char *parameter)
    {
        EXPECT_EQ(0, GetOBSample(parameter));
        Lines t = Texts();
        if (t.empty())
            return "";
        EXPECT_EQ(1u, t.size());
        const std::string &s = t[0];
        EXPECT_GE(s.size(), 9u);
        EXPECT_EQ("10:00:0", s.substr(0, 7)) << s;   // the sandbox clock, a second or so on
        EXPECT_EQ(' ', s[8]) << s;
        return s.size() > 9 ? s.substr(9) : "";
    }

    void MainReadings()
    {
        Live({{EL_P, 1013.2f}, {EL_T0, 21.37f}, {EL_U, 65.0f}, {EL_WD, 225.0f}, {EL_WS, 3.3f}, {EL_LE, 50.5f},
              {EL_RAT, 0.5f}, {EL_VI, 12000.0f}, {EL_SD, 15.0f}});
        defdata->LESensorCalib = 0.25f;
        FileSave->Dmgd.Value[6] = 5, FileSave->Dmgd.Value[7] = 12;
        TemproraryData->RawWeight[0] = 3, TemproraryData->RawWeight[1] = 40;
        MainCollectorStat &m = TemproraryData->MainStat;
        m.DoorState = '1', m.Mact = 25.5f, m.SupplyVoltage = 13.6f;
    }

    std::unique_ptr<FileSaveRec> save_;
    unsigned char qc_[ELEMENT_COUNT];
};

// The group is the first four characters of the parameter. QC characters
// come fresh from the QC segment: a flagged T0 shows a slash although the
// live table still says '0'; a RAT not '0' keeps its sum.
TEST_F(ObSampleTest, MainLine)
{
    MainReadings();
    for (const char *p : {"MAIN", "MAINX", "MAIN 2"})
        EXPECT_EQ("P:1013.2 T0:21.37 U:65 WD:225 WS:3.3 LE:50.75 RAT:0.5 SUM:1.2 RAW:0.3 SUM:4.0 "
                  "VI:12000 SD:15 DOOR:1 MBTEMP:25.5 POWER:13.6\r\n",
                  Ask(p))
            << p;
    for (const char *p : {"", "XYZ", "MAI", "main", " MAIN", "MAXN"})
        EXPECT_EQ("", Ask(p)) << '"' << p << '"';
    EXPECT_EQ(0, GetOBSample(nullptr));
    EXPECT_TRUE(Texts().empty());

    qc_[EL_T0] = '2';
    qc_[EL_RAT] = '1';
    qc_[EL_VI] = '8';
    EXPECT_EQ("P:1013.2 T0:/ U:65 WD:225 WS:3.3 LE:50.75 RAT:/ SUM:1.2 RAW:0.3 SUM:4.0 "
              "VI:/ SD:15 DOOR:1 MBTEMP:25.5 POWER:13.6\r\n",
              Ask("MAIN"));
    EXPECT_EQ('2', TemproraryData->CurrentQc[EL_T0]);

    // SD is not refreshed from the segment: its live QC decides alone.
    qc_[EL_SD] = '2';
    EXPECT_NE(std::string::npos, Ask("MAIN").find(" SD:15 "));
    TemproraryData->CurrentQc[EL_SD] = '9';
    EXPECT_NE(std::string::npos, Ask("MAIN").find(" SD:/ DOOR:1 "));

    // The older generation's rain comes from its own record.
    qc_[EL_RAT] = '0';
    defdataEx->Generation = 0;
    FileSave->DmgdOld.Value[6] = 21, FileSave->DmgdOld.Value[7] = 107;
    std::string r = Ask("MAIN");
    EXPECT_NE(std::string::npos, r.find(" RAT:2.1 SUM:10.7 RAW:0.3 SUM:4.0 ")) << r;
}

// The unit groups; a disabled unit shows "-", a silent or failed one "/".
TEST_F(ObSampleTest, UnitLines)
{
    Live({{EL_T1, 1.5f}, {EL_T2, -2.25f}, {EL_T3, 3.0f, '2'}, {EL_SV1, 3.1f}, {EL_SV2, 0.0f},
          {EL_SV3, 1.2f, '8'}, {EL_WS1, 4.4f}, {EL_IR, 18.75f}, {EL_RAT1_C, 0.4f}});
    FileSave->DmgdOld.Value[8] = 4, FileSave->DmgdOld.Value[9] = 30;
    TemproraryDataRec &t = *TemproraryData;
    t.ClimFreq[0] = 1500, t.ClimFreq[1] = -7, t.ClimFreq[2] = 2999;
    t.RawWeight[0] = 2, t.RawWeight[1] = 17;
    t.SubStat[SUB_CLIM].Reading1 = 12.8f, t.SubStat[SUB_CLIM].Reading2 = 31.25f;
    EXPECT_EQ("T1:1.50 T2:-2.25 T3:/ SV1:3.1 SV2:0.0 SV3:/ WS1:4.4 IR:18.75 RAT1_C:0.4 SUM:3.0 "
              "RAW1 FREQ:1500 RAW2 FREQ:-7 RAW2 FREQ:2999 RAW 2 17 MBTEMP:31.2 POWER:12.8\r\n",
              Ask("CLIM"));
    t.CurrentQc[EL_RAT1_C] = '2';
    std::string r = Ask("CLIM");
    EXPECT_NE(std::string::npos, r.find(" RAT1_C:/ SUM:3.0 RAW1 ")) << r;

    const int idx[] = {EL_GR, EL_NR, EL_DR, EL_SR, EL_RR, EL_UR, EL_UVA, EL_UVB, EL_AR, EL_TR, EL_PR};
    for (int i = 0; i < 11; ++i)
        Live(idx[i], float(i) * 10.0f + 0.5f);
    Live(EL_NR, -12.5f);
    Live(EL_UR, 0.0f, '8');   // no writer: stays missing
    t.CurrentValue[59] = 1.0f;
    t.SunshineMinutes = 42;
    t.SubStat[SUB_RADI].Reading1 = 13.5f, t.SubStat[SUB_RADI].Reading2 = 20.0f;
    const std::string items = "GR:0.50 NR:-12.50 DR:20.50 SR:30.50 RR:40.50 UR:/ UVA:60.50 UVB:70.50 AR:80.50 "
                              "TR:90.50 PR:100.50 SSD:1 42 ";
    EXPECT_EQ(items + "MBTEMP:20.0 POWER:13.5\r\n", Ask("RADI"));
    t.SubStat[SUB_RADI].State = 'N';
    EXPECT_EQ(items + "MBTEMP:- POWER:- \r\n", Ask("RADI"));

    for (int i = 0; i < 8; ++i)
        Live(60 + i, float(i + 1));
    Live(63, 0.0f, '9');
    t.SubStat[SUB_SOIL].State = '2';
    EXPECT_EQ("SM1:1.00 SM2:2.00 SM3:3.00 SM4:/ SM5:5.00 SM6:6.00 SM7:7.00 SM8:8.00 MBTEMP:/ POWER:/ \r\n",
              Ask("SOIL"));

    Live(EL_TG, -5.5f);
    for (int i = 0; i < 9; ++i)
        Live(EL_ST0 + i, float(i) + 0.25f);
    Live(EL_ST8, 99999.0f, '8');
    t.SubStat[SUB_EATH].State = '9';
    EXPECT_EQ("TG:-5.50 ST0:0.25 ST1:1.25 ST2:2.25 ST3:3.25 ST4:4.25 ST5:5.25 ST6:6.25 ST7:7.25 ST8:/ "
              "MBTEMP:/ POWER:/ \r\n",
              Ask("EATH"));

    // The air-temperature and rain boards write their not-heard POWER item
    // without the blank before the line end; disabled and talking ones do
    // not differ from the other units.
    Live({{EL_T01, 20.1f}, {EL_T02, 20.5f, '1'}, {EL_T03, 19.875f}, {EL_RAT1, 1.0f}, {EL_RAT2, 0.0f},
          {EL_RAT3, 2.5f, '8'}});
    t.TairStat.BoardTemp = 24.0f, t.TairStat.SupplyVoltage = 12.1f;
    EXPECT_EQ("T01:20.10 T02:/ T03:19.88 MBTEMP:24.0 POWER:12.1\r\n", Ask("TAIR"));
    t.TairStat.State = '2';
    EXPECT_EQ("T01:20.10 T02:/ T03:19.88 MBTEMP:/ POWER:/\r\n", Ask("TAIR"));
    t.TairStat.State = 'N';
    EXPECT_EQ("T01:20.10 T02:/ T03:19.88 MBTEMP:- POWER:- \r\n", Ask("TAIR"));
    t.RainStat.State = '9';
    EXPECT_EQ("RAT1:1.00 RAT2:0.00 RAT3:/ MBTEMP:/ POWER:/\r\n", Ask("RAIN"));
}

// Whatever shared memory holds, the reply is one line with its end.
TEST_F(ObSampleTest, HostileValuesStayOneLine)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::numeric_limits<float>::max();
    for (int i = 0; i < ELEMENT_COUNT; ++i)
        Live(i, (i % 3 == 0) ? nan : (i % 3 == 1 ? big : -big));
    TemproraryDataRec &t = *TemproraryData;
    t.MainStat.SupplyVoltage = big;
    t.MainStat.Mact = -big;
    t.MainStat.DoorState = '\0';
    for (auto &s : t.SubStat)
        s.Reading1 = s.Reading2 = -big;
    FileSave->Dmgd.Value[7] = INT32_MIN;
    for (const char *g : {"MAIN", "CLIM", "RADI", "SOIL", "EATH", "TAIR", "RAIN"}) {
        GetOBSample(g);
        Lines r = Texts();
        ASSERT_EQ(1u, r.size()) << g;
        EXPECT_EQ("\r\n", r[0].substr(r[0].size() - 2)) << g;
    }
    std::string u = Ask("MAIN");
    EXPECT_NE(std::string::npos, u.find(" U:2147483647 ")) << u.substr(0, 200);
}

} // namespace
