#include "processing/SampleArchive.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "processing/Dmgd.h"
#include "platform/Transplant.h"
#include "processing/SlotFile.h"
#include "sampling/Sensortable.h"

namespace {

constexpr int HOUR_RING = 60;
constexpr int DAY_RING = 1440;
constexpr int ALWAYS = -1;   // archive flag row of the files written whatever the flags

// One archive: its tag, live text area, ring of the store (its offset and
// capacity; the QC characters follow the capacity's values), samples,
// slot size, archive flag row, file name and ring length.
struct Archive {
    const char *tag;
    int area;
    std::size_t ring;
    int capacity;
    int samples;
    int slotSize;
    int flag;
    const char *file;     // NAME of NAME.DAT and NAME.DATQ
    int slots;            // ring of the .DAT file; .DATQ files hold the hour
    bool daily;           // the .DAT file is one per day: NAMEyymmdd.DAT
    bool windStatus;      // the ultrasonic direction appends both sensors' means
};

constexpr std::size_t R30 = sizeof(SampleRing<30>);
#define RING(m) offsetof(SampleDataRec, m)

constexpr Archive kMain[] = {
    {"SAMPLE_P", EL_P, RING(P), 30, 30, 512, EL_P, "P", HOUR_RING, false, false},
    {"SAMPLE_T0", EL_T0, RING(T0), 30, 30, 512, EL_T0, "T0", DAY_RING, false, false},
    {"SAMPLE_LE", EL_LE, RING(LE), 60, 60, 512, EL_LE, "LE", DAY_RING, false, false},
    {"SAMPLE_U", EL_U, RING(U), 30, 30, 512, EL_U, "U", DAY_RING, false, false},
    {"SAMPLE_WS", EL_WS, RING(WS), 240, 240, 2048, EL_WS, "WS", HOUR_RING, false, false},
    {"SAMPLE_WS_3", SAMPTEXT_WS3, RING(WS_3), 240, 240, 2048, EL_WS, "WS3", HOUR_RING, false, false},
    {"SAMPLE_WD", EL_WD, RING(WD), 60, 60, 1024, EL_WD, "WD", HOUR_RING, false, false},
    {"SAMPLE_UWS", SAMPTEXT_UWS, RING(UWS), 240, 240, 2048, EL_WS3, "UWS", HOUR_RING, false, false},
    {"SAMPLE_UWS_3", SAMPTEXT_UWS3, RING(UWS_3), 240, 240, 2048, EL_WS3, "UWS3", HOUR_RING, false, false},
    {"SAMPLE_UWD", SAMPTEXT_UWD, RING(UWD), 60, 60, 1024, EL_WS2, "UWD", DAY_RING, true, true},
};
constexpr Archive kCli[] = {
    {"SAMPLE_T1", EL_T1, RING(T1), 60, 30, 512, EL_T1, "T1", HOUR_RING, false, false},
    {"SAMPLE_T2", EL_T2, RING(T2), 60, 30, 512, EL_T2, "T2", HOUR_RING, false, false},
    {"SAMPLE_T3", EL_T3, RING(T3), 60, 30, 512, EL_T3, "T3", HOUR_RING, false, false},
    {"SAMPLE_WS1", EL_WS1, RING(WS1), 30, 30, 512, EL_WS1, "WS1", HOUR_RING, false, false},
    {"SAMPLE_IR", EL_IR, RING(IR), 30, 30, 512, EL_IR, "IR", HOUR_RING, false, false},
};
constexpr Archive kEarth[] = {
    {"SAMPLE_TG", EL_TG, RING(Earth) + 0 * R30, 30, 30, 512, EL_TG, "TG", HOUR_RING, false, false},
    {"SAMPLE_ST0", EL_ST0, RING(Earth) + 1 * R30, 30, 30, 512, EL_ST0, "ST0", HOUR_RING, false, false},
    {"SAMPLE_ST1", EL_ST1, RING(Earth) + 2 * R30, 30, 30, 512, EL_ST1, "ST1", HOUR_RING, false, false},
    {"SAMPLE_ST2", EL_ST1 + 1, RING(Earth) + 3 * R30, 30, 30, 512, EL_ST1 + 1, "ST2", HOUR_RING, false, false},
    {"SAMPLE_ST3", EL_ST1 + 2, RING(Earth) + 4 * R30, 30, 30, 512, EL_ST1 + 2, "ST3", HOUR_RING, false, false},
    {"SAMPLE_ST4", EL_ST1 + 3, RING(Earth) + 5 * R30, 30, 30, 512, EL_ST1 + 3, "ST4", HOUR_RING, false, false},
    {"SAMPLE_ST5", EL_ST1 + 4, RING(Earth) + 6 * R30, 30, 30, 512, EL_ST1 + 4, "ST5", HOUR_RING, false, false},
    {"SAMPLE_ST6", EL_ST1 + 5, RING(Earth) + 7 * R30, 30, 30, 512, EL_ST1 + 5, "ST6", HOUR_RING, false, false},
    {"SAMPLE_ST7", EL_ST1 + 6, RING(Earth) + 8 * R30, 30, 30, 512, EL_ST1 + 6, "ST7", HOUR_RING, false, false},
    {"SAMPLE_ST8", EL_ST8, RING(Earth) + 9 * R30, 30, 30, 512, EL_ST8, "ST8", DAY_RING, false, false},
};
constexpr Archive kRadi[] = {
    {"SAMPLE_GR", EL_GR, RING(Radi) + RADI_GR * R30, 30, 30, 512, EL_GR, "GR", HOUR_RING, false, false},
    {"SAMPLE_DR", EL_DR, RING(Radi) + RADI_DR * R30, 30, 30, 512, EL_DR, "DR", HOUR_RING, false, false},
    {"SAMPLE_NR", EL_NR, RING(Radi) + RADI_NR * R30, 30, 30, 512, EL_NR, "NR", HOUR_RING, false, false},
};
constexpr Archive kTair[] = {
    {"SAMPLE_T01", EL_T01, RING(T0x) + 0 * R30, 30, 30, 512, ALWAYS, "T01", DAY_RING, false, false},
    {"SAMPLE_T02", EL_T02, RING(T0x) + 1 * R30, 30, 30, 512, ALWAYS, "T02", DAY_RING, false, false},
    {"SAMPLE_T03", EL_T03, RING(T0x) + 2 * R30, 30, 30, 512, ALWAYS, "T03", DAY_RING, false, false},
};
#undef RING

static_assert(SAMPTEXT_WS3 < SAMPTEXT_AREAS && SAMPTEXT_UWD < SAMPTEXT_AREAS);

struct Group {
    const Archive *rows;
    int n;
};
template <std::size_t N>
constexpr Group Of(const Archive (&rows)[N])
{
    return Group{rows, int(N)};
}
constexpr Group kGroups[] = {Of(kMain), Of(kCli), Of(kEarth), Of(kRadi), Of(kTair)};

struct Medium {
    const char *root;      // "/mnt/nand3" or "/mnt/cf"
    const char *suffix;    // "" or "CF" in the saver's name
};
constexpr Medium kNand{"/mnt/nand3", ""};
constexpr Medium kCf{"/mnt/cf", "CF"};

// Builds record texts; a sample that does not fit is left out with all
// after it, so the text always ends on a whole sample and "\r\n".
struct Text {
    char *buf;
    std::size_t cap;   // bytes of text, line end included
    std::size_t len = 0;
    bool full = false;

