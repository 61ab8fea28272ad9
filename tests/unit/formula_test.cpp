// Meteorological formulas and numeric helpers against hand-computed values.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <sys/stat.h>
#include <vector>

#include "core/ShareMem.h"
#include "processing/Formula.h"
#include "support/Sandbox.h"

namespace {

constexpr double kDeg = 180 / 3.14159265358979;

struct tm At(int y, int mo, int d, int h, int mi)
{
    struct tm t {};
    t.tm_year = y;
    t.tm_mon = mo;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    return t;
}

int Up(struct tm t, const char *lon, const char *lat) { return SunDownRiseAt(&t, lon, lat); }

double Elevation(const struct tm &t, const char *lon, const char *lat)
{
    return SunHeightArchAt(&t, lon, lat) * kDeg;
}

} // namespace

TEST(Formula, GoffGratchAtTheTriplePointAndTypicalTemperatures)
{
    EXPECT_NEAR(CalcEw(0.01), std::pow(10.0, 0.78614), 1e-9);
    // -20 deg C is supercooled water.
    const struct { double t, ew, tol; } known[] = {
        {0.0, 6.1071, 0.001}, {20.0, 23.37, 0.01}, {-20.0, 1.2540, 0.002}, {40.0, 73.75, 0.05}};
    for (const auto &k : known)
        EXPECT_NEAR(CalcEw(k.t), k.ew, k.tol) << k.t;
}

TEST(Formula, SeaLevelPressure)
{
    EXPECT_FLOAT_EQ(CalcSeaLevelPressure(1000, 0, 25, -5), 1000.0f);
    EXPECT_NEAR(CalcSeaLevelPressure(1000, 100, 15, 15), 1011.9225, 0.01);
    EXPECT_NEAR(CalcSeaLevelPressure(850, 500, -10, 0), 905.6728, 0.01);
}

TEST(Formula, SunElevationAtKnownDatesAndPlaces)
{
    // Equinox noon and midnight at 30 N on the zone meridian (90 - 30),
    // solstice noon on the tropic (overhead), polar night near the pole,
    // southern summer at 33 deg 52 min S.
    const struct { int mo, d, h; const char *lat; double deg, tol; } known[] = {
        {3, 20, 12, "30.0.0", 60.0, 1.0},    {3, 20, 0, "30.0.0", -60.0, 1.0},
        {6, 21, 12, "23.26.24", 90.0, 1.0},  {12, 21, 12, "89.0.0", -22.44, 0.5},
        {12, 21, 12, "-33.52.0", 79.57, 1.0}};
    for (const auto &k : known)
        EXPECT_NEAR(Elevation(At(2026, k.mo, k.d, k.h, 0), "120.0.0", k.lat), k.deg, k.tol) << k.lat;
    // A position that does not read as three numbers.
    const struct tm noon = At(2026, 6, 1, 12, 0);
    EXPECT_FLOAT_EQ(SunHeightArchAt(&noon, "120.30", "30.0.0"), 0.785398f);
    EXPECT_FLOAT_EQ(SunHeightArchAt(&noon, "120.0.0", "north"), 0.785398f);
    EXPECT_EQ(SunDownRiseAt(&noon, "120.30", "30.0.0"), 0);
}

