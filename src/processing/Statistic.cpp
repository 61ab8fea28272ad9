#include "processing/Statistic.h"

#include <cstring>
#include <initializer_list>

#include "core/MyTime.h"
#include "core/ShareMem.h"

const int kStatExtremeField[SX_COUNT] = {20, 21, 22, 23, 24, 29, 30, 31};

namespace {

StatisticRec g_statisticStore;

int Hhmm(const struct tm *t) { return t->tm_hour * 100 + t->tm_min; }

void ExtremeStart(StatExtremeRec *e, int hhmm)
{
    e->Max = STAT_MAX_START;
    e->MaxTime = hhmm;
    e->Min = STAT_MIN_START;
    e->MinTime = hhmm;
    e->MaxQc = '8';
    e->MinQc = '8';
}

void MinimumStart(StatMinimumRec *m, int hhmm)
{
    m->Min = STAT_MIN_START;
    m->Time = hhmm;
    m->Qc = '8';
}

// Hour wind values. Until a valid minute takes it, the hour's maximum is
// unknown: direction 99999 and both QC characters '8', at start-up and at
// every hourly restart alike, so an hour without wind data never reads as a
// calm hour. The extreme's direction starts at 10 at start-up and at 0 at
// the hourly restart.
void WindHourStart(WindHourRec *w, int hhmm, bool startup)
{
    w->MaxWd = 99999;
    w->MaxWdQc = '8';
    w->MaxWs = 0;
    w->MaxWsQc = '8';
    w->MaxTime = hhmm;
    w->MaxTaken = 0;
    w->ExtWs = 0;
    w->ExtWd = startup ? 10 : 0;
    w->ExtQc = '0';
    w->ExtTime = hhmm;
    w->ExtTaken = 0;
}

void WindSensorStart(WindSensorStat *w, int hhmm)
{
    for (int i = 0; i < WIND_RING; ++i) {
        w->Ws1[i] = 0;
        w->Ws1Qc[i] = '8';
        w->Wd1[i] = 99999.0f;
        w->Wd1Qc[i] = '8';
    }
    WindHourStart(&w->Hour, hhmm, true);
    w->MinuteExtWs = 99999;
    w->MinuteExtWd = 99999;
}

void DmcdStart(DmcdStat *d, int hhmm)
{
    d->Max7 = 0;
    d->Max7Time = hhmm;
    d->Run8 = 0;
    d->Max8 = 0;
    d->Max8Time = hhmm;
    d->Max10 = STAT_MAX_START;
    d->Max10Time = hhmm;
    d->Min10 = STAT_MIN_START;
    d->Min10Time = hhmm;
    d->Max0 = STAT_MAX_START;
    d->Max0Time = hhmm;
    d->Min0 = STAT_MIN_START;
    d->Min0Time = hhmm;
}

void RadiStart(RadiStat *r, int hhmm)
{
    for (int i = 0; i < SRD_COUNT; ++i) {
        r->Sum[i] = 0;
        r->Max[i] = STAT_MAX_START;
        r->MaxTime[i] = hhmm;
    }
    r->R2Min = STAT_MIN_START;
    r->R2MinTime = hhmm;
    r->SunshineMinutes = 0;
}

// The main groups that restart every hour.
void MainHourStart(StatisticRec *s, int hhmm)
{
    for (StatExtremeRec &e : s->Ext)
        ExtremeStart(&e, hhmm);
    MinimumStart(&s->UMin, hhmm);
    s->Vis.Latest10 = -99999;
    MinimumStart(&s->Vis.Min10, hhmm);
    for (int32_t &r : s->RainSum)
        r = 0;
    s->Rat1cSum = 0;
    DmcdStart(&s->Dmcd, hhmm);
}

bool CountsForExtreme(char qc) { return qc == '0' || qc == '1'; }

// --- last-minute file image -------------------------------------------------

void PutWord(unsigned char *buf, int word, int32_t v)
{
    uint32_t u = uint32_t(v);
    unsigned char *p = buf + word * 4;
    p[0] = uint8_t(u);
    p[1] = uint8_t(u >> 8);
    p[2] = uint8_t(u >> 16);
    p[3] = uint8_t(u >> 24);
}

int32_t GetWord(const unsigned char *buf, int word)
{
    const unsigned char *p = buf + word * 4;
    uint32_t u = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return int32_t(u);
}

int32_t QcPair(char a, char b) { return int32_t(uint8_t(a)) | int32_t(uint8_t(b)) << 8; }
char QcLow(int32_t w) { return char(uint8_t(w)); }
char QcHigh(int32_t w) { return char(uint8_t(w >> 8)); }

// One list of the persisted words serves packing and unpacking, so the two
// can never disagree. Each entry moves one word between the record and the
// image; `put` selects the direction.
constexpr int kHourFirst = 1, kHourLast = 76, kHourTailFirst = 114, kHourTailLast = 125;
constexpr int kRadiFirst = 78, kRadiLast = 113;
static_assert((kHourLast - kHourFirst + 1) + (kHourTailLast - kHourTailFirst + 1) == 88,
              "the hour and day group is 88 words");

// Walks the word numbers of the hour and day group: 1-76 then 114-125.
struct HourWords {
    int next = kHourFirst;
    int Take()
    {
        int w = next;
        next = (next == kHourLast) ? kHourTailFirst : next + 1;
        return w;
    }
};

template <bool Put>
struct Mover {
    unsigned char *out;
    const unsigned char *in;
    void Int(int word, int32_t &v)
    {
        if constexpr (Put)
            PutWord(out, word, v);
        else
            v = GetWord(in, word);
    }
    void Qc2(int word, char &a, char &b)
    {
        if constexpr (Put) {
            PutWord(out, word, QcPair(a, b));
        } else {
            int32_t w = GetWord(in, word);
            a = QcLow(w);
            b = QcHigh(w);
        }
    }
};

// Hour and day group: 88 words.
//   8 x (max, time, min, time, QC max|QC min)            40
//   U minimum, time, QC                                     3
//   visibility ring 10, latest 1-min, latest 10-min,
//   minimum of the 10-min mean, time, QC                   15
//   rain sums                                               6
//   record hour wind: max speed, max dir, time,
//   QC speed|QC dir, extreme speed, dir, time, QC|taken     8
//   climate extremes                                       13
//   evaporation level and hour                              2
//   taken flag of the hour maximum                          1
template <bool Put>
void MoveHour(StatisticRec *s, Mover<Put> m)
{
    HourWords w;
    for (StatExtremeRec &e : s->Ext) {
        m.Int(w.Take(), e.Max);
        m.Int(w.Take(), e.MaxTime);
        m.Int(w.Take(), e.Min);
        m.Int(w.Take(), e.MinTime);
        m.Qc2(w.Take(), e.MaxQc, e.MinQc);
    }
    char spare = '\0';
    m.Int(w.Take(), s->UMin.Min);
    m.Int(w.Take(), s->UMin.Time);
    m.Qc2(w.Take(), s->UMin.Qc, spare);
    for (int32_t &r : s->Vis.Ring)
        m.Int(w.Take(), r);
    m.Int(w.Take(), s->Vis.Latest1);
    m.Int(w.Take(), s->Vis.Latest10);
    m.Int(w.Take(), s->Vis.Min10.Min);
    m.Int(w.Take(), s->Vis.Min10.Time);
    m.Qc2(w.Take(), s->Vis.Min10.Qc, spare);
    for (int32_t &r : s->RainSum)
        m.Int(w.Take(), r);
    WindHourRec &h = s->Wind;
    m.Int(w.Take(), h.MaxWs);
    m.Int(w.Take(), h.MaxWd);
    m.Int(w.Take(), h.MaxTime);
    m.Qc2(w.Take(), h.MaxWsQc, h.MaxWdQc);
    m.Int(w.Take(), h.ExtWs);
    m.Int(w.Take(), h.ExtWd);
    m.Int(w.Take(), h.ExtTime);
    char taken = char(h.ExtTaken ? 1 : 0);
    m.Qc2(w.Take(), h.ExtQc, taken);
    if constexpr (!Put)
        h.ExtTaken = taken ? 1 : 0;
    DmcdStat &d = s->Dmcd;
    for (int32_t *v : {&d.Max7, &d.Max7Time, &d.Run8, &d.Max8, &d.Max8Time, &d.Max10,
                       &d.Max10Time, &d.Min10, &d.Min10Time, &d.Max0, &d.Max0Time, &d.Min0,
                       &d.Min0Time})
        m.Int(w.Take(), *v);
    m.Int(w.Take(), s->LeLevel);
    m.Int(w.Take(), s->LeHour);
    m.Int(w.Take(), h.MaxTaken);
}

// Radiation group: 36 words (sum, maximum, time per element; R2 minimum and
// time; sunshine minutes).
static_assert(kRadiLast - kRadiFirst + 1 == 3 * SRD_COUNT + 3, "the radiation group is 36 words");
template <bool Put>
void MoveRadi(StatisticRec *s, Mover<Put> m)
{
    int w = kRadiFirst;
    for (int i = 0; i < SRD_COUNT; ++i) {
        m.Int(w++, s->Radi.Sum[i]);
        m.Int(w++, s->Radi.Max[i]);
        m.Int(w++, s->Radi.MaxTime[i]);
    }
    m.Int(w++, s->Radi.R2Min);
    m.Int(w++, s->Radi.R2MinTime);
    m.Int(w++, s->Radi.SunshineMinutes);
}

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool PlausibleTime(const struct tm *t)
{
    return t != nullptr && t->tm_mon >= 1 && t->tm_mon <= 12 && t->tm_mday >= 1 &&
           t->tm_mday <= StatDaysInMonth(t->tm_year, t->tm_mon) && t->tm_hour >= 0 &&
           t->tm_hour <= 23 && t->tm_year > -100000 && t->tm_year < 100000;
}

} // namespace

