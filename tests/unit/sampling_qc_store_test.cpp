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
    EXPECT_EQ(+r.pos, 1);
    EXPECT_EQ(+r.Value[1], 31);   // overwrote the first one
    EXPECT_EQ(+r.Value[2], 2);
    EXPECT_EQ(+r.Value[0], 30);   // the 30th lands in slot 0
}

TEST_F(Store, RingsWrapAtTheirLength)
{
    // T1-T3 hold 60 but wrap after 30: slots 30-59 stay unwritten.
    for (int i = 1; i <= 45; ++i)
        WriteElementSample(sampledata->T1, T123_WRAP, EL_T1, i, 0.0f);
    EXPECT_EQ(+sampledata->T1.pos, 15);
    EXPECT_EQ(+sampledata->T1.Qc[30], '\0');
    for (int i = 1; i <= 241; ++i)
        WriteElementSample(sampledata->WS, 240, EL_WS, i, 0.0f);
    EXPECT_EQ(+sampledata->WS.pos, 1);
    EXPECT_EQ(+sampledata->WS.Value[1], 241);
    // A pos beyond the ring (the segment is shared) restarts at slot 0.
    sampledata->WD.pos = 200;
    EXPECT_EQ(+RingAdvance(sampledata->WD), 0);
    sampledata->T1.pos = 45;
    EXPECT_EQ(+RingAdvance(sampledata->T1, T123_WRAP), 0);
}

TEST_F(Store, NoPlaceholderWriterAndCallerQc)
{
    StoreElementSample(sampledata->IR, 30, EL_IR, 123, 1.23f, '7', 2, false);
    EXPECT_EQ(+sampledata->IR.Qc[1], '7');
    EXPECT_EQ(+sampledata->IR.Qc[2], '7');
    EXPECT_EQ(+TemproraryData->CurrentQc[EL_IR], '7');
    EXPECT_EQ(+g_ucpSampleDataQc[EL_IR], '7');
}

TEST_F(Store, MinuteHandOver)
{
    WriteElementSample(sampledata->WD, 60, EL_WD, 90, 90.0f);
    WriteElementSample(sampledata->WS, 240, EL_WS, 250, 2.5f);
    sampledata->RainSum = 7;
    auto copy = std::make_unique<SampleDataRec>();
    SampleStoreSnapshot(copy.get());
    EXPECT_EQ(+copy->WD.Value[1], 90);
    EXPECT_EQ(+copy->RainSum, 7);
    EXPECT_EQ(+sampledata->RainSum, 0);
    EXPECT_EQ(+sampledata->WS.pos, 0);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(+sampledata->WD.Value[i], 99999);
        EXPECT_EQ(+sampledata->UWD.Qc[i], '8');
    }
    EXPECT_EQ(+sampledata->T0.Qc[5], '\0');
    SampleStoreKeepPrevMinute(copy.get());
    EXPECT_EQ(+sampledata->WDPrev.Value[1], 90);
    EXPECT_EQ(+sampledata->WDPrev.pos, 1);
    EXPECT_EQ(+sampledata->WSPrev.Value[1], 250);
    EXPECT_EQ(+sampledata->WS.pos, 0);
}

TEST_F(Store, ElementTableLookup)
{
    EXPECT_EQ(+SensorIndexByCode("T0"), 2);
    EXPECT_EQ(+SensorIndexByCode("OCC"), 79);
    EXPECT_EQ(+SensorIndexByCode("nNull"), 0);
    EXPECT_EQ(+SensorIndexByCode("t0"), -1);
    EXPECT_EQ(+SensorIndexByCode("WS2"), -1);
    EXPECT_EQ(+SensorIndexByCode("RAT1_C"), -1);
    EXPECT_EQ(+SensorIndexByCode(""), -1);
    EXPECT_EQ(+SensorIndexByCode("T0T0T0T0T0T0"), -1);
    EXPECT_STREQ(+Sensortable[82].Code, "RAT1_C");
    EXPECT_EQ(+Sensortable[82].Index, 84);
    EXPECT_EQ(+Sensortable[84].Index, 0);
}

