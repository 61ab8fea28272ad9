#include "processing/HourRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "processing/Dmgd.h"
#include "processing/HourLookup.h"
#include "processing/MinuteRecords.h"
#include "processing/Statistic.h"

namespace {

DhgdRec g_dhgd;
DhgdOldRec g_dhgdOld;
DhcdRec g_dhcd;
DhrdRec g_dhrd;
DhgdnzRec g_dhgdnz;
char g_dhgdText[DHGD_SLOT];
char g_dhgdOldText[HOUR_SLOT];
char g_dhcdText[HOUR_SLOT];
char g_dhrdText[HOUR_SLOT];
char g_dhgdnzText[DHGDNZ_SLOT];
// The hour each text was stamped with, for its CF twin.
struct tm g_dhgdTime, g_dhgdOldTime, g_dhcdTime, g_dhrdTime, g_dhgdnzTime;

// A minute record's elements as plain arrays (the records are packed).
struct MinuteView {
    char flag[64];
    char qc[64];
    int32_t v[64];
};
template <int N>
MinuteView View(const MinuteRecord<N> &m)
{
    static_assert(N <= 64);
    MinuteView x{};
    std::memcpy(x.flag, m.Flag, N);
    std::memcpy(x.qc, m.Qc, N);
    for (int i = 0; i < N; ++i)
        x.v[i] = m.Value[i];
    return x;
}

template <int N, int F>
void Clear(HourRecord<N, F> &r, const struct tm &t)
{
    std::memset(&r, 0, sizeof r);
    char buf[20] = {};
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d", t.tm_year, t.tm_mon, t.tm_mday,
                  t.tm_hour);
    std::memcpy(r.Time, buf, sizeof buf);
    std::memset(r.Flag, '0', F);
    std::memset(r.Qc, 'N', F);
}

// Fills an hourly record from one minute record and the statistics.
template <int N, int F>
struct Builder {
    HourRecord<N, F> &r;
    const MinuteView &m;
    void Copy(int i, int j)
    {
        r.Value[i] = m.v[j];
        r.Flag[i] = m.flag[j] == '1' ? '1' : '0';
        r.Qc[i] = m.qc[j];
    }
    void Copies(int i, std::initializer_list<int> from)
    {
        for (int j : from)
            Copy(i++, j);
    }
    void Stat(int i, int32_t v, int flagFrom, char qc)
    {
        r.Value[i] = v;
        r.Flag[i] = m.flag[flagFrom] == '1' ? '1' : '0';
        r.Qc[i] = qc;
    }
    // Maximum, its time, minimum, its time.
    void Extreme(int i, const StatExtremeRec &e, int flagFrom)
    {
        Stat(i, e.Max, flagFrom, e.MaxQc);
        Stat(i + 1, e.MaxTime, flagFrom, e.MaxQc);
        Stat(i + 2, e.Min, flagFrom, e.MinQc);
        Stat(i + 3, e.MinTime, flagFrom, e.MinQc);
    }
    // The same four, all with the flag and QC of one minute element.
    void Four(int i, int32_t max, int32_t maxTime, int32_t min, int32_t minTime, int from)
    {
        char q = m.qc[from];
        Stat(i, max, from, q);
        Stat(i + 1, maxTime, from, q);
        Stat(i + 2, min, from, q);
        Stat(i + 3, minTime, from, q);
    }
    void Wind(int i, const WindHourRec &w, int maxWdFlag, int maxWsFlag, int extWdFlag, int extWsFlag)
    {
        Stat(i, w.MaxWd, maxWdFlag, w.MaxWdQc);
        Stat(i + 1, w.MaxWs, maxWsFlag, w.MaxWsQc);
        Stat(i + 2, w.MaxTime, maxWsFlag, w.MaxWsQc);
        Copies(i + 3, {4, 5});
        Stat(i + 5, w.ExtWd, extWdFlag, w.ExtWd == 99999 ? '8' : '0');
        Stat(i + 6, w.ExtWs, extWsFlag, '0');
        Stat(i + 7, w.ExtTime, extWdFlag, '0');
    }
};

template <int N, int F>
int ToText(const RecordFileLayout &layout, const HourRecord<N, F> &r, char *text,
           const int32_t *tail = nullptr, int tailCount = 0, const char *suffix = nullptr,
           int suffixLen = 0)
{
    int32_t values[N];
    for (int i = 0; i < N; ++i)
        values[i] = r.Value[i];
    RecordTextInput in{nullptr, r.Time, r.Flag, r.Qc, values, tail, tailCount, suffix, suffixLen};
    return StationRecordText(layout.text, in, text, std::size_t(layout.slotSize));
}

