#include "processing/Wind.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/ShareMem.h"
#include "processing/Calibration.h"
#include "processing/Formula.h"
#include "sampling/SampleQc.h"
#include "sampling/Sensortable.h"

int g_iWindType = 0;

namespace {

constexpr double kPi = 3.1415926;
constexpr int kSeconds = 60;
constexpr int kQuarter = 240;
constexpr int kWindow = 12;   // 3 s of quarter-second samples

int g_windBackCount = 0;      // minutes in a row that argue for the mechanical sensor

bool Enabled(int index)
{
    return defdata != nullptr && defdata->ElementEnable[index] == '1';
}

template <typename T>
double VectorMean(const T *deg, const char *qc, int n, int *valid)
{
    double sx = 0, sy = 0;
    int c = 0;
    for (int i = 0; i < n; ++i) {
        if (qc[i] != '0')
            continue;
        // The samples may sit unaligned in a packed ring: copy each one out.
        T x;
        std::memcpy(&x, deg + i, sizeof x);
        double a = double(x) * 2 * kPi / 360;
        sx += std::sin(a);
        sy += std::cos(a);
        ++c;
    }
    if (valid != nullptr)
        *valid = c;
    if (c > 0) {
        sx /= c;
        sy /= c;
    }
    double d;
    if (sy == 0) {
        d = sx > 0 ? 90 : 270;
    } else {
        d = std::atan(sx / sy) * 180 / kPi;
        if (sy < 0)
            d += 180;
        else if (sx < 0)
            d += 360;
    }
    if (d >= 360)
        d -= 360;
    return d;
}

// Nearest whole value of a non-negative quantity the way the record wants it
// (x + 0.5 truncated), saturating.
int32_t Half(double x) { return TruncToInt32(x + 0.5); }

// Direction d (degrees) through the "WD" calibration, which works in tenths.
double CorrectWd(double d) { return double(GetScvInterceptSampleData("WD", float(d * 10))) / 10; }
double CorrectWs(double v) { return double(GetScvInterceptSampleData("WS", float(v))); }

void SetField(WindFieldsRec *out, int f, int32_t v, char qc, char flag)
{
    out->Value[f] = v;
    out->Qc[f] = qc;
    out->Flag[f] = flag;
}

// The hour's maximum and extreme of a sensor into the record's hour wind: a
// greater value replaces the kept one; in the hour's first minutes, with
// both still 0, the sensor's values are taken once.
void TakeHourWind(WindHourRec *dst, const WindHourRec &src)
{
    if (src.MaxTaken &&
        (src.MaxWs > dst->MaxWs || (!dst->MaxTaken && src.MaxWs == 0 && dst->MaxWs == 0))) {
        dst->MaxWs = src.MaxWs;
        dst->MaxWsQc = src.MaxWsQc;
        dst->MaxWd = src.MaxWd;
        dst->MaxWdQc = src.MaxWdQc;
        dst->MaxTime = src.MaxTime;
        dst->MaxTaken = 1;
    }
    if (src.ExtTaken &&
        (src.ExtWs > dst->ExtWs || (!dst->ExtTaken && src.ExtWs == 0 && dst->ExtWs == 0))) {
        dst->ExtWs = src.ExtWs;
        dst->ExtWd = src.ExtWd;
        dst->ExtQc = src.ExtQc;
        dst->ExtTime = src.ExtTime;
        dst->ExtTaken = 1;
    }
}

int32_t Mod360(int32_t d) { return d == 99999 ? 99999 : d % 360; }

} // namespace

double WindVectorMean(const float *deg, const char *qc, int n, int *valid)
{
    return VectorMean(deg, qc, n, valid);
}

double WindVectorMeanInt(const int32_t *deg, const char *qc, int n, int *valid)
{
    return VectorMean(deg, qc, n, valid);
}

int WindCalc3sMeans(const SampleRing<240> &cur, const SampleRing<240> &prev, SampleRing<240> &out)
{
    int good = 0;
    for (int i = 0; i < kQuarter; ++i) {
        int64_t sum = 0;
        int c = 0;
        // The window reaches back into the previous minute's ring for the
        // first eleven slots.
        for (int j = i - (kWindow - 1); j <= i; ++j) {
            char q = j < 0 ? prev.Qc[kQuarter + j] : cur.Qc[j];
            if (q != '0')
                continue;
            sum += j < 0 ? prev.Value[kQuarter + j] : cur.Value[j];
            ++c;
        }
        if (cur.Qc[i] != '0') {
            out.Value[i] = 0;
            out.Qc[i] = '8';
            continue;
        }
        if (kWindow - c < 4)
            out.Value[i] = TruncToInt32(double(sum) / c);
        else
            out.Value[i] = cur.Value[i];
        out.Qc[i] = '0';
        ++good;
    }
    out.pos = cur.pos;
    return good;
}

