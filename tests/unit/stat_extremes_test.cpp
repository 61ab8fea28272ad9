// The statistics store: start values, the hourly restarts, the extreme rule
// and the image kept in the last-minute file.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/ShareMem.h"
#include "processing/Statistic.h"
#include "support/Sandbox.h"

namespace {

int32_t Word(const unsigned char *b, int w)
{
    int32_t v;
    std::memcpy(&v, b + 4 * w, 4);
    return v;
}

// An extreme as "max qc time / min qc time".
std::string Ext(const StatExtremeRec &e)
{
    return std::to_string(e.Max) + ' ' + e.MaxQc + ' ' + std::to_string(e.MaxTime) + " / " +
           std::to_string(e.Min) + ' ' + e.MinQc + ' ' + std::to_string(e.MinTime);
}

// An hour's wind as "max: wd qc ws qc taken / ext: wd ws time taken".
std::string Hour(const WindHourRec &w)
{
    return std::to_string(w.MaxWd) + ' ' + w.MaxWdQc + ' ' + std::to_string(w.MaxWs) + ' ' +
           w.MaxWsQc + ' ' + std::to_string(w.MaxTaken) + " / " + std::to_string(w.ExtWd) + ' ' +
           std::to_string(w.ExtWs) + ' ' + std::to_string(w.ExtTime) + ' ' +
           std::to_string(w.ExtTaken);
}

struct StatStore : ::testing::Test {
    std::unique_ptr<StatisticRec> s = std::make_unique<StatisticRec>();
    void SetUp() override { StatisticValueSetAt(s.get(), 1007); }
};

} // namespace

TEST_F(StatStore, StartValuesMarkAnHourWithoutValidMinutes)
{
    for (const StatExtremeRec &e : s->Ext)
        EXPECT_EQ(Ext(e), "-99999 8 1007 / 99999 8 1007");
    EXPECT_EQ(s->UMin.Qc, '8');
    EXPECT_EQ(s->Vis.Ring[9], -99999);
    EXPECT_EQ(s->Vis.Min10.Min, 99999);
    EXPECT_EQ(s->Dmcd.Max8, 0);
    EXPECT_EQ(s->Dmcd.Max10, -99999);
    EXPECT_EQ(s->Radi.Max[SRD_R24], -99999);
    EXPECT_EQ(s->Radi.R2Min, 99999);
}

TEST_F(StatStore, WindMaximumStartsUnknownAtStartUpAndAtTheHour)
{
    for (const WindHourRec *w : {&s->Wind, &s->MachWind.Hour, &s->UltWind.Hour})
        EXPECT_EQ(Hour(*w), "99999 8 0 8 0 / 10 0 1007 0");
    s->MachWind.Ws1[3] = 450;
    s->MachWind.Ws1Qc[3] = '0';
    s->Wind.MaxWs = 77;
    StatisticValueReSetAt(s.get(), 0, 1100);
    for (const WindHourRec *w : {&s->Wind, &s->MachWind.Hour, &s->UltWind.Hour})
        EXPECT_EQ(Hour(*w), "99999 8 0 8 0 / 0 0 1100 0");
    // The 10-minute ring carries over the hour.
    EXPECT_EQ(s->MachWind.Ws1[3], 450);
    EXPECT_EQ(s->MachWind.Ws1Qc[3], '0');
}

TEST_F(StatStore, HourlyRestartsTouchOnlyTheirOwnGroups)
{
    StatisticTakeExtreme(&s->Ext[SX_T0], 215, '0', 1030);
    s->RainSum[SR_RAT] = 12;
    s->Radi.Sum[SRD_R0] = 500;
    s->Radi.SunshineMinutes = 17;
    s->Vis.Ring[4] = 12000;

    StatisticValueReSetAt(s.get(), 0, 1100);
    EXPECT_EQ(Ext(s->Ext[SX_T0]), "-99999 8 1100 / 99999 8 1100");
    EXPECT_EQ(s->RainSum[SR_RAT], 0);
    EXPECT_EQ(s->Radi.Sum[SRD_R0], 500);
    EXPECT_EQ(s->Radi.SunshineMinutes, 17);
    EXPECT_EQ(s->Vis.Ring[4], 12000);

    StatisticTakeExtreme(&s->Ext[SX_T0], 215, '0', 1101);
    StatisticValueReSetAt(s.get(), 1, 1130);
    EXPECT_EQ(s->Radi.Sum[SRD_R0], 0);
    EXPECT_EQ(s->Radi.SunshineMinutes, 0);
    EXPECT_EQ(s->Radi.MaxTime[SRD_R24], 1130);
    EXPECT_EQ(s->Ext[SX_T0].Max, 215);
}

TEST_F(StatStore, TiesKeepTheEarliestMinuteAndOnlyGoodQcCounts)
{
    StatExtremeRec &e = s->Ext[SX_P];
    EXPECT_EQ(StatisticTakeExtreme(&e, 10130, '0', 1001), 1);
    EXPECT_EQ(StatisticTakeExtreme(&e, 10130, '0', 1002), 0);   // equal: no move
    EXPECT_EQ(StatisticTakeExtreme(&e, 10150, '2', 1003), 0);   // wrong
    EXPECT_EQ(StatisticTakeExtreme(&e, 10150, '8', 1004), 0);   // missing
    EXPECT_EQ(StatisticTakeExtreme(&e, 10110, '1', 1005), 1);   // suspect counts
    EXPECT_EQ(StatisticTakeExtreme(&e, 10110, '0', 1006), 0);
    EXPECT_EQ(Ext(e), "10130 0 1001 / 10110 1 1005");

    StatMinimumRec &u = s->UMin;
    EXPECT_EQ(StatisticTakeMinimum(&u, 45, '0', 1010), 1);
    EXPECT_EQ(StatisticTakeMinimum(&u, 45, '0', 1011), 0);
    EXPECT_EQ(StatisticTakeMinimum(&u, 3, '7', 1012), 0);
    EXPECT_EQ(u.Time, 1010);

    // Extreme integers are ordinary values to the rule.
    StatExtremeRec &g = s->Ext[SX_TG];
    StatisticTakeExtreme(&g, INT32_MIN, '0', 1020);
    StatisticTakeExtreme(&g, INT32_MAX, '0', 1021);
    EXPECT_EQ(g.Max, INT32_MAX);
    EXPECT_EQ(g.Min, INT32_MIN);
    // An hour without a valid minute keeps the start values.
    EXPECT_EQ(s->Ext[SX_ST0].Max, -99999);
    EXPECT_EQ(s->Ext[SX_ST0].MaxQc, '8');
}

