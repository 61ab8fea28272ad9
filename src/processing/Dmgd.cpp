#include "processing/Dmgd.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/Main.h"
#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "processing/Calibration.h"
#include "processing/Records.h"
#include "processing/Formula.h"
#include "processing/SlotFile.h"
#include "processing/Statistic.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"

FileSaveRec *FileSave = nullptr;

namespace {
constexpr int kFourDigitNew[] = {56};
constexpr int kFourDigitOld[] = {44};
} // namespace

const RecordTextLayout kDmgdText{"DMGD", DMGD_FIELDS, 25, 47, "0127", DMGD_FIELDS - 1,
                                 MarkerRule::Dash9999, kFourDigitNew, 1};
// The carried twin prints values only up to field 44 and never a
// substituted one.
const RecordTextLayout kDmgd1Text{"DMGD", DMGD_FIELDS, 25, 47, "012", 44, MarkerRule::Dash9999,
                                  kFourDigitNew, 1};
const RecordTextLayout kDmgdTextOld{"DMGD", DMGD_OLD_FIELDS, 13, 35, "012", DMGD_OLD_FIELDS - 1,
                                    MarkerRule::Dash9999, kFourDigitOld, 1};
const RecordTextLayout kDmgd1TextOld = kDmgdTextOld;

namespace {

constexpr int32_t MISS = MISSING_VALUE;
constexpr int EL_TW = 9;     // element rows without a name in the element enum

// Field numbers of the current generation.
enum DmgdField {
    F_WD2 = 0, F_RAT = 6, F_RAT_H = 7, F_RAT1 = 8, F_RAT2 = 10, F_RAT3 = 12, F_RAT4 = 14,
    F_RAT5 = 16, F_RAW = 18, F_RAW_H = 19, F_T0 = 20, F_T01 = 21, F_T04 = 24, F_TW = 25,
    F_U = 26, F_E = 27, F_TD = 28, F_P = 29, F_TG = 30, F_ST0 = 31, F_LE = 40, F_LE_H = 41,
    F_VI1 = 42, F_VI10 = 43, F_CH = 44, F_SD = 48, F_FR = 49,
};

// The record while it is built: plain arrays, copied into the packed
// shared record at the end.
struct Work {
    int32_t v[DMGD_FIELDS];
    char qc[DMGD_FIELDS];
    char flag[DMGD_FIELDS];
    // Older generation only: the second rain counter's pair.
    int32_t rat1c, rat1cHour;
    char rat1cQc, rat1cFlag;
};

// Kept between minutes.
struct Keep {
    int tairSelected = 0;          // channel the air-temperature board chose last minute
    int32_t vis5[5] = {MISS, MISS, MISS, MISS, MISS};
    int vis5Pos = 0;
    bool visFirst = true;
    int32_t snow5[5] = {MISS, MISS, MISS, MISS, MISS};
    int snow5Pos = 0;
    // Evaporation.
    int32_t hist[60] = {};
    int32_t ref0 = 0, ref20 = 0;
    bool ref0Valid = false, ref20Valid = false;
    int32_t day = 0, hour = 0, booked = 0;
    bool hourNormal = true, dayNormal = true;
    int initState = 0;             // 0 initialise now, 1 running, 2 initialise once more
};
Keep g_keep;
int32_t g_rat1c[2];   // the second rain counter's minute and hour sum

bool Enabled(int element)
{
    return defdata != nullptr && element >= 0 && element < SENSORTABLE_ROWS &&
           defdata->ElementEnable[element] == '1';
}
bool ObValid(int pos) { return defdata != nullptr && defdata->ObValid[pos] == '1'; }
bool Good(char qc) { return qc == '0' || qc == '1'; }
int32_t Clamp(int64_t v, int64_t lo, int64_t hi) { return int32_t(v < lo ? lo : v > hi ? hi : v); }

void Set(Work &w, int f, int32_t v, char qc)
{
    w.v[f] = v;
    w.qc[f] = qc;
    w.flag[f] = '1';
}
void Absent(Work &w, int f, int32_t v = MISS)
{
    w.v[f] = v;
    w.qc[f] = 'N';
    w.flag[f] = '0';
}

int Hhmm(const struct tm &t) { return t.tm_hour * 100 + t.tm_min; }

// ---- rain ----------------------------------------------------------------

// A reading of the rain board: taken with its QC when that is '0' or '1'.
void BoardRain(int32_t reading, char qc, int32_t &m, char &mq)
{
    if (Good(qc)) {
        m = reading;
        mq = qc;
    } else {
        m = 0;
        mq = 'N';
    }
}

void RainPair(Work &w, int f, int32_t m, char mq, int32_t &running, bool addAlways = true)
{
    int32_t hour = Clamp(int64_t(running) + ((addAlways || mq == '0') ? m : 0), -MISS, 2000000000);
    running = hour;
    Set(w, f, m, mq);
    Set(w, f + 1, hour, '0');
}

// The tipping bucket's own minute sum (no rain board, or the older
// generation).
void CounterRain(Work &w, int f, int element, int32_t sum, char sumQc, int32_t &running)
{
    int32_t m = Good(sumQc) ? sum : 0;
    char q = iQCPM_Code(element, m / 10.0f);
    RainPair(w, f, m, q, running, false);
}

void RawRain(Work &w, StatisticRec &s)
{
    TemproraryDataRec &td = *TemproraryData;
    int32_t countdown = td.RawMaintMinutes;
    if (Enabled(EL_RAW)) {
        int32_t m = td.RawMinute;
        if (countdown > 0)
            m = 0;
        char q = iQCPM_Code(EL_RAW, m / 10.0f);
        RainPair(w, F_RAW, m, q, s.RainSum[SR_RAW]);
        std::printf("%s %d %d %d %d\n", "DmgdCalculate", 1, w.v[F_RAW_H], m, s.RainSum[SR_RAW]);
        if (countdown > 0) {
            Absent(w, F_RAW);
            Absent(w, F_RAW_H);
        }
    }
    td.RawMinute = 0;
    countdown -= 1;
    if (countdown <= 0) {
        countdown = 0;
        td.RawMaintMode = '0';
    }
    td.RawMaintMinutes = countdown;
}

void Rain(Work &w, const SampleDataRec &snap, StatisticRec &s, bool old)
{
    const TemproraryDataRec &td = *TemproraryData;
    const RainBlock &rb = td.Rain;
    bool board = !old && ObValid(OB_RAIN);
    if (Enabled(EL_RAT)) {
        if (!board) {
            CounterRain(w, F_RAT, EL_RAT, snap.RainSum, snap.RainSumQc, s.RainSum[SR_RAT]);
        } else {
            int32_t m;
            char q;
            BoardRain(snap.RainBoard[3], rb.Qc[3], m, q);
            RainPair(w, F_RAT, m, q, s.RainSum[SR_RAT]);
        }
    }
    // The second rain counter: a field pair of the older generation, the
    // further values of the current one (the climate record shows them).
    if (Enabled(EL_RAT1_C)) {
        Work tmp{};
        CounterRain(tmp, F_RAT, EL_RAT1_C, snap.Rain1Sum, snap.Rain1SumQc,
                    old ? s.RainSum[SR_RAT1] : s.Rat1cSum);
        w.rat1c = tmp.v[F_RAT];
        w.rat1cQc = tmp.qc[F_RAT];
        w.rat1cHour = tmp.v[F_RAT_H];
        w.rat1cFlag = '1';
    }
    g_rat1c[0] = w.rat1c;
    g_rat1c[1] = w.rat1cHour;
    if (!old) {
        for (int k = 0; k < 3; ++k) {
            int f = F_RAT1 + 2 * k;
            if (!Enabled(EL_RAT1 + k))
                continue;
            if (k == 0 && defdata->STLX == 'S') {
                Set(w, f, w.v[F_RAT], w.qc[F_RAT]);
                Set(w, f + 1, w.v[F_RAT_H], w.qc[F_RAT_H]);
                if (w.flag[F_RAT] != '1') {
                    w.flag[f] = '0';
                    w.flag[f + 1] = '0';
                }
                continue;
            }
            int32_t m;
            char q;
            BoardRain(snap.RainBoard[k], rb.Qc[k], m, q);
            RainPair(w, f, m, q, s.RainSum[SR_RAT1 + k]);
        }
        if (ObValid(OB_RAIN)) {
            int32_t m = 0;
            char q = '8';
            if (td.RainStat.State == '0')
                BoardRain(snap.RainBoard[4], rb.Qc[4], m, q);
            RainPair(w, F_RAT4, m, q, s.RainSum[SR_RAT4]);
        }
        if (Enabled(22)) {   // RAT5: never measured
            Set(w, F_RAT5, 0, 'N');
            Set(w, F_RAT5 + 1, 0, 'N');
        }
    }
    RawRain(w, s);
}

// ---- temperatures --------------------------------------------------------

// A reading of the air-temperature board (0.1 deg C) with the board's own
// QC character.
void BoardTemp(Work &w, int f, float v, char qc)
{
    if (qc == '0' || qc == '1' || qc == '2')
        Set(w, f, ConvertFtoN(v), qc);
    else if (qc == '6')
        Set(w, f, MISS, '6');
    else
        Set(w, f, MISS, '8');
}

void AirTemperature(Work &w, const SampleDataRec &snap, bool old)
{
    const TemproraryDataRec &td = *TemproraryData;
    bool board = !old && ObValid(OB_TAIR);
    if (Enabled(EL_T0)) {
        if (!board) {
            float v = CalcArithAvg(EL_T0, 30, snap.T0);
            v = GetScvInterceptSampleData(old ? "T0" : "T01", v);
            if (v == MISSING_FLOAT || v == -MISSING_FLOAT) {
                Set(w, F_T0, MISS, '8');
            } else {
                int32_t value = ConvertFtoN(v / 10.0f);
                Set(w, F_T0, value, iQCPM_Code(old ? EL_T0 : EL_T01, value / 10.0f));
            }
        } else {
            float v = GetScvInterceptSampleData("T01", snap.TairFurther[3]);
            BoardTemp(w, F_T0, v, td.Tair.ChanQc[3]);
        }
    }
    if (old)
        return;
    static const char *const kCode[3] = {"T01", "T02", "T03"};
    for (int k = 0; k < 3; ++k) {
        int f = F_T01 + k;
        if (!Enabled(EL_T01 + k))
            continue;
        if (defdata->STLX == 'S') {
            if (w.flag[F_T0] == '1')
                Set(w, f, w.v[F_T0], w.qc[F_T0]);
            continue;
        }
        BoardTemp(w, f, GetScvInterceptSampleData(kCode[k], snap.TairLatest[k]), td.Tair.ChanQc[k]);
    }
    if (ObValid(OB_TAIR) && td.TairStat.State == '0')
        BoardTemp(w, F_T04, snap.TairLatest[3], td.Tair.ChanQc[3]);

    // Station type 'M': a missing mean is replaced by the channel the board
    // selected, provided two channels agree.
    if (defdata->STLX == 'M') {
        if (w.flag[F_T0] == '1' && w.qc[F_T0] == '8') {
            bool agree = false;
            for (int a = 0; a < 3; ++a)
                for (int b = a + 1; b < 3; ++b) {
                    int fa = F_T01 + a, fb = F_T01 + b;
                    if (w.flag[fa] == '1' && w.flag[fb] == '1' && w.qc[fa] == '0' &&
                        w.qc[fb] == '0' && std::llabs(int64_t(w.v[fa]) - w.v[fb]) <= 9)
                        agree = true;
                }
            if (agree) {
                int sel = g_keep.tairSelected;
                if (sel >= 1 && sel <= 3)
                    Set(w, F_T0, w.v[F_T0 + sel], '7');
                else
                    Set(w, F_T0, MISS, '8');
            }
        }
        g_keep.tairSelected = td.TairStat.Status1;
    }
}

void Humidity(Work &w, const SampleDataRec &snap)
{
    if (!Enabled(EL_U))
        return;
    float v = GetScvInterceptSampleData("U", CalcArithAvg(EL_U, 30, snap.U));
    if (v == MISSING_FLOAT || v == -MISSING_FLOAT) {
        Set(w, F_U, MISS, '8');
        return;
    }
    int32_t value = TruncToInt32(v / 10.0 + 0.5);
    Set(w, F_U, value, iQCPM_Code(EL_U, float(value)));
}

void VapourDew(Work &w)
{
    if (w.flag[F_T0] != '1' || w.flag[F_U] != '1')
        return;
    if (!Good(w.qc[F_T0]) || !Good(w.qc[F_U])) {
        Set(w, F_E, MISS, '8');
        Set(w, F_TD, MISS, '8');
        return;
    }
    int32_t e10, td10;
    DmgdVapourDew(w.v[F_T0] / 10.0, double(w.v[F_U]), &e10, &td10);
    Set(w, F_E, e10, '0');
    Set(w, F_TD, td10, '0');
}

// Mean of the samples with QC '0' of a ring when fewer than 11 are bad (21
// during the nightly copy). False when too many are bad.
template <int N>
bool RingMean(const SampleRing<N> &r, double *mean)
{
    int good = 0;
    double sum = 0;
    for (int i = 0; i < N; ++i)
        if (r.Qc[i] == '0') {
            sum += r.Value[i];
            ++good;
        }
    int bad = N - good;
    if (good == 0 || bad >= (CpyCfActive() ? 21 : 11))
        return false;
    *mean = sum / good;
    return true;
}

void Pressure(Work &w, const SampleDataRec &snap)
{
    if (!Enabled(EL_P))
        return;
    double mean;
    if (!RingMean(snap.P, &mean)) {
        Set(w, F_P, MISS, '8');
        return;
    }
    float v = GetScvInterceptSampleData("P", float(TruncToInt32(mean + 0.5)));
    int32_t value = TruncToInt32(v);
    Set(w, F_P, value, iQCPM_Code(EL_P, value / 10.0f));
}

void GroundTemperatures(Work &w, const SampleDataRec &snap)
{
    static const char *const kCode[EARTH_COUNT] = {"TG",  "ST0", "ST1", "ST2", "ST3",
                                                   "ST4", "ST5", "ST6", "ST7", "ST8"};
    for (int k = 0; k < EARTH_COUNT; ++k) {
        int element = k == 0 ? EL_TG : EL_ST0 + (k - 1);
        int f = F_TG + k;
        if (!Enabled(element))
            continue;
        double m;
        if (!RingMean(snap.Earth[k], &m)) {
            Set(w, f, MISS, '8');
            continue;
        }
        m += m > 0 ? 5 : -5;
        float v = GetScvInterceptSampleData(kCode[k], float(m));
        int32_t value = TruncToInt32(v / 10.0);
        Set(w, f, value, iQCPM_Code(element, value / 10.0f));
    }
}

void Extremes(const Work &w, StatisticRec &s, int hhmm)
{
    for (int k = 0; k < SX_COUNT; ++k) {
        int f = kStatExtremeField[k];
        if (w.flag[f] == '1')
            StatisticTakeExtreme(&s.Ext[k], w.v[f], w.qc[f], hhmm);
    }
    if (w.flag[F_U] == '1')
        StatisticTakeMinimum(&s.UMin, w.v[F_U], w.qc[F_U], hhmm);
}

// ---- evaporation ---------------------------------------------------------

// A limit in mm as 0.1 mm; a parameter of any size (or NaN) stays within
// the range the level comparison can hold.
int64_t LimitTenths(float mm)
{
    double t = double(mm) * 10;
    if (!(t > -1e12))
        return t != t ? 0 : int64_t(-1e12);
    return int64_t(std::min(t, 1e12));
}

bool LevelWithinLimits(int32_t level)
{
    const DefDataRec &d = *defdata;
    int64_t cap = d.LESensorMode == 1 ? 981 : 1000;
    float lower = d.Qcps[EL_LE][0], upper = d.Qcps[EL_LE][1];
    bool hasLower = lower != QC_NONE && lower != -QC_NONE;
    bool hasUpper = upper != QC_NONE && upper != -QC_NONE;
    int64_t lo = 1, hi = cap;
    if (hasLower && hasUpper) {
        lo = std::max<int64_t>(0, LimitTenths(lower));
        hi = std::min<int64_t>(LimitTenths(upper), cap);
    } else if (hasUpper) {
        lo = 0;
        hi = std::min<int64_t>(LimitTenths(upper), cap);
    } else if (hasLower) {
        lo = LimitTenths(lower);
    }
    return level >= lo && level <= hi;
}

void Evaporation(Work &w, const SampleDataRec &snap, StatisticRec &s, const struct tm &now)
{
    if (!Enabled(EL_LE))
        return;
    TemproraryDataRec &td = *TemproraryData;
    Keep &k = g_keep;
    int minute = now.tm_min;

    // 1. The level: the samples of six fixed seconds.
    double sum = 0;
    int n = 0;
    for (int slot = 0; slot < 60; slot += 10)
        if (snap.LE.Qc[slot] == '0') {
            sum += snap.LE.Value[slot];
            ++n;
        }
    int32_t level;
    if (n == 0) {
        k.hour = Clamp(s.LeHour, 0, 30);
        level = s.LeLevel;
    } else {
        level = TruncToInt32(sum / n + 0.5 + double(defdata->LESensorCalib) * 10);
    }
    k.hist[minute] = level;
    bool limitOk = LevelWithinLimits(level);

    // The end of a maintenance restarts everything from this minute.
    if (td.LeMaintReset != 0) {
        td.LeMaintReset = 0;
        k.initState = 0;
    }
    if (k.initState != 1) {
        k.ref0 = k.ref20 = level;
        k.ref0Valid = k.ref20Valid = limitOk;
        k.day = k.hour = k.booked = 0;
        k.hourNormal = k.dayNormal = true;
        for (int32_t &h : k.hist)
            h = level;
        // A level far from the middle of the pan may be a bad start: take
        // the next minute's level once more.
        k.initState = (k.initState == 0 && (level < 101 || level > 899)) ? 2 : 1;
    }

    bool valid = limitOk && std::llabs(int64_t(level) - k.ref0) <= 40;
    for (int back = 1; back <= 4 && valid; ++back)
        if (std::llabs(int64_t(level) - k.hist[(minute - back + 60) % 60]) > 15)
            valid = false;

    bool rain = w.flag[F_RAT_H] == '1' && w.v[F_RAT_H] != 0;
    // Recomputed every minute: one bad level does not spoil the rest of the
    // hour; rain does, as the hour sum stays above 0.
    k.hourNormal = valid && !rain;
    if (k.dayNormal)
        k.dayNormal = k.hourNormal;
    if (!k.ref0Valid) {
        k.ref0 = level;
        k.ref0Valid = valid;
    }
    if (!k.ref20Valid) {
        k.ref20 = level;
        k.ref20Valid = valid;
    }

    // Levels are whatever the sensor delivered: differences and sums are
    // taken in 64 bits and kept within the 32-bit record values.
    constexpr int64_t kTop = INT32_MAX;
    int64_t fall0 = int64_t(k.ref0) - level;
    if (k.dayNormal && k.ref20Valid && valid) {
        k.day = Clamp(int64_t(k.ref20) - level, 0, kTop);
        k.hour = Clamp(int64_t(k.day) - k.booked, 0, kTop);
    } else if (k.hourNormal) {
        k.hour = Clamp(fall0, 0, 20);
        k.day = Clamp(int64_t(k.booked) + k.hour, -kTop, kTop);
    } else {
        k.hour = Clamp(int64_t(k.day) - k.booked, 0, kTop);
        if (rain && fall0 > k.hour)
            k.hour = Clamp(fall0, 0, kTop);
    }

    // The minute 00 record closes the hour, so it still shows the hour's
    // evaporation; the new hour starts after it.
    Set(w, F_LE, level, limitOk ? '0' : '2');
    Set(w, F_LE_H, k.hour, '0');
    s.LeLevel = level;
    s.LeHour = k.hour;

    if (minute == 0) {
        k.booked = Clamp(int64_t(k.booked) + k.hour, -kTop, kTop);
        k.hour = 0;
        k.hourNormal = true;
        if (valid) {
            k.ref0 = level;
            k.ref0Valid = true;
        }
        if (now.tm_hour == 20) {
            k.day = 0;
            k.booked = 0;
            k.dayNormal = true;
            if (valid) {
                k.ref20 = level;
                k.ref20Valid = true;
            }
        }
        s.LeHour = 0;
    }

    if (td.LeMaintMinutes > 0) {
        Absent(w, F_LE);
        Absent(w, F_LE_H);
        td.LeMaintMinutes = td.LeMaintMinutes - 1;
        if (td.LeMaintMinutes <= 0) {
            td.LeMaintMinutes = 0;
            td.LeMaintMode = '0';
        }
    }
}

// ---- visibility and snow -------------------------------------------------

void Visibility(Work &w, const SampleDataRec &snap, StatisticRec &s, const struct tm &now)
{
    if (!Enabled(EL_VI))
        return;
    Keep &k = g_keep;
    TemproraryDataRec &td = *TemproraryData;
    int32_t cur = Good(snap.VIQc) ? snap.VI : -MISS;
    k.vis5[k.vis5Pos] = cur;
    k.vis5Pos = (k.vis5Pos + 1) % 5;
    int32_t v1 = cur;
    if (cur == -MISS || cur == MISS) {
        int64_t sum = 0;
        int n = 0;
        for (int i = 0; i < 5; ++i) {
            std::printf("VI:%d %d\n", i, k.vis5[i]);
            if (k.vis5[i] != MISS && k.vis5[i] != -MISS) {
                sum += k.vis5[i];
                ++n;
            }
        }
        v1 = n > 0 ? int32_t(sum / n) : -MISS;
    }
    s.Vis.Ring[now.tm_min % VIS_RING] = cur;
    int64_t sum = 0;
    int n = 0;
    for (int i = 0; i < VIS_RING; ++i) {
        int32_t r = s.Vis.Ring[i];
        if (r != MISS && r != -MISS) {
            std::printf("VI :%d %d\n", i, r);
            sum += r;
            ++n;
        }
    }
    int32_t v10 = n > 0 ? int32_t(sum / n) : MISS;
    if (k.visFirst && (cur == -MISS || cur == MISS)) {
        v1 = s.Vis.Latest1;
        v10 = s.Vis.Latest10;
    }
    k.visFirst = false;
    if (td.VisDeviceQc == '0') {
        v10 = td.VisDevice10;
        td.VisDeviceQc = '2';
    }
    Set(w, F_VI1, v1, iQCPM_Code(EL_VI, float(v1)));
    Set(w, F_VI10, v10, iQCPM_VI_10_Code(float(v10)));
    s.Vis.Latest1 = v1;
    s.Vis.Latest10 = v10;
    StatisticTakeMinimum(&s.Vis.Min10, v10, w.qc[F_VI10], Hhmm(now));
}

void SnowDepth(Work &w)
{
    if (!Enabled(EL_SD))
        return;
    Keep &k = g_keep;
    TemproraryDataRec &td = *TemproraryData;
    k.snow5[k.snow5Pos] = Good(td.SnowDepthQc) ? int32_t(td.SnowDepth) : MISS;
    k.snow5Pos = (k.snow5Pos + 1) % 5;
    int64_t sum = 0;
    int n = 0;
    for (int32_t v : k.snow5)
        if (v != MISS && v != -MISS) {
            sum += v;
            ++n;
        }
    if (n == 0)
        Set(w, F_SD, 0, '8');
    else
        Set(w, F_SD, int32_t(sum / n), '0');
    // Each delivery counts once.
    td.SnowDepth = 0;
    td.SnowDepthQc = '8';
}

void NotMeasured(Work &w, int first, int count, int firstElement)
{
    for (int i = 0; i < count; ++i)
        if (Enabled(firstElement + i))
            Set(w, first + i, MISS, '8');
}

// ---- the whole record ----------------------------------------------------

void Compute(Work &w, bool old, WindCompareRec *cmp)
{
    for (int i = 0; i < DMGD_FIELDS; ++i) {
        w.v[i] = MISS;
        w.qc[i] = 'N';
        w.flag[i] = '0';
    }
    for (int f : {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19})
        w.v[f] = 0;
    w.v[F_VI1] = w.v[F_VI10] = -MISS;
    w.rat1c = w.rat1cHour = 0;
    w.rat1cQc = 'N';
    w.rat1cFlag = '0';

    struct tm now = *GetTime(0);
    const SampleDataRec &snap = *SampleDataCopy;
    StatisticRec &s = *Statistic;

    WindFieldsRec wind{};
    for (int i = 0; i < WIND_FIELDS; ++i) {
        wind.Value[i] = MISS;
        wind.Qc[i] = 'N';
        wind.Flag[i] = '0';
    }
    if (old)
        CheckWindSourceAndCal_Old(SampleDataCopy, &now, &wind, cmp);
    else
        CheckWindSourceAndCal(SampleDataCopy, &now, &wind, cmp);
    for (int i = 0; i < WIND_FIELDS; ++i) {
        w.v[F_WD2 + i] = wind.Value[i];
        w.qc[F_WD2 + i] = wind.Qc[i];
        w.flag[F_WD2 + i] = wind.Flag[i] == '1' ? '1' : '0';
    }

    Rain(w, snap, s, old);
    AirTemperature(w, snap, old);
    if (Enabled(EL_TW))
        Set(w, F_TW, '*', '0');
    Humidity(w, snap);
    VapourDew(w);
    Pressure(w, snap);
    GroundTemperatures(w, snap);
    Extremes(w, s, Hhmm(now));
    Evaporation(w, snap, s, now);
    Visibility(w, snap, s, now);
    NotMeasured(w, F_CH, 4, 37);   // CH, TCA, LCA, WW
    SnowDepth(w);
    NotMeasured(w, F_FR, 4, 42);   // FR, WI, FSD, LNF
}

void TimeText(char *out, const struct tm &t)
{
    char buf[20] = {};
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t.tm_year, t.tm_mon, t.tm_mday,
                  t.tm_hour, t.tm_min);
    std::memcpy(out, buf, sizeof buf);
}