TEST_F(Store, TruncationSaturates)
{
    EXPECT_EQ(+TruncToInt32(12.99), 12);
    EXPECT_EQ(+TruncToInt32(-12.99), -12);
    EXPECT_EQ(+TruncToInt32(1e30), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(+TruncToInt32(-1e30), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(+TruncToInt32(std::nan("")), 99999);
}

TEST_F(SampleCheck, MissingAndSwitchedOff)
{
    SetQcps(EL_T0, -50.0f, 50.0f, 2.0f);
    EXPECT_EQ(+iQCPS_Code(EL_T0, 99999.0f), '8');
    EXPECT_EQ(+iQCPS_Code(EL_T0, -99999.0f), '8');
    defdata->QcCtrl = 0;
    EXPECT_EQ(+iQCPS_Code(EL_T0, 99999.0f), '8');
    EXPECT_EQ(+iQCPS_Code(EL_T0, 1000.0f), '0');
}

TEST_F(SampleCheck, LimitsAndStep)
{
    SetQcps(EL_T0, -50.0f, 50.0f, 2.0f);
    EXPECT_EQ(+iQCPS_Code(EL_T0, 50.0f), '0');    // first sample, at the limit
    EXPECT_EQ(+iQCPS_Code(EL_T0, 50.1f), '2');
    EXPECT_EQ(+iQCPS_Code(EL_T0, 48.0f), '0');    // step exactly 2 from 50
    EXPECT_EQ(+iQCPS_Code(EL_T0, 45.0f), '2');    // step 3
    EXPECT_EQ(+iQCPS_Code(EL_T0, 44.0f), '0');    // 45 became the last value
    EXPECT_EQ(+iQCPS_Code(EL_T0, -50.0f), '2');
    // A range failure does not become the last value.
    EXPECT_EQ(+iQCPS_Code(EL_T0, -60.0f), '2');
    EXPECT_EQ(+iQCPS_Code(EL_T0, -49.0f), '0');
}

TEST_F(SampleCheck, FirstSampleNeverAStepFault)
{
    SetQcps(EL_U, 0.0f, 100.0f, 1.0f);
    EXPECT_EQ(+iQCPS_Code(EL_U, 99.0f), '0');
    SampleQcReset();
    EXPECT_EQ(+iQCPS_Code(EL_U, 1.0f), '0');
}

TEST_F(SampleCheck, InconsistentLimitsGiveThePreviousResult)
{
    SetQcps(EL_T0, 10.0f, 0.0f, QC_NONE);
    EXPECT_EQ(+iQCPS_Code(EL_T0, 5.0f), '9');   // initial result
    SetQcps(EL_U, 0.0f, 100.0f, QC_NONE);
    EXPECT_EQ(+iQCPS_Code(EL_U, 101.0f), '2');
    EXPECT_EQ(+iQCPS_Code(EL_T0, 5.0f), '2');
    // Span smaller than the step: also the previous result.
    SetQcps(EL_P, 0.0f, 1.0f, 5.0f);
    EXPECT_EQ(+iQCPS_Code(EL_P, 0.5f), '2');
    // Index 90 and above: the previous result.
    EXPECT_EQ(+iQCPS_Code(95, 0.5f), '2');
    EXPECT_EQ(+iQCPS_Code(-1, 0.5f), '2');
}

TEST_F(SampleCheck, StepOfMinus99999MeansNoStepLimit)
{
    SetQcps(EL_T0, -50.0f, 50.0f, -99999.0f);
    EXPECT_EQ(+iQCPS_Code(EL_T0, -40.0f), '0');
    EXPECT_EQ(+iQCPS_Code(EL_T0, 40.0f), '0');
}

TEST_F(SampleCheck, UltrasonicWindUsesWindRows)
{
    SetQcps(EL_WD, 0.0f, 360.0f, QC_NONE);
    SetQcps(EL_WS, 0.0f, 60.0f, QC_NONE);
    EXPECT_EQ(+iQCPS_Code(EL_UWD_QC, 361.0f), '2');
    EXPECT_EQ(+iQCPS_Code(EL_UWS_QC, 30.0f), '0');
    EXPECT_EQ(+iQCPS_Code(EL_UWS_QC, 61.0f), '2');
}

TEST_F(MinuteCheck, RangeStepsAndIndexes)
{
    SetQcpm(EL_T0, -50.0f, 50.0f, 2.0f, 5.0f, QC_NONE);
    EXPECT_EQ(+iQCPM_Code(EL_T0, 99999.0f), '8');
    EXPECT_EQ(+iQCPM_Code(EL_T0, 50.0f), '0');
    EXPECT_EQ(+iQCPM_Code(EL_T0, 47.0f), '1');   // above suspect
    EXPECT_EQ(+iQCPM_Code(EL_T0, 40.0f), '2');   // above both: wrong wins
    EXPECT_EQ(+iQCPM_Code(EL_T0, 51.0f), '2');
    EXPECT_EQ(+iQCPM_Code(EL_T0, 40.0f), '0');   // 51 did not become the previous
    EXPECT_EQ(+iQCPM_Code(100, 1.0f), '8');
    defdata->QcCtrl = 0;
    EXPECT_EQ(+iQCPM_Code(EL_T0, 1000.0f), '0');
}

TEST_F(MinuteCheck, InconsistentRowGivesMissing)
{
    SetQcpm(EL_U, 10.0f, 0.0f, QC_NONE, QC_NONE, QC_NONE);
    EXPECT_EQ(+iQCPM_Code(EL_U, 5.0f), '8');
    SetQcpm(EL_U, 0.0f, 100.0f, 5.0f, 2.0f, QC_NONE);   // suspect above wrong
    EXPECT_EQ(+iQCPM_Code(EL_U, 5.0f), '8');
    SetQcpm(EL_U, 0.0f, 100.0f, 5.0f, 10.0f, 6.0f);     // variability above suspect
    EXPECT_EQ(+iQCPM_Code(EL_U, 5.0f), '8');
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
    EXPECT_EQ(+iQCPM_Code(EL_WD, 100.0f), '0');
    EXPECT_EQ(+iQCPM_Code(82, 300.0f), '0');     // its own first value
    EXPECT_EQ(+iQCPM_Code(82, 305.0f), '0');
    EXPECT_EQ(+iQCPM_Code(EL_WD, 115.0f), '1');
    EXPECT_EQ(+iQCPM_Code(87, 361.0f), '2');     // WD row limits
    // Indexes past the minute table's rows have no parameters.
    EXPECT_EQ(+iQCPM_Code(95, 1.0f), '8');
}

TEST_F(MinuteCheck, TenMinuteVisibility)
{
    SetQcpm(EL_VI, 0.0f, 50000.0f, 1000.0f, 5000.0f, QC_NONE);
    EXPECT_EQ(+iQCPM_VI_10_Code(99999.0f), '8');
    EXPECT_EQ(+iQCPM_VI_10_Code(10000.0f), '0');
    EXPECT_EQ(+iQCPM_VI_10_Code(12000.0f), '1');
    EXPECT_EQ(+iQCPM_VI_10_Code(20000.0f), '2');
    EXPECT_EQ(+iQCPM_VI_10_Code(60000.0f), '2');
    // Its memory is its own, apart from index 36.
    EXPECT_EQ(+iQCPM_Code(EL_VI, 40000.0f), '0');
}

} // namespace
