// Sample store rings, the element table, the snapshot hand-over and both
// QC checks.
#include "sampling_fixture.h"

#include <cmath>
#include <limits>

namespace {

using Store = SamplingTest;
using SampleCheck = SamplingTest;
using MinuteCheck = SamplingTest;

TEST_F(Store, ThirtyOneSamplesIntoThirtySlots)
{
    auto &r = sampledata->T0;
    for (int i = 1; i <= 31; ++i)
        WriteElementSample(r, 30, EL_T0, i, i / 100.0f);
    // The 31st overwrote the first one; the 30th landed in slot 0.
    EXPECT_EQ((Ints {1, 31, 2, 30}), (Ints {+r.pos, +r.Value[1], +r.Value[2], +r.Value[0]}));
}

TEST_F(Store, RingsWrapAtTheirLength)
{
    // T1-T3 hold 60 but wrap after 30: slots 30-59 stay unwritten.
    for (int i = 1; i <= 45; ++i)
        WriteElementSample(sampledata->T1, T123_WRAP, EL_T1, i, 0.0f);
    EXPECT_EQ(+sampledata->T1.pos, 15);
    EXPECT_EQ(+sampledata->T1.Qc[30], '\0');
    // A pos beyond the ring (the segment is shared) restarts at slot 0.
    sampledata->WD.pos = 200;
    EXPECT_EQ(+RingAdvance(sampledata->WD), 0);
    sampledata->T1.pos = 45;
    EXPECT_EQ(+RingAdvance(sampledata->T1, T123_WRAP), 0);
}

TEST_F(Store, NoPlaceholderWriterAndCallerQc)
{
    StoreElementSample(sampledata->IR, 30, EL_IR, 123, 1.23f, '7', 2, false);
    EXPECT_EQ("7777", Chars({sampledata->IR.Qc[1], sampledata->IR.Qc[2], TemproraryData->CurrentQc[EL_IR],
                             g_ucpSampleDataQc[EL_IR]}));
}

TEST_F(Store, MinuteHandOver)
{
    WriteElementSample(sampledata->WD, 60, EL_WD, 90, 90.0f);
    WriteElementSample(sampledata->WS, 240, EL_WS, 250, 2.5f);
    sampledata->RainSum = 7;
    auto copy = std::make_unique<SampleDataRec>();
    SampleStoreSnapshot(copy.get());
    EXPECT_EQ((Ints {90, 7, 0, 0}), (Ints {+copy->WD.Value[1], +copy->RainSum, +sampledata->RainSum, +sampledata->WS.pos}));
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(+sampledata->WD.Value[i], 99999);
        EXPECT_EQ(+sampledata->UWD.Qc[i], '8');
    }
    EXPECT_EQ(+sampledata->T0.Qc[5], '\0');
    SampleStoreKeepPrevMinute(copy.get());
    EXPECT_EQ((Ints {90, 1, 250, 0}), (Ints {+sampledata->WDPrev.Value[1], +sampledata->WDPrev.pos,
                                             +sampledata->WSPrev.Value[1], +sampledata->WS.pos}));
}

TEST_F(Store, ElementTableLookup)
{
    for (auto [code, index] : {std::pair {"T0", 2}, {"OCC", 79}, {"nNull", 0}, {"t0", -1}, {"WS2", -1},
                               {"RAT1_C", -1}, {"", -1}, {"T0T0T0T0T0T0", -1}})
        EXPECT_EQ(+SensorIndexByCode(code), index) << code;
    EXPECT_STREQ(+Sensortable[82].Code, "RAT1_C");
    EXPECT_EQ(+Sensortable[82].Index, 84);
    EXPECT_EQ(+Sensortable[84].Index, 0);
}

TEST_F(Store, TruncationSaturates)
{
    using L = std::numeric_limits<int32_t>;
    for (auto [v, want] : {std::pair {12.99, 12}, {-12.99, -12}, {1e30, L::max()}, {-1e30, L::min()}, {std::nan(""), 99999}})
        EXPECT_EQ(+TruncToInt32(v), want) << v;
}

// A run of checks in order, each against the memory the ones before left.
struct QcStep {
    int index;
    float value;
    char code;
};

void RunSteps(char (*check)(int, float), std::initializer_list<QcStep> steps)
{
    int n = 0;
    for (const QcStep &s : steps)
        EXPECT_EQ(+check(s.index, s.value), s.code) << "step " << n++ << " index " << s.index << " value " << s.value;
}

TEST_F(SampleCheck, LimitsStepsAndMissing)
{
    SetQcps(EL_T0, -50.0f, 50.0f, 2.0f);
    RunSteps(iQCPS_Code, {
        {EL_T0, 99999.0f, '8'}, {EL_T0, -99999.0f, '8'},
        {EL_T0, 50.0f, '0'},    // first sample, at the limit
        {EL_T0, 50.1f, '2'},
        {EL_T0, 48.0f, '0'},    // step exactly 2 from 50
        {EL_T0, 45.0f, '2'},    // step 3
        {EL_T0, 44.0f, '0'},    // 45 became the last value
        {EL_T0, -50.0f, '2'},
        {EL_T0, -60.0f, '2'},   // a range failure does not become the last value
        {EL_T0, -49.0f, '0'},
    });
    defdata->QcCtrl = 0;
    RunSteps(iQCPS_Code, {{EL_T0, 99999.0f, '8'}, {EL_T0, 1000.0f, '0'}});
}

