// Wind of the minute: 3-second means across the minute boundary, the 1-, 2-
// and 10-minute means with their sample limits, the extremes and the choice
// between the mechanical and the ultrasonic sensor.
#include "dmgd_fixture.h"

#include <cmath>
#include <random>

namespace {

struct tm Minute(int h, int m)
{
    struct tm t {};
    t.tm_year = 2026;
    t.tm_mon = 12;
    t.tm_mday = 31;
    t.tm_hour = h;
    t.tm_min = m;
    return t;
}

struct WindTest : ::testing::Test {
    std::unique_ptr<DefDataRec> def = std::make_unique<DefDataRec>();
    std::unique_ptr<TemproraryDataRec> live = std::make_unique<TemproraryDataRec>();
    std::unique_ptr<SampleDataRec> snap = std::make_unique<SampleDataRec>();
    volatile unsigned char cf = 0;
    WindFieldsRec out{};

    void SetUp() override
    {
        NoLimits(*def);
        std::memset(def->ElementEnable, '1', sizeof def->ElementEnable);
        defdata = def.get();
        TemproraryData = live.get();
        g_pCpyCfDataFlag = &cf;
        SampleQcReset();
        WindReset();
        StatisticValueSetAt(Statistic, 1000);
        Steady(500, 45);
    }
    void TearDown() override
    {
        defdata = nullptr;
        TemproraryData = nullptr;
        g_pCpyCfDataFlag = nullptr;
    }
    // Both sensors, this minute and the last, blowing speed (0.01 m/s) from
    // dir (degrees).
    void Steady(int32_t speed, int32_t dir)
    {
        for (auto *r : {&snap->WS, &snap->WSPrev, &snap->WS_3Prev, &snap->UWS, &snap->UWSPrev,
                        &snap->UWS_3Prev})
            Fill(*r, speed);
        for (auto *r : {&snap->WD, &snap->WDPrev, &snap->UWD, &snap->UWDPrev})
            Fill(*r, dir);
    }
    // One minute of the mechanical sensor; the previous-minute rings follow
    // as the minute process hands them over.
    void Mech(int h, int m)
    {
        struct tm t = Minute(h, m);
        CalWindSensor(WIND_MECH, snap.get(), &t, &Statistic->MachWind, &out);
        snap->WS_3Prev = snap->WS_3;
    }
    int Slot(int m) const { return m % 10; }
    // Fields f0..f of the record as "value qc" pairs.
    std::string VQ(int from, int to) const
    {
        std::string s;
        for (int f = from; f <= to; ++f)
            s += (s.empty() ? "" : " ") + std::to_string(out.Value[f]) + ' ' + out.Qc[f];
        return s;
    }
};

} // namespace

TEST(WindMean, VectorMeanAcrossNorthAndTheAxes)
{
    const char ok[4] = {'0', '0', '0', '0'};
    int valid = 0;
    const float across[] = {350, 10};
    double d = WindVectorMean(across, ok, 2, &valid);
    EXPECT_EQ(valid, 2);
    EXPECT_LT(std::fmin(d, 360 - d), 1e-4);
    EXPECT_TRUE(d >= 0 && d < 360) << d;
    // One pair in each quadrant, and a pure west wind.
    const struct { float a, b; double mean; } pairs[] = {
        {350, 20, 5}, {300, 330, 315}, {200, 220, 210}, {80, 100, 90}, {270, 270, 270}};
    for (const auto &p : pairs) {
        const float two[] = {p.a, p.b};
        EXPECT_NEAR(WindVectorMean(two, ok, 2, nullptr), p.mean, 1e-4) << p.a << ' ' << p.b;
    }
    // No valid direction: the vector sum is exactly 0, which reads as 270.
    const char bad[2] = {'8', '2'};
    EXPECT_EQ(WindVectorMean(across, bad, 2, &valid), 270.0);
    EXPECT_EQ(valid, 0);
    const int32_t ints[] = {355, 5, 15};
    EXPECT_NEAR(WindVectorMeanInt(ints, ok, 3, nullptr), 5.0, 1e-3);
}

