// Conversion of CAN packets into samples: exact ring values and QC
// characters per board and packet type.
#include "sampling_fixture.h"

namespace {

using Conversion = SamplingTest;

TEST_F(Conversion, MainBoardTemperatureHumidityAndEvaporation)
{
    FeedWords(0x192, 2345, 6543, 0, 1000);
    const SampleDataRec &s = *sampledata;
    // T0 twice, first sample of the minute in slot 1; U once; evaporation
    // 1000 x 0.01 mA: (125000 - 62500)/100 * 0.981 = 613.125 (0.1 mm), twice.
    EXPECT_EQ((Ints {2, 2345, 2345, 1, 654, 613, 613}),
              (Ints {+s.T0.pos, +s.T0.Value[1], +s.T0.Value[2], +s.U.pos, +s.U.Value[1], +s.LE.Value[1], +s.LE.Value[2]}));
    EXPECT_EQ("000000", Chars({s.T0.Qc[1], s.T0.Qc[2], g_ucpSampleDataQc[EL_T0], TemproraryData->MainBoardCommState,
                               TemproraryData->MainStat.CanBusState, TemproraryData->MainStat.TerhState}));
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_T0], 23.45f);
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_LE], 61.31f);
    EXPECT_FLOAT_EQ(+TemproraryData->MainOptReading[0], 61.31f);

    // Negative temperature, humidity clamp at 1000.
    FeedWords(0x192, 0xFF38, 10005, 0, 1000);
    EXPECT_EQ((Ints {-200, 1000}), (Ints {+s.T0.Value[3], +s.U.Value[2]}));
}

TEST_F(Conversion, EvaporationCurrentBoundaries)
{
    FeedWords(0x192, 0, 0, 0, 359);
    FeedWords(0x192, 0, 0, 0, 2101);
    FeedWords(0x192, 0, 0, 0, 360);   // clamped to 1000 (100.0 mm)
    FeedWords(0x192, 0, 0, 0, 2100);  // below zero, clamped to 0
    const auto &le = sampledata->LE;
    int expect[] = {0, 0, 0, 0, 1000, 1000, 0, 0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(+le.Value[i + 1], expect[i]) << i;
        EXPECT_EQ(+le.Qc[i + 1], '0') << i;   // a normal check, not missing
    }
}

TEST_F(Conversion, TemperatureHumidityBoardOwnsT0WhileReporting)
{
    TemproraryData->Terh.State1 = '0';
    FeedWords(0x192, 2345, 6543, 0, 1000);
    EXPECT_EQ((Ints {0, 0, 2}), (Ints {+sampledata->T0.pos, +sampledata->U.pos, +sampledata->LE.pos}));
}

TEST_F(Conversion, WindSpeedAndDirection)
{
    defdata->Senco[0] = 0.5f;   // k0 of WS
    defdata->Senco[1] = 0.1f;   // k1
    FeedWords(0x292, 0);
    FeedWords(0x292, 10);
    // Calm whatever k0.
    EXPECT_EQ((Ints {0, 150}), (Ints {+sampledata->WS.Value[1], +sampledata->WS.Value[2]}));
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_WS], 1.5f);
    EXPECT_EQ(+TemproraryData->MainStat.WindState, '0');

    FeedWords(0x392, 2500);
    FeedWords(0x392, 1);
    FeedWords(0x392, 4);
    Feed(0x392, {123, 0, 1, 1});   // d2 set: whole degrees; d3 set: door open
    const auto &wd = sampledata->WD;
    EXPECT_EQ((Ints {360, 0, 1, 123}), (Ints {+wd.Value[1], +wd.Value[2], +wd.Value[3], +wd.Value[4]}));
    EXPECT_EQ(+TemproraryData->MainStat.DoorState, '1');
}

TEST_F(Conversion, RainSumsAndSupplyOfMainBoard)
{
    defdata->Senco[9] = 0.1f;    // k1 of RAT
    defdata->Senco[13] = 0.5f;   // k1 of RAT1
    FeedWords(0x492, 1, 2, 2250, 12000);
    FeedWords(0x492, 1, 0, 2250, 25000);
    EXPECT_EQ(+sampledata->RainSum, 2);
    EXPECT_EQ(+sampledata->RainSumQc, '0');
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_RAT], 0.2f);
    EXPECT_EQ(+sampledata->Rain1Sum, 10);
    EXPECT_EQ(+TemproraryData->SubStat[SUB_CLIM].Flag2, '0');
    EXPECT_FLOAT_EQ(+TemproraryData->MainStat.Mact, 22.5f);
    EXPECT_FLOAT_EQ(+TemproraryData->MainStat.SupplyVoltage, 12.3f);   // 25 V is nonsense
    EXPECT_EQ(+TemproraryData->MainStat.PowerKind, '1');
    FeedWords(0x492, 0, 0, 0, 14000);
    EXPECT_FLOAT_EQ(+TemproraryData->MainStat.SupplyVoltage, 14.0f);
    EXPECT_EQ(+TemproraryData->MainStat.PowerKind, '0');
}