bool Ready() { return FileSave != nullptr && defdata != nullptr && Statistic != nullptr; }

int SaveNand(const RecordFileLayout &layout, const struct tm &t, const char *func, const char *text)
{
    return SaveRecordSlot(layout, {"/mnt/nand3", &t, func, true}, text, nullptr);
}

// Computes, converts and stores an hourly record on NAND, stamped
// `ahead` minutes from now.
template <typename Rec, std::size_t Len>
int SaveHour(Rec &rec, struct tm &when, int ahead, void (*calc)(Rec *, const struct tm &),
             int (*text)(const Rec *, char *), char (&buf)[Len], int kind,
             const RecordFileLayout &layout, const char *func)
{
    if (!Ready())
        return -1;
    when = *GetTime(ahead);
    calc(&rec, when);
    text(&rec, buf);
    RecordLiveCopy(kind, buf, Len);
    return SaveNand(layout, when, func, buf);
}

int SaveCf(const RecordFileLayout &layout, const struct tm &t, const char *func, const char *text)
{
    if (!RecordCfUsable())
        return -1;
    return SaveRecordSlot(layout, {"/mnt/cf", &t, func, false}, text, nullptr);
}

} // namespace

void DhgdCalculate(DhgdRec *r, const struct tm &t)
{
    Clear(*r, t);
    const StatisticRec &s = *Statistic;
    MinuteView m = View(FileSave->Dmgd);
    Builder<DHGD_FIELDS, DHGD_FIELDS> b{*r, m};
    b.Copies(0, {0, 1, 2, 3});
    b.Wind(4, s.Wind, 3, 3, 4, 5);
    b.Copies(12, {7, 9, 11, 13, 15, 17, 19});
    static constexpr int kExt[5][2] = {{19, 20}, {24, 21}, {29, 22}, {34, 23}, {39, 24}};
    for (int k = 0; k < 5; ++k) {
        b.Copy(kExt[k][0], kExt[k][1]);
        b.Extreme(kExt[k][0] + 1, s.Ext[SX_T0 + k], kExt[k][1]);
    }
    b.Copies(44, {25, 26});
    b.Stat(46, s.UMin.Min, 26, s.UMin.Qc);
    b.Stat(47, s.UMin.Time, 26, s.UMin.Qc);
    b.Copies(48, {27, 28, 29});
    b.Extreme(51, s.Ext[SX_P], 29);
    b.Copy(55, 30);
    b.Extreme(56, s.Ext[SX_TG], 30);
    b.Copy(60, 31);
    b.Extreme(61, s.Ext[SX_ST0], 31);
    for (int i = 0; i < 11; ++i)
        b.Copy(65 + i, 32 + i);
    b.Stat(76, s.Vis.Latest10, 43, m.qc[43]);
    b.Stat(77, s.Vis.Min10.Min, 43, s.Vis.Min10.Qc);
    b.Stat(78, s.Vis.Min10.Time, 43, s.Vis.Min10.Qc);
    for (int i = 0; i < 13; ++i)
        b.Copy(79 + i, 44 + i);
}

void DhgdCalculate_Old(DhgdOldRec *r, const struct tm &t)
{
    Clear(*r, t);
    const StatisticRec &s = *Statistic;
    MinuteView m = View(FileSave->DmgdOld);
    Builder<DHGD_OLD_FIELDS, DHGD_OLD_FIELDS> b{*r, m};
    b.Copies(0, {0, 1, 2, 3});
    b.Wind(4, s.Wind, 4, 3, 4, 5);
    b.Copies(12, {7, 9, 11, 12});
    b.Extreme(16, s.Ext[SX_T0], 12);
    b.Copies(20, {13, 14});
    b.Stat(22, s.UMin.Min, 14, s.UMin.Qc);
    b.Stat(23, s.UMin.Time, 14, s.UMin.Qc);
    b.Copies(24, {15, 16, 17});
    b.Extreme(27, s.Ext[SX_P], 17);
    b.Copy(31, 18);
    b.Extreme(32, s.Ext[SX_TG], 18);
    b.Copy(36, 19);
    b.Extreme(37, s.Ext[SX_ST0], 19);
    for (int i = 0; i < 11; ++i)
        b.Copy(41 + i, 20 + i);
    int32_t latest = s.Vis.Latest10;
    int32_t min = s.Vis.Min10.Min;
    auto marker = [](int32_t v) { return v == 99999 || v == -99999; };
    if (!marker(latest) && !marker(min) && latest < min)
        min = latest;
    b.Stat(52, latest, 31, m.qc[31]);
    b.Stat(53, min, 31, s.Vis.Min10.Qc);
    b.Stat(54, s.Vis.Min10.Time, 31, s.Vis.Min10.Qc);
    for (int i = 0; i < 13; ++i)
        b.Copy(55 + i, 32 + i);
}