TEST(WindMean, ThreeSecondMeansReachIntoThePreviousMinute)
{
    auto cur = std::make_unique<SampleRing<240>>();
    auto prev = std::make_unique<SampleRing<240>>();
    auto out = std::make_unique<SampleRing<240>>();
    Fill(*cur, 400);
    Fill(*prev, 100);
    prev->Value[228] = 99999;   // outside the first window
    EXPECT_EQ(WindCalc3sMeans(*cur, *prev, *out), 240);
    EXPECT_EQ(out->Value[0], (11 * 100 + 400) / 12);
    EXPECT_EQ(out->Value[10], (100 + 11 * 400) / 12);
    EXPECT_EQ(out->Value[11], 400);
    EXPECT_EQ(out->Qc[0], '0');

    // The window's last sample decides validity; four bad samples make the
    // last sample the mean.
    for (int i = 20; i < 24; ++i)
        cur->Qc[i] = '2';
    cur->Value[24] = 1000;
    WindCalc3sMeans(*cur, *prev, *out);
    EXPECT_EQ(out->Value[23], 0);
    EXPECT_EQ(out->Qc[23], '8');
    EXPECT_EQ(out->Value[24], 1000);
    EXPECT_EQ(out->Value[27], 400);   // window 16-27 still holds the four bad
    EXPECT_EQ(out->Value[32], (1000 + 8 * 400) / 9);
    EXPECT_EQ(out->Value[35], (1000 + 11 * 400) / 12);
    // Three bad samples in the window of the previous minute still average.
    for (int i = 237; i < 240; ++i)
        prev->Qc[i] = '8';
    WindCalc3sMeans(*cur, *prev, *out);
    EXPECT_EQ(out->Value[0], (8 * 100 + 400) / 9);
    EXPECT_EQ(out->Qc[0], '0');
}

TEST_F(WindTest, SteadyWindFillsTheSixFields)
{
    // A pure west wind has a null cosine sum: 270 everywhere, never 90 or 0.
    const struct { int32_t speed, dir; const char *fields; } cases[] = {
        {500, 45, "45 0 50 0 45 0 50 0 45 0 50 0"}, {300, 270, "270 0 30 0 270 0 30 0 270 0 30 0"}};
    for (const auto &c : cases) {
        SetUp();
        Steady(c.speed, c.dir);
        for (int m = 0; m < 7; ++m)
            Mech(10, m);
        EXPECT_EQ(VQ(0, 5), c.fields);
        EXPECT_EQ(std::string(out.Flag, WIND_FIELDS), "111111");
        const WindHourRec &h = Statistic->MachWind.Hour;
        EXPECT_EQ(h.MaxWs, c.speed / 10);
        EXPECT_EQ(h.MaxWd, c.dir);
        EXPECT_EQ(h.MaxTime, 1006);   // first minute with a 10-minute mean
        EXPECT_EQ(h.ExtWs, c.speed / 10);
        EXPECT_EQ(h.ExtTime, 1000);   // equal gusts later do not move it
    }
}

TEST_F(WindTest, TenMinuteMeanNeedsSevenMinutesAndRunsAcrossTheHour)
{
    // Minutes 10:55 to 11:04 blow 1.0 to 10.0 m/s; the hour restart at
    // 11:00 does not empty the ring.
    int speed = 100;
    for (int m = 55; m < 60; ++m, speed += 100) {
        Steady(speed, 180);
        Mech(10, m);
        EXPECT_EQ(out.Qc[3], '8') << m;   // fewer than seven 1-minute means yet
    }
    StatisticValueReSetAt(Statistic, 0, 1100);
    for (int m = 0; m < 5; ++m, speed += 100) {
        Steady(speed, 180);
        Mech(11, m);
    }
    // Mean of 1..10 m/s = 5.5 m/s.
    EXPECT_EQ(VQ(2, 3), "180 0 55 0");
    EXPECT_EQ(Statistic->MachWind.Ws1[Slot(55)], 100);
    EXPECT_EQ(Statistic->MachWind.Ws1[Slot(4)], 1000);
    // The hour's maximum restarted at 11:00 and follows the new hour only.
    EXPECT_EQ(Statistic->MachWind.Hour.MaxTime, 1104);
    EXPECT_EQ(Statistic->MachWind.Hour.ExtWs, 100);
}

