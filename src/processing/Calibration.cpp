#include "processing/Calibration.h"

#include <cstring>

#include "core/ShareMem.h"

const int g_iaScvCalCoe[SCV_ELEMENTS] = {SCV_CONSTANT[0],  SCV_CONSTANT[1],  SCV_CONSTANT[2],
                                         SCV_CONSTANT[3],  SCV_CONSTANT[4],  SCV_CONSTANT[5],
                                         SCV_CONSTANT[6],  SCV_CONSTANT[7],  SCV_CONSTANT[8],
                                         SCV_CONSTANT[9],  SCV_CONSTANT[10], SCV_CONSTANT[11],
                                         SCV_CONSTANT[12], SCV_CONSTANT[13], SCV_CONSTANT[14],
                                         SCV_CONSTANT[15], SCV_CONSTANT[16], SCV_CONSTANT[17]};

namespace {

// Element codes in table order.
constexpr const char *kScvCodes[SCV_ELEMENTS] = {"P",   "T0",  "U",   "ST0", "ST1", "ST2",
                                                 "ST3", "ST4", "ST5", "ST6", "ST7", "ST8",
                                                 "TG",  "WS",  "WD",  "T01", "T02", "T03"};

bool ValidIndex(int s) { return s >= 0 && s < SCV_ELEMENTS; }

// Bound and correction of one entry, copied out of the packed record.
double Bound(int s, int k)
{
    double v = defdata->Scv[s][k][0];
    return v;
}
double Correction(int s, int k)
{
    double v = defdata->Scv[s][k][1];
    return v;
}

} // namespace

int GetScvSensorIndex(const char *code)
{
    if (code == nullptr)
        return -1;
    for (int s = 0; s < SCV_ELEMENTS; ++s)
        if (std::strcmp(code, kScvCodes[s]) == 0)
            return s;
    return -1;
}

int GetScvSensorCalCoe(const char *code)
{
    int s = GetScvSensorIndex(code);
    return s < 0 ? -1 : g_iaScvCalCoe[s];
}

int CheckScvParaIsValid(int s, double x)
{
    if (!ValidIndex(s))
        return 0;
    return x != double(g_iaScvCalCoe[s]) * 99.9 ? 1 : 0;
}

int FindFinalValidParaPos(int s)
{
    if (!ValidIndex(s) || defdata == nullptr)
        return -1;
    int p = -1;
    for (int k = 0; k < SCV_ENTRIES; ++k) {
        if (!CheckScvParaIsValid(s, Bound(s, k)))
            break;
        p = k;
    }
    return p;
}

double FindScvCeo(int s, int p, double v)
{
    if (!ValidIndex(s) || defdata == nullptr || p < 0 || p >= SCV_ENTRIES)
        return 0.0;
    // Above the last valid bound the first unset entry carries the
    // correction for the values beyond it.
    if (p < SCV_ENTRIES - 1 && v > Bound(s, p))
        return Correction(s, p + 1);
    double c = 0.0;
    // Tried from the bottom up; a later matching interval wins when the
    // bounds are not in increasing order.
    if (v <= Bound(s, 0))
        c = Correction(s, 0);
    for (int k = 1; k <= p; ++k)
        if (Bound(s, k - 1) < v && v <= Bound(s, k))
            c = Correction(s, k);
    return c;
}

float GetScvInterceptSampleData(const char *code, float v)
{
    if (v == 99999.0f || v == -99999.0f)
        return v;
    int s = GetScvSensorIndex(code);
    if (s < 0 || defdata == nullptr)
        return v;
    int p = FindFinalValidParaPos(s);
    if (p < 0)
        return v;
    return float(double(v) + FindScvCeo(s, p, v));
}
