#include "processing/Formula.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/Transplant.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "sampling/SampleStore.h"

namespace {

constexpr double kPi = 3.1415926;
constexpr double kTwoPi = 6.2831852;

// Nearest integer, halves away from zero, as a double (no int overflow).
double Nint(double x) { return x < 0 ? -std::floor(-x + 0.5) : std::floor(x + 0.5); }

int IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Whole days from 1 January to the date (0 on 1 January). Counted on the
// calendar rather than through mktime, so a daylight-saving change between
// the two dates cannot lose a day.
int DayOfYear(const struct tm *t)
{
    static constexpr int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int mon = t->tm_mon;
    if (mon < 1 || mon > 12)
        mon = 1;
    int d = kBefore[mon - 1] + t->tm_mday - 1;
    if (mon > 2 && IsLeap(t->tm_year))
        ++d;
    return d;
}

// What the position and the date give both sun routines.
struct SunBase {
    double L, phi;   // longitude, latitude, decimal degrees
    double Et;       // equation of time, hours, kept to hundredths
    double delta;    // declination, degrees
};

void SunCommon(const struct tm *t, double L, double phi, SunBase *b)
{
    int Y = t->tm_year;
    double N = DayOfYear(t);
    double N0 = 79.6764 + 0.2422 * (Y - 1985) - std::trunc((Y - 1985) / 4.0);
    double tt = N + (t->tm_hour + t->tm_min / 60.0 - L / 15.0) / 24.0 - N0;
    double th = kTwoPi * tt / 365.2422;
    double et = 0.0028 - 1.9857 * std::sin(th) + 9.9059 * std::sin(2 * th) -
                7.0924 * std::cos(th) - 0.6882 * std::cos(2 * th);
    b->L = L;
    b->phi = phi;
    b->Et = Nint(et / 60.0 * 100.0) / 100.0;
    b->delta = 0.3723 + 23.2567 * std::sin(th) + 0.1149 * std::sin(2 * th) -
               0.1712 * std::sin(3 * th) - 0.758 * std::cos(th) + 0.3656 * std::cos(2 * th) +
               0.0201 * std::cos(3 * th);
}

// Bound of the sun-up window, hundredths of an hour, to minutes of the day.
int HundredthsToMinutes(int v) { return (v / 100) * 60 + ((v % 100) * 60) / 100; }

int ClampInt(double v)
{
    if (!(v == v))
        return 0;
    if (v > 2147483647.0)
        return 2147483647;
    if (v < -2147483648.0)
        return -2147483647 - 1;
    return int(v);
}

} // namespace

float CalcSeaLevelPressure(float p, float h, float t, float t12)
{
    float tm = (t + t12) / 2 + h * 0.5f / 200;
    float ex = h / (18400 * (1 + tm / 273));
    float p0 = p * std::pow(10.0f, ex);
    std::printf("fTm %f ", double(tm));
    std::printf("%f ", double(ex));
    std::printf("%f\n", double(p0));
    return p0;
}

double CalcEw(double t)
{
    const double T = t + 273.15;
    const double th = 273.16 / T;
    double lg = 5.028 * std::log10(th) - 10.79574 * th + 11.58145127 +
                1.50475e-4 * (1 - std::pow(10.0, 8.2969 * (1 - 1 / th))) +
                4.2873e-4 * std::pow(10.0, 4.76955 * (1 - th));
    return std::pow(10.0, lg);
}

int ParseDegrees(const char *text, double *deg)
{
    if (text == nullptr)
        return -1;
    // The position texts live in fixed fields that need not be terminated.
    char buf[17];
    std::size_t n = strnlen(text, 16);
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    int d = 0, m = 0, s = 0;
    if (std::sscanf(buf, "%d.%d.%d", &d, &m, &s) != 3)
        return -1;
    double v = std::fabs(double(d)) + m / 60.0 + s / 3600.0;
    // A western or southern position carries its sign on the degrees only;
    // the minutes and seconds belong to the same side.
    const char *p = buf;
    while (*p == ' ')
        ++p;
    *deg = (*p == '-') ? -v : v;
    return 0;
}

float SunHeightArchAt(const struct tm *t, const char *lon, const char *lat)
{
    double L = 0, phi = 0;
    if (ParseDegrees(lon, &L) != 0 || ParseDegrees(lat, &phi) != 0)
        return 0.785398f;
    SunBase b;
    SunCommon(t, L, phi, &b);
    double Tt = t->tm_hour + t->tm_min / 60.0 + b.Et + (120 - L) * 4 / 60;
    double phir = phi * kPi / 180, dr = b.delta * kPi / 180;
    double w = (Tt - 12) * 15 * kPi / 180;
    double s = std::sin(phir) * std::sin(dr) + std::cos(phir) * std::cos(dr) * std::cos(w);
    if (s > 1)
        s = 1;
    if (s < -1)
        s = -1;
    return float(std::asin(s));
}