    void Add(const char *fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        if (full)
            return;
        char item[160];
        va_list ap;
        va_start(ap, fmt);
        int k = std::vsnprintf(item, sizeof item, fmt, ap);
        va_end(ap);
        if (k < 0 || std::size_t(k) >= sizeof item || len + std::size_t(k) + 2 > cap) {
            full = true;
            return;
        }
        std::memcpy(buf + len, item, std::size_t(k));
        len += std::size_t(k);
    }
    // One sample item: "%d " or, with a QC character, "%d(%c) ". Formatted
    // by hand: a minute has a few thousand of them.
    void Sample(int32_t v, char qc)
    {
        if (full)
            return;
        char item[24];
        char digits[12];
        int n = 0;
        uint32_t u = v < 0 ? 0u - uint32_t(v) : uint32_t(v);
        do {
            digits[n++] = char('0' + u % 10);
            u /= 10;
        } while (u != 0);
        std::size_t k = 0;
        if (v < 0)
            item[k++] = '-';
        while (n > 0)
            item[k++] = digits[--n];
        if (qc != '\0') {
            item[k++] = '(';
            item[k++] = qc;
            item[k++] = ')';
        }
        item[k++] = ' ';
        if (len + k + 2 > cap) {
            full = true;
            return;
        }
        std::memcpy(buf + len, item, k);
        len += k;
    }
    int End()
    {
        std::memcpy(buf + len, "\r\n", 2);
        return int(len + 2);
    }
};

int32_t RingValue(const SampleDataRec &s, const Archive &a, int i)
{
    int32_t v;
    std::memcpy(&v, reinterpret_cast<const char *>(&s) + a.ring + std::size_t(i) * 4, sizeof v);
    return v;
}
char RingQc(const SampleDataRec &s, const Archive &a, int i)
{
    return reinterpret_cast<const char *>(&s)[a.ring + std::size_t(a.capacity) * 4 + std::size_t(i)];
}

char Shown(char q) { return q == '\0' ? '8' : q; }

int BuildText(const Archive &a, bool qc, const SampleDataRec &s, char *out, std::size_t cap)
{
    if (cap < 3)
        return 0;
    std::memset(out, 0, cap);
    Text t{out, cap - 1};
    char station[9] = {};
    if (defdata != nullptr)
        std::memcpy(station, defdata->StationId, 8);
    struct tm now = *GetTime(0);
    t.Add("%s %s %04d-%02d-%02d %02d:%02d ", a.tag, station, now.tm_year, now.tm_mon, now.tm_mday,
          now.tm_hour, now.tm_min);
    for (int i = 0; i < a.samples; ++i) {
        int32_t v = RingValue(s, a, i);
        char q = RingQc(s, a, i);
        if (qc)
            t.Sample(v, Shown(q));
        else if (q == '0')
            t.Sample(v, '\0');
        else
            t.Add("/ ");
    }
    if (a.windStatus && !qc && FileSave != nullptr) {
        WindCompareRec c = FileSave->WindCompare;
        t.Add("0:%d(%c) %d(%c) %d(%c) %d(%c) 1:%d(%c) %d(%c) %d(%c) %d(%c) S:%d",
              int(c.Value[0][0]), Shown(c.Qc[0][0]), int(c.Value[0][1]), Shown(c.Qc[0][1]),
              int(c.Value[0][2]), Shown(c.Qc[0][2]), int(c.Value[0][3]), Shown(c.Qc[0][3]),
              int(c.Value[1][0]), Shown(c.Qc[1][0]), int(c.Value[1][1]), Shown(c.Qc[1][1]),
              int(c.Value[1][2]), Shown(c.Qc[1][2]), int(c.Value[1][3]), Shown(c.Qc[1][3]),
              int(c.WindType));
    }
    return t.End();
}

const Archive *FindArchive(const char *tag)
{
    for (const Group &g : kGroups)
        for (int i = 0; i < g.n; ++i)
            if (std::strcmp(g.rows[i].tag, tag) == 0)
                return &g.rows[i];
    return nullptr;
}

const SlotFileTexts kSampleTexts{"error fd<0\n", "error write16\n", "error write16\n",
                                 "error fd<0\n", "error write17\n", false, false};

char g_text[SAMPLE_TEXT_LEN];

// Writes the archive's slot of the current minute on one medium.
int WriteArchive(const Archive &a, bool qc, const Medium &m, const char *text, int len)
{
    struct tm now = *GetTime(0);
    int slots = qc ? HOUR_RING : a.slots;
    char path[96], func[48];
    if (a.daily && !qc)
        std::snprintf(path, sizeof path, "%s/tempdata/sample/%s%02d%02d%02d.DAT", m.root, a.file,
                      now.tm_year % 100, now.tm_mon, now.tm_mday);
    else
        std::snprintf(path, sizeof path, "%s/tempdata/sample/%s.DAT%s", m.root, a.file, qc ? "Q" : "");
    std::snprintf(func, sizeof func, "SampleSave%s%s", m.suffix, qc ? "Qc" : "");
    SlotFileKind kind{func, slots, a.slotSize, nullptr};
    kind.texts = &kSampleTexts;
    kind.keepWhole = true;
    SlotWrite w{};
    w.path = path;
    w.logPath = "/mnt/nand3/tempdata/rcdLOG.log";
    w.slot = slots == DAY_RING ? now.tm_hour * 60 + now.tm_min : now.tm_min;
    w.text = text;
    w.textLen = len;
    return SlotFileSave(kind, w);
}

bool Flagged(const Archive &a)
{
    return a.flag == ALWAYS || (defdata != nullptr && a.flag >= 0 &&
                                a.flag < int(sizeof defdata->SampleArchive) &&
                                defdata->SampleArchive[a.flag] == '1');
}

// One group operation: each element's live text, then its flagged file.
int RunGroup(const Group &g, bool qc, const Medium &m)
{
    if (SampleDataCopy == nullptr || TemproraryData == nullptr)
        return -1;
    // The folders once per group, not once per file.
    char dir[48];
    std::snprintf(dir, sizeof dir, "%s/tempdata", m.root);
    TpMkdir(dir, 0777);
    std::snprintf(dir, sizeof dir, "%s/tempdata/sample", m.root);
    TpMkdir(dir, 0777);
    for (int i = 0; i < g.n; ++i) {
        const Archive &a = g.rows[i];
        std::size_t cap = std::size_t(a.slotSize - 2) < sizeof g_text ? std::size_t(a.slotSize - 2)
                                                                        : sizeof g_text;
        std::memset(g_text, 0, sizeof g_text);
        int len = BuildText(a, qc, *SampleDataCopy, g_text, cap);
        char *live = qc ? TemproraryData->SampleTextQ[a.area] : TemproraryData->SampleText[a.area];
        std::memcpy(live, g_text, SAMPLE_TEXT_LEN);
        if (!Flagged(a))
            continue;
        // The slot: the text, NUL padding, "\r\n" in its last two bytes.
        static char slot[2048];
        std::memset(slot, 0, sizeof slot);
        std::memcpy(slot, g_text, cap);
        slot[a.slotSize - 2] = '\r';
        slot[a.slotSize - 1] = '\n';
        if (WriteArchive(a, qc, m, slot, len) != 0)
            return -1;
    }
    return 0;
}

bool CfUsable() { return TemproraryData != nullptr && TemproraryData->MainStat.CfState == '0'; }

} // namespace

