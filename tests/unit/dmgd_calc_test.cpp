// The main minute record's computation: temperatures with the station type
// 'M' substitution, humidity with vapour pressure and dew point, rain sums,
// the twin's minute-0 zeroing and the older generation's layout.
#include "dmgd_fixture.h"

#include "sampling/Sensortable.h"

namespace {
constexpr int F_RAT = 6, F_T0 = 20, F_T01 = 21, F_U = 26, F_E = 27, F_TD = 28, F_P = 29;
}

TEST(DmgdVapourDew, KnownPairsAndTheEdges)
{
    int32_t e, td;
    DmgdVapourDew(20.0, 50, &e, &td);
    EXPECT_EQ(e, 117);     // 11.7 hPa
    EXPECT_NEAR(td, 93, 1);
    DmgdVapourDew(-10.0, 80, &e, &td);
    EXPECT_EQ(e, 23);
    EXPECT_NEAR(td, -128, 1);
    DmgdVapourDew(15.3, 100, &e, &td);   // saturated: the dew point is the temperature
    EXPECT_EQ(td, 153);
    DmgdVapourDew(25.0, 0, &e, &td);     // no vapour at all
    EXPECT_EQ(e, 0);
    EXPECT_EQ(td, -800);
}

TEST_F(MinuteTest, AirTemperatureHumidityAndTheDerivedFields)
{
    Start("2026-03-10 08:16:02");
    for (int el : {EL_T0, EL_U, EL_P})
        Enable(el);
    Fill(SampleDataCopy->T0, 2012);   // 20.12 deg C
    Fill(SampleDataCopy->U, 504);     // 50.4 %
    Fill(SampleDataCopy->P, 10132);
    SampleDataCopy->P.Qc[0] = '2';
    Calc();
    EXPECT_EQ(V(F_T0), 201);
    EXPECT_EQ(Q(F_T0), '0');
    EXPECT_EQ(V(F_U), 50);
    EXPECT_EQ(V(F_E), 118);   // 50 % of Ew(20.1)
    EXPECT_EQ(Q(F_TD), '0');
    EXPECT_EQ(V(F_P), 10132);
    EXPECT_EQ(std::string(FileSave->Dmgd.Time), "2026-03-10 08:16");
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, 201);
    EXPECT_EQ(Statistic->Ext[SX_T0].MaxTime, 816);
    EXPECT_EQ(Statistic->UMin.Min, 50);

    // Too few samples: missing, and the derived fields follow.
    std::memset(SampleDataCopy->T0.Qc, 0, 11);
    std::memset(SampleDataCopy->P.Qc, '8', 11);
    Calc();
    EXPECT_EQ(V(F_T0), 99999);
    EXPECT_EQ(Q(F_T0), '8');
    EXPECT_EQ(V(F_E), 99999);
    EXPECT_EQ(Q(F_TD), '8');
    EXPECT_EQ(Q(F_P), '8');
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, 201);   // a missing minute is never an extreme
}

TEST_F(MinuteTest, StationTypeMSubstitutesTheBoardSelectedChannel)
{
    Start("2026-03-10 08:16:02");
    for (int el : {EL_T0, EL_T01, EL_T02, EL_T03})
        Enable(el);
    defdata->STLX = 'M';
    auto minute = [&] {
        SampleDataCopy->TairLatest[0] = 201.0f;
        SampleDataCopy->TairLatest[1] = 205.0f;
        SampleDataCopy->TairLatest[2] = 99999.9f;
        TemproraryData->Tair.ChanQc[0] = '0';
        TemproraryData->Tair.ChanQc[1] = '0';
        TemproraryData->Tair.ChanQc[2] = '8';
        TemproraryData->TairStat.Status1 = 2;
        Calc();
    };
    minute();   // no channel selected yet
    EXPECT_EQ(V(F_T0), 99999);
    EXPECT_EQ(Q(F_T0), '8');
    minute();
    EXPECT_EQ(V(F_T0), 205);
    EXPECT_EQ(Q(F_T0), '7');
    EXPECT_EQ(V(F_T01), 201);
    EXPECT_EQ(V(F_T01 + 2), 99999);
    EXPECT_EQ(Q(F_T01 + 2), '8');
    // Channels that disagree by more than 0.9 deg C: no substitution.
    SampleDataCopy->TairLatest[1] = 211.0f;
    Calc();
    EXPECT_EQ(V(F_T0), 99999);
    EXPECT_EQ(Q(F_T0), '8');
}

TEST_F(MinuteTest, RainSumsRunThroughTheHourAndTheTwinZeroesAtMinuteZero)
{
    Start("2026-03-10 09:00:03");
    Enable(EL_RAT);
    SampleDataCopy->RainSum = 5;
    SampleDataCopy->RainSumQc = '0';
    Statistic->RainSum[SR_RAT] = 12;
    Calc();
    EXPECT_EQ(V(F_RAT), 5);
    EXPECT_EQ(V(F_RAT + 1), 17);
    EXPECT_EQ(Q(F_RAT + 1), '0');
    EXPECT_EQ(Statistic->RainSum[SR_RAT], 17);
    Dmgd1Calculate();
    EXPECT_EQ(FileSave->Dmgd1.Value[F_RAT], 0);
    EXPECT_EQ(FileSave->Dmgd1.Value[F_RAT + 1], 17);
    // A suspect counter is shown but not summed.
    SampleDataCopy->RainSumQc = '2';
    Calc();
    EXPECT_EQ(V(F_RAT), 0);
    EXPECT_EQ(V(F_RAT + 1), 17);
}

TEST_F(MinuteTest, OlderGenerationPlacesTheFieldsOfItsLayout)
{
    Start("2026-03-10 08:16:02");
    defdataEx->Generation = 0;
    for (int el : {int(EL_T0), int(EL_U), int(EL_RAT1_C), 9})
        Enable(el);
    Fill(SampleDataCopy->T0, -512);
    Fill(SampleDataCopy->U, 900);
    SampleDataCopy->Rain1Sum = 3;
    SampleDataCopy->Rain1SumQc = '0';
    testing::internal::CaptureStdout();
    DmgdCalculate_Old();
    Dmgd1Calculate_Old();
    DmgdStruct2Ascii_Old(&FileSave->DmgdOld, FileSave->DmgdTextOld);
    testing::internal::GetCapturedStdout();
    const DmgdOldRec &r = FileSave->DmgdOld;
    EXPECT_EQ(+r.Value[8], 3);
    EXPECT_EQ(+r.Value[9], 3);
    EXPECT_EQ(+r.Value[12], -51);
    EXPECT_EQ(r.Qc[13], '0');
    EXPECT_EQ(+r.Value[14], 90);
    EXPECT_EQ(std::string(FileSave->DmgdTextOld).substr(0, 28), "DMGD 12345 2026-03-10 08:16 ");
    EXPECT_EQ(std::string(r.Flag), "00000000110011111" + std::string(28, '0'));
}