TEST_F(SampleCheck, FirstSampleNeverAStepFault)
{
    SetQcps(EL_U, 0.0f, 100.0f, 1.0f);
    EXPECT_EQ(+iQCPS_Code(EL_U, 99.0f), '0');
    SampleQcReset();
    EXPECT_EQ(+iQCPS_Code(EL_U, 1.0f), '0');
    // A step of -99999 means no step limit.
    SetQcps(EL_T0, -50.0f, 50.0f, -99999.0f);
    RunSteps(iQCPS_Code, {{EL_T0, -40.0f, '0'}, {EL_T0, 40.0f, '0'}});
}

TEST_F(SampleCheck, InconsistentLimitsGiveThePreviousResult)
{
    SetQcps(EL_T0, 10.0f, 0.0f, QC_NONE);
    SetQcps(EL_U, 0.0f, 100.0f, QC_NONE);
    SetQcps(EL_P, 0.0f, 1.0f, 5.0f);   // span smaller than the step
    // Index 90 and above or negative: the previous result as well.
    RunSteps(iQCPS_Code, {{EL_T0, 5.0f, '9'}, {EL_U, 101.0f, '2'}, {EL_T0, 5.0f, '2'},
                          {EL_P, 0.5f, '2'}, {95, 0.5f, '2'}, {-1, 0.5f, '2'}});
}

TEST_F(SampleCheck, UltrasonicWindUsesWindRows)
{
    SetQcps(EL_WD, 0.0f, 360.0f, QC_NONE);
    SetQcps(EL_WS, 0.0f, 60.0f, QC_NONE);
    RunSteps(iQCPS_Code, {{EL_UWD_QC, 361.0f, '2'}, {EL_UWS_QC, 30.0f, '0'}, {EL_UWS_QC, 61.0f, '2'}});
}

TEST_F(MinuteCheck, RangeStepsAndIndexes)
{
    SetQcpm(EL_T0, -50.0f, 50.0f, 2.0f, 5.0f, QC_NONE);
    RunSteps(iQCPM_Code, {
        {EL_T0, 99999.0f, '8'}, {EL_T0, 50.0f, '0'},
        {EL_T0, 47.0f, '1'},   // above suspect
        {EL_T0, 40.0f, '2'},   // above both: wrong wins
        {EL_T0, 51.0f, '2'},
        {EL_T0, 40.0f, '0'},   // 51 did not become the previous
        {100, 1.0f, '8'},
    });
    defdata->QcCtrl = 0;
    EXPECT_EQ(+iQCPM_Code(EL_T0, 1000.0f), '0');
}

TEST_F(MinuteCheck, InconsistentRowGivesMissing)
{
    // Wrong below min; suspect above wrong; variability above suspect.
    const float rows[][5] = {{10.0f, 0.0f, QC_NONE, QC_NONE, QC_NONE},
                             {0.0f, 100.0f, 5.0f, 2.0f, QC_NONE},
                             {0.0f, 100.0f, 5.0f, 10.0f, 6.0f}};
    for (const auto &r : rows) {
        SetQcpm(EL_U, r[0], r[1], r[2], r[3], r[4]);
        EXPECT_EQ(+iQCPM_Code(EL_U, 5.0f), '8');
    }
}

TEST_F(MinuteCheck, NoVariationFor61Minutes)
{
    SetQcpm(EL_P, 500.0f, 1100.0f, 2.0f, 5.0f, 0.1f);
    EXPECT_EQ(+iQCPM_Code(EL_P, 1000.0f), '0');   // no previous value
    for (int m = 1; m <= 60; ++m)
        EXPECT_EQ(+iQCPM_Code(EL_P, 1000.0f), '0') << m;
    EXPECT_EQ(+TemproraryData->NoVarCount[EL_P], 60);
    EXPECT_EQ(+iQCPM_Code(EL_P, 1000.0f), '1');   // the 61st unchanged minute
    EXPECT_EQ(+iQCPM_Code(EL_P, 1000.05f), '1');
    EXPECT_EQ(+iQCPM_Code(EL_P, 1000.2f), '0');   // a change of at least V
    EXPECT_EQ(+TemproraryData->NoVarCount[EL_P], 0);
}

TEST_F(MinuteCheck, MemoryBelongsToTheIndexNotTheRow)
{
    SetQcpm(EL_WD, 0.0f, 360.0f, 10.0f, 20.0f, QC_NONE);
    // 82 has its own first value; 87 uses the WD row's limits; indexes past
    // the minute table's rows have no parameters.
    RunSteps(iQCPM_Code, {{EL_WD, 100.0f, '0'}, {82, 300.0f, '0'}, {82, 305.0f, '0'}, {EL_WD, 115.0f, '1'},
                          {87, 361.0f, '2'}, {95, 1.0f, '8'}});
}

TEST_F(MinuteCheck, TenMinuteVisibility)
{
    SetQcpm(EL_VI, 0.0f, 50000.0f, 1000.0f, 5000.0f, QC_NONE);
    for (auto [v, code] : {std::pair {99999.0f, '8'}, {10000.0f, '0'}, {12000.0f, '1'}, {20000.0f, '2'}, {60000.0f, '2'}})
        EXPECT_EQ(+iQCPM_VI_10_Code(v), code) << v;
    // Its memory is its own, apart from index 36.
    EXPECT_EQ(+iQCPM_Code(EL_VI, 40000.0f), '0');
}

} // namespace
