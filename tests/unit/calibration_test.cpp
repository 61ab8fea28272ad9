// Calibration correction: interval boundaries, unset entries, missing values.
#include <gtest/gtest.h>

#include <utility>

#include "core/ShareMem.h"
#include "processing/Calibration.h"

namespace {

struct ScvTest : ::testing::Test {
    DefDataRec def{};
    void SetUp() override
    {
        // The factory table: every bound unset, every correction 0.
        for (int s = 0; s < SCV_ELEMENTS; ++s)
            for (int k = 0; k < SCV_ENTRIES; ++k) {
                def.Scv[s][k][0] = g_iaScvCalCoe[s] * 99.9;
                def.Scv[s][k][1] = 0;
            }
        defdata = &def;
    }
    void TearDown() override { defdata = nullptr; }
    void Entry(int s, int k, double bound, double corr)
    {
        def.Scv[s][k][0] = bound;
        def.Scv[s][k][1] = corr;
    }
};

} // namespace

TEST_F(ScvTest, CodesAndConstants)
{
    // The ends of the code table and codes that are not in it.
    EXPECT_EQ(GetScvSensorIndex("T03"), 17);
    EXPECT_EQ(GetScvSensorIndex("T04"), -1);
    EXPECT_EQ(GetScvSensorIndex(nullptr), -1);
    EXPECT_EQ(CheckScvParaIsValid(0, 999.0), 0);
    EXPECT_EQ(CheckScvParaIsValid(0, 9990.0), 1);
    EXPECT_EQ(CheckScvParaIsValid(18, 1.0), 0);
}

TEST_F(ScvTest, FactoryTableLeavesEveryValueAlone)
{
    for (const char *code : {"P", "T0", "U", "ST4", "TG", "WS", "WD", "T02"}) {
        EXPECT_EQ(FindFinalValidParaPos(GetScvSensorIndex(code)), -1);
        for (float v : {-50.0f, 0.0f, 998.9f, 999.0f, 1e6f})
            EXPECT_EQ(GetScvInterceptSampleData(code, v), v);
    }
}

TEST_F(ScvTest, OneIntervalAndTheEntryAfterIt)
{
    Entry(0, 0, 1000, 0.2);
    EXPECT_EQ(FindFinalValidParaPos(0), 0);
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("P", 999.5f), 999.7f);
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("P", 1000.0f), 1000.2f);   // bound included
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("P", 1005.0f), 1005.0f);   // unset entry's 0
    def.Scv[0][1][1] = -0.5;   // the correction kept in the first unset entry
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("P", 1005.0f), 1004.5f);
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("P", 99999.0f), 99999.0f);
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("P", -99999.0f), -99999.0f);
}

TEST_F(ScvTest, BelowInsideAndAboveTheIntervals)
{
    Entry(1, 0, -10, 0.5);
    Entry(1, 1, 0, 0.3);
    Entry(1, 2, 20, -0.1);
    EXPECT_EQ(FindFinalValidParaPos(1), 2);
    const float cases[][2] = {{-30.0f, -29.5f}, {-10.0f, -9.5f}, {-9.99f, -9.69f},
                              {0.0f, 0.3f},     {20.0f, 19.9f},  {20.5f, 20.5f}};
    for (const auto &c : cases)
        EXPECT_FLOAT_EQ(GetScvInterceptSampleData("T0", c[0]), c[1]) << c[0];
    // Entries after the first unset one do not count.
    Entry(1, 4, 50, 7);
    EXPECT_EQ(FindFinalValidParaPos(1), 2);
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("T0", 30.0f), 30.0f);
}

TEST_F(ScvTest, AllSixSetLeavesValuesAboveTheLastBound)
{
    for (int k = 0; k < SCV_ENTRIES; ++k)
        Entry(13, k, 100.0 * (k + 1), k + 1);
    EXPECT_EQ(FindFinalValidParaPos(13), 5);
    for (const auto &c : {std::pair{50.0f, 51.0f}, {600.0f, 606.0f}, {600.5f, 600.5f}})
        EXPECT_FLOAT_EQ(GetScvInterceptSampleData("WS", c.first), c.second) << c.first;
    EXPECT_DOUBLE_EQ(FindScvCeo(13, 5, 450.0), 5.0);
    // Bounds out of order: a later matching interval wins.
    Entry(13, 2, 50.0, 30.0);
    EXPECT_DOUBLE_EQ(FindScvCeo(13, 5, 40.0), 1.0);
    EXPECT_DOUBLE_EQ(FindScvCeo(13, 5, 150.0), 4.0);   // 100-200 and 50-400 both match
    // Arguments out of range give no correction.
    EXPECT_DOUBLE_EQ(FindScvCeo(13, 6, 40.0), 0.0);
    EXPECT_DOUBLE_EQ(FindScvCeo(-1, 0, 40.0), 0.0);
    EXPECT_FLOAT_EQ(GetScvInterceptSampleData("XX", 40.0f), 40.0f);
}