TEST(Formula, SunUpWindowFromAnHourBeforeSunriseToTwoHoursAfterSunset)
{
    // On the equator at the equinox the day is 12 h; the equation of time
    // is -0.14 h: sunrise 06:08, so the window runs 05:08 to 20:08.
    // The start is exclusive (05:08 is still out). Then midnight sun and
    // polar night at 80 N; on the pole itself nothing divides by zero.
    const struct { int mo, d, h, m; const char *lat; int up; } cases[] = {
        {3, 20, 5, 0, "0.0.0", 0},     {3, 20, 5, 8, "0.0.0", 0},     {3, 20, 5, 9, "0.0.0", 1},
        {3, 20, 12, 0, "0.0.0", 1},    {3, 20, 20, 7, "0.0.0", 1},    {3, 20, 20, 8, "0.0.0", 0},
        {3, 20, 23, 0, "0.0.0", 0},    {6, 21, 0, 0, "80.0.0", 1},    {6, 21, 1, 30, "80.0.0", 1},
        {12, 21, 8, 0, "80.0.0", 0},   {12, 21, 18, 0, "80.0.0", 0},  {6, 21, 3, 0, "90.0.0", 1},
        {12, 21, 3, 0, "90.0.0", 0}};
    for (const auto &c : cases)
        EXPECT_EQ(Up(At(2026, c.mo, c.d, c.h, c.m), "120.0.0", c.lat), c.up)
            << c.mo << '-' << c.d << ' ' << c.h << ':' << c.m << ' ' << c.lat;
}

TEST(Formula, PositionTextsKeepTheirSideOnMinutesAndSeconds)
{
    double d = 0;
    const struct { const char *text; double deg; } known[] = {
        {"116.28.12", 116.47}, {"-0.30.00", -0.5}, {"-33.52.00", -33.8666667}};
    for (const auto &k : known) {
        EXPECT_EQ(ParseDegrees(k.text, &d), 0) << k.text;
        EXPECT_NEAR(d, k.deg, 1e-6) << k.text;
    }
    EXPECT_EQ(ParseDegrees("33.52", &d), -1);
    // A field filled to the brim without a terminator.
    char full[16];
    std::memset(full, '1', sizeof full);
    EXPECT_EQ(ParseDegrees(full, &d), -1);
}

struct AvgTest : ::testing::Test {
    DefDataRec def{};
    volatile unsigned char cf = 0;
    int32_t v[30];
    char q[30];
    void SetUp() override
    {
        std::memset(def.ElementEnable, '1', sizeof def.ElementEnable);
        defdata = &def;
        g_pCpyCfDataFlag = &cf;
        for (int i = 0; i < 30; ++i) {
            v[i] = 2000 + i;
            q[i] = '8';
        }
    }
    void TearDown() override
    {
        defdata = nullptr;
        g_pCpyCfDataFlag = nullptr;
    }
    // The first k samples valid, alternately '0' and '1'.
    void Valid(int k)
    {
        for (int i = 0; i < 30; ++i)
            q[i] = i < k ? (i % 2 ? '1' : '0') : '2';
    }
};

TEST_F(AvgTest, TwoThirdsOfTheSamplesOrOneThirdDuringTheCfCopy)
{
    const struct { unsigned char cf; int valid; float mean; } cases[] = {
        {0, 20, 2009.5f}, {0, 19, 99999.0f}, {1, 19, 2009.0f},
        {1, 10, 2004.5f}, {1, 9, 99999.0f},  {1, 0, 99999.0f}};
    for (const auto &c : cases) {
        cf = c.cf;
        Valid(c.valid);
        EXPECT_FLOAT_EQ(CalcArithAvg(2, 30, v, q), c.mean) << int(c.cf) << ' ' << c.valid;
    }
}

TEST_F(AvgTest, DisabledElementsAndExtremeSamples)
{
    Valid(30);
    def.ElementEnable[2] = '0';
    EXPECT_FLOAT_EQ(CalcArithAvg(2, 30, v, q), 99999.0f);
    def.ElementEnable[2] = '1';
    EXPECT_FLOAT_EQ(CalcArithAvg(-1, 30, v, q), 99999.0f);
    EXPECT_FLOAT_EQ(CalcArithAvg(85, 30, v, q), 99999.0f);
    EXPECT_FLOAT_EQ(CalcArithAvg(2, 0, v, q), 99999.0f);
    for (int i = 0; i < 30; ++i)
        v[i] = INT32_MAX;
    EXPECT_FLOAT_EQ(CalcArithAvg(2, 30, v, q), float(INT32_MAX));
}