int SampleArchiveText(const char *tag, bool qc, const SampleDataRec &snap, char *out,
                      std::size_t cap)
{
    const Archive *a = tag != nullptr ? FindArchive(tag) : nullptr;
    if (a == nullptr || out == nullptr)
        return -1;
    return BuildText(*a, qc, snap, out, cap);
}

int MainSensorSampleSave() { return RunGroup(kGroups[0], false, kNand); }
int MainSensorSampleSaveQc() { return RunGroup(kGroups[0], true, kNand); }
int CliSensorSampleSave() { return RunGroup(kGroups[1], false, kNand); }
int EarthTempSensorSampleSave() { return RunGroup(kGroups[2], false, kNand); }
int EarthTempSensorSampleSaveQc() { return RunGroup(kGroups[2], true, kNand); }
int RadiSensorSampleSave() { return RunGroup(kGroups[3], false, kNand); }
int TAirSampleSave() { return RunGroup(kGroups[4], false, kNand); }
int MainSensorSampleSaveCF() { return RunGroup(kGroups[0], false, kCf); }
int MainSensorSampleSaveCFQc() { return RunGroup(kGroups[0], true, kCf); }
int CliSensorSampleSaveCF() { return RunGroup(kGroups[1], false, kCf); }
int EarthTempSensorSampleSaveCF() { return RunGroup(kGroups[2], false, kCf); }
int EarthTempSensorSampleSaveCFQc() { return RunGroup(kGroups[2], true, kCf); }
int RadiSensorSampleSaveCF() { return RunGroup(kGroups[3], false, kCf); }
int TAirSampleSaveCF() { return RunGroup(kGroups[4], false, kCf); }

int SampleSave()
{
    MainSensorSampleSave();
    MainSensorSampleSaveQc();
    CliSensorSampleSave();
    EarthTempSensorSampleSave();
    EarthTempSensorSampleSaveQc();
    RadiSensorSampleSave();
    TAirSampleSave();
    return 0;
}

int SampleSaveCF()
{
    if (!CfUsable())
        return -1;
    MainSensorSampleSaveCF();
    MainSensorSampleSaveCFQc();
    CliSensorSampleSaveCF();
    EarthTempSensorSampleSaveCF();
    EarthTempSensorSampleSaveCFQc();
    RadiSensorSampleSaveCF();
    TAirSampleSaveCF();
    return 0;
}