StatisticRec *Statistic = &g_statisticStore;

void StatisticValueSetAt(StatisticRec *s, int hhmm)
{
    if (s == nullptr)
        return;
    std::memset(s, 0, sizeof *s);
    MainHourStart(s, hhmm);
    for (int32_t &r : s->Vis.Ring)
        r = -99999;
    s->Vis.Latest1 = -99999;
    WindHourStart(&s->Wind, hhmm, true);
    WindSensorStart(&s->MachWind, hhmm);
    WindSensorStart(&s->UltWind, hhmm);
    for (char &m : s->Dmcd.Ws1Mark)
        m = '2';
    // The evaporation computation books its own hours; at start-up there
    // is no level yet and nothing evaporated.
    s->LeLevel = 0;
    s->LeHour = 0;
    RadiStart(&s->Radi, hhmm);
}

void StatisticValueReSetAt(StatisticRec *s, int kind, int hhmm)
{
    if (s == nullptr)
        return;
    if (kind == 0) {
        MainHourStart(s, hhmm);
        // The 10-minute wind rings run on across the hour; only the hour's
        // maximum and extreme start again.
        WindHourStart(&s->Wind, hhmm, false);
        WindHourStart(&s->MachWind.Hour, hhmm, false);
        WindHourStart(&s->UltWind.Hour, hhmm, false);
    } else if (kind == 1) {
        RadiStart(&s->Radi, hhmm);
    }
}

