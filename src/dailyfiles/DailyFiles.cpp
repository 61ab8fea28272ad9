#include "dailyfiles/DailyFiles.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <iterator>

#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "dailyfiles/DailyLine.h"
#include "processing/Dmgd.h"
#include "processing/SlotFile.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"

namespace {

constexpr int LABEL = 4;   // "HHMM" at the start of every minute line
constexpr const char *kVersion = "V1.00";

// ---- minute lines of GG and RR -------------------------------------------

using S = DailySrc;
using F = DailyFmt;
constexpr DailyField M(int e, F f = F::Pad4, const char *wrong = nullptr)
{
    return DailyField{S::Main, uint8_t(e), f, wrong};
}
constexpr DailyField C(int e, F f = F::Pad4) { return DailyField{S::Clim, uint8_t(e), f}; }
constexpr DailyField kDashes{S::None, 0, F::Dashes};

constexpr DailyField kGG[] = {
    M(0), M(1), M(2), M(3), M(4), M(5), C(6), C(7), C(8),
    M(6, F::Zero4), M(7, F::Zero4), M(8, F::Zero4), M(9, F::Zero4), M(10, F::Zero4),
    M(11, F::Zero4), M(12, F::Zero4), M(13, F::Zero4), M(14, F::Zero4), M(15, F::Zero4),
    M(16, F::Zero4), M(17, F::Zero4), M(18, F::Zero4), M(19, F::Zero4),
    M(20), M(21), M(22), M(23), M(24), C(1), C(0), M(25, F::Star), M(26), M(26), M(27), M(28),
    M(29, F::Pad5), M(30), M(31), C(10), M(32), M(33), M(34), M(35), M(36), M(37), M(38), M(39),
    M(40, F::Pad4, "-999"), M(41), M(42, F::Pad5), M(43, F::Pad5), M(44, F::Pad5), M(45), M(46),
    kDashes, M(48), M(49), M(50), M(51), M(52),
};
static_assert(std::size(kGG) == 60 && LABEL + DailyFieldsWidth(kGG) == 256);
static_assert(256 + 60 + 2 == GG_LINE);

constexpr DailyField kGGOld[] = {
    M(0), M(1), M(2), M(3), M(4), M(5), C(6), C(7), C(8),
    M(6, F::Zero4), M(7, F::Zero4), C(2, F::Zero4), C(3, F::Zero4), M(10, F::Zero4),
    M(11, F::Zero4), M(12), C(1), C(0), M(13, F::Star), M(14), M(14), M(15), M(16),
    M(17, F::Pad5), M(18), M(19), C(10), M(20), M(21), M(22), M(23), M(24), M(25), M(26), M(27),
    M(28, F::Pad4, "////"), M(29), M(30, F::Pad5), M(31, F::Pad5), M(32, F::Pad5), M(33), M(34),
    kDashes, M(36), M(37), M(38), M(39), M(40),
};
static_assert(std::size(kGGOld) == 48 && LABEL + DailyFieldsWidth(kGGOld) == 208);
static_assert(208 + 48 + 2 == GG_LINE_OLD);

constexpr DailyField R(int e) { return DailyField{S::Radi, uint8_t(e), F::Cut4}; }
constexpr DailyField kRR[] = {
    R(0),  R(1),  R(2),  R(3),  R(4),  R(5),  R(6),  R(7),  R(8),  R(9),  R(10), R(11), R(12),
    R(13), R(14), R(15), R(16), R(17), R(18), R(19), R(20), R(21), R(22), R(23), R(24), R(25),
};
static_assert(LABEL + DailyFieldsWidth(kRR) + DMRD_FIELDS + 2 == RR_LINE);

void RecordLine(char *line, int size, const DailyField *table, int n, int hour, int minute,
                const MinuteView *main, const MinuteView *clim, const MinuteView *radi)
{
    std::memset(line, '-', std::size_t(size));
    FixedLine l{line, size};
    l.Put(0, LABEL, "%02d%02d", hour, minute);
    DailyFieldsPrint(l, LABEL, table, n, main, clim, radi);
    l.End();
}

void GGLine(const char *dmgd, const char *dmcd, char *line, bool old)
{
    MinuteView g, c;
    MinuteViewParse(dmgd, RECORD_TEXT_LEN, old ? DMGD_OLD_FIELDS : DMGD_FIELDS, &g);
    MinuteViewParse(dmcd, RECORD_TEXT_LEN, DMCD_FIELDS, &c);
    struct tm now = *GetTime(0);
    if (old)
        RecordLine(line, GG_LINE_OLD, kGGOld, int(std::size(kGGOld)), now.tm_hour, now.tm_min, &g,
                   &c, nullptr);
    else
        RecordLine(line, GG_LINE, kGG, int(std::size(kGG)), now.tm_hour, now.tm_min, &g, &c,
                   nullptr);
}

// ---- ST minute line --------------------------------------------------------

bool Enabled(int e) { return defdata != nullptr && defdata->ElementEnable[e] == '1'; }
bool NotDisabled(int e) { return defdata != nullptr && defdata->ElementEnable[e] != '0'; }

int Times10(const FixedLine &l, int pos, float v) { return l.Put(pos, 4, "%04d", int(DailyTimes10(v))); }

// A status group whose state is 'N' (not configured) or '9'/'2' (not heard)
// shows the state and then the dash or slash pattern of its fields.
int Unheard(const FixedLine &l, int pos, char state, const char *pattern)
{
    char fill = state == 'N' ? '-' : '/';
    l.Bytes(pos++, &state, 1);
    for (const char *p = pattern; *p != '\0'; ++p)
        l.Fill(pos++, *p == '.' ? fill : *p, 1);
    return pos;
}
bool Quiet(char state) { return state == 'N' || state == '9' || state == '2'; }

// State, a reading x10, a character, a reading x10, two characters.
int StatusWords(const FixedLine &l, int pos, char state, float r1, char c, float r2, char f1, char f2)
{
    l.Bytes(pos, &state, 1);
    Times10(l, pos + 1, r1);
    l.Bytes(pos + 5, &c, 1);
    Times10(l, pos + 6, r2);
    l.Bytes(pos + 10, &f1, 1);
    l.Bytes(pos + 11, &f2, 1);
    return pos + 12;
}

int SubGroup(const FixedLine &l, int pos, const SubCollectorStat &s)
{
    if (Quiet(s.State))
        return Unheard(l, pos, s.State, "...........");
    return StatusWords(l, pos, s.State, s.Reading1, s.State2, s.Reading2, s.Flag1, s.Flag2);
}

int TerhGroup(const FixedLine &l, int pos, const TerhStat &t)
{
    char state = t.State1;
    if (Quiet(state))
        return Unheard(l, pos, state, "...........");
    return l.Put(pos, 12, "%c%04d%c%04d%c%c", state, t.Reading1 * 10, t.State2, t.Reading2 * 10,
                 t.State3, t.Flag);
}

int BoardGroup(const FixedLine &l, int pos, const ExtBoardStat &b)
{
    if (Quiet(b.State))
        return Unheard(l, pos, b.State, "..............");
    pos = StatusWords(l, pos, b.State, b.SupplyVoltage, b.VoltageLow, b.BoardTemp, b.Ch1, b.Ch2);
    char count = char('0' + b.Status1);
    l.Bytes(pos, &count, 1);
    return l.Put(pos + 1, 2, "%02d", int(b.Status2));
}

// Bytes 0-97, the same in both generations: time, main unit, the five
// sub-units and the temperature-humidity unit.
int StatusHead(const FixedLine &l, const TemproraryDataRec &td)
{
    struct tm now = *GetTime(0);
    l.Put(0, LABEL, "%02d%02d", now.tm_hour, now.tm_min);
    l.Fill(4, '0', 1);
    MainCollectorStat m = td.MainStat;
    Times10(l, 5, m.SupplyVoltage);
    l.Bytes(9, &m.PowerKind, 1);
    Times10(l, 10, m.Mact);
    l.Bytes(14, &m.TerhState, 1);
    l.Bytes(15, &m.WindState, 1);
    l.Bytes(16, &m.CfState, 1);
    if (m.CfState == '0')
        l.Put(17, 4, "%04d", int(m.CFSpace));
    else
        l.Fill(17, '-', 4);
    // A state no process has set yet (the listener's before its first pass)
    // is a zero byte in the segment; the line is text, so it shows as not
    // yet known.
    int pos = 21;
    for (char state : {m.GpsState, m.DoorState, m.CanExtState, m.ListenState, m.CanBusState}) {
        char c = state == '\0' ? '9' : state;
        l.Bytes(pos++, &c, 1);
    }
    for (int sub : {SUB_CLIM, SUB_RADI, SUB_EATH, SUB_SOIL, SUB_SEAA})
        pos = SubGroup(l, pos, td.SubStat[sub]);
    return TerhGroup(l, pos, td.Terh);
}

int Latest(const FixedLine &l, int pos, const TemproraryDataRec &td, int e)
{
    if (!Enabled(e))
        return l.Put(pos, 4, "----");
    return Times10(l, pos, td.CurrentValue[e]);
}

// The DMGD elements at the end of the new line, each with its condition.
enum class When : uint8_t { Enabled, TairNotDisabled, Tair, RainNotDisabled, Rain };
struct StElement {
    uint8_t elem;
    When when;
    uint8_t enable;
};
constexpr StElement kStElements[] = {
    {20, When::Enabled, EL_T0},   {21, When::Enabled, EL_T01},        {22, When::TairNotDisabled, EL_T02},
    {23, When::TairNotDisabled, EL_T03}, {24, When::Tair, 0},          {6, When::Enabled, EL_RAT},
    {8, When::Enabled, EL_RAT1},  {10, When::RainNotDisabled, EL_RAT2}, {12, When::RainNotDisabled, EL_RAT3},
    {14, When::Rain, 0},
};

bool StShown(const StElement &e, const TemproraryDataRec &td)
{
    bool tair = td.TairStat.State == '0', rain = td.RainStat.State == '0';
    switch (e.when) {
    case When::Enabled: return Enabled(e.enable);
    case When::TairNotDisabled: return tair && NotDisabled(e.enable);
    case When::Tair: return tair;
    case When::RainNotDisabled: return rain && NotDisabled(e.enable);
    case When::Rain: return rain;
    }
    return false;
}

void StLine(char *line, bool old)
{
    int size = old ? ST_LINE_OLD : ST_LINE;
    std::memset(line, '-', std::size_t(size));
    FixedLine l{line, size};
    l.End();
    if (TemproraryData == nullptr || defdata == nullptr)
        return;
    const TemproraryDataRec &td = *TemproraryData;
    int pos = StatusHead(l, td);
    if (!old) {
        pos = BoardGroup(l, pos, td.TairStat);
        pos = BoardGroup(l, pos, td.RainStat);
    }
    pos += 60;   // five unused groups, left as dashes
    int rows = old ? 73 : 79;
    pos = l.Bytes(pos, td.SensorState + 1, rows);
    pos = Latest(l, pos, td, EL_LE);
    pos = Latest(l, pos, td, 23);   // RAW
    if (old)
        return;
    MinuteView g;
    MinuteViewParse(FileSave != nullptr ? FileSave->DmgdText : nullptr, RECORD_TEXT_LEN,
                    DMGD_FIELDS, &g);
    for (const StElement &e : kStElements) {
        char q = g.qc[e.elem];
        bool ok = (q == '0' || q == '1' || q == '2') && g.has[e.elem];
        if (ok && StShown(e, td))
            l.Put(pos, 4, "%04d", int(g.value[e.elem]));
        pos += 4;
    }
    if (td.RainStat.State == '0')
        l.Put(pos, 4, "%04d", int(td.Rain.HourCount));
}

// ---- the files ---------------------------------------------------------------

struct DailyKind {
    const char *func;
    const char *prefix;    // "GG", "RR", "ST"
    int leadSize;
    int lineSize;
    SlotHeaderFn lead;
    int versionAt;         // where the header carries "V1.00"
    bool radiLabels;       // empty line k is labelled k/60, k%60 (else from 20:00)
    const SlotFileTexts *texts;
};

struct DailyCtx {
    const DailyKind *kind;
    struct tm day;         // the file's day
};

int StationRaw(const FixedLine &l, int pos)
{
    return l.Bytes(pos, defdata->StationId, 5);
}

int HeaderDate(const FixedLine &l, int pos, const struct tm &t)
{
    pos = l.Put(pos, 5, "%5d", t.tm_year);
    pos = l.Put(pos, 5, "%5d", t.tm_mon);
    return l.Put(pos, 5, "%5d", t.tm_mday);
}

int Position(const FixedLine &l, int pos)
{
    pos = DailyPutPosition(l, pos, defdata->Long, sizeof defdata->Long, true);
    return DailyPutPosition(l, pos, defdata->Lat, sizeof defdata->Lat, false);
}

int EnableChars(const FixedLine &l, int pos, const char *const *codes, int n)
{
    for (int i = 0; i < n; ++i) {
        int e = SensorIndexByCode(codes[i]);
        char c = e >= 0 ? defdata->ElementEnable[e] : '0';
        l.Bytes(pos++, &c, 1);
    }
    return pos;
}

constexpr const char *kGGEnable[] = {
    "T0",  "T01", "T02", "T03", "T1",  "T2",  "T3",  "SV1", "SV2", "SV3", "TW",  "U",   "P",   "WD",
    "WS",  "WS1", "RAT", "RAT1", "RAT2", "RAT3", "RAT5", "RAW", "TG",  "ST0", "IR",  "ST1", "ST2", "ST3",
    "ST4", "ST5", "ST6", "ST7", "ST8", "LE",  "VI",  "CH",  "TCA", "WW",  "SD",  "WI",  "FSD", "LNF"};
constexpr const char *kGGEnableOld[] = {
    "T0",  "T1",  "T2",  "T3",  "SV1", "SV2", "SV3", "TW",  "U",   "P",   "WD",  "WS",
    "WS1", "RAT", "RAT1", "RAW", "TG",  "ST0", "IR",  "ST1", "ST2", "ST3", "ST4", "ST5",
    "ST6", "ST7", "ST8", "LE",  "VI",  "CH",  "TCA", "WW",  "SD",  "WI",  "FSD", "LNF"};
constexpr const char *kRREnable[] = {"GR", "NR", "DR", "SR", "RR", "UR", "AR", "TR", "PR", "TDTD"};
static_assert(std::size(kGGEnable) == 42 && std::size(kGGEnableOld) == 36);

const DailyCtx &Ctx(const void *ctx) { return *static_cast<const DailyCtx *>(ctx); }

// The GG header of either generation: station, day, position, heights,
// the element enables, the version.
int GGHeaderCommon(char *buf, std::size_t len, const void *ctx, const char *const *codes, int n)
{
    FixedLine l{buf, int(len)};
    StationRaw(l, 0);
    HeaderDate(l, 5, Ctx(ctx).day);
    Position(l, 20);
    const DefDataRec &d = *defdata;
    int pos = 35;
    for (float h : {float(d.Alt), float(d.AltP), float(d.WsPlatform2Ground), float(d.Platform2Ground)})
        pos = l.Put(pos, 5, "%5d", int(DailyTimes10(h)));
    pos = l.Fill(pos, '3', 1);
    pos = EnableChars(l, pos, codes, n);
    return l.Put(pos, 5, "%5s", kVersion);
}
int GGHeader(char *buf, std::size_t len, int, const void *ctx)
{
    return GGHeaderCommon(buf, len, ctx, kGGEnable, int(std::size(kGGEnable)));
}
int GGHeaderOld(char *buf, std::size_t len, int, const void *ctx)
{
    return GGHeaderCommon(buf, len, ctx, kGGEnableOld, int(std::size(kGGEnableOld)));
}

int RRHeader(char *buf, std::size_t len, int, const void *ctx)
{
    FixedLine l{buf, int(len)};
    const DefDataRec &d = *defdata;
    char station[9] = {};
    std::memcpy(station, d.StationId, 8);
    l.Put(0, 5, "%5s", station);
    HeaderDate(l, 5, Ctx(ctx).day);
    Position(l, 20);
    int pos = l.Put(35, 5, "%5d", int(DailyTimes10(d.Alt)));
    for (int i = 12; i < 21; ++i) {
        float s = d.Sensi[i];
        pos = l.Put(pos, 5, "%5d", int(DailyTimes10(s)));
    }
    pos = l.Fill(pos, '5', 1);
    pos = EnableChars(l, pos, kRREnable, int(std::size(kRREnable)));
    return l.Put(pos, 5, "%5s", kVersion);
}

int STHeaderCommon(char *buf, std::size_t len, const void *ctx, bool old)
{
    FixedLine l{buf, int(len)};
    const DefDataRec &d = *defdata;
    StationRaw(l, 0);
    HeaderDate(l, 5, Ctx(ctx).day);
    Position(l, 20);
    int pos = l.Put(35, 5, old ? "%05d" : "%5d", int(DailyTimes10(d.Alt)));
    pos = l.Fill(pos, '3', 1);
    static constexpr int kBoards[] = {18, 3, 5, 6, 9, 12, 15, 16, 17};
    for (int i = 0; i < (old ? 7 : 9); ++i)
        pos = l.Bytes(pos, &d.ObValid[kBoards[i]], 1);
    pos = l.Fill(pos, '0', 5);
    pos = l.Bytes(pos, &d.GpsValid, 1);
    pos = l.Bytes(pos, &d.CfValid, 1);
    pos = l.Bytes(pos, d.ElementEnable + 1, old ? 73 : 79);
    return l.Put(pos, 5, "%5s", kVersion);
}
int STHeader(char *buf, std::size_t len, int, const void *ctx) { return STHeaderCommon(buf, len, ctx, false); }
int STHeaderOld(char *buf, std::size_t len, int, const void *ctx) { return STHeaderCommon(buf, len, ctx, true); }

// Empty minute line of slot s (line s + 1): its time label.
int EmptyLine(char *buf, std::size_t len, int slot, const void *ctx)
{
    int k = slot + 1;
    int hour = Ctx(ctx).kind->radiLabels ? k / 60 : (k / 60 + 20) % 24;
    FixedLine l{buf, int(len)};
    return l.Put(0, LABEL, "%02d%02d", hour, k % 60);
}

// A header is taken as the file's own when its day, its version text and
// its line end are where they belong; the parameters in it may be older.
bool HeaderOk(const char *lead, int len, const void *ctx)
{
    const DailyCtx &c = Ctx(ctx);
    char date[16];
    std::snprintf(date, sizeof date, "%5d%5d%5d", c.day.tm_year, c.day.tm_mon, c.day.tm_mday);
    int v = c.kind->versionAt;
    return len >= v + 5 && std::memcmp(lead + 5, date, 15) == 0 &&
           std::memcmp(lead + v, kVersion, 5) == 0 && lead[len - 2] == '\r' && lead[len - 1] == '\n';
}

const SlotFileTexts kGGTexts{"filename:%s\nerror fp==NULL1\n", "error fwrite\n", "error fwrite:%s\n",
                             "error fp=NULL2,filename;%s\n", "error fwrite:%s\n", false, true};
const SlotFileTexts kRRTexts{"filename:%s\n", "error fwrite\n", "error fwrite %s\n",
                             "error fp==NULL4,filename %s\n", "error fwrite %s\n", false, true};

const DailyKind kGGKind{"GGFileSave", "GG", GG_LINE, GG_LINE, GGHeader, 98, false, &kGGTexts};
const DailyKind kGGKindOld{"GGFileSave", "GG", GG_LINE_OLD, GG_LINE_OLD, GGHeaderOld, 92, false, &kGGTexts};
const DailyKind kRRKind{"RRFileSave", "RR", RR_LINE, RR_LINE, RRHeader, 96, true, &kRRTexts};
const DailyKind kSTKind{"STFileSave", "ST", ST_HEADER, ST_LINE, STHeader, 136, false, &kGGTexts};
const DailyKind kSTKindOld{"STFileSave", "ST", ST_LINE_OLD, ST_LINE_OLD, STHeaderOld, 128, false, &kGGTexts};

// Writes the line into the slot of the file's time `t` (file day and line
// number both from it).
int DailySave(const DailyKind &k, const struct tm &t, const char *line)
{
    if (defdata == nullptr)
        return -1;
    char path[64];
    std::snprintf(path, sizeof path, "/mnt/nand3/data/%s%02d%02d%02d.DAT", k.prefix, t.tm_year % 100,
                  t.tm_mon, t.tm_mday);
    static const char *const kDirs[] = {"/mnt/nand3/data", nullptr};
    DailyCtx ctx{&k, t};
    SlotFileKind kind{k.func, DAILY_LINES, k.lineSize, EmptyLine};
    kind.leadSize = k.leadSize;
    kind.lead = k.lead;
    kind.texts = k.texts;
    kind.keepWhole = true;
    kind.leadOk = HeaderOk;
    SlotWrite w{};
    w.dirs = kDirs;
    w.path = path;
    w.logPath = "/mnt/nand3/tempdata/rcdLOG.log";
    w.headerCtx = &ctx;
    w.slot = t.tm_hour * 60 + t.tm_min;
    w.text = line;
    return SlotFileSave(kind, w);
}

char g_line[ST_LINE];

int RadiOffset() { return defdata != nullptr ? int(defdata->Td) : 0; }

} // namespace