TEST_F(Conversion, RadiationChannels)
{
    Enable(NODE_RADI);
    defdata->Sensi[0] = 10.0f;   // GR
    defdata->Sensi[2] = 10.0f;   // NR
    SetQcps(EL_NR, 0.0f, 500.0f, QC_NONE);
    FeedWords(0x185, 100, 0, 0, 0);
    FeedWords(0x185, 0x8000, 0, 0, 0);
    FeedWords(0x385, 0, 0, 0, 0xFFFF);
    const auto &gr = sampledata->Radi[RADI_GR];
    EXPECT_EQ((Ints {10005, 0, -95}), (Ints {+gr.Value[1], +gr.Value[2], +sampledata->Radi[RADI_NR].Value[1]}));
    // Net radiation is checked on its magnitude: -0.95 passes a 0 minimum.
    EXPECT_EQ(+sampledata->Radi[RADI_NR].Qc[1], '0');
    EXPECT_EQ("0N", Chars({TemproraryData->SubStat[SUB_RADI].State, TemproraryData->SubStat[SUB_RADI].Flag2}));

    // Sunshine flags wrap over 30 entries.
    TemproraryData->SunshineIdx = 29;
    FeedWords(0x485, 13000, 2000, 1001);
    FeedWords(0x485, 13000, 2000, 1000);
    EXPECT_EQ((Ints {1, 0, 1}), (Ints {+TemproraryData->SunshineFlag[29], +TemproraryData->SunshineFlag[0],
                                        +TemproraryData->SunshineIdx}));
}

TEST_F(Conversion, EarthTemperatures)
{
    Enable(NODE_EATH);
    modipam->Pam[EL_TG][1] = 1.0f;    // t' = t
    modipam->Pam[EL_ST0][1] = 2.0f;
    modipam->Pam[EL_ST0][2] = 1.0f;   // t' = 2t + 1
    FeedWords(0x186, 0x7FFF, 1234);
    const auto &tg = sampledata->Earth[EARTH_TG];
    EXPECT_EQ((Ints {99999, '8', 2568}), (Ints {+tg.Value[1], +tg.Qc[1], +sampledata->Earth[EARTH_ST0].Value[1]}));
    modipam->Pam[EL_ST1 + 7][1] = 1.0f;
    FeedWords(0x386, 0, 0, 0, 0xFF9C);   // ST8 = -1.00
    EXPECT_EQ(+sampledata->Earth[EARTH_ST8].Value[1], -100);
}

TEST_F(Conversion, ClimateBoard)
{
    Enable(NODE_CLIM);
    // Type 10 without a pending thermopile reading leaves IR alone.
    FeedWords(0x483, 100, 100, 100, 12000);
    EXPECT_EQ(+sampledata->IR.pos, 0);
    // SV with the speed flag off is 31 (no placeholder).
    EXPECT_EQ(+sampledata->SV1.Value[1], 31);

    FeedWords(0x183, 1000, 2000, 0xFF38, 500);
    EXPECT_EQ((Ints {1000, -200}), (Ints {+sampledata->T1.Value[1], +sampledata->T3.Value[1]}));
    EXPECT_EQ(+TemproraryData->SubStat[SUB_CLIM].Flag1, '0');

    defdata->ClimSpeed = '1';
    FeedWords(0x483, 9, 1000, 100, 12000);
    EXPECT_EQ(+sampledata->SV1.Value[2], -99999);
    EXPECT_EQ(+sampledata->SV1.Qc[2], '8');
    EXPECT_EQ(+sampledata->SV2.Value[2], 433);   // (1000*0.0443 - 0.9565)*10
    EXPECT_EQ(+sampledata->IR.pos, 1);           // the pending reading was used

    // Frequency channels: out of band gives '2'.
    defdata->Chrod[0][0] = 0.0157f;
    defdata->Chrod[0][2] = 1000.0f;
    FeedWords(0x283, 1500, 1000, 3000, 0);
    EXPECT_EQ("022", Chars({sampledata->ClimFreqQc[0], sampledata->ClimFreqQc[1], sampledata->ClimFreqQc[2]}));
    EXPECT_EQ(+sampledata->ClimFreq[0], 500);   // 0.0157*500/1.57*100 + 0.5
    EXPECT_FLOAT_EQ(+TemproraryData->MainOptReading[1], 50.0f);
}

