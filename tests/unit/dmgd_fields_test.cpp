// The main minute record's fields beyond temperature and humidity:
// evaporation with its references and maintenance, the visibility rings,
// snow depth, the rain board and the weighing gauge, pressure, ground
// temperatures, and the station types 'S' and 'M'.
#include "dmgd_fixture.h"

#include <vector>

#include "platform/Transplant.h"
#include "core/Main.h"

namespace {

constexpr int F_RAT = 6, F_RAT1 = 8, F_RAT2 = 10, F_RAT3 = 12, F_RAT4 = 14, F_RAW = 18,
              F_T0 = 20, F_T01 = 21, F_P = 29, F_TG = 30, F_ST0 = 31, F_LE = 40, F_LE_H = 41,
              F_VI1 = 42, F_VI10 = 43, F_SD = 48;

struct FieldTest : MinuteTest {
    void Begin(std::initializer_list<int> elements, const char *clock = "2026-05-04 08:10:02")
    {
        Start(clock);
        for (int e : elements)
            Enable(e);
    }
    void NextMinute() { ASSERT_EQ(TpSetTime(TpTime() + 60), 0); }
    // The evaporation pan's level (0.1 mm) in the six seconds that count.
    void Level(int32_t v)
    {
        Fill(SampleDataCopy->LE, 0, '8');
        for (int s = 0; s < 60; s += 10) {
            SampleDataCopy->LE.Value[s] = v;
            SampleDataCopy->LE.Qc[s] = '0';
        }
    }
    // One minute of evaporation at level v; returns field 41.
    int32_t Evap(int32_t v)
    {
        Level(v);
        Calc();
        NextMinute();
        return V(F_LE_H);
    }
};

} // namespace

// ---- evaporation ---------------------------------------------------------

TEST_F(FieldTest, EvaporationLevelFromSixSecondsWithCalibrationAndLimits)
{
    Begin({EL_LE});
    Fill(SampleDataCopy->LE, 9000);   // the other seconds never count
    for (int s = 0; s < 60; s += 10)
        SampleDataCopy->LE.Value[s] = 500 + s / 5;   // 500, 502 ... 510
    SampleDataCopy->LE.Qc[50] = '1';                 // only QC '0' counts: 500..508
    defdata->LESensorCalib = 0.3f;                   // mm
    Calc();
    EXPECT_EQ(VQ(F_LE), "507 0");   // trunc(504 + 0.5 + 3)
    EXPECT_EQ(V(F_LE_H), 0);
    EXPECT_EQ(Statistic->LeLevel, 507);

    // The level's limits: the sensor mode caps it at 98.1 mm, else 100.0;
    // neither limit set: at least 0.1 mm; only the upper one: from 0 (above
    // the cap it is capped); only the lower one: up to the cap; both set:
    // never below 0, and absurd limits never overflow.
    constexpr float N = QC_NONE;
    const struct { int mode; float lo, hi; int32_t level; char qc; } cases[] = {
        {0, N, N, 1000, '0'},       {0, N, N, 1001, '2'},       {0, N, N, 0, '2'},
        {1, N, N, 981, '0'},        {1, N, N, 982, '2'},        {1, 10, 90, 100, '0'},
        {1, 10, 90, 99, '2'},       {1, 10, 90, 900, '0'},      {1, 10, 90, 901, '2'},
        {1, -N, 200, 0, '0'},       {1, -N, 200, 982, '2'},     {1, 5, N, 49, '2'},
        {1, 5, N, 981, '0'},        {1, -3e38f, 3e38f, -5, '2'}, {1, -3e38f, 3e38f, 981, '0'},
    };
    defdata->LESensorCalib = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << ' ' << c.lo << ' ' << c.hi << ' ' << c.level);
        defdata->LESensorMode = c.mode;
        defdata->Qcps[EL_LE][0] = c.lo;
        defdata->Qcps[EL_LE][1] = c.hi;
        Level(c.level);
        Calc();
        EXPECT_EQ(Q(F_LE), c.qc);
    }
}

