#include "processing/MinuteRecords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "processing/Formula.h"
#include "processing/Records.h"
#include "processing/Statistic.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"

namespace {

constexpr int32_t MISS = MISSING_VALUE;
constexpr int SAMPLES = 30;
constexpr int QC_ROW_TVOTE = 6;    // minute check row of the voted temperature
constexpr int QC_ROW_SV = 12;      // of the ventilation

DmcdRec g_dmcd, g_dmcd1;
DmrdRec g_dmrd, g_dmrd1;
char g_dmcd1Text[RECORD_TEXT_LEN];
struct tm g_dmcdTime, g_dmrdTime;   // the minute each record was computed for

// Radiation exposures running over the radiation hour.
struct RadiRun {
    bool started = false;
    double sum[SRD_COUNT] = {};
    double horizontal = 0;          // R6, direct radiation on a horizontal surface
};
RadiRun g_radi;

bool Enabled(int element)
{
    return defdata != nullptr && element >= 0 && element < SENSORTABLE_ROWS &&
           defdata->ElementEnable[element] == '1';
}
bool Good(char qc) { return qc == '0' || qc == '1'; }
int Hhmm(const struct tm &t) { return t.tm_hour * 100 + t.tm_min; }

// The record while it is built.
template <int N>
struct Work {
    int32_t v[N];
    char qc[N];
    char flag[N];
    Work()
    {
        for (int i = 0; i < N; ++i) {
            v[i] = MISS;
            qc[i] = 'N';
            flag[i] = '0';
        }
    }
    void Set(int i, int32_t value, char q)
    {
        v[i] = value;
        qc[i] = q;
        flag[i] = '1';
    }
};

template <int N>
void Store(MinuteRecord<N> &rec, const Work<N> &w, const struct tm &t)
{
    std::memset(&rec, 0, sizeof rec);
    char buf[20] = {};
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t.tm_year, t.tm_mon, t.tm_mday,
                  t.tm_hour, t.tm_min);
    std::memcpy(rec.Time, buf, sizeof buf);
    std::memcpy(rec.Flag, w.flag, N);
    std::memcpy(rec.Qc, w.qc, N);
    for (int i = 0; i < N; ++i)
        rec.Value[i] = w.v[i];
}

// The hour's extremes of a climate element (strictly beyond keeps the
// earliest minute of a tie).
void TakeMaxMin(int32_t v, int hhmm, int32_t &max, int32_t &maxTime, int32_t &min, int32_t &minTime)
{
    if (v > max) {
        max = v;
        maxTime = hhmm;
    }
    if (v < min) {
        min = v;
        minTime = hhmm;
    }
}

// Mean (integer division) of the samples with QC '0' among the first n;
// false when there is none. *invalid gets the number of the others.
template <int C>
bool ValidMean(const SampleRing<C> &r, int n, int32_t *mean, int *invalid = nullptr)
{
    int64_t sum = 0;
    int count = 0;
    for (int i = 0; i < n && i < C; ++i)
        if (r.Qc[i] == '0') {
            sum += r.Value[i];
            ++count;
        }
    if (invalid != nullptr)
        *invalid = n - count;
    if (count == 0)
        return false;
    *mean = int32_t(sum / count);
    return true;
}

template <int C>
double ValidMeanReal(const SampleRing<C> &r, int n, int *count)
{
    double sum = 0;
    *count = 0;
    for (int i = 0; i < n && i < C; ++i)
        if (r.Qc[i] == '0') {
            sum += r.Value[i];
            ++*count;
        }
    return *count > 0 ? sum / *count : 0;
}


// ---- DMCD ----------------------------------------------------------------