void CalWindSensor(int sensor, SampleDataRec *snap, const struct tm *now, WindSensorStat *st,
                   WindFieldsRec *out)
{
    if (snap == nullptr || now == nullptr || st == nullptr || out == nullptr)
        return;
    const bool ult = sensor == WIND_ULT;
    const WindQcIndex &q = kWindQc[ult ? 1 : 0];
    SampleRing<240> &ws = ult ? snap->UWS : snap->WS;
    SampleRing<240> &wsPrev = ult ? snap->UWSPrev : snap->WSPrev;
    SampleRing<240> &ws3 = ult ? snap->UWS_3 : snap->WS_3;
    SampleRing<240> &ws3Prev = ult ? snap->UWS_3Prev : snap->WS_3Prev;
    SampleRing<60> &wd = ult ? snap->UWD : snap->WD;
    SampleRing<60> &wdPrev = ult ? snap->UWDPrev : snap->WDPrev;
    const bool wsOn = Enabled(EL_WS);
    const bool wdOn = Enabled(EL_WD);
    const bool cf = CpyCfActive() != 0;
    const int slot = ((now->tm_min % WIND_RING) + WIND_RING) % WIND_RING;
    const int hhmm = now->tm_hour * 100 + now->tm_min;
    const char wsFlag = wsOn ? '1' : '0';
    const char wdFlag = wdOn ? '1' : '0';

    // 3-second means.
    if (wsOn) {
        WindCalc3sMeans(ws, wsPrev, ws3);
    } else {
        for (int i = 0; i < kQuarter; ++i) {
            ws3.Value[i] = 0;
            ws3.Qc[i] = '8';
        }
    }

    // 1-minute mean speed: one 3-second mean per second.
    double sum = 0;
    int good = 0;
    for (int i = 3; i < kQuarter; i += 4)
        if (ws3.Qc[i] == '0') {
            sum += ws3.Value[i];
            ++good;
        }
    int bad1s = kSeconds - good;
    double ws1 = 0;
    if (wsOn && good > 0 && bad1s < (cf ? 46 : 16)) {
        ws1 = sum / good;
        st->Ws1[slot] = Half(ws1);
        st->Ws1Qc[slot] = iQCPM_Code(q.Ws1, float(ws1 / 100));
    } else {
        st->Ws1[slot] = 0;
        st->Ws1Qc[slot] = '8';
    }
    std::printf("%s(%d)...........%f,%c\r\n", __func__, __LINE__, ws1, st->Ws1Qc[slot]);

    // 1-minute mean direction.
    int valid = 0;
    double wd1 = VectorMean(wd.Value, wd.Qc, kSeconds, &valid);
    int bad1d = kSeconds - valid;
    if (!wdOn) {
        st->Wd1[slot] = 99999.0f;
        st->Wd1Qc[slot] = '2';
    } else if (valid > 0 && bad1d < (cf ? 41 : 21)) {
        st->Wd1Qc[slot] = iQCPM_Code(q.Wd1, float(wd1));
        st->Wd1[slot] = float(std::trunc(wd1 + 0.5));
    } else {
        st->Wd1[slot] = 99999.0f;
        st->Wd1Qc[slot] = '8';
    }

    // 2-minute mean speed (field 1): this minute's and the previous
    // minute's once-a-second 3-second means.
    sum = 0;
    good = 0;
    for (int i = 3; i < kQuarter; i += 4) {
        if (ws3.Qc[i] == '0') {
            sum += ws3.Value[i];
            ++good;
        }
        if (ws3Prev.Qc[i] == '0') {
            sum += ws3Prev.Value[i];
            ++good;
        }
    }
    int bad2s = 2 * kSeconds - good;
    double ws2 = 0;
    if (!wsOn) {
        SetField(out, 1, 99999, 'N', wsFlag);
    } else if (good > 0 && bad2s < (cf ? 91 : 31)) {
        ws2 = CorrectWs(sum / good);
        SetField(out, 1, Half(ws2 / 10), iQCPM_Code(q.Ws2, float(ws2 / 100)), wsFlag);
    } else {
        SetField(out, 1, 0, '8', wsFlag);
    }

    // 2-minute mean direction (field 0).
    int validPrev = 0;
    int32_t both[2 * kSeconds];
    char bothQc[2 * kSeconds];
    for (int i = 0; i < kSeconds; ++i) {
        both[i] = wdPrev.Value[i];
        bothQc[i] = wdPrev.Qc[i];
        both[kSeconds + i] = wd.Value[i];
        bothQc[kSeconds + i] = wd.Qc[i];
    }
    double wd2 = VectorMean(both, bothQc, 2 * kSeconds, &validPrev);
    int bad2d = 2 * kSeconds - validPrev;
    if (!wdOn) {
        SetField(out, 0, 99999, 'N', wdFlag);
    } else if (validPrev > 0 && bad2d < (cf ? 81 : 41)) {
        if (wd2 < 0)
            wd2 = 0;
        wd2 = CorrectWd(wd2);
        SetField(out, 0, Half(wd2), iQCPM_Code(q.Wd2, float(wd2)), wdFlag);
    } else {
        SetField(out, 0, 99999, '8', wdFlag);
    }

    // 10-minute mean speed (field 3) from the ring of 1-minute means.
    sum = 0;
    good = 0;
    for (int i = 0; i < WIND_RING; ++i)
        if (st->Ws1Qc[i] == '0') {
            sum += st->Ws1[i];
            ++good;
        }
    int bad10s = WIND_RING - good;
    double ws10 = 0;
    if (!wsOn) {
        SetField(out, 3, 99999, 'N', wsFlag);
    } else if (good > 0 && bad10s < 4) {
        ws10 = CorrectWs(sum / good);
        SetField(out, 3, Half(ws10 / 10), iQCPM_Code(q.Ws10, float(ws10 / 100)), wsFlag);
    } else {
        SetField(out, 3, 0, '8', wsFlag);
    }

    // 10-minute mean direction (field 2).
    double wd10 = VectorMean(st->Wd1, st->Wd1Qc, WIND_RING, &valid);
    int bad10d = WIND_RING - valid;
    if (!wdOn) {
        SetField(out, 2, 99999, 'N', wdFlag);
    } else if (valid > 0 && bad10d < 4) {
        if (wd10 < 0)
            wd10 = 0;
        wd10 = CorrectWd(wd10);
        SetField(out, 2, Half(wd10), iQCPM_Code(q.Wd10, float(wd10)), wdFlag);
    } else {
        SetField(out, 2, 99999, '8', wdFlag);
    }
    std::printf("%04d-%02d-%02d %02d:%02d:%02d WS1:%.4f err:%d WS2:%.4f err:%d WS10:%.4f err:%d "
                "WD1:%.4f err:%d WD2:%.4f err:%d WD10:%.4f err:%d\n",
                now->tm_year, now->tm_mon, now->tm_mday, now->tm_hour, now->tm_min, now->tm_sec,
                ws1, bad1s, ws2, bad2s, ws10, bad10s, wd1, bad1d, wd2, bad2d, wd10, bad10d);

    // The hour's maximum 10-minute mean.
    WindHourRec &h = st->Hour;
    int32_t f3 = out->Value[3];
    char q3 = out->Qc[3];
    if ((q3 == '0' || q3 == '1') && f3 != 99999 &&
        (f3 > h.MaxWs || (h.MaxWs == 0 && f3 == 0 && !h.MaxTaken))) {
        h.MaxWs = f3;
        h.MaxWsQc = q3;
        h.MaxTime = hhmm;
        h.MaxWd = Mod360(out->Value[2]);
        h.MaxWdQc = out->Qc[2];
        h.MaxTaken = 1;
    }

    // The minute's extreme (3-second) wind and its direction.
    int32_t ext = 99999;
    int32_t dir = 99999;
    int extSlot = -1;
    for (int i = 0; i < kQuarter; ++i) {
        if (ws3.Qc[i] != '0')
            continue;
        int32_t v = TruncToInt32((CorrectWs(ws3.Value[i]) + 5) / 10);
        if (extSlot >= 0 && !(v > ext))
            continue;
        ext = v;
        extSlot = i;
        int s = i / 4;
        if (wd.Qc[s] == '0') {
            dir = wd.Value[s];
            int s1 = (s + kSeconds - 1) % kSeconds;
            if (wd.Qc[s1] == '0') {
                dir = wd.Value[s1];
                int s2 = (s + kSeconds - 2) % kSeconds;
                if (wd.Qc[s2] == '0')
                    dir = wd.Value[s2];
            }
        }
    }
    int32_t extDir = 99999;
    if (extSlot < 0) {
        ext = 99999;
        SetField(out, 4, 99999, wdOn ? '8' : 'N', wdFlag);
        SetField(out, 5, 99999, wsOn ? '8' : 'N', wsFlag);
    } else {
        if (dir != 99999)
            extDir = Half(CorrectWd(double(dir % 360)));
        SetField(out, 4, extDir, extDir == 99999 ? '8' : '0', wdFlag);
        if (!wdOn)
            SetField(out, 4, 99999, 'N', '0');
        SetField(out, 5, ext, ext == 99999 ? '8' : '0', wsFlag);
    }
    std::printf("%s(%d).....i:%d,%d,%d\n", __func__, __LINE__, extSlot, ext, extDir);
    st->MinuteExtWs = ext;
    st->MinuteExtWd = extDir;

    // The hour's extreme wind.
    if (ext != 99999 && (ext > h.ExtWs || !h.ExtTaken)) {
        h.ExtWs = ext;
        h.ExtWd = Mod360(extDir);
        h.ExtQc = '0';
        h.ExtTime = hhmm;
        h.ExtTaken = 1;
    }
}