// Older generation: which field of the working record fills each field;
// -1 the second rain counter's minute, -2 its hour sum, -3 never present.
constexpr int kOldFrom[DMGD_OLD_FIELDS] = {
    0,  1,  2,  3,  4,  5,  6,  7,  -1, -2, 18, 19, 20, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34,
    35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, -3, -3, -3, -3};

template <int N>
void Store(MinuteRecord<N> &rec, const char *flag, const char *qc, const int32_t *v,
           const struct tm &now)
{
    std::memset(&rec, 0, sizeof rec);
    TimeText(rec.Time, now);
    std::memcpy(rec.Flag, flag, N);
    std::memcpy(rec.Qc, qc, N);
    for (int i = 0; i < N; ++i)
        rec.Value[i] = v[i];
    rec.Further = 0;
}

template <int N>
void CarryOver(MinuteRecord<N> &dst, const MinuteRecord<N> &src, std::initializer_list<int> zero)
{
    std::memcpy(&dst, &src, sizeof dst);
    struct tm now = *GetTime(0);
    if (now.tm_min == 0) {
        for (int f : zero)
            dst.Value[f] = 0;
        dst.Further = 0;
    }
}

// ---- saving --------------------------------------------------------------

// A day file whose making a power cut stopped is completed before the
// minute is written, so that no slot of it is left a hole.
const SlotFileKind kDmgdFile{"DmgdSave", DMGD_SLOTS, RECORD_TEXT_LEN, DaySlotHeaderFn, 0, nullptr,
                             &kRecordSlotTexts, true};