void AirTemperatureVote(Work<DMCD_FIELDS> &w, const SampleDataRec &snap, StatisticRec &s,
                        int hhmm)
{
    const SampleRing<30> *sv[3] = {&snap.SV1, &snap.SV2, &snap.SV3};
    const SampleRing<60> *t[3] = {&snap.T1, &snap.T2, &snap.T3};
    int32_t svMean[3];
    bool svHas[3] = {};
    bool anySv = false;
    int64_t svSum = 0;
    int svCount = 0;
    for (int k = 0; k < 3; ++k) {
        if (!Enabled(EL_SV1 + k))
            continue;
        anySv = true;
        svHas[k] = ValidMean(*sv[k], SAMPLES, &svMean[k]);
        if (svHas[k]) {
            svSum += svMean[k];
            ++svCount;
        }
    }
    if (anySv) {
        if (svCount > 0) {
            int32_t v = int32_t(svSum / svCount);
            w.Set(1, v, iQCPM_Code(QC_ROW_SV, v / 10.0f));
        } else {
            w.Set(1, MISS, '8');
        }
    }

    if (!Enabled(EL_T1) && !Enabled(EL_T2) && !Enabled(EL_T3))
        return;
    int32_t mean[3];
    bool has[3] = {};
    for (int k = 0; k < 3; ++k)
        has[k] = Enabled(EL_T1 + k) && svHas[k] && ValidMean(*t[k], T123_WRAP, &mean[k]);
    if (w.flag[1] != '1' || !Good(w.qc[1])) {
        w.Set(0, MISS, '2');
        return;
    }
    int32_t v = DmcdVoteTemperature(has[0] ? &mean[0] : nullptr, has[1] ? &mean[1] : nullptr,
                                    has[2] ? &mean[2] : nullptr);
    if (v == MISS) {
        w.Set(0, MISS, '8');
        return;
    }
    w.Set(0, v, iQCPM_Code(QC_ROW_TVOTE, v / 10.0f));
    if (Good(w.qc[0]))
        TakeMaxMin(v, hhmm, s.Dmcd.Max0, s.Dmcd.Max0Time, s.Dmcd.Min0, s.Dmcd.Min0Time);
}

void SecondWind(Work<DMCD_FIELDS> &w, const SampleDataRec &snap, StatisticRec &s,
                const struct tm &now)
{
    if (!Enabled(EL_WS1))
        return;
    DmcdStat &d = s.Dmcd;
    int slot = now.tm_min % 10;
    int32_t mean = 0;
    int invalid = SAMPLES;
    bool ok = ValidMean(snap.WS1, SAMPLES, &mean, &invalid) && invalid <= 10;
    d.Ws1Ring[slot] = ok ? mean : 0;
    d.Ws1Mark[slot] = ok ? '0' : '2';

    int prev = (slot + 9) % 10;
    if (d.Ws1Mark[slot] == '0' && d.Ws1Mark[prev] == '0')
        w.Set(6, int32_t((double(d.Ws1Ring[slot]) + d.Ws1Ring[prev]) / 2 + 0.5), '0');
    else
        w.Set(6, MISS, '8');

    int64_t sum = 0;
    int valid = 0;
    for (int i = 0; i < 10; ++i)
        if (d.Ws1Mark[i] == '0') {
            sum += d.Ws1Ring[i];
            ++valid;
        }
    if (10 - valid >= 8) {
        w.Set(7, MISS, '8');
    } else {
        int32_t v = int32_t(double(sum) / valid + 0.5);
        w.Set(7, v, '0');
        if (v > d.Max7) {
            d.Max7 = v;
            d.Max7Time = Hhmm(now);
        }
    }

    // The largest mean of three consecutive valid samples; the window
    // starts as three zeros.
    int32_t win[3] = {0, 0, 0};
    int at = 0, seen = 0;
    d.Run8 = 0;
    for (int i = 0; i < SAMPLES; ++i) {
        if (snap.WS1.Qc[i] != '0')
            continue;
        win[at] = snap.WS1.Value[i];
        at = (at + 1) % 3;
        ++seen;
        int32_t m = int32_t((int64_t(win[0]) + win[1] + win[2]) / 3);
        if (m > d.Run8)
            d.Run8 = m;
    }
    if (seen == 0) {
        w.Set(8, MISS, '8');
        return;
    }
    w.Set(8, d.Run8, '0');
    if (d.Run8 > d.Max8) {
        d.Max8 = d.Run8;
        d.Max8Time = Hhmm(now);
    }
}

void Infrared(Work<DMCD_FIELDS> &w, const SampleDataRec &snap, StatisticRec &s, int hhmm)
{
    if (!Enabled(EL_IR))
        return;
    int count = 0;
    double mean = ValidMeanReal(snap.IR, SAMPLES, &count);
    if (SAMPLES - count > 10) {
        w.Set(10, MISS, '8');
        return;
    }
    double tenth = mean / 10;
    int32_t v = TruncToInt32(tenth < 0 ? tenth - 0.5 : tenth + 0.5);
    w.Set(10, v, iQCPM_Code(EL_IR, v / 10.0f));
    if (Good(w.qc[10]))
        TakeMaxMin(v, hhmm, s.Dmcd.Max10, s.Dmcd.Max10Time, s.Dmcd.Min10, s.Dmcd.Min10Time);
}