void DhcdCalculate(DhcdRec *r, const struct tm &t)
{
    Clear(*r, t);
    const StatisticRec &s = *Statistic;
    const DmcdStat &d = s.Dmcd;
    MinuteView m = View(DmcdRecord());
    Builder<DHCD_FIELDS, DHCD_FIELDS> b{*r, m};
    b.Copy(0, 0);
    const StatExtremeRec &t0 = s.Ext[SX_T0];
    b.Four(1, t0.Max, t0.MaxTime, t0.Min, t0.MinTime, 0);
    b.Copies(5, {1, 3, 5, 6, 7});
    b.Stat(10, d.Max7, 6, '0');
    b.Stat(11, d.Max7Time, 6, '0');
    b.Copy(12, 8);
    b.Stat(13, d.Max8, 8, m.qc[8]);
    b.Stat(14, d.Max8Time, 8, m.qc[8]);
    b.Copy(15, 9);
    const StatExtremeRec &st0 = s.Ext[SX_ST0];
    b.Four(16, st0.Max, st0.MaxTime, st0.Min, st0.MinTime, 9);
    b.Copy(20, 10);
    b.Four(21, d.Max10, d.Max10Time, d.Min10, d.Min10Time, 10);
}

void DhrdCalculate(DhrdRec *r, const struct tm &t)
{
    Clear(*r, t);
    const RadiStat &rs = Statistic->Radi;
    MinuteView m = View(DmrdRecord());
    Builder<DHRD_FIELDS, DHRD_FIELDS> b{*r, m};
    // Each radiation pair with the hour's maximum of its irradiance (flag
    // of the exposure, QC '0'): hourly element, minute irradiance, stat.
    struct Pair {
        int at, irr, stat;
    };
    static constexpr Pair kPairs[] = {{0, 0, SRD_R0},    {10, 4, SRD_R4},   {15, 7, SRD_R7},
                                      {19, 9, SRD_R9},   {26, 14, SRD_R14}, {30, 16, SRD_R16},
                                      {34, 18, SRD_R18}, {38, 20, SRD_R20}, {42, 22, SRD_R22},
                                      {46, 24, SRD_R24}};
    for (const Pair &p : kPairs) {
        b.Copies(p.at, {p.irr, p.irr + 1});
        b.Stat(p.at + 2, rs.Max[p.stat], p.irr + 1, '0');
        b.Stat(p.at + 3, rs.MaxTime[p.stat], p.irr + 1, '0');
    }
    b.Copies(4, {2, 3});
    b.Stat(6, rs.Max[SRD_R2], 3, '0');
    b.Stat(7, rs.MaxTime[SRD_R2], 3, '0');
    b.Stat(8, rs.R2Min, 3, '0');
    b.Stat(9, rs.R2MinTime, 3, '0');
    b.Copy(14, 6);
    b.Stat(23, std::min<int32_t>(rs.SunshineMinutes, 60), 11, '0');
    b.Copies(24, {12, 13});
}

void DhodCalculate() {}
void DhsdCalculate() {}

int DhgdStruct2Ascii(const DhgdRec *r, char *text) { return ToText(kDhgdLayout, *r, text); }
int DhgdStruct2Ascii_Old(const DhgdOldRec *r, char *text) { return ToText(kDhgdOldLayout, *r, text); }
int DhcdStruct2Ascii(const DhcdRec *r, char *text) { return ToText(kDhcdLayout, *r, text); }
int DhrdStruct2Ascii(const DhrdRec *r, char *text) { return ToText(kDhrdLayout, *r, text); }
int DhgdnzStruct2Ascii(const DhgdnzRec *r, const char *rain, char *text)
{
    int32_t tail[DHGDNZ_TAIL];
    for (int i = 0; i < DHGDNZ_TAIL; ++i)
        tail[i] = r->Value[DHGD_OLD_FIELDS + i];
    return ToText(kDhgdnzLayout, *r, text, tail, DHGDNZ_TAIL, rain, DHGDNZ_RAIN_LEN);
}