// Field 41 minute by minute (the limit test alone sets the QC): a jump of
// more than 1.5 mm against the last four minutes is not valid and the hour
// keeps what it had (08:12-08:16); rain in the hour keeps the booked value
// unless the fall from the minute-0 reference is larger; 09:00 still shows
// the closing hour; a first level outside 10.1-89.9 mm is taken again, but
// only once after a restart.
TEST_F(FieldTest, EvaporationOfTheHourFollowsTheReferencesAndRain)
{
    struct Step { int32_t level, rain, hour, statHour = -1; };   // level -1: a restart; statHour -1: unchecked
    const struct { const char *clock; std::vector<Step> steps; } cases[] = {
        {"2026-05-04 08:10:02",
         {{500, 0, 0}, {497, 0, 3}, {520, 0, 3}, {496, 0, 3}, {496, 0, 3}, {496, 0, 3}, {496, 0, 3}, {496, 0, 4},
          {496, 2, 4}, {488, 0, 12, 12}}},
        {"2026-05-04 08:58:02", {{500, 0, 0}, {498, 0, 2}, {497, 0, 3, 0}, {496, 0, 1}}},
        {"2026-05-04 08:10:02",
         {{50, 0, 0}, {500, 0, 0}, {497, 0, 3}, {-1, 0, 0}, {50, 0, 0}, {950, 0, 0}, {947, 0, 3}}},
    };
    for (const auto &c : cases) {
        Begin({EL_LE, EL_RAT}, c.clock);
        SampleDataCopy->RainSumQc = '0';
        int minute = 0;
        for (const Step &st : c.steps) {
            SCOPED_TRACE(testing::Message() << c.clock << " +" << minute++ << " min");
            if (st.level < 0) {
                DmgdReset();
                continue;
            }
            SampleDataCopy->RainSum = st.rain;
            EXPECT_EQ(Evap(st.level), st.hour);
            EXPECT_EQ(Q(F_LE), '0');
            EXPECT_TRUE(st.statHour < 0 || Statistic->LeHour == st.statHour) << Statistic->LeHour;
        }
    }
}

TEST_F(FieldTest, EvaporationWithoutSamplesOrInMaintenance)
{
    Begin({EL_LE});
    EXPECT_EQ(Evap(500), 0);
    EXPECT_EQ(Evap(497), 3);
    // No sample that counts: the last level stands.
    Fill(SampleDataCopy->LE, 400, '8');
    Calc();
    EXPECT_EQ(VQ(F_LE) + ' ' + std::to_string(V(F_LE_H)), "497 0 3");
    NextMinute();
    // Maintenance counts down; its end by command restarts.
    TemproraryData->LeMaintMinutes = 2;
    TemproraryData->LeMaintMode = '2';
    for (int i = 0; i < 2; ++i) {
        Evap(300);   // the pan is being refilled
        EXPECT_EQ(std::string{F(F_LE)} + F(F_LE_H), "00");
        EXPECT_EQ(VQ(F_LE) + ' ' + std::to_string(V(F_LE_H)), "99999 N 99999");
    }
    EXPECT_EQ(std::to_string(TemproraryData->LeMaintMinutes) + TemproraryData->LeMaintMode, "00");
    // Ended by command: the next minute starts afresh from its level.
    TemproraryData->LeMaintReset = 1;
    EXPECT_EQ(Evap(800), 0);
    EXPECT_EQ(F(F_LE), '1');
    EXPECT_EQ(TemproraryData->LeMaintReset, 0);
    EXPECT_EQ(Evap(795), 5);
}

TEST_F(FieldTest, EvaporationSurvivesExtremeLevels)
{
    Begin({EL_LE, EL_RAT});
    SampleDataCopy->RainSum = 5;
    SampleDataCopy->RainSumQc = '0';
    for (int32_t v : {INT32_MAX, INT32_MIN, INT32_MAX, 0, INT32_MIN}) {
        Evap(v);
        EXPECT_GE(V(F_LE_H), 0);
    }
    defdata->LESensorCalib = 1e30f;
    Evap(500);
    EXPECT_EQ(V(F_LE), INT32_MAX);
}

// ---- visibility and snow -------------------------------------------------