void StatisticValueSet()
{
    StatisticValueSetAt(Statistic, Hhmm(GetTime(0)));
}

void StatisticValueReSet(int kind)
{
    if (kind == 0) {
        StatisticValueReSetAt(Statistic, 0, Hhmm(GetTime(1)));
    } else if (kind == 1) {
        int td = defdata != nullptr ? defdata->Td : 0;
        StatisticValueReSetAt(Statistic, 1, Hhmm(GetTime(td + 1)));
        if (TemproraryData != nullptr)
            TemproraryData->SunshineMinutes = 0;
    }
}

int StatisticTakeMax(StatExtremeRec *e, int32_t value, char qc, int hhmm)
{
    if (e == nullptr || !CountsForExtreme(qc) || !(value > e->Max))
        return 0;
    e->Max = value;
    e->MaxTime = hhmm;
    e->MaxQc = qc;
    return 1;
}

int StatisticTakeMin(StatExtremeRec *e, int32_t value, char qc, int hhmm)
{
    if (e == nullptr || !CountsForExtreme(qc) || !(value < e->Min))
        return 0;
    e->Min = value;
    e->MinTime = hhmm;
    e->MinQc = qc;
    return 1;
}

int StatisticTakeExtreme(StatExtremeRec *e, int32_t value, char qc, int hhmm)
{
    int a = StatisticTakeMax(e, value, qc, hhmm);
    int b = StatisticTakeMin(e, value, qc, hhmm);
    return a | b;
}