// Copies an element of the main minute record of the generation in use.
template <int N>
void CopyMain(Work<DMCD_FIELDS> &w, int to, const MinuteRecord<N> &m, int from)
{
    w.v[to] = m.Value[from];
    w.qc[to] = m.Qc[from];
    w.flag[to] = m.Flag[from] == '1' ? '1' : '0';
}

// ---- DMRD ----------------------------------------------------------------

struct RadiPair {
    int element;      // element row
    int ring;         // RadiRing of the snapshot
    int divisor;      // samples to W/m2
    int qcRow;        // minute check row (-1: always '0')
    int irr, exp;     // record elements
    int stat;         // StatRadi
    bool roundEach;   // the stored, rounded exposure runs on (else a real sum)
};
constexpr RadiPair kRadiPairs[SRD_COUNT] = {
    {EL_GR, RADI_GR, 100, 46, 0, 1, SRD_R0, false},
    {EL_NR, RADI_NR, 100, -1, 2, 3, SRD_R2, false},
    {EL_DR, RADI_DR, 100, 48, 4, 5, SRD_R4, false},
    {EL_SR, RADI_SR, 100, 49, 7, 8, SRD_R7, false},
    {EL_RR, RADI_RR, 100, 50, 9, 10, SRD_R9, false},
    {EL_UR, RADI_UR, 10, 51, 14, 15, SRD_R14, false},
    {EL_UVA, RADI_UVA, 10, 52, 16, 17, SRD_R16, false},
    {EL_UVB, RADI_UVB, 10, 53, 18, 19, SRD_R18, false},
    {EL_AR, RADI_AR, 100, 54, 20, 21, SRD_R20, true},
    {EL_TR, RADI_TR, 100, 56, 22, 23, SRD_R22, true},
    {EL_PR, RADI_PR, 100, 58, 24, 25, SRD_R24, false},
};
// A minute's energy in 0.01 MJ/m2 per W/m2: 60 s * 1e-6 * 100.
constexpr double EXPOSURE_PER_WM2 = 60 * 1e-6 * 100;
constexpr int32_t SUNSHINE_MIN_WM2 = 120;

int32_t Irradiance(const RadiPair &p, const SampleDataRec &snap, bool sunUp)
{
    int count = 0;
    double mean = ValidMeanReal(snap.Radi[p.ring], SAMPLES, &count);
    if (count == 0 || (p.element == EL_GR && SAMPLES - count > 10))
        return 0;
    if (!sunUp && p.element != EL_NR)
        return 0;
    // Halves away from zero: the net radiation goes negative at night,
    // and -40.0 must stay -40.
    double v = mean / p.divisor;
    return TruncToInt32(v < 0 ? v - 0.5 : v + 0.5);
}

int SunshineMinute(const Work<DMRD_FIELDS> &w)
{
    TemproraryDataRec &td = *TemproraryData;
    int sunny = 0;
    if (defdata->SunshineMode == 1) {
        int32_t sum = 0;
        for (int32_t f : td.SunshineFlag)
            sum += f != 0 ? 1 : 0;
        sunny = sum > 15 ? 1 : 0;
    } else if (w.flag[4] == '1' && Good(w.qc[4]) && w.v[4] >= SUNSHINE_MIN_WM2) {
        sunny = 1;
    }
    // Each minute's samples count once.
    std::memset(td.SunshineFlag, 0, sizeof td.SunshineFlag);
    td.SunshineIdx = 0;
    return sunny;
}