TEST_F(StatStore, LastMinuteImageRoundTripsAndStaysInItsWords)
{
    for (int i = 0; i < SX_COUNT; ++i)
        StatisticTakeExtreme(&s->Ext[i], 100 + i, i % 2 ? '1' : '0', 1010 + i);
    StatisticTakeMinimum(&s->UMin, 33, '0', 1015);
    s->Vis.Ring[9] = 8000;
    s->Vis.Latest1 = 7000;
    s->Vis.Latest10 = 7500;
    StatisticTakeMinimum(&s->Vis.Min10, 7400, '1', 1016);
    for (int i = 0; i < SR_COUNT; ++i)
        s->RainSum[i] = 5 * (i + 1);
    s->Wind.MaxWs = 123;
    s->Wind.MaxWd = 271;
    s->Wind.MaxWsQc = '1';
    s->Wind.MaxTaken = 1;
    s->Wind.ExtWs = 210;
    s->Wind.ExtWd = 265;
    s->Wind.ExtTaken = 1;
    s->Dmcd.Min0Time = 1059;
    s->LeLevel = 512;
    s->LeHour = 3;
    for (int i = 0; i < SRD_COUNT; ++i) {
        s->Radi.Sum[i] = 1000 + i;
        s->Radi.Max[i] = 2000 + i;
        s->Radi.MaxTime[i] = 1040 + i;
    }
    s->Radi.R2Min = -5;
    s->Radi.SunshineMinutes = 41;

    unsigned char buf[LASTMIN_BYTES + 8];
    std::memset(buf, 0xA5, sizeof buf);
    StatisticPackLastMin(s.get(), buf);
    // The save times and everything past the file are the caller's.
    EXPECT_EQ(Word(buf, 0), int32_t(0xA5A5A5A5));
    EXPECT_EQ(Word(buf, 77), int32_t(0xA5A5A5A5));
    EXPECT_EQ(Word(buf, 126), int32_t(0xA5A5A5A5));
    EXPECT_EQ(Word(buf, 127), int32_t(0xA5A5A5A5));
    // Every other word was written.
    for (int w = 1; w < LASTMIN_WORDS; ++w) {
        if (w != 77) {
            EXPECT_NE(Word(buf, w), int32_t(0xA5A5A5A5)) << "word " << w;
        }
    }
    // Layout anchors: the first group opens the file, the radiation group
    // sits in 78-113, the tail of the hour group in 114-125.
    EXPECT_EQ(Word(buf, 1), 100);
    EXPECT_EQ(Word(buf, 5), '0' | ('0' << 8));
    EXPECT_EQ(Word(buf, 78), 1000);
    EXPECT_EQ(Word(buf, 113), 41);

    auto back = std::make_unique<StatisticRec>();
    StatisticValueSetAt(back.get(), 1100);
    StatisticUnpackRadi(back.get(), buf);
    EXPECT_EQ(back->Ext[0].Max, -99999);   // hour group untouched
    EXPECT_EQ(std::memcmp(&back->Radi, &s->Radi, sizeof back->Radi), 0);
    StatisticUnpackHour(back.get(), buf);
    for (int i = 0; i < SX_COUNT; ++i)
        EXPECT_EQ(Ext(back->Ext[i]), Ext(s->Ext[i])) << i;
    EXPECT_EQ(back->UMin.Min, 33);
    EXPECT_EQ(back->Vis.Ring[9], 8000);
    EXPECT_EQ(back->Vis.Min10.Qc, '1');
    EXPECT_EQ(back->RainSum[SR_RAW], 30);
    EXPECT_EQ(Hour(back->Wind), Hour(s->Wind));
    EXPECT_EQ(back->Dmcd.Min0Time, 1059);
    EXPECT_EQ(back->LeLevel, 512);
    EXPECT_EQ(back->LeHour, 3);
}

TEST(StatClock, RestartsTakeTheTimeOneMinuteAheadOnTheirClock)
{
    komain_test::Sandbox sb("2026-12-05 10:59:30");
    TemproraryDataRec live{};
    DefDataRec def{};
    def.Td = 30;
    TemproraryData = &live;
    defdata = &def;
    live.SunshineMinutes = 9;

    StatisticValueSet();
    EXPECT_EQ(Statistic->Ext[0].MaxTime, 1059);
    StatisticValueReSet(0);
    EXPECT_EQ(Statistic->Ext[0].MaxTime, 1100);
    EXPECT_EQ(int(live.SunshineMinutes), 9);
    StatisticValueReSet(1);
    EXPECT_EQ(Statistic->Radi.MaxTime[0], 1130);
    EXPECT_EQ(int(live.SunshineMinutes), 0);

    TemproraryData = nullptr;
    defdata = nullptr;
}