int DhgdSave()
{
    return SaveHour(g_dhgd, g_dhgdTime, 1, DhgdCalculate, DhgdStruct2Ascii, g_dhgdText, REC_DHGD,
                    kDhgdLayout, "DhgdSave");
}

int DhgdSaveCF() { return SaveCf(kDhgdLayout, g_dhgdTime, "DhgdSaveCF", g_dhgdText); }

namespace {
void BuildDhgdOld()
{
    g_dhgdOldTime = *GetTime(1);
    DhgdCalculate_Old(&g_dhgdOld, g_dhgdOldTime);
    DhgdStruct2Ascii_Old(&g_dhgdOld, g_dhgdOldText);
}
} // namespace

int DhgdSave_Old()
{
    return SaveHour(g_dhgdOld, g_dhgdOldTime, 1, DhgdCalculate_Old, DhgdStruct2Ascii_Old,
                    g_dhgdOldText, REC_DHGD, kDhgdOldLayout, "DhgdSave_Old");
}

int DhgdSaveCF_Old() { return SaveCf(kDhgdOldLayout, g_dhgdOldTime, "DhgdSaveCF_Old", g_dhgdOldText); }

int SaveDhgdnzData(const char *text)
{
    g_dhgdnzTime = *GetTime(1);
    return SaveNand(kDhgdnzLayout, g_dhgdnzTime, "DhgdnzSave", text);
}

int DhgdnzSave()
{
    if (!Ready())
        return -1;
    BuildDhgdOld();
    // The old hourly text goes into the slot first, so that the lookups of
    // the derived items find this hour too; it is 512 bytes and the slot
    // 1024, so it is placed into a cleared slot-sized buffer.
    static char first[DHGDNZ_SLOT];
    std::memset(first, 0, sizeof first);
    std::memcpy(first, g_dhgdOldText, sizeof g_dhgdOldText);
    first[DHGDNZ_SLOT - 2] = '\r';
    first[DHGDNZ_SLOT - 1] = '\n';
    SaveDhgdnzData(first);

    std::memset(&g_dhgdnz, 0, sizeof g_dhgdnz);
    std::memcpy(g_dhgdnz.Time, g_dhgdOld.Time, sizeof g_dhgdnz.Time);
    std::memcpy(g_dhgdnz.Flag, g_dhgdOld.Flag, sizeof g_dhgdnz.Flag);
    std::memcpy(g_dhgdnz.Qc, g_dhgdOld.Qc, sizeof g_dhgdnz.Qc);
    std::memcpy(g_dhgdnz.Value, g_dhgdOld.Value, sizeof g_dhgdOld.Value);
    Dhgd_Nw_ItemCal(&g_dhgdnz, g_dhgdnzTime);
    char rain[DHGDNZ_RAIN_LEN];
    Cal120MinRain(GetTime(0), rain);
    DhgdnzStruct2Ascii(&g_dhgdnz, rain, g_dhgdnzText);
    RecordLiveCopy(REC_DHGDNZ, g_dhgdnzText, sizeof g_dhgdnzText);
    return SaveDhgdnzData(g_dhgdnzText);
}

int DhgdnzSaveCF() { return SaveCf(kDhgdnzLayout, g_dhgdnzTime, "DhgdnzSaveCF", g_dhgdnzText); }

int DhcdSave()
{
    return SaveHour(g_dhcd, g_dhcdTime, 1, DhcdCalculate, DhcdStruct2Ascii, g_dhcdText, REC_DHCD,
                    kDhcdLayout, "DhcdSave");
}

int DhcdSaveCF() { return SaveCf(kDhcdLayout, g_dhcdTime, "DhcdSaveCF", g_dhcdText); }

int DhrdSave()
{
    int td = defdata != nullptr ? defdata->Td : 0;
    return SaveHour(g_dhrd, g_dhrdTime, td + 1, DhrdCalculate, DhrdStruct2Ascii, g_dhrdText,
                    REC_DHRD, kDhrdLayout, "DhrdSave");
}

int DhrdSaveCF() { return SaveCf(kDhrdLayout, g_dhrdTime, "DhrdSaveCF", g_dhrdText); }

int DhodSave() { return 0; }
int DhsdSave() { return 0; }