void CalMachineWind(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out)
{
    if (Statistic != nullptr)
        CalWindSensor(WIND_MECH, snap, now, &Statistic->MachWind, out);
}

void CalUltWind(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out)
{
    if (Statistic != nullptr)
        CalWindSensor(WIND_ULT, snap, now, &Statistic->UltWind, out);
}

void CheckWindALG(const WindFieldsRec *mech, const WindFieldsRec *ult, WindFieldsRec *rec,
                  WindCompareRec *cmp)
{
    if (mech == nullptr || ult == nullptr || rec == nullptr)
        return;
    if (cmp != nullptr) {
        for (int k = 0; k < 4; ++k) {
            cmp->Value[0][k] = mech->Value[k];
            cmp->Qc[0][k] = mech->Qc[k];
            cmp->Value[1][k] = ult->Value[k];
            cmp->Qc[1][k] = ult->Qc[k];
        }
    }
    // A calm mechanical anemometer while the ultrasonic sensor sees wind
    // means the cups are stuck (ice): use the ultrasonic sensor at once.
    if (g_iWindType == 0 && mech->Value[3] == 0 && ult->Value[3] > 0 && mech->Qc[3] == '0' &&
        ult->Qc[3] == '0') {
        g_iWindType = 1;
        g_windBackCount = 0;
    }
    // Back to the cups only after five minutes in a row that they turn (or
    // the ultrasonic sensor has nothing).
    if (g_iWindType == 1) {
        if (mech->Value[3] >= 1 || ult->Qc[3] == '8')
            ++g_windBackCount;
        else
            g_windBackCount = 0;
        if (g_windBackCount >= 5) {
            g_iWindType = 0;
            g_windBackCount = 0;
        }
    }
    const WindFieldsRec *src = g_iWindType == 1 ? ult : mech;
    *rec = *src;
    if (Statistic != nullptr)
        TakeHourWind(&Statistic->Wind,
                     g_iWindType == 1 ? Statistic->UltWind.Hour : Statistic->MachWind.Hour);
    if (cmp != nullptr)
        cmp->WindType = g_iWindType;
}

void CheckWindSourceAndCal(SampleDataRec *snap, const struct tm *now, WindFieldsRec *rec,
                           WindCompareRec *cmp)
{
    WindFieldsRec mech{}, ult{};
    CalMachineWind(snap, now, &mech);
    CalUltWind(snap, now, &ult);
    CheckWindALG(&mech, &ult, rec, cmp);
}

void CalMachineWind_Old(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out)
{
    CalMachineWind(snap, now, out);
}

void CalUltWind_Old(SampleDataRec *snap, const struct tm *now, WindFieldsRec *out)
{
    CalUltWind(snap, now, out);
}

void CheckWindALG_Old(const WindFieldsRec *mech, const WindFieldsRec *ult, WindFieldsRec *rec,
                      WindCompareRec *cmp)
{
    CheckWindALG(mech, ult, rec, cmp);
}

void CheckWindSourceAndCal_Old(SampleDataRec *snap, const struct tm *now, WindFieldsRec *rec,
                               WindCompareRec *cmp)
{
    CheckWindSourceAndCal(snap, now, rec, cmp);
}

void WindReset()
{
    g_iWindType = 0;
    g_windBackCount = 0;
}