const SlotFileKind kDmgdFileCF{"DmgdSaveCF", DMGD_SLOTS, RECORD_TEXT_LEN, DaySlotHeaderFn, 0, nullptr,
                               &kRecordSlotTexts, true};

int SaveOn(const SlotFileKind &kind, const char *root, const char *logPath)
{
    if (FileSave == nullptr || defdata == nullptr)
        return -1;
    struct tm now = *GetTime(0);
    char dir1[64], dir2[64], path[96];
    std::snprintf(dir1, sizeof dir1, "%s/tempdata", root);
    std::snprintf(dir2, sizeof dir2, "%s/tempdata/DMGD", root);
    std::snprintf(path, sizeof path, "%s/tempdata/DMGD/%02d%02d%02d.DAT", root, now.tm_year % 100,
                  now.tm_mon, now.tm_mday);
    const char *const dirs[] = {dir1, dir2, nullptr};
    char station[9] = {};
    std::memcpy(station, defdata->StationId, 8);
    DaySlotHeader header{"DMGD", station, now.tm_year, now.tm_mon, now.tm_mday};
    bool old = defdataEx == nullptr || defdataEx->Generation == 0;
    SlotWrite w{};
    w.dirs = dirs;
    w.path = path;
    w.logPath = logPath;
    w.headerCtx = &header;
    w.slot = now.tm_hour * 60 + now.tm_min;
    w.text = old ? FileSave->DmgdTextOld : FileSave->DmgdText;
    w.carry = old ? FileSave->Dmgd1TextOld : FileSave->Dmgd1Text;
    w.carryFrom = DMGD_CARRY_FROM;
    w.carryLen = DMGD_CARRY_LEN;
    return SlotFileSave(kind, w);
}

} // namespace