void GGFileCalculate(const char *dmgd, const char *dmcd, char *line) { GGLine(dmgd, dmcd, line, false); }
void GGFileCalculate_Old(const char *dmgd, const char *dmcd, char *line) { GGLine(dmgd, dmcd, line, true); }

void RRFileCalculate(const char *dmrd, char *line)
{
    MinuteView r;
    MinuteViewParse(dmrd, RECORD_TEXT_LEN, DMRD_FIELDS, &r);
    struct tm t = *GetTime(RadiOffset());
    // The radiation day ends at 24:00, not at 00:00 of the next.
    int hour = t.tm_hour == 0 && t.tm_min == 0 ? 24 : t.tm_hour;
    RecordLine(line, RR_LINE, kRR, int(std::size(kRR)), hour, t.tm_min, nullptr, nullptr, &r);
}

void STFileCalculate(char *line) { StLine(line, false); }
void STFileCalculate_Old(char *line) { StLine(line, true); }

int GGFileSave(const char *dmgd, const char *dmcd)
{
    GGFileCalculate(dmgd, dmcd, g_line);
    return DailySave(kGGKind, *GetTime(GG_SHIFT_MINUTES), g_line);
}

int GGFileSave_Old(const char *dmgd, const char *dmcd)
{
    GGFileCalculate_Old(dmgd, dmcd, g_line);
    return DailySave(kGGKindOld, *GetTime(GG_SHIFT_MINUTES), g_line);
}

int RRFileSave(const char *dmrd)
{
    RRFileCalculate(dmrd, g_line);
    return DailySave(kRRKind, *GetTime(RadiOffset() - 1), g_line);
}

int STFileSave()
{
    STFileCalculate(g_line);
    return DailySave(kSTKind, *GetTime(GG_SHIFT_MINUTES), g_line);
}

int STFileSave_Old()
{
    STFileCalculate_Old(g_line);
    return DailySave(kSTKindOld, *GetTime(GG_SHIFT_MINUTES), g_line);
}
