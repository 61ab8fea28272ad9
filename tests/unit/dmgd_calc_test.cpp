// The main minute record's computation: air temperature,
// humidity with vapour pressure and dew point, rain sums,
// the twin's minute-0 zeroing and the older generation's layout.
#include "dmgd_fixture.h"

#include "sampling/Sensortable.h"

namespace {
constexpr int F_RAT = 6, F_T0 = 20, F_U = 26, F_E = 27, F_TD = 28, F_P = 29;
}

TEST(DmgdVapourDew, KnownPairsAndTheEdges)
{
    // Saturated air has its dew point at the temperature; with no vapour at
    // all the dew point is the bottom of the scale.
    const struct { double t; int u; int32_t e, td, tdTol; } cases[] = {
        {20.0, 50, 117, 93, 1}, {-10.0, 80, 23, -128, 1}, {15.3, 100, -1, 153, 0}, {25.0, 0, 0, -800, 0}};
    for (const auto &c : cases) {
        int32_t e, td;
        DmgdVapourDew(c.t, c.u, &e, &td);
        if (c.e >= 0) {
            EXPECT_EQ(e, c.e) << c.t;
        }
        EXPECT_NEAR(td, c.td, c.tdTol) << c.t;
    }
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
    EXPECT_EQ(VQ(F_T0), "201 0");
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
    EXPECT_EQ(VQ(F_T0) + ' ' + VQ(F_E), "99999 8 99999 8");
    EXPECT_EQ(std::string{Q(F_TD)} + Q(F_P), "88");
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, 201);   // a missing minute is never an extreme
}

TEST_F(MinuteTest, RainSumsRunThroughTheHourAndTheTwinZeroesAtMinuteZero)
{
    Start("2026-03-10 09:00:03");
    Enable(EL_RAT);
    SampleDataCopy->RainSum = 5;
    SampleDataCopy->RainSumQc = '0';
    Statistic->RainSum[SR_RAT] = 12;
    Calc();
    EXPECT_EQ(VQ(F_RAT) + ' ' + VQ(F_RAT + 1), "5 0 17 0");
    EXPECT_EQ(Statistic->RainSum[SR_RAT], 17);
    Dmgd1Calculate();
    EXPECT_EQ(FileSave->Dmgd1.Value[F_RAT], 0);
    EXPECT_EQ(FileSave->Dmgd1.Value[F_RAT + 1], 17);
    // A suspect counter is shown but not summed.
    SampleDataCopy->RainSumQc = '2';
    Calc();
    EXPECT_EQ(Vs({F_RAT, F_RAT + 1}), "0 17");
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
    const int32_t want[][2] = {{8, 3}, {9, 3}, {12, -51}, {14, 90}};
    for (const auto &w : want)
        EXPECT_EQ(+r.Value[w[0]], w[1]) << w[0];
    EXPECT_EQ(r.Qc[13], '0');
    EXPECT_EQ(std::string(FileSave->DmgdTextOld).substr(0, 28), "DMGD 12345 2026-03-10 08:16 ");
    EXPECT_EQ(std::string(r.Flag), "00000000110011111" + std::string(28, '0'));
}