TEST_F(WindTest, OneMinuteLimitsWithAndWithoutTheCfCopy)
{
    // k bad seconds (speed: one bad sample of each second's four); the
    // minute's 1-minute mean and its QC.
    auto bad = [&](bool dir, int k) {
        Fill(snap->WS, 500);
        Fill(snap->WD, 90);
        for (int s = 0; s < k; ++s)
            (dir ? snap->WD.Qc[s] : snap->WS.Qc[4 * s + 3]) = dir ? '8' : '2';
        Mech(10, 1);
        const auto &w = Statistic->MachWind;
        return dir ? std::to_string(w.Wd1[1]) + ' ' + w.Wd1Qc[1] : std::to_string(w.Ws1[1]) + ' ' + w.Ws1Qc[1];
    };
    // Most bad seconds a valid mean survives: without, then with the CF copy.
    const struct { bool dir; int most, mostCf; const char *valid, *missing; } limits[] = {
        {false, 15, 45, "500 0", "0 8"}, {true, 20, 40, "90.000000 0", "99999.000000 8"}};
    for (const auto &l : limits) {
        SCOPED_TRACE(l.dir ? "direction" : "speed");
        cf = 0;
        EXPECT_EQ(bad(l.dir, l.most), l.valid);
        EXPECT_EQ(bad(l.dir, l.most + 1), l.missing);
        cf = 1;
        EXPECT_EQ(bad(l.dir, l.mostCf).back(), '0');
        EXPECT_EQ(bad(l.dir, l.mostCf + 1).back(), '8');
    }
    cf = 0;
    // 2-minute speed: this minute 31 bad and the last minute all good is
    // 31 of 120, too many; 30 is enough.
    Fill(snap->WS_3Prev, 500);
    bad(false, 30);
    EXPECT_EQ(out.Qc[1], '0');
    Fill(snap->WS_3Prev, 500);
    bad(false, 31);
    EXPECT_EQ(VQ(1, 1), "0 8");
    // All directions invalid: the 2-minute direction cannot reach 80 of 120.
    Fill(snap->WDPrev, 90);
    bad(true, 60);
    EXPECT_EQ(VQ(0, 0), "99999 8");
    EXPECT_EQ(out.Flag[0], '1');
    // 2-minute direction with 40 bad of 120 still counts.
    bad(true, 40);
    EXPECT_EQ(VQ(0, 0), "90 0");
    // Direction switched off: the ring says '2', the direction fields are
    // absent.
    def->ElementEnable[EL_WD] = '0';
    bad(true, 0);
    EXPECT_EQ(Statistic->MachWind.Wd1Qc[1], '2');
    EXPECT_EQ(std::string(out.Flag, WIND_FIELDS), "010101");
}

TEST_F(WindTest, GustTakesTheDirectionOfItsSeconds)
{
    for (int i = 100; i < 112; ++i)
        snap->WS.Value[i] = 2000;   // the 3-second mean reaches 20 m/s at slot 111
    snap->WD.Value[27] = 90;
    snap->WD.Value[26] = 100;
    snap->WD.Value[25] = 110;
    Mech(10, 5);
    EXPECT_EQ(out.Value[5], 200);
    EXPECT_EQ(out.Value[4], 110);   // seconds 27, 26 and 25 all valid
    snap->WD.Qc[25] = '2';
    Mech(10, 6);
    EXPECT_EQ(out.Value[4], 100);
    snap->WD.Qc[26] = '2';
    Mech(10, 7);
    EXPECT_EQ(out.Value[4], 90);
    const WindHourRec &h = Statistic->MachWind.Hour;
    EXPECT_EQ(h.ExtWs, 200);
    EXPECT_EQ(h.ExtWd, 110);
    EXPECT_EQ(h.ExtTime, 1005);
    // No valid 3-second mean: both fields missing.
    Fill(snap->WS, 500, '2');
    Mech(10, 8);
    EXPECT_EQ(VQ(4, 5), "99999 8 99999 8");
}

TEST_F(WindTest, CalmCupsSwitchToTheUltrasonicSensorAndFiveMinutesBack)
{
    WindFieldsRec mech{}, ult{}, rec{};
    WindCompareRec cmp{};
    for (int f = 0; f < WIND_FIELDS; ++f) {
        mech.Qc[f] = ult.Qc[f] = '0';
        mech.Flag[f] = ult.Flag[f] = '1';
        ult.Value[f] = 30 + f;
    }
    mech.Value[3] = 0;
    CheckWindALG(&mech, &ult, &rec, &cmp);
    EXPECT_EQ(g_iWindType, 1);
    EXPECT_EQ(cmp.WindType, 1);
    EXPECT_EQ(rec.Value[3], 33);
    EXPECT_EQ(cmp.Value[0][3], 0);
    EXPECT_EQ(cmp.Value[1][3], 33);

    mech.Value[3] = 1;   // the cups turn again
    for (int i = 0; i < 4; ++i) {
        CheckWindALG(&mech, &ult, &rec, &cmp);
        EXPECT_EQ(g_iWindType, 1) << i;
    }
    mech.Value[3] = 0;   // a calm minute starts the count again
    CheckWindALG(&mech, &ult, &rec, &cmp);
    mech.Value[3] = 2;
    for (int i = 0; i < 4; ++i)
        CheckWindALG(&mech, &ult, &rec, &cmp);
    EXPECT_EQ(g_iWindType, 1);
    CheckWindALG(&mech, &ult, &rec, &cmp);
    EXPECT_EQ(g_iWindType, 0);
    EXPECT_EQ(rec.Value[3], 2);

    // A silent ultrasonic sensor also counts towards going back; a missing
    // mechanical mean never switches.
    mech.Value[3] = 0;
    mech.Qc[3] = '8';
    CheckWindALG(&mech, &ult, &rec, nullptr);
    EXPECT_EQ(g_iWindType, 0);
    mech.Qc[3] = '0';
    CheckWindALG(&mech, &ult, &rec, nullptr);
    EXPECT_EQ(g_iWindType, 1);
    ult.Qc[3] = '8';
    for (int i = 0; i < 5; ++i)
        CheckWindALG(&mech, &ult, &rec, nullptr);
    EXPECT_EQ(g_iWindType, 0);
}