void Radiation(Work<DMRD_FIELDS> &w, const SampleDataRec &snap, StatisticRec &s,
               const struct tm &now)
{
    RadiRun &run = g_radi;
    RadiStat &r = s.Radi;
    if (!run.started) {
        // A restart within the hour resumes the exposures kept for it.
        for (int k = 0; k < SRD_COUNT; ++k)
            run.sum[k] = r.Sum[k];
        run.horizontal = 0;
        run.started = true;
    }
    if (now.tm_min == 1) {
        for (double &x : run.sum)
            x = 0;
        run.horizontal = 0;
    }
    bool sunUp = SunDownRise() == 1;
    double sinElev = std::sin(double(SunHeightArch()));
    int hhmm = Hhmm(now);

    for (const RadiPair &p : kRadiPairs) {
        if (!Enabled(p.element))
            continue;
        int32_t irr = Irradiance(p, snap, sunUp);
        char q = p.qcRow < 0 ? '0' : iQCPM_Code(p.qcRow, float(irr));
        w.Set(p.irr, irr, q);
        double &sum = run.sum[p.stat];
        // Only a checked irradiance adds to the hour's energy.
        if (Good(q))
            sum += irr * EXPOSURE_PER_WM2;
        int32_t stored = TruncToInt32(sum + 0.5);
        if (p.roundEach)
            sum = stored;
        w.Set(p.exp, stored, '0');
        r.Sum[p.stat] = stored;
        if (irr > r.Max[p.stat]) {
            r.Max[p.stat] = irr;
            r.MaxTime[p.stat] = hhmm;
        }
        if (p.element == EL_NR && irr < r.R2Min) {
            r.R2Min = irr;
            r.R2MinTime = hhmm;
        }
    }

    if (Enabled(EL_DR)) {
        bool direct = Good(w.qc[4]);
        if (direct)
            run.horizontal += w.v[4] * EXPOSURE_PER_WM2 * std::max(0.0, sinElev);
        w.Set(6, TruncToInt32(run.horizontal + 0.5), direct ? '0' : '8');
    }
    if (Enabled(EL_SSD)) {
        int sunny = SunshineMinute(w);
        w.Set(11, sunny, '0');
        if (sunny) {
            ++r.SunshineMinutes;
            ++TemproraryData->SunshineMinutes;
        }
    }
}

int32_t MedianOfThree(int32_t a, int32_t b, int32_t c)
{
    int64_t sum = int64_t(a) + b + c;
    return int32_t(sum - std::max({a, b, c}) - std::min({a, b, c}));
}

} // namespace

int32_t DmcdVoteTemperature(const int32_t *t1, const int32_t *t2, const int32_t *t3)
{
    const int32_t *t[3] = {t1, t2, t3};
    int k = (t1 != nullptr) + (t2 != nullptr) + (t3 != nullptr);
    if (k == 0)
        return MISS;
    if (k == 1)
        for (const int32_t *p : t)
            if (p != nullptr)
                return *p / 10;
    // The pairs T1-T2, T3-T2, T1-T3.
    static constexpr int kPairs[3][2] = {{0, 1}, {2, 1}, {0, 2}};
    int agree = 0;
    int64_t pairSum = 0;
    for (const auto &pr : kPairs) {
        const int32_t *a = t[pr[0]], *b = t[pr[1]];
        if (a == nullptr || b == nullptr)
            continue;
        int64_t allowed = (std::llabs(*a) < 5001 && std::llabs(*b) < 5001) ? 30 : 60;
        if (std::llabs(int64_t(*a) - *b) <= allowed) {
            ++agree;
            pairSum = int64_t(*a) + *b;
        }
    }
    if (agree == 0)
        return MISS;
    if (agree == 1)
        return int32_t(pairSum / 2 / 10);
    return MedianOfThree(*t1, *t2, *t3) / 10;
}

const DmcdRec &DmcdRecord() { return g_dmcd; }
const DmrdRec &DmrdRecord() { return g_dmrd; }

void MinuteRecordsReset()
{
    std::memset(&g_dmcd, 0, sizeof g_dmcd);
    std::memset(&g_dmrd, 0, sizeof g_dmrd);
    g_radi = RadiRun{};
}

int DmcdStruct2Ascii(const DmcdRec *record, char *text) { return MinuteRecordText(kDmcdLayout.text, record, text); }
int Dmcd1Struct2Ascii(const DmcdRec *record, char *text) { return MinuteRecordText(kDmcdLayout.text, record, text); }
int DmrdStruct2Ascii(const DmrdRec *record, char *text) { return MinuteRecordText(kDmrdLayout.text, record, text); }
int Dmrd1Struct2Ascii(const DmrdRec *record, char *text) { return MinuteRecordText(kDmrdLayout.text, record, text); }