TEST_F(FieldTest, VisibilityRingsOfFiveAndTenMinutes)
{
    Begin({EL_VI});
    auto minute = [&](int32_t v, char qc) {
        SampleDataCopy->VI = v;
        SampleDataCopy->VIQc = qc;
        Calc();
        NextMinute();
    };
    minute(10000, '0');
    EXPECT_EQ(VQ(F_VI1) + ' ' + VQ(F_VI10), "10000 0 10000 0");
    minute(20000, '1');
    EXPECT_EQ(Vs({F_VI1, F_VI10}), "20000 15000");
    minute(30000, '2');   // a wrong value is missing: the 5-minute ring stands in
    EXPECT_EQ(Vs({F_VI1, F_VI10}), "15000 15000");
    EXPECT_NE(out_.find("VI:0 10000\nVI:1 20000\nVI:2 -99999\n"), std::string::npos);
    EXPECT_NE(out_.find("VI :0 10000\nVI :1 20000\n"), std::string::npos);
    EXPECT_EQ(Statistic->Vis.Min10.Min, 10000);
    EXPECT_EQ(Statistic->Vis.Min10.Time, 810);
    // Five missing minutes: the 1-minute value is missing too.
    for (int i = 0; i < 4; ++i)
        minute(0, '8');
    EXPECT_EQ(VQ(F_VI1), "-99999 8");
    EXPECT_EQ(V(F_VI10), 15000);   // the 10-minute ring still holds two
    // The sensor's own 10-minute value wins once.
    TemproraryData->VisDevice10 = 7777;
    TemproraryData->VisDeviceQc = '0';
    minute(5000, '0');
    EXPECT_EQ(Vs({F_VI1, F_VI10}), "5000 7777");
    EXPECT_EQ(+TemproraryData->VisDeviceQc, '2');
    EXPECT_EQ(Statistic->Vis.Min10.Min, 7777);
    minute(5000, '0');
    EXPECT_EQ(V(F_VI10), (10000 + 20000 + 5000 + 5000) / 4);
    // Ten minutes later the first entries have been overwritten.
    for (int i = 0; i < 8; ++i)
        minute(0, '8');
    EXPECT_EQ(V(F_VI10), 5000);
    minute(0, '8');
    minute(0, '8');
    EXPECT_EQ(VQ(F_VI10), "99999 8");
}

TEST_F(FieldTest, VisibilityAfterARestartShowsTheRestoredValues)
{
    Begin({EL_VI});
    Statistic->Vis.Latest1 = 4321;
    Statistic->Vis.Latest10 = 4567;
    SampleDataCopy->VIQc = '8';
    Calc();
    EXPECT_EQ(Vs({F_VI1, F_VI10}), "4321 4567");
    NextMinute();
    Calc();   // only the first computation
    EXPECT_EQ(Vs({F_VI1, F_VI10}), "-99999 99999");
}

TEST_F(FieldTest, SnowDepthCountsEachDeliveryOnce)
{
    Begin({EL_SD});
    auto minute = [&](int32_t depth, char qc) {
        TemproraryData->SnowDepth = depth;
        TemproraryData->SnowDepthQc = qc;
        Calc();
        return VQ(F_SD);
    };
    EXPECT_EQ(minute(0, '8'), "0 8");
    EXPECT_EQ(F(F_SD), '1');
    EXPECT_EQ(minute(30, '0'), "30 0");
    EXPECT_EQ(+TemproraryData->SnowDepth, 0);   // taken: the next minute has none
    EXPECT_EQ(TemproraryData->SnowDepthQc, '8');
    EXPECT_EQ(minute(41, '1'), "35 0");   // the mean of the ring's deliveries
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(minute(99, '2'), "35 0");
    EXPECT_EQ(minute(0, '8'), "41 0");   // five minutes on, 30 has left the ring
    EXPECT_EQ(minute(0, '8'), "0 8");
}

// ---- rain ----------------------------------------------------------------