int SunDownRiseAt(const struct tm *t, const char *lon, const char *lat)
{
    double L = 0, phi = 0;
    if (ParseDegrees(lon, &L) != 0 || ParseDegrees(lat, &phi) != 0)
        return 0;
    SunBase b;
    SunCommon(t, L, phi, &b);
    double x = (phi - b.delta) / 2;
    double s = std::sin((x + 45) / 180 * kPi) * std::sin((45 - x) / 180 * kPi) /
               (std::cos(phi / 180 * kPi) * std::cos(b.delta / 180 * kPi));
    // Beyond the polar circles the ratio leaves 0..1: the sun then stays up
    // (whole day) or down (no day) instead of giving no number at all.
    if (!(s == s))
        s = (phi * b.delta > 0) ? 1 : 0;
    if (s > 1)
        s = 1;
    if (s < 0)
        s = 0;
    double H = 2 * std::asin(std::sqrt(s)) / kPi * 180 / 15;
    int rise = ClampInt(Nint((12 - H - b.Et) * 100));
    int set = ClampInt(Nint((H + 12 - b.Et) * 100));
    int start = HundredthsToMinutes(rise - 100);
    int end = HundredthsToMinutes(set + 200);
    int now = t->tm_hour * 60 + t->tm_min;
    return (start < now && now < end) ? 1 : 0;
}

float SunHeightArch()
{
    struct tm now = *GetTime(0);
    if (defdata == nullptr)
        return 0.785398f;
    return SunHeightArchAt(&now, defdata->Long, defdata->Lat);
}

int SunDownRise()
{
    struct tm now = *GetTime(0);
    if (defdata == nullptr)
        return 0;
    return SunDownRiseAt(&now, defdata->Long, defdata->Lat);
}

int CpyCfActive() { return (g_pCpyCfDataFlag != nullptr && *g_pCpyCfDataFlag == 1) ? 1 : 0; }

float CalcArithAvg(int element, int n, const void *value, const char *qc)
{
    if (defdata == nullptr || element < 0 || element >= int(sizeof defdata->ElementEnable) ||
        defdata->ElementEnable[element] != '1' || value == nullptr || qc == nullptr || n <= 0)
        return MISSING_FLOAT;
    double sum = 0;
    int c = 0;
    for (int i = 0; i < n; ++i) {
        if (qc[i] == '0' || qc[i] == '1') {
            // The samples sit in a packed ring and may be unaligned: an
            // int32_t pointer would let the compiler load them as aligned
            // words, which faults on the older board.
            int32_t x;
            std::memcpy(&x, static_cast<const unsigned char *>(value) + std::size_t(i) * sizeof x, sizeof x);
            sum += x;
            ++c;
        }
    }
    int need = CpyCfActive() ? n / 3 : (2 * n) / 3;
    if (c == 0 || c < need)
        return MISSING_FLOAT;
    return float(sum / c);
}

int ConvertFtoN(float x)
{
    if (x == MISSING_FLOAT)
        return MISSING_VALUE;
    double d = x;
    return TruncToInt32(d < 0 ? d - 0.5 : d + 0.5);
}

int MY_floor(double x)
{
    if (x >= 0)
        return TruncToInt32(x);
    return TruncToInt32(-(std::trunc(-x) + 1));
}

double MY_floor1(double x)
{
    double v = std::trunc(std::fabs(x) + 0.5);
    return x < 0 ? -v : v;
}

int sgn(double x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }

void myqsort(int *a, int lo, int hi)
{
    while (a != nullptr && lo < hi) {
        int i = lo, j = hi;
        int pivot = a[lo];
        while (i < j) {
            while (i < j && a[j] > pivot)
                --j;
            if (i < j)
                a[i++] = a[j];
            while (i < j && a[i] < pivot)
                ++i;
            if (i < j)
                a[j--] = a[i];
        }
        a[i] = pivot;
        // Recurse into the smaller side and loop on the larger one, so the
        // depth stays logarithmic even on sorted input.
        if (i - lo < hi - i) {
            myqsort(a, lo, i - 1);
            lo = i + 1;
        } else {
            myqsort(a, i + 1, hi);
            hi = i - 1;
        }
    }
}

int Log()
{
    struct tm now = *GetTime(0);
    char line[64];
    std::snprintf(line, sizeof line, "savefile:%04d-%02d-%02d %02d:%02d:%02d\r\n", now.tm_year,
                  now.tm_mon, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    std::printf("%s", line);
    if (TemproraryData == nullptr)
        return 0;
    char cf = TemproraryData->MainStat.CfState;
    int32_t space = TemproraryData->MainStat.CFSpace;
    if (cf != '0' || space <= 99)
        return 0;
    char path[64];
    std::snprintf(path, sizeof path, "/mnt/cf/tempdata/log/%04d%02d%02d.log", now.tm_year,
                  now.tm_mon, now.tm_mday);
    FILE *fp = TpFopen(path, "a+");
    if (fp == nullptr)
        return -1;
    std::fputs(line, fp);
    std::fclose(fp);
    return 0;
}