void DmgdVapourDew(double t, double u, int32_t *e10, int32_t *td10)
{
    double e = u * CalcEw(t) / 100.0;
    double td;
    if (u >= 100) {
        td = t;
    } else if (e <= 0.001) {
        td = -80.0;
        e = 0;
    } else {
        double l = std::log10(e / 6.1078);
        double td0 = MY_floor(2439.2 * l / (7.69 - l) + 0.5) / 10.0;
        // One step of 0.1 towards e; further steps only in the hot range.
        for (int guard = 0; guard < 2000; ++guard) {
            double td1 = td0 + 0.1 * sgn(e - CalcEw(td0));
            if (!(std::fabs(e - CalcEw(td1)) < std::fabs(e - CalcEw(td0))))
                break;
            td0 = td1;
            if (!(td0 > 46.0))
                break;
        }
        td = td0;
    }
    *e10 = TruncToInt32(MY_floor1(e * 10));
    *td10 = TruncToInt32(MY_floor1(td * 10));
}

void DmgdReset()
{
    g_keep = Keep{};
    g_rat1c[0] = g_rat1c[1] = 0;
}

void DmgdRat1c(int32_t *minute, int32_t *hour)
{
    *minute = g_rat1c[0];
    *hour = g_rat1c[1];
}

void DmgdCalculate()
{
    if (FileSave == nullptr || SampleDataCopy == nullptr || defdata == nullptr)
        return;
    Work w{};
    Compute(w, false, &FileSave->WindCompare);
    Store(FileSave->Dmgd, w.flag, w.qc, w.v, *GetTime(0));
    FileSave->Dmgd.Further = w.rat1c;
}