void DmcdCalculate()
{
    if (FileSave == nullptr || SampleDataCopy == nullptr || defdata == nullptr ||
        TemproraryData == nullptr)
        return;
    struct tm now = *GetTime(0);
    const SampleDataRec &snap = *SampleDataCopy;
    StatisticRec &s = *Statistic;
    Work<DMCD_FIELDS> w;
    int hhmm = Hhmm(now);
    AirTemperatureVote(w, snap, s, hhmm);
    if (Enabled(EL_RAT1_C)) {
        int32_t minute, hour;
        DmgdRat1c(&minute, &hour);
        w.Set(2, minute, '0');
        w.Set(3, hour, '0');
    }
    bool old = defdataEx == nullptr || defdataEx->Generation == 0;
    if (Enabled(EL_RAW)) {
        if (old) {
            CopyMain(w, 4, FileSave->DmgdOld, 10);
            CopyMain(w, 5, FileSave->DmgdOld, 11);
        } else {
            CopyMain(w, 4, FileSave->Dmgd, 18);
            CopyMain(w, 5, FileSave->Dmgd, 19);
        }
    }
    SecondWind(w, snap, s, now);
    if (old)
        CopyMain(w, 9, FileSave->DmgdOld, 19);
    else
        CopyMain(w, 9, FileSave->Dmgd, 31);
    Infrared(w, snap, s, hhmm);

    g_dmcdTime = now;
    Store(g_dmcd, w, now);
    DmcdStruct2Ascii(&g_dmcd, FileSave->DmcdText);
    RecordLiveCopy(REC_DMCD, FileSave->DmcdText, RECORD_TEXT_LEN);
    Dmcd1Calculate();
}

void Dmcd1Calculate()
{
    std::memcpy(&g_dmcd1, &g_dmcd, sizeof g_dmcd1);
    // The following minute starts a new hour: its sums start from 0.
    if (g_dmcdTime.tm_min == 0)
        for (int f : {2, 4})
            g_dmcd1.Value[f] = 0;
    Dmcd1Struct2Ascii(&g_dmcd1, g_dmcd1Text);
}

void DmrdCalculate()
{
    if (FileSave == nullptr || SampleDataCopy == nullptr || defdata == nullptr ||
        TemproraryData == nullptr)
        return;
    struct tm now = *GetTime(defdata->Td);
    Work<DMRD_FIELDS> w;
    Radiation(w, *SampleDataCopy, *Statistic, now);
    g_dmrdTime = now;
    Store(g_dmrd, w, now);
    DmrdStruct2Ascii(&g_dmrd, FileSave->DmrdText);
    RecordLiveCopy(REC_DMRD, FileSave->DmrdText, RECORD_TEXT_LEN);
}

void Dmrd1Calculate()
{
    if (FileSave == nullptr)
        return;
    std::memcpy(&g_dmrd1, &g_dmrd, sizeof g_dmrd1);
    // Every exposure of a new radiation hour starts from 0.
    if (g_dmrdTime.tm_min == 0)
        for (const RadiPair &p : kRadiPairs)
            g_dmrd1.Value[p.exp] = 0;
    if (g_dmrdTime.tm_min == 0)
        g_dmrd1.Value[6] = 0;
    Dmrd1Struct2Ascii(&g_dmrd1, FileSave->Dmrd1Text);
}

int DmcdSave()
{
    if (FileSave == nullptr)
        return -1;
    return SaveRecordSlot(kDmcdLayout, {"/mnt/nand3", &g_dmcdTime, "DmcdSave", false},
                          FileSave->DmcdText, g_dmcd1Text);
}

int DmcdSaveCF()
{
    if (FileSave == nullptr || !RecordCfUsable())
        return -1;
    return SaveRecordSlot(kDmcdLayout, {"/mnt/cf", &g_dmcdTime, "DmcdSaveCF", false},
                          FileSave->DmcdText, g_dmcd1Text);
}

int DmrdSave()
{
    if (FileSave == nullptr)
        return -1;
    return SaveRecordSlot(kDmrdLayout, {"/mnt/nand3", &g_dmrdTime, "DmrdSave", false},
                          FileSave->DmrdText, FileSave->Dmrd1Text);
}

int DmrdSaveCF()
{
    if (FileSave == nullptr || !RecordCfUsable())
        return -1;
    return SaveRecordSlot(kDmrdLayout, {"/mnt/cf", &g_dmrdTime, "DmrdSaveCF", false},
                          FileSave->DmrdText, FileSave->Dmrd1Text);
}

namespace {
int FixedLiveText(const char *tag, int kind)
{
    if (TemproraryData == nullptr || defdata == nullptr)
        return -1;
    struct tm t = *GetTime(0);
    char text[96];
    std::snprintf(text, sizeof text, "%s %.8s %04d-%02d-%02d %02d:%02d 00000000 NNNNNNN\r\n", tag,
                  defdata->StationId, t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min);
    RecordLiveCopy(kind, text, std::strlen(text));
    return 0;
}
} // namespace

int DmodSave() { return FixedLiveText("DMOD", REC_DMOD); }
int DmsdSave() { return FixedLiveText("DMSD", REC_DMSD); }