TEST_F(Conversion, TemperatureHumidityBoard)
{
    Enable(NODE_TERH);
    FeedWords(0x18F, 2000, 12500, 2599);
    const TemproraryDataRec &t = *TemproraryData;
    EXPECT_EQ((Ints {2000, 2000, 12, '1', 25, 1}), (Ints {+sampledata->T0.Value[1], +sampledata->T0.Value[2],
                                                         +t.Terh.Reading1, +t.Terh.State2, +t.Terh.Reading2,
                                                         +t.TerhTempCount}));
    FeedWords(0x28F, 0, 0, 120);
    EXPECT_EQ((Ints {1000, 1}), (Ints {+sampledata->U.Value[1], +t.TerhHumiCount}));

    // Ignored while the air-temperature board is fitted.
    Enable(NODE_TAIR);
    FeedWords(0x18F, 1000);
    EXPECT_EQ(+sampledata->T0.pos, 2);
}

TEST_F(Conversion, AirTemperatureBoard)
{
    Enable(NODE_TAIR);
    FeedWords(0x190, 2345, 0x7FFF, 0xFF38, 1000);
    EXPECT_EQ((Ints {234, '0', 99999, -20}), (Ints {+sampledata->T0x[0].Value[1], +sampledata->T0x[0].Qc[1],
                                                    +sampledata->T0x[1].Value[1], +sampledata->T0x[2].Value[1]}));
    EXPECT_FLOAT_EQ(+TemproraryData->Tair.ChanTemp[1], 9999.0f);
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_T01], 23.45f);
    EXPECT_FLOAT_EQ(+sampledata->TairLatest[3], 100.0f);
    Feed(0x490, {0x7F, 0x7F, 3, 4, 0, 1, 2, 77});
    // T01, T03, channel 3 (9 is not a QC code), extra.
    EXPECT_EQ("0290", Chars({TemproraryData->CurrentQc[EL_T01], g_ucpSampleDataQc[EL_T03], TemproraryData->Tair.ChanQc[3],
                             sampledata->TairExtraQc}));
    EXPECT_EQ(+TemproraryData->TairStat.Status1, 3);
}

TEST_F(Conversion, RainBoard)
{
    Enable(NODE_RAIN);
    Feed(0x191, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_RAT2], 2.0f);
    EXPECT_EQ(+sampledata->RainBoard[5], 6);
    EXPECT_EQ(+TemproraryData->Rain.Status, 7);
    Feed(0x291, {0, 1, 2, 8, 9, 0, 0x34, 0x12});
    EXPECT_EQ("280", Chars({TemproraryData->CurrentQc[EL_RAT3], g_ucpSampleDataQc[EL_RAT], TemproraryData->RainStat.State}));
    EXPECT_EQ(+TemproraryData->Rain.HourCount, 0x1234);
}

TEST_F(Conversion, InfraredTemperature)
{
    for (int k = 0; k < 6; ++k)
        defdata->Infrared[k] = 0.0f;
    // 12500 -> v = 1250: R = 24900 ohm, Tb = 278.55 K; no thermopile term.
    EXPECT_EQ(+DisposeInfraredData(12500.0f, 0.0f), 539);
    // The thermopile term: Tb^4 + m s + k with m = 1e9, s = 1.
    defdata->Infrared[0] = 1e9f;
    EXPECT_GT(+DisposeInfraredData(12500.0f, 1000.0f), 539);
    EXPECT_EQ(+DisposeInfraredData(0.0f, 0.0f), 99999);
    EXPECT_EQ(+DisposeInfraredData(30000.0f, 0.0f), 99999);
}

TEST_F(Conversion, IgnoredNodesAndTypes)
{
    FeedWords(0x1A8, 1000);   // node 40: nobody
    EXPECT_NE(+TemproraryData->MainStat.CanBusState, '0');
    FeedWords(0x185, 100);    // radiation board switched off
    EXPECT_EQ(+sampledata->Radi[RADI_GR].pos, 0);
    Feed(0x712, {5});         // heartbeat: accepted, nothing converted
    EXPECT_EQ(+TemproraryData->MainStat.CanBusState, '0');
    EXPECT_EQ(+sampledata->T0.pos, 0);
}

} // namespace