int StatisticTakeMinimum(StatMinimumRec *m, int32_t value, char qc, int hhmm)
{
    if (m == nullptr || !CountsForExtreme(qc) || !(value < m->Min))
        return 0;
    m->Min = value;
    m->Time = hhmm;
    m->Qc = qc;
    return 1;
}

void StatisticPackLastMin(const StatisticRec *s, unsigned char buf[LASTMIN_BYTES])
{
    if (s == nullptr || buf == nullptr)
        return;
    StatisticRec copy = *s;   // the movers take non-const fields
    MoveHour(&copy, Mover<true>{buf, nullptr});
    MoveRadi(&copy, Mover<true>{buf, nullptr});
}

void StatisticUnpackHour(StatisticRec *s, const unsigned char buf[LASTMIN_BYTES])
{
    if (s == nullptr || buf == nullptr)
        return;
    MoveHour(s, Mover<false>{nullptr, buf});
}

void StatisticUnpackRadi(StatisticRec *s, const unsigned char buf[LASTMIN_BYTES])
{
    if (s == nullptr || buf == nullptr)
        return;
    MoveRadi(s, Mover<false>{nullptr, buf});
}

int StatDaysInMonth(int year, int mon)
{
    if (mon < 1 || mon > 12)
        return 31;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return (mon == 2 && leap) ? 29 : kMonthDays[mon - 1];
}

int GetLastHour(struct tm *t)
{
    if (!PlausibleTime(t))
        return 0;
    if (--t->tm_hour >= 0)
        return 1;
    t->tm_hour = 23;
    if (--t->tm_mday >= 1)
        return 1;
    if (--t->tm_mon < 1) {
        t->tm_mon = 12;
        --t->tm_year;
    }
    t->tm_mday = StatDaysInMonth(t->tm_year, t->tm_mon);
    return 1;
}

int GetNextHour(struct tm *t)
{
    if (!PlausibleTime(t))
        return 0;
    if (++t->tm_hour <= 23)
        return 1;
    t->tm_hour = 0;
    if (++t->tm_mday <= StatDaysInMonth(t->tm_year, t->tm_mon))
        return 1;
    t->tm_mday = 1;
    if (++t->tm_mon > 12) {
        t->tm_mon = 1;
        ++t->tm_year;
    }
    return 1;
}

int CalcNhoursBack(struct tm *t, int n)
{
    if (n < 0 || n >= 32768 || !PlausibleTime(t))
        return 0;
    for (int i = 0; i < n; ++i)
        GetLastHour(t);
    return 1;
}

int calculate_nhours_back(struct tm *t, int n)
{
    if (n < 0 || !PlausibleTime(t))
        return 0;
    struct tm r = *t;
    int days = n / 24;
    r.tm_hour -= n % 24;
    if (r.tm_hour < 0) {
        r.tm_hour += 24;
        ++days;
    }
    int months = 0;
    while (days > 0) {
        if (days < r.tm_mday) {
            r.tm_mday -= days;
            break;
        }
        // Into the last day of the previous month.
        days -= r.tm_mday;
        if (++months > 11)
            return 0;
        if (--r.tm_mon < 1) {
            r.tm_mon = 12;
            --r.tm_year;
        }
        r.tm_mday = StatDaysInMonth(r.tm_year, r.tm_mon);
    }
    *t = r;
    return 1;
}
