// OBSAMPLE: one line of current readings of one group of elements, so a
// technician at the station can watch it work. Reads only the live state
// (values, QC characters, board status records) and the minute figures the
// minute cycle keeps; never the sample store's rings.
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "processing/Dmgd.h"
#include "sampling/Sensortable.h"
#include "terminal/CommandHandlers.h"
#include "terminal/CommandReply.h"
#include "terminal/ListenToPc.h"

namespace {

// The reply line, cut at the reply slot's size. A cut line still ends with
// "\r\n" so the terminal sees one whole line.
struct Line {
    char text[SEND2PC_LEN];
    int len = 0;
    bool cut = false;

    void Add(const char *fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (cut)
            return;
        const int room = int(sizeof text) - 2 - len;   // keep two bytes for the line end
        va_list ap;
        va_start(ap, fmt);
        const int n = std::vsnprintf(text + len, std::size_t(room + 1), fmt, ap);
        va_end(ap);
        if (n < 0 || n > room) {
            cut = true;
            len = int(sizeof text) - 2;
            std::memcpy(text + len, "\r\n", 2);
            return;
        }
        len += n;
    }
};

enum class Fmt : uint8_t { F1, F2, Int };

struct ElementItem {
    const char *code;
    uint8_t index;
    Fmt fmt;
};

bool Valid(int index) { return TemproraryData->CurrentQc[index] == '0'; }

void Value(Line &l, Fmt fmt, double v)
{
    switch (fmt) {
    case Fmt::F1: l.Add("%0.1f ", v); break;
    case Fmt::F2: l.Add("%0.2f ", v); break;
    case Fmt::Int: l.Add("%d ", term::PinnedInt(v)); break;
    }
}

// "CODE:value " when the element's QC is '0', else "CODE:/ ".
void Element(Line &l, const ElementItem &it, double offset = 0.0)
{
    l.Add("%s:", it.code);
    if (Valid(it.index))
        Value(l, it.fmt, double(TemproraryData->CurrentValue[it.index]) + offset);
    else
        l.Add("/ ");
}

void Elements(Line &l, const ElementItem *items, int n)
{
    for (int i = 0; i < n; ++i)
        Element(l, items[i]);
}

bool CurrentGeneration() { return defdataEx == nullptr || defdataEx->Generation != 0; }

// A value of the minute record of the generation in use (0 before the
// minute cycle has filled one).
int32_t MinuteField(bool current, int field)
{
    if (FileSave == nullptr)
        return 0;
    return current ? FileSave->Dmgd.Value[field] : FileSave->DmgdOld.Value[field];
}

// The weighing gauge's two amounts (0.1 mm) as its reader last decoded
// them.
void WeighingGauge(int32_t *first, int32_t *second)
{
    *first = TemproraryData->RawWeight[0];
    *second = TemproraryData->RawWeight[1];
}

// Board temperature and supply voltage of a sub-unit, by its state: 'N'
// not fitted, '9'/'2' fitted but not heard, else the readings.
void SubUnitTail(Line &l, char state, float temp, float volt, bool spaceAfterSlash)
{
    if (state == 'N') {
        l.Add("MBTEMP:- POWER:- \r\n");
    } else if (state == '9' || state == '2') {
        l.Add("MBTEMP:/ ");
        l.Add(spaceAfterSlash ? "POWER:/ \r\n" : "POWER:/\r\n");
    } else {
        l.Add("MBTEMP:%0.1f POWER:%0.1f\r\n", double(temp), double(volt));
    }
}

void SubCollectorTail(Line &l, int which)
{
    const SubCollectorStat &s = TemproraryData->SubStat[which];
    // Copies: the record is packed.
    float temp = s.Reading2, volt = s.Reading1;
    SubUnitTail(l, s.State, temp, volt, true);
}

void ExtBoardTail(Line &l, const ExtBoardStat &s)
{
    float temp = s.BoardTemp, volt = s.SupplyVoltage;
    SubUnitTail(l, s.State, temp, volt, false);
}

// ---- the groups ------------------------------------------------------------

constexpr int kMainRefresh[] = {EL_P, EL_T0, EL_U, EL_WD, EL_WS, EL_LE, EL_RAT, EL_VI};
constexpr ElementItem kMainFirst[] = {
    {"P", EL_P, Fmt::F1}, {"T0", EL_T0, Fmt::F2}, {"U", EL_U, Fmt::Int},
    {"WD", EL_WD, Fmt::Int}, {"WS", EL_WS, Fmt::F1},
};
constexpr ElementItem kMainLe = {"LE", EL_LE, Fmt::F2};
constexpr ElementItem kMainLast[] = {{"VI", EL_VI, Fmt::Int}, {"SD", EL_SD, Fmt::Int}};

void MainGroup(Line &l)
{
    TemproraryDataRec &td = *TemproraryData;
    // The terminal process receives no samples itself: take the latest QC
    // characters the samplers published.
    if (g_ucpSampleDataQc != nullptr)
        for (int idx : kMainRefresh)
            td.CurrentQc[idx] = char(g_ucpSampleDataQc[idx]);
    Elements(l, kMainFirst, int(std::size(kMainFirst)));
    float calib = defdata->LESensorCalib;
    Element(l, kMainLe, double(calib));

    bool cur = CurrentGeneration();
    int32_t ratSum = MinuteField(cur, DMGD_F_RAT + 1);
    if (Valid(EL_RAT))
        l.Add("RAT:%0.1f SUM:%0.1f ", MinuteField(cur, DMGD_F_RAT) / 10.0, ratSum / 10.0);
    else
        l.Add("RAT:/ SUM:%0.1f ", ratSum / 10.0);
    int32_t raw, rawSum;
    WeighingGauge(&raw, &rawSum);
    l.Add("RAW:%0.1f SUM:%0.1f ", raw / 10.0, rawSum / 10.0);
    Elements(l, kMainLast, int(std::size(kMainLast)));

    const MainCollectorStat &m = td.MainStat;
    float mact = m.Mact, volt = m.SupplyVoltage;
    char door = m.DoorState;
    l.Add("DOOR:%c MBTEMP:%0.1f POWER:%0.1f\r\n", door, double(mact), double(volt));
}

constexpr ElementItem kClim[] = {
    {"T1", EL_T1, Fmt::F2},   {"T2", EL_T2, Fmt::F2},   {"T3", EL_T3, Fmt::F2},
    {"SV1", EL_SV1, Fmt::F1}, {"SV2", EL_SV2, Fmt::F1}, {"SV3", EL_SV3, Fmt::F1},
    {"WS1", EL_WS1, Fmt::F1}, {"IR", EL_IR, Fmt::F2},
};

void ClimGroup(Line &l)
{
    const TemproraryDataRec &td = *TemproraryData;
    Elements(l, kClim, int(std::size(kClim)));
    // Only the older minute record carries the second rain counter.
    int32_t sum = MinuteField(false, DMGD_OLD_F_RAT1_C + 1);
    if (Valid(EL_RAT1_C))
        l.Add("RAT1_C:%0.1f SUM:%0.1f ", MinuteField(false, DMGD_OLD_F_RAT1_C) / 10.0, sum / 10.0);
    else
        l.Add("RAT1_C:/ SUM:%0.1f ", sum / 10.0);
    // The second label names the third channel too, as the station's
    // terminals have always shown it.
    int32_t f0 = td.ClimFreq[0], f1 = td.ClimFreq[1], f2 = td.ClimFreq[2];
    l.Add("RAW1 FREQ:%d RAW2 FREQ:%d RAW2 FREQ:%d ", int(f0), int(f1), int(f2));
    int32_t raw, rawSum;
    WeighingGauge(&raw, &rawSum);
    l.Add("RAW %d %d ", int(raw), int(rawSum));
    SubCollectorTail(l, SUB_CLIM);
}

constexpr ElementItem kRadi[] = {
    {"GR", EL_GR, Fmt::F2},   {"NR", EL_NR, Fmt::F2},   {"DR", EL_DR, Fmt::F2},
    {"SR", EL_SR, Fmt::F2},   {"RR", EL_RR, Fmt::F2},   {"UR", EL_UR, Fmt::F2},
    {"UVA", EL_UVA, Fmt::F2}, {"UVB", EL_UVB, Fmt::F2}, {"AR", EL_AR, Fmt::F2},
    {"TR", EL_TR, Fmt::F2},   {"PR", EL_PR, Fmt::F2},
};

void RadiGroup(Line &l)
{
    const TemproraryDataRec &td = *TemproraryData;
    Elements(l, kRadi, int(std::size(kRadi)));
    // The minute's sunshine flag, then the hour's sunshine minutes.
    int32_t minutes = td.SunshineMinutes;
    l.Add("SSD:%d %d ", term::PinnedInt(double(td.CurrentValue[EL_SSD])), int(minutes));
    SubCollectorTail(l, SUB_RADI);
}

constexpr ElementItem kSoil[] = {
    {"SM1", EL_SM1, Fmt::F2},     {"SM2", EL_SM1 + 1, Fmt::F2}, {"SM3", EL_SM1 + 2, Fmt::F2},
    {"SM4", EL_SM1 + 3, Fmt::F2}, {"SM5", EL_SM1 + 4, Fmt::F2}, {"SM6", EL_SM1 + 5, Fmt::F2},
    {"SM7", EL_SM1 + 6, Fmt::F2}, {"SM8", EL_SM1 + 7, Fmt::F2},
};

void SoilGroup(Line &l)
{
    Elements(l, kSoil, int(std::size(kSoil)));
    SubCollectorTail(l, SUB_SOIL);
}

constexpr ElementItem kEath[] = {
    {"TG", EL_TG, Fmt::F2},      {"ST0", EL_ST0, Fmt::F2},    {"ST1", EL_ST1, Fmt::F2},
    {"ST2", EL_ST1 + 1, Fmt::F2}, {"ST3", EL_ST1 + 2, Fmt::F2}, {"ST4", EL_ST1 + 3, Fmt::F2},
    {"ST5", EL_ST1 + 4, Fmt::F2}, {"ST6", EL_ST1 + 5, Fmt::F2}, {"ST7", EL_ST1 + 6, Fmt::F2},
    {"ST8", EL_ST8, Fmt::F2},
};

void EathGroup(Line &l)
{
    Elements(l, kEath, int(std::size(kEath)));
    SubCollectorTail(l, SUB_EATH);
}

constexpr ElementItem kTair[] = {{"T01", EL_T01, Fmt::F2}, {"T02", EL_T02, Fmt::F2}, {"T03", EL_T03, Fmt::F2}};

void TairGroup(Line &l)
{
    Elements(l, kTair, int(std::size(kTair)));
    ExtBoardTail(l, TemproraryData->TairStat);
}

constexpr ElementItem kRain[] = {{"RAT1", EL_RAT1, Fmt::F2}, {"RAT2", EL_RAT2, Fmt::F2}, {"RAT3", EL_RAT3, Fmt::F2}};

void RainGroup(Line &l)
{
    Elements(l, kRain, int(std::size(kRain)));
    ExtBoardTail(l, TemproraryData->RainStat);
}

struct Group {
    char name[5];
    void (*build)(Line &);
};
constexpr Group kGroups[] = {
    {"MAIN", MainGroup}, {"CLIM", ClimGroup}, {"RADI", RadiGroup}, {"SOIL", SoilGroup},
    {"EATH", EathGroup}, {"TAIR", TairGroup}, {"RAIN", RainGroup},
};

} // namespace

int GetOBSample(const char *parameter)
{
    if (parameter == nullptr || TemproraryData == nullptr || defdata == nullptr)
        return 0;
    // Only the first four characters count: "MAINX" is MAIN.
    const Group *group = nullptr;
    for (const Group &g : kGroups)
        if (std::strncmp(parameter, g.name, 4) == 0)
            group = &g;
    if (group == nullptr)
        return 0;

    Line line;
    struct tm now = *GetTime(0);
    line.Add("%02d:%02d:%02d ", now.tm_hour, now.tm_min, now.tm_sec);
    group->build(line);
    PrePareSend2PcLen(line.text, line.len);
    return 0;
}
