// Meteorological formulas and numeric helpers shared by the minute and hourly
// computations.
#pragma once

#include <cstdint>
#include <ctime>

// Sea-level pressure (hPa) from the station pressure p (hPa), the barometer
// height h (m) and the temperature now t and 12 hours earlier t12 (deg C).
float CalcSeaLevelPressure(float p, float h, float t, float t12);

// Saturation vapour pressure over water (hPa), Goff-Gratch, t in deg C.
double CalcEw(double t);

// Solar elevation (radians) for the clock and the station position of the
// parameter record; pi/4 when the position does not read.
float SunHeightArch();
// 1 while the sun counts as up (an hour before sunrise to two hours after
// sunset), else 0 (also when the position does not read).
int SunDownRise();
// The same for a given time (full year, months 1-12) and position texts
// "deg.min.sec".
float SunHeightArchAt(const struct tm *t, const char *lon, const char *lat);
int SunDownRiseAt(const struct tm *t, const char *lon, const char *lat);
// "deg.min.sec" to decimal degrees; 0 when it reads, -1 otherwise.
int ParseDegrees(const char *text, double *deg);

// Mean of the samples with QC '0' or '1' of element row `element`; 99999
// (as a float) when the element is not enabled or too few are valid: at
// least 2n/3, or n/3 while the CF-copy flag is 1.
float CalcArithAvg(int element, int n, const void *value, const char *qc);
template <typename Ring>
float CalcArithAvg(int element, int n, const Ring &r)
{
    if (n > Ring::Capacity)
        n = Ring::Capacity;
    return CalcArithAvg(element, n, r.Value, r.Qc);
}

// Nearest integer, halves away from zero; 99999.0 stays 99999. Saturates at
// the 32-bit range.
int ConvertFtoN(float x);
// Floor toward minus infinity except that a negative whole number goes one
// further (-2.0 gives -3). Saturates.
int MY_floor(double x);
// Nearest whole number, halves away from zero, as a double.
double MY_floor1(double x);
int sgn(double x);
// Ascending in-place sort of a[lo..hi].
void myqsort(int *a, int lo, int hi);
// The minute's save line, on the console and in the CF card's day log.
int Log();
// True when the CF-copy flag segment says the nightly copy runs.
int CpyCfActive();