TEST_F(WindTest, RecordHourWindFollowsTheChosenSensor)
{
    // Cups calm, ultrasonic 3 m/s: once both 10-minute means exist the
    // record takes the ultrasonic values.
    WindFieldsRec rec{};
    for (int m = 0; m < 7; ++m) {
        Steady(0, 45);
        Fill(snap->UWS, 300);
        Fill(snap->UWSPrev, 300);
        Fill(snap->UWS_3Prev, 300);
        struct tm t = Minute(10, m);
        CheckWindSourceAndCal(snap.get(), &t, &rec, nullptr);
        snap->WS_3Prev = snap->WS_3;
        snap->UWS_3Prev = snap->UWS_3;
        EXPECT_EQ(g_iWindType, m < 6 ? 0 : 1) << m;
    }
    EXPECT_EQ(rec.Value[3], 30);
    EXPECT_EQ(Statistic->Wind.MaxWs, 30);
    EXPECT_EQ(Statistic->Wind.MaxTime, 1006);
    EXPECT_EQ(Statistic->Wind.ExtWs, 30);
}

TEST_F(WindTest, ArbitrarySamplesNeverBreakTheComputation)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round) {
        auto *bytes = reinterpret_cast<unsigned char *>(snap.get());
        for (std::size_t i = 0; i < sizeof *snap; ++i)
            bytes[i] = uint8_t(rng());
        // Valid QC characters on extreme values, too.
        for (int i = 0; i < 240; ++i) {
            snap->WS.Qc[i] = (rng() % 3) ? '0' : '2';
            snap->WS.Value[i] = (rng() % 2) ? INT32_MAX : INT32_MIN;
        }
        for (int i = 0; i < 60; ++i) {
            snap->WD.Qc[i] = '0';
            snap->WD.Value[i] = (rng() % 2) ? INT32_MAX : INT32_MIN;
        }
        WindFieldsRec rec{};
        struct tm t = Minute(round % 24, round);
        CheckWindSourceAndCal(snap.get(), &t, &rec, nullptr);
        for (int f = 0; f < WIND_FIELDS; ++f)
            EXPECT_NE(rec.Qc[f], '\0');
    }
}

TEST_F(WindTest, CalmHourTakesItsFirstValidMaximumOnce)
{
    StatisticValueReSetAt(Statistic, 0, 1000);
    for (int m = 0; m < 9; ++m) {
        Steady(0, 120 + m);
        Mech(10, m);
    }
    const WindHourRec &h = Statistic->MachWind.Hour;
    EXPECT_EQ(h.MaxTaken, 1);
    EXPECT_EQ(h.MaxWs, 0);
    EXPECT_EQ(h.MaxTime, 1006);   // the first minute with a valid 10-minute mean
    EXPECT_EQ(h.MaxWsQc, '0');
    EXPECT_EQ(h.ExtWs, 0);
    EXPECT_EQ(h.ExtTime, 1000);
    EXPECT_EQ(h.ExtWd, 120);
    // The next hour's first minute has no valid sample, but the ring still
    // holds nine calm minutes: the 10-minute mean is valid, the gust is not.
    StatisticValueReSetAt(Statistic, 0, 1100);
    Fill(snap->WS, 0, '8');
    Mech(11, 0);
    EXPECT_EQ(Statistic->MachWind.Hour.MaxTaken, 1);
    EXPECT_EQ(Statistic->MachWind.Hour.MaxTime, 1100);
    EXPECT_EQ(Statistic->MachWind.Hour.ExtTaken, 0);
    EXPECT_EQ(out.Value[5], 99999);
    // A missing 10-minute mean never becomes the maximum.
    StatisticValueSetAt(Statistic, 1200);
    Mech(12, 0);
    EXPECT_EQ(out.Qc[3], '8');
    EXPECT_EQ(Statistic->MachWind.Hour.MaxTaken, 0);
    EXPECT_EQ(Statistic->MachWind.Hour.MaxWd, 99999);
}