TEST_F(FieldTest, RainBoardReadingsWithTheirQcAndOwnSums)
{
    Begin({EL_RAT, EL_RAT1, EL_RAT2, EL_RAT3});
    defdata->ObValid[17] = '1';
    TemproraryDataRec &td = *TemproraryData;
    td.RainStat.State = '0';
    const uint8_t reading[5] = {1, 2, 3, 4, 5};   // RAT1, RAT2, RAT3, RAT, fifth
    std::memcpy(SampleDataCopy->RainBoard, reading, 5);
    std::memcpy(td.Rain.Qc, "01200", 5);
    SampleDataCopy->RainSum = 9;   // the main board's counter is not used
    SampleDataCopy->RainSumQc = '0';
    Statistic->RainSum[SR_RAT] = 10;
    Calc();
    // RAT, RAT1-RAT3, fifth: suspect readings are taken with their QC, a
    // wrong one is no rain.
    EXPECT_EQ(VQ(F_RAT) + ' ' + VQ(F_RAT1) + ' ' + VQ(F_RAT2) + ' ' + VQ(F_RAT3) + ' ' + VQ(F_RAT4),
              "4 0 1 0 2 1 0 N 5 0");
    EXPECT_EQ(Q(F_RAT3 + 1), '0');
    EXPECT_EQ(Vs({F_RAT + 1, F_RAT2 + 1, F_RAT4 + 1}), "14 2 5");
    Calc();
    EXPECT_EQ(Vs({F_RAT + 1, F_RAT2 + 1, F_RAT4 + 1}), "18 4 10");
    // A silent board: the fifth channel is no rain with QC '8'; its sum
    // stays.
    td.RainStat.State = '2';
    Calc();
    EXPECT_EQ(VQ(F_RAT4), "0 8");
    EXPECT_EQ(V(F_RAT4 + 1), 10);
    // Board 17 off: neither the fifth pair nor the board's RAT.
    defdata->ObValid[17] = '0';
    Calc();
    EXPECT_EQ(F(F_RAT4), '0');
    EXPECT_EQ(V(F_RAT), 9);
}

TEST_F(FieldTest, WeighingGaugeMaintenanceCountdown)
{
    Begin({23});   // RAW
    TemproraryDataRec &td = *TemproraryData;
    td.RawMinute = 4;
    Calc();
    EXPECT_EQ(VQ(F_RAW) + ' ' + VQ(F_RAW + 1), "4 0 4 0");
    EXPECT_EQ(+td.RawMinute, 0);
    EXPECT_NE(out_.find("DmgdCalculate 1 4 4 4\n"), std::string::npos);
    td.RawMaintMinutes = 2;
    td.RawMaintMode = '2';
    td.RawMinute = 7;   // a refill weighs as rain: discarded
    for (const char *left : {"1 2", "0 0"}) {
        Calc();
        EXPECT_EQ(std::string{F(F_RAW)} + F(F_RAW + 1) + Q(F_RAW), "00N");
        EXPECT_EQ(V(F_RAW + 1), 99999);
        EXPECT_EQ(std::to_string(td.RawMaintMinutes) + ' ' + td.RawMaintMode, left);
    }
    td.RawMinute = 1;
    Calc();
    EXPECT_EQ(Vs({F_RAW, F_RAW + 1}), "1 5");   // the maintenance minutes added nothing
    EXPECT_EQ(Statistic->RainSum[SR_RAW], 5);
}

// ---- pressure and ground temperatures --------------------------------------

TEST_F(FieldTest, PressureNeedsTwentySamplesOrTenDuringTheCardCopy)
{
    Begin({EL_P});
    for (int i = 0; i < 30; ++i)
        SampleDataCopy->P.Value[i] = 10132 + i % 2;   // mean 1013.25 hPa
    std::memset(SampleDataCopy->P.Qc, '0', 30);
    std::memset(SampleDataCopy->P.Qc, '1', 10);    // only QC '0' counts
    Calc();
    EXPECT_EQ(VQ(F_P), "10133 0");   // trunc(10132.5 + 0.5)
    EXPECT_EQ(Statistic->Ext[SX_P].Max, 10133);
    SampleDataCopy->P.Qc[10] = '2';
    Calc();
    EXPECT_EQ(VQ(F_P), "99999 8");
    static volatile unsigned char copying = 1;
    g_pCpyCfDataFlag = &copying;
    std::memset(SampleDataCopy->P.Qc, '8', 20);
    Calc();
    EXPECT_EQ(Q(F_P), '0');
    SampleDataCopy->P.Qc[20] = '8';
    Calc();
    EXPECT_EQ(Q(F_P), '8');
}