TEST(Formula, Rounding)
{
    const struct { float f; int n; } ftoN[] = {
        {2.5f, 3},        {-2.5f, -3},        {2.49f, 2},       {-0.4f, 0},
        {99999.0f, 99999}, {1e20f, INT_MAX}, {-1e20f, INT_MIN}, {std::nanf(""), 99999}};
    for (const auto &c : ftoN)
        EXPECT_EQ(ConvertFtoN(c.f), c.n) << c.f;
    // MY_floor: a whole negative number still steps down one.
    const struct { double x; int n; } floors[] = {
        {-2.0, -3}, {-2.5, -3}, {-0.1, -1}, {2.5, 2}, {0.0, 0}, {1e30, INT_MAX}};
    for (const auto &c : floors)
        EXPECT_EQ(MY_floor(c.x), c.n) << c.x;
    const struct { double x, r; } halves[] = {{2.5, 3}, {-2.5, -3}, {-2.4, -2}, {0.49, 0}};
    for (const auto &c : halves)
        EXPECT_EQ(MY_floor1(c.x), c.r) << c.x;
    EXPECT_EQ(sgn(-0.001), -1);
    EXPECT_EQ(sgn(0.0), 0);
    EXPECT_EQ(sgn(7.0), 1);
}

TEST(Formula, QuicksortSortsAnyRangeInPlace)
{
    std::mt19937 rng(7);
    for (int n : {1, 2, 3, 10, 240, 1000}) {
        std::vector<int> a(n);
        for (int &x : a)
            x = int(rng() % 50) - 25;   // many duplicates
        std::vector<int> want = a;
        std::sort(want.begin(), want.end());
        myqsort(a.data(), 0, n - 1);
        EXPECT_EQ(a, want) << n;
    }
    std::vector<int> sorted(5000);
    std::iota(sorted.begin(), sorted.end(), 0);
    std::vector<int> rev(sorted.rbegin(), sorted.rend());
    myqsort(rev.data(), 0, 4999);
    EXPECT_EQ(rev, sorted);
    myqsort(sorted.data(), 0, 4999);
    int part[] = {9, 5, 1, 7, 3, 0};
    myqsort(part, 1, 4);   // only the middle
    EXPECT_EQ(std::vector<int>(part, part + 6), (std::vector<int>{9, 1, 3, 5, 7, 0}));
    int one[] = {INT_MIN, INT_MAX, 0};
    myqsort(one, 0, 2);
    EXPECT_EQ(std::vector<int>(one, one + 3), (std::vector<int>{INT_MIN, 0, INT_MAX}));
}

TEST(Formula, LogAppendsTheSaveLineOnlyWithRoomOnTheCard)
{
    komain_test::Sandbox sb("2026-02-03 04:05:06");
    TemproraryDataRec live{};
    TemproraryData = &live;
    mkdir(sb.Path("/mnt/cf/tempdata").c_str(), 0777);
    mkdir(sb.Path("/mnt/cf/tempdata/log").c_str(), 0777);
    const std::string file = "/mnt/cf/tempdata/log/20260203.log";

    live.MainStat.CfState = '0';
    live.MainStat.CFSpace = 99;
    EXPECT_EQ(Log(), 0);
    EXPECT_EQ(sb.Read(file), "");
    live.MainStat.CFSpace = 100;
    live.MainStat.CfState = '2';
    Log();
    EXPECT_EQ(sb.Read(file), "");
    live.MainStat.CfState = '0';
    EXPECT_EQ(Log(), 0);
    EXPECT_EQ(Log(), 0);
    // The clock runs: only the date part of the time is fixed.
    std::string text = sb.Read(file);
    ASSERT_EQ(text.size(), 2 * std::strlen("savefile:2026-02-03 04:05:06\r\n"));
    EXPECT_EQ(text.substr(0, 19), "savefile:2026-02-03");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    TemproraryData = nullptr;
}
