#include "dailyfiles/DailyFiles.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <iterator>

#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "dailyfiles/DailyLayout.h"
#include "dailyfiles/DailyLine.h"
#include "processing/Dmgd.h"
#include "processing/SlotFile.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"

namespace {

constexpr int LABEL = DAILY_LABEL;
constexpr const char *kVersion = "V1.00";

// ---- minute lines of GG and RR -------------------------------------------

static_assert(DAILY_LABEL + DailyFieldsWidth(kGGFields) + int(std::size(kGGFields)) + 2 == GG_LINE);
static_assert(DAILY_LABEL + DailyFieldsWidth(kGGFieldsOld) + int(std::size(kGGFieldsOld)) + 2 == GG_LINE_OLD);
static_assert(DAILY_LABEL + DailyFieldsWidth(kRRFields) + DMRD_FIELDS + 2 == RR_LINE);

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
        RecordLine(line, GG_LINE_OLD, kGGFieldsOld, int(std::size(kGGFieldsOld)), now.tm_hour, now.tm_min, &g,
                   &c, nullptr);
    else
        RecordLine(line, GG_LINE, kGGFields, int(std::size(kGGFields)), now.tm_hour, now.tm_min, &g, &c,
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

// The sub-unit columns: state, a reading x10, a character, a reading x10,
// two characters.
constexpr int SubAt(const char *name) { return StAt(kStSubUnit, name); }

int StatusWords(const FixedLine &l, int pos, char state, float r1, char c, float r2, char f1, char f2)
{
    l.Bytes(pos + SubAt("state"), &state, 1);
    Times10(l, pos + SubAt("voltage"), r1);
    l.Bytes(pos + SubAt("voltage_low"), &c, 1);
    Times10(l, pos + SubAt("board_temp"), r2);
    l.Bytes(pos + SubAt("ch1"), &f1, 1);
    l.Bytes(pos + SubAt("ch2"), &f2, 1);
    return pos + ST_SUBUNIT_WIDTH;
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
    static_assert(StAt(kStTarh, "reading1") == 1 && StAt(kStTarh, "state2") == 5 &&
                  StAt(kStTarh, "reading2") == 6 && StAt(kStTarh, "flag") == 11);
    return l.Put(pos, ST_SUBUNIT_WIDTH, "%c%04d%c%04d%c%c", state, t.Reading1 * 10, t.State2,
                 t.Reading2 * 10, t.State3, t.Flag);
}

int BoardGroup(const FixedLine &l, int pos, const ExtBoardStat &b)
{
    if (Quiet(b.State))
        return Unheard(l, pos, b.State, "..............");
    StatusWords(l, pos, b.State, b.SupplyVoltage, b.VoltageLow, b.BoardTemp, b.Ch1, b.Ch2);
    char count = char('0' + b.Status1);
    l.Bytes(pos + SubAt("counter"), &count, 1);
    l.Put(pos + SubAt("status"), 2, "%02d", int(b.Status2));
    return pos + ST_BOARD_WIDTH;
}

// Bytes 0-97, the same in both generations: time, main unit, the five
// sub-units and the temperature-humidity unit.
constexpr int MainAt(const char *name) { return StAt(kStMain, name); }

int StatusHead(const FixedLine &l, const TemproraryDataRec &td)
{
    struct tm now = *GetTime(0);
    l.Put(0, LABEL, "%02d%02d", now.tm_hour, now.tm_min);
    l.Fill(4, '0', 1);
    MainCollectorStat m = td.MainStat;
    Times10(l, MainAt("supply_voltage"), m.SupplyVoltage);
    l.Bytes(MainAt("power_kind"), &m.PowerKind, 1);
    Times10(l, MainAt("mact"), m.Mact);
    l.Bytes(MainAt("terh_state"), &m.TerhState, 1);
    l.Bytes(MainAt("wind_state"), &m.WindState, 1);
    l.Bytes(MainAt("cf_state"), &m.CfState, 1);
    if (m.CfState == '0')
        l.Put(MainAt("cf_space"), 4, "%04d", int(m.CFSpace));
    else
        l.Fill(MainAt("cf_space"), '-', 4);
    // A state no process has set yet (the listener's before its first pass)
    // is a zero byte in the segment; the line is text, so it shows as not
    // yet known.
    auto state = [&](const char *name, char c) {
        char shown = c == '\0' ? '9' : c;
        l.Bytes(MainAt(name), &shown, 1);
    };
    state("gps_state", m.GpsState);
    state("door_state", m.DoorState);
    state("can_ext_state", m.CanExtState);
    state("listen_state", m.ListenState);
    state("can_bus_state", m.CanBusState);
    for (int sub : {SUB_CLIM, SUB_RADI, SUB_EATH, SUB_SOIL, SUB_SEAA})
        SubGroup(l, kStGroups[sub].at, td.SubStat[sub]);
    return TerhGroup(l, kStGroups[5].at, td.Terh);
}

int Latest(const FixedLine &l, int pos, const TemproraryDataRec &td, int e)
{
    if (!Enabled(e))
        return l.Put(pos, 4, "----");
    return Times10(l, pos, td.CurrentValue[e]);
}

bool StShown(const StElement &e, const TemproraryDataRec &td)
{
    bool tair = td.TairStat.State == '0', rain = td.RainStat.State == '0';
    switch (e.when) {
    case StWhen::Enabled: return Enabled(e.enable);
    case StWhen::TairNotDisabled: return tair && NotDisabled(e.enable);
    case StWhen::Tair: return tair;
    case StWhen::RainNotDisabled: return rain && NotDisabled(e.enable);
    case StWhen::Rain: return rain;
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
    StatusHead(l, td);
    if (!old) {
        BoardGroup(l, kStGroups[6].at, td.TairStat);
        BoardGroup(l, kStGroups[7].at, td.RainStat);
    }
    // Five unused groups stay dashes.
    const StTail &t = old ? kStTailOld : kStTail;
    l.Bytes(t.states, td.SensorState + 1, t.rows);
    Latest(l, t.le, td, EL_LE);
    Latest(l, t.raw, td, EL_RAW);
    if (old)
        return;
    MinuteView g;
    MinuteViewParse(FileSave != nullptr ? FileSave->DmgdText : nullptr, RECORD_TEXT_LEN,
                    DMGD_FIELDS, &g);
    int pos = t.elements;
    for (const StElement &e : kStElements) {
        char q = g.qc[e.elem];
        bool ok = (q == '0' || q == '1' || q == '2') && g.has[e.elem];
        if (ok && StShown(e, td))
            l.Put(pos, 4, "%04d", int(g.value[e.elem]));
        pos += 4;
    }
    if (td.RainStat.State == '0')
        l.Put(t.rainCount, 4, "%04d", int(td.Rain.HourCount));
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
    RecordLine(line, RR_LINE, kRRFields, int(std::size(kRRFields)), hour, t.tm_min, nullptr, nullptr, &r);
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