TEST_F(FieldTest, GroundTemperaturesRoundHalfAwayFromZero)
{
    Begin({EL_TG, EL_ST0, EL_ST8});
    Fill(SampleDataCopy->Earth[EARTH_TG], 1855);
    Fill(SampleDataCopy->Earth[EARTH_ST0], -1855);
    Fill(SampleDataCopy->Earth[EARTH_ST8], 4);
    Calc();
    EXPECT_EQ(VQ(F_TG) + ' ' + VQ(F_ST0) + ' ' + VQ(F_ST0 + 8), "186 0 -186 0 0 0");
    EXPECT_EQ(F(F_ST0 + 1), '0');   // ST1 not enabled
    EXPECT_EQ(Statistic->Ext[SX_TG].Max, 186);
    EXPECT_EQ(Statistic->Ext[SX_ST0].Min, -186);
    // Eleven bad samples: missing; the extremes keep their values.
    std::memset(SampleDataCopy->Earth[EARTH_TG].Qc, '1', 11);
    Fill(SampleDataCopy->Earth[EARTH_ST0], -1000);
    Calc();
    EXPECT_EQ(VQ(F_TG), "99999 8");
    EXPECT_EQ(Statistic->Ext[SX_TG].Max, 186);
    EXPECT_EQ(Statistic->Ext[SX_ST0].Max, -100);
}

// ---- station types -------------------------------------------------------

TEST_F(FieldTest, StationTypeSCopiesTemperatureAndRain)
{
    Begin({EL_RAT, EL_RAT1, EL_T0, EL_T01, EL_T02});
    defdata->STLX = 'S';
    Fill(SampleDataCopy->T0, 2012);
    SampleDataCopy->RainSum = 3;
    SampleDataCopy->RainSumQc = '0';
    Calc();
    EXPECT_EQ(VQ(F_T01) + ' ' + VQ(F_T01 + 1), "201 0 201 0");
    EXPECT_EQ(F(F_T01 + 2), '0');   // T03 not enabled
    EXPECT_EQ(Vs({F_RAT1, F_RAT1 + 1}), "3 3");
    EXPECT_EQ(Statistic->Ext[SX_T01].Max, 201);
    EXPECT_EQ(Statistic->Ext[SX_T02].Min, 201);
    // The copies keep no sum of their own.
    EXPECT_EQ(Statistic->RainSum[SR_RAT1], 0);
}

TEST_F(FieldTest, StationTypeMNeedsTwoGoodChannelsAndAKnownSelection)
{
    Begin({EL_T0, EL_T01, EL_T02, EL_T03});
    defdata->STLX = 'M';
    TemproraryDataRec &td = *TemproraryData;
    SampleDataCopy->TairLatest[0] = 201.0f;
    SampleDataCopy->TairLatest[1] = 210.0f;
    SampleDataCopy->TairLatest[2] = 250.0f;
    std::memcpy(td.Tair.ChanQc, "0018", 4);
    td.TairStat.Status1 = 3;
    Calc();   // selects channel 3 for the next minute; none is selected yet
    EXPECT_EQ(VQ(F_T0), "99999 8");
    Calc();
    EXPECT_EQ(VQ(F_T0), "250 7");   // T01 and T02 agree (0.9); the board chose T03
    EXPECT_EQ(VQ(F_T01), "201 0");
    // Channels that disagree by more than 0.9 deg C.
    SampleDataCopy->TairLatest[1] = 211.0f;
    Calc();
    EXPECT_EQ(VQ(F_T0), "99999 8");
    SampleDataCopy->TairLatest[1] = 210.0f;
    // Only QC '0' pairs count.
    std::memcpy(td.Tair.ChanQc, "0118", 4);
    Calc();
    EXPECT_EQ(VQ(F_T0), "99999 8");
    // A selection that names no channel; not type 'M': never substituted.
    std::memcpy(td.Tair.ChanQc, "0008", 4);
    for (char type : {'M', 'N'}) {
        defdata->STLX = type;
        td.TairStat.Status1 = type == 'M' ? 4 : 1;
        Calc();
        Calc();
        EXPECT_EQ(VQ(F_T0), "99999 8") << type;
    }
}