void DmgdCalculate_Old()
{
    if (FileSave == nullptr || SampleDataCopy == nullptr || defdata == nullptr)
        return;
    Work w{};
    Compute(w, true, &FileSave->WindCompare);
    char flag[DMGD_OLD_FIELDS], qc[DMGD_OLD_FIELDS];
    int32_t v[DMGD_OLD_FIELDS];
    for (int i = 0; i < DMGD_OLD_FIELDS; ++i) {
        int from = kOldFrom[i];
        if (from >= 0) {
            flag[i] = w.flag[from];
            qc[i] = w.qc[from];
            v[i] = w.v[from];
        } else if (from == -1 || from == -2) {
            flag[i] = w.rat1cFlag;
            qc[i] = from == -1 ? w.rat1cQc : (w.rat1cFlag == '1' ? '0' : 'N');
            v[i] = from == -1 ? w.rat1c : w.rat1cHour;
        } else {
            flag[i] = '0';
            qc[i] = 'N';
            v[i] = MISS;
        }
    }
    Store(FileSave->DmgdOld, flag, qc, v, *GetTime(0));
}

int DmgdStruct2Ascii(const DmgdRec *record, char *text) { return MinuteRecordText(kDmgdText, record, text); }
int Dmgd1Struct2Ascii(const DmgdRec *record, char *text) { return MinuteRecordText(kDmgd1Text, record, text); }
int DmgdStruct2Ascii_Old(const DmgdOldRec *record, char *text)
{
    return MinuteRecordText(kDmgdTextOld, record, text);
}
int Dmgd1Struct2Ascii_Old(const DmgdOldRec *record, char *text)
{
    return MinuteRecordText(kDmgd1TextOld, record, text);
}

void Dmgd1Calculate()
{
    if (FileSave != nullptr)
        CarryOver(FileSave->Dmgd1, FileSave->Dmgd, {F_RAT, F_RAW});
}

void Dmgd1Calculate_Old()
{
    if (FileSave != nullptr)
        CarryOver(FileSave->Dmgd1Old, FileSave->DmgdOld, {6, 8, 10});
}

int DmgdSave()
{
    int r = SaveOn(kDmgdFile, "/mnt/nand3", "/mnt/nand3/tempdata/rcdLOG.log");
    if (r == 0)
        Log();
    return r;
}

int DmgdSaveCF()
{
    if (TemproraryData == nullptr || TemproraryData->MainStat.CfState != '0' ||
        TemproraryData->MainStat.CFSpace <= 99)
        return -1;
    return SaveOn(kDmgdFileCF, "/mnt/cf", "/mnt/cf/tempdata/rcdLOG.log");
}

const char *DmgdMinuteTexts()
{
    FileSaveRec &fs = *FileSave;
    if (defdataEx == nullptr || defdataEx->Generation == 0) {
        DmgdCalculate_Old();
        DmgdStruct2Ascii_Old(&fs.DmgdOld, fs.DmgdTextOld);
        Dmgd1Calculate_Old();
        Dmgd1Struct2Ascii_Old(&fs.Dmgd1Old, fs.Dmgd1TextOld);
        return fs.DmgdTextOld;
    }
    DmgdCalculate();
    DmgdStruct2Ascii(&fs.Dmgd, fs.DmgdText);
    Dmgd1Calculate();
    Dmgd1Struct2Ascii(&fs.Dmgd1, fs.Dmgd1Text);
    return fs.DmgdText;
}
