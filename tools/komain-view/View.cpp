#include "View.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/stat.h>

#include "dailyfiles/DailyFiles.h"
#include "dailyfiles/DailyLayout.h"
#include "processing/Dmgd.h"
#include "processing/RecordLayout.h"
#include "sampling/Sensortable.h"

namespace {

bool IsDir(const std::string &p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Slurp(const std::string &path, bool *found)
{
    std::ifstream in(path, std::ios::binary);
    *found = bool(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The blank-separated words of a slot's line, up to its line end.
std::vector<std::string> Words(const char *s, std::size_t n, std::size_t max)
{
    std::vector<std::string> w;
    std::size_t i = 0;
    while (i < n && w.size() < max) {
        while (i < n && s[i] == ' ')
            ++i;
        std::size_t b = i;
        while (i < n && s[i] != ' ' && s[i] != '\r' && s[i] != '\n' && s[i] != '\0')
            ++i;
        if (i == b)
            break;
        w.emplace_back(s + b, i - b);
    }
    return w;
}

bool Digits(const std::string &s, std::size_t at, std::size_t n)
{
    for (std::size_t k = at; k < at + n; ++k)
        if (k >= s.size() || s[k] < '0' || s[k] > '9')
            return false;
    return true;
}

// A printed integer: optional blanks, an optional sign, digits, nothing else.
bool Number(const char *s, std::size_t n, int32_t *v)
{
    std::size_t i = 0;
    while (i < n && s[i] == ' ')
        ++i;
    bool neg = i < n && s[i] == '-';
    if (neg)
        ++i;
    if (i == n || n - i > 9)
        return false;
    int32_t x = 0;
    for (; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        x = x * 10 + (s[i] - '0');
    }
    *v = neg ? -x : x;
    return true;
}

std::string Printable(char c)
{
    return std::string(1, (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f) ? c : '?');
}

std::string IsoTime(const struct tm &t)
{
    char s[80];
    std::snprintf(s, sizeof s, "%04d-%02d-%02dT%02d:%02d:00", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min);
    return s;
}

// Midnight of a day plus some minutes, as a calendar time (no zone: the
// arithmetic is on the station's local clock).
struct tm DayPlus(int year, int mon, int day, int minutes)
{
    struct tm t = {};
    t.tm_year = year - 1900, t.tm_mon = mon - 1, t.tm_mday = day;
    time_t s = timegm(&t) + time_t(minutes) * 60;
    gmtime_r(&s, &t);
    return t;
}

void Problem(ViewDay &d, const std::string &where, const std::string &what) { d.problems.push_back(where + ": " + what); }

// ---- record files ------------------------------------------------------------

void ReadRecords(ViewDay &d, const std::string &path, const std::string &data)
{
    const ViewKind &kind = *d.kind;
    int slots = kind.monthly ? 744 : 1440;
    // The slot size tells the hourly generations apart; the minute files
    // share theirs, so there the number of flags does.
    int size = kind.curSlot;
    if (kind.old != nullptr && kind.oldSlot != kind.curSlot && data.size() % std::size_t(kind.curSlot) != 0 &&
        data.size() % std::size_t(kind.oldSlot) == 0)
        size = kind.oldSlot;
    if (data.size() != std::size_t(slots) * std::size_t(size))
        Problem(d, path, std::to_string(data.size()) + " bytes, expected " + std::to_string(slots * size) +
                             " (cut short or of another kind)");
    const RecordTextLayout *fileGen = nullptr;
    char want[16];
    std::snprintf(want, sizeof want, "%04d-%02d-%02d", d.year, d.mon, d.day);
    bool nz = std::strcmp(kind.tag, "DHGDNZ") == 0;
    int first = kind.monthly ? (d.day - 1) * 24 : 0;
    for (int s = 0; s < d.expected; ++s) {
        int slot = first + s;
        std::size_t at = std::size_t(slot) * std::size_t(size);
        if (at + std::size_t(size) > data.size())
            break;
        const char *rec = data.data() + at;
        if (RecordSlotUnwritten(rec, size))
            continue;
        std::string where = path + " slot " + std::to_string(slot);
        std::vector<std::string> w = Words(rec, std::size_t(size), 5);
        if (w.size() < 5 || w[0] != kind.tag) {
            Problem(d, where, std::string("not a ") + kind.tag + " record");
            continue;
        }
        // Minute records carry "HH:MM", hourly ones "HH".
        const std::string &date = w[2], &hm = w[3];
        bool timeOk = kind.monthly ? hm.size() == 2 && Digits(hm, 0, 2)
                                   : hm.size() == 5 && Digits(hm, 0, 2) && Digits(hm, 3, 2) && hm[2] == ':';
        if (date.size() != 10 || !Digits(date, 0, 4) || !Digits(date, 5, 2) || !Digits(date, 8, 2) || !timeOk) {
            Problem(d, where, "garbled time");
            continue;
        }
        int hour = std::atoi(hm.c_str()), minute = kind.monthly ? 0 : std::atoi(hm.c_str() + 3);
        if (date != want || (kind.monthly ? hour != s : hour * 60 + minute != s)) {
            Problem(d, where, "time " + date + " " + hm + " does not belong to this slot");
            continue;
        }
        const RecordTextLayout *gen = nullptr;
        int flags = int(w[4].size());
        if (flags == kind.cur->fields && size == kind.curSlot)
            gen = kind.cur;
        else if (kind.old != nullptr && flags == kind.old->fields && size == kind.oldSlot)
            gen = kind.old;
        if (gen == nullptr) {
            Problem(d, where, "garbled flags (" + std::to_string(flags) + " of them)");
            continue;
        }
        if (fileGen == nullptr) {
            fileGen = gen;
            d.old = gen != kind.cur;
            d.columns = ViewElementColumns(kind.tag, d.old);
            if (nz) {
                for (ViewColumn c : ViewElementColumns("DHGDNZ_TAIL", false)) {
                    c.qc = false;
                    d.columns.push_back(c);
                }
                for (int m = 1; m <= 60; ++m) {
                    char n[16];
                    std::snprintf(n, sizeof n, "RAT_m%02d", m % 60);
                    d.columns.push_back({n, ViewUnitOf(n), ViewColumn::Number, false});
                }
            }
        }
        if (gen != fileGen) {
            Problem(d, where, "record of the other format generation");
            continue;
        }
        MinuteView v;
        MinuteViewParse(rec, std::size_t(size), gen->fields, &v);
        ViewRow r;
        r.slot = s;
        r.time = date + "T" + (kind.monthly ? hm + ":00" : hm) + ":00";
        r.cells.resize(d.columns.size());
        for (int f = 0; f < gen->fields; ++f) {
            ViewCell &c = r.cells[std::size_t(f)];
            c.qc = v.qc[f];
            c.value = v.value[f];
            c.has = v.has[f] && v.qc[f] != 'N' && std::strchr(gen->valueQc, v.qc[f]) != nullptr &&
                    f != gen->starField && f != gen->dashField;
        }
        if (nz) {
            // After the items of the present elements: the derived items,
            // then the minute rain of the hour, two characters a minute.
            int present = 0;
            for (char f : w[4])
                present += f == '1';
            std::vector<std::string> all = Words(rec, std::size_t(size), std::size_t(6 + present + DHGDNZ_TAIL + 1));
            // An empty QC string leaves no word of its own.
            std::size_t items = present > 0 ? 6 : 5;
            if (all.size() < items + std::size_t(present + DHGDNZ_TAIL + 1) ||
                all.back().size() != std::size_t(DHGDNZ_RAIN_LEN)) {
                Problem(d, where, "derived items cut short");
                continue;
            }
            for (int k = 0; k < DHGDNZ_TAIL; ++k) {
                ViewCell &c = r.cells[std::size_t(gen->fields + k)];
                const std::string &item = all[items + std::size_t(present + k)];
                c.has = Number(item.data(), item.size(), &c.value);
                c.qc = c.has ? '0' : '8';
            }
            const std::string &rain = all.back();
            for (int m = 0; m < 60; ++m) {
                ViewCell &c = r.cells[std::size_t(gen->fields + DHGDNZ_TAIL + m)];
                c.has = Number(rain.data() + 2 * m, 2, &c.value);
                c.qc = c.has ? '0' : '8';
            }
        }
        d.rows.push_back(std::move(r));
    }
}

// ---- daily files ---------------------------------------------------------------

struct DailyGen {
    bool old;
    int lead, line;              // header and line sizes
    int versionAt;               // "V1.00" in the header
};
constexpr DailyGen kGGGens[] = {{false, GG_LINE, GG_LINE, 98}, {true, GG_LINE_OLD, GG_LINE_OLD, 92}};
constexpr DailyGen kRRGens[] = {{false, RR_LINE, RR_LINE, 96}};
constexpr DailyGen kSTGens[] = {{false, ST_HEADER, ST_LINE, 136}, {true, ST_LINE_OLD, ST_LINE_OLD, 128}};

template <std::size_t N>
const DailyGen *Generation(const DailyGen (&gens)[N], const std::string &data)
{
    for (const DailyGen &g : gens)
        if (data.size() == std::size_t(g.lead + DAILY_LINES * g.line))
            return &g;
    // Cut short: the header tells.
    for (const DailyGen &g : gens)
        if (data.size() >= std::size_t(g.lead) && data.compare(std::size_t(g.versionAt), 5, "V1.00") == 0 &&
            data.compare(std::size_t(g.lead - 2), 2, "\r\n") == 0)
            return &g;
    return nullptr;
}

std::string SourceName(DailySrc src, int elem, bool old)
{
    const char *tag = src == DailySrc::Main ? "DMGD" : src == DailySrc::Clim ? "DMCD" : "DMRD";
    if (src == DailySrc::None)
        return "WW";
    std::vector<ViewColumn> c = ViewElementColumns(tag, old && src == DailySrc::Main);
    return elem < int(c.size()) ? c[std::size_t(elem)].name : tag + std::to_string(elem);
}

void FieldColumns(ViewDay &d, const DailyField *table, int n)
{
    std::map<std::string, int> seen;
    for (int k = 0; k < n; ++k) {
        std::string name = SourceName(table[k].src, table[k].elem, d.old);
        if (int again = seen[name]++; again > 0)
            name += "_" + std::to_string(again + 1);   // humidity is printed twice
        d.columns.push_back({name, ViewUnitOf(SourceName(table[k].src, table[k].elem, d.old)), ViewColumn::Number, true});
    }
}

// The fields of a GG or RR line; false when one that should hold a number
// does not.
bool DecodeFields(const char *line, const DailyField *table, int n, ViewRow &r, std::string *bad)
{
    int pos = DAILY_LABEL, qpos = DAILY_LABEL + 0;
    for (int k = 0; k < n; ++k)
        qpos += DailyFieldWidth(table[k].fmt);
    for (int k = 0; k < n; ++k) {
        const DailyField &f = table[k];
        int w = DailyFieldWidth(f.fmt);
        ViewCell &c = r.cells[std::size_t(k)];
        c.qc = line[qpos + k];
        bool value = (c.qc == '0' || c.qc == '1') && f.fmt != DailyFmt::Star && f.fmt != DailyFmt::Dashes;
        if (value && !Number(line + pos, std::size_t(w), &c.value)) {
            *bad = "field " + std::to_string(k + 1) + " \"" + std::string(line + pos, std::size_t(w)) + "\"";
            return false;
        }
        c.has = value;
        pos += w;
    }
    return true;
}

void StColumns(ViewDay &d)
{
    auto add = [&](const std::string &name, StKind kind, const char *unit) {
        bool num = kind == StKind::Tenths || kind == StKind::Count;
        d.columns.push_back({name, unit, num ? ViewColumn::Number : ViewColumn::Text, false});
    };
    for (const StColumn &c : kStMain)
        add(c.name, c.kind, c.kind == StKind::Tenths ? "0.1 V" : c.kind == StKind::Count ? "MB" : "");
    for (const StGroup &g : kStGroups) {
        if (g.newOnly && d.old)
            continue;
        for (int i = 0; i < g.count; ++i) {
            const StColumn &c = g.columns[i];
            bool temp = std::strcmp(c.name, "board_temp") == 0;
            add(std::string(g.name) + "_" + c.name, c.kind,
                c.kind == StKind::Tenths ? (temp ? "0.1 degC" : "0.1 V") : "");
        }
    }
    const StTail &t = d.old ? kStTailOld : kStTail;
    for (int row = 1; row <= t.rows; ++row)
        add("state_" + std::string(Sensortable[row].Code, strnlen(Sensortable[row].Code, sizeof Sensortable[row].Code)),
            StKind::Char, "");
    add("LE_latest", StKind::Tenths, "0.1 mm");
    add("RAW_latest", StKind::Tenths, "0.1 mm");
    if (d.old)
        return;
    std::vector<ViewColumn> dmgd = ViewElementColumns("DMGD", false);
    for (const StElement &e : kStElements)
        add(dmgd[e.elem].name, StKind::Count, dmgd[e.elem].unit.c_str());
    add("rain_count", StKind::Count, "");
}

// One ST column's cell from its characters.
void StCell(const char *p, int width, StKind kind, ViewCell &c)
{
    if (kind == StKind::Char) {
        c.text = Printable(*p);
        return;
    }
    c.has = Number(p, std::size_t(width), &c.value);
}

void DecodeSt(const char *line, bool old, ViewRow &r)
{
    std::size_t k = 0;
    for (const StColumn &c : kStMain)
        StCell(line + c.at, c.width, c.kind, r.cells[k++]);
    for (const StGroup &g : kStGroups) {
        if (g.newOnly && old)
            continue;
        for (int i = 0; i < g.count; ++i)
            StCell(line + g.at + g.columns[i].at, g.columns[i].width, g.columns[i].kind, r.cells[k++]);
    }
    const StTail &t = old ? kStTailOld : kStTail;
    for (int row = 0; row < t.rows; ++row)
        StCell(line + t.states + row, 1, StKind::Char, r.cells[k++]);
    StCell(line + t.le, 4, StKind::Tenths, r.cells[k++]);
    StCell(line + t.raw, 4, StKind::Tenths, r.cells[k++]);
    if (old)
        return;
    for (std::size_t e = 0; e < std::size(kStElements); ++e)
        StCell(line + t.elements + 4 * int(e), 4, StKind::Count, r.cells[k++]);
    StCell(line + t.rainCount, 4, StKind::Count, r.cells[k++]);
}

void ReadDaily(ViewDay &d, const std::string &path, const std::string &data)
{
    const ViewKind &kind = *d.kind;
    const DailyGen *g = kind.source == ViewKind::GG   ? Generation(kGGGens, data)
                        : kind.source == ViewKind::RR ? Generation(kRRGens, data)
                                                      : Generation(kSTGens, data);
    if (g == nullptr) {
        Problem(d, path, "header of no known layout");
        return;
    }
    d.old = g->old;
    if (data.size() != std::size_t(g->lead + DAILY_LINES * g->line))
        Problem(d, path, std::to_string(data.size()) + " bytes, expected " +
                             std::to_string(g->lead + DAILY_LINES * g->line) + " (cut short or of another kind)");
    const DailyField *table = nullptr;
    int n = 0;
    if (kind.source == ViewKind::GG) {
        table = d.old ? kGGFieldsOld : kGGFields;
        n = d.old ? int(std::size(kGGFieldsOld)) : int(std::size(kGGFields));
        FieldColumns(d, table, n);
    } else if (kind.source == ViewKind::RR) {
        table = kRRFields;
        n = int(std::size(kRRFields));
        FieldColumns(d, table, n);
    } else {
        StColumns(d);
    }
    bool radiation = kind.source == ViewKind::RR;
    for (int s = 0; s < DAILY_LINES; ++s) {
        std::size_t at = std::size_t(g->lead) + std::size_t(s) * std::size_t(g->line);
        if (at + std::size_t(g->line) > data.size())
            break;
        const char *line = data.data() + at;
        std::string where = path + " line " + std::to_string(s + 1);
        // GG and ST: line 1 is 20:01 of the day before; RR: line k is the
        // radiation clock's minute k of the day, 24:00 its last.
        struct tm t = DayPlus(d.year, d.mon, d.day, radiation ? s + 1 : s - GG_SHIFT_MINUTES);
        char label[8];
        std::snprintf(label, sizeof label, "%02d%02d", radiation && s == DAILY_LINES - 1 ? 24 : t.tm_hour, t.tm_min);
        if (line[g->line - 2] != '\r' || line[g->line - 1] != '\n' || !Digits(std::string(line, 4), 0, 4)) {
            Problem(d, where, "garbled line");
            continue;
        }
        if (std::string(line + 4, std::size_t(g->line - 6)).find_first_not_of('-') == std::string::npos)
            continue;   // never written
        if (std::memcmp(line, label, 4) != 0) {
            Problem(d, where, "time " + std::string(line, 4) + " does not belong to this line");
            continue;
        }
        ViewRow r;
        r.slot = s;
        r.time = IsoTime(t);
        r.cells.resize(d.columns.size());
        std::string bad;
        if (table != nullptr) {
            if (!DecodeFields(line, table, n, r, &bad)) {
                Problem(d, where, "garbled " + bad);
                continue;
            }
        } else {
            if (line[4] != '0') {
                Problem(d, where, "garbled line");
                continue;
            }
            DecodeSt(line, d.old, r);
        }
        d.rows.push_back(std::move(r));
    }
}

} // namespace

int ViewDay::Column(const std::string &name) const
{
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name == name)
            return int(i);
    return -1;
}

const std::vector<const ViewKind *> &ViewKinds()
{
    static const ViewKind kinds[] = {
        {"DMGD", ViewKind::Record, false, &kDmgdText, &kDmgdTextOld, RECORD_TEXT_LEN, RECORD_TEXT_LEN},
        {"DMCD", ViewKind::Record, false, &kDmcdLayout.text, nullptr, kDmcdLayout.slotSize, 0},
        {"DMRD", ViewKind::Record, false, &kDmrdLayout.text, nullptr, kDmrdLayout.slotSize, 0},
        {"DHGD", ViewKind::Record, true, &kDhgdLayout.text, &kDhgdOldLayout.text, kDhgdLayout.slotSize,
         kDhgdOldLayout.slotSize},
        {"DHCD", ViewKind::Record, true, &kDhcdLayout.text, nullptr, kDhcdLayout.slotSize, 0},
        {"DHRD", ViewKind::Record, true, &kDhrdLayout.text, nullptr, kDhrdLayout.slotSize, 0},
        {"DHGDNZ", ViewKind::Record, true, &kDhgdnzLayout.text, nullptr, kDhgdnzLayout.slotSize, 0},
        {"GG", ViewKind::GG, false, nullptr, nullptr, 0, 0},
        {"RR", ViewKind::RR, false, nullptr, nullptr, 0, 0},
        {"ST", ViewKind::ST, false, nullptr, nullptr, 0, 0},
    };
    static const std::vector<const ViewKind *> all = [] {
        std::vector<const ViewKind *> v;
        for (const ViewKind &k : kinds)
            v.push_back(&k);
        return v;
    }();
    return all;
}

const ViewKind *ViewKindByTag(const std::string &tag)
{
    for (const ViewKind *k : ViewKinds())
        if (tag == k->tag)
            return k;
    return nullptr;
}

std::string ViewStationRoot(const std::string &dir)
{
    for (const char *sub : {"", "/nand3", "/cf", "/mnt/nand3"})
        if (IsDir(dir + sub + "/tempdata") || IsDir(dir + sub + "/data"))
            return dir + sub;
    return "";
}

ViewDay ViewReadDay(const std::string &root, const ViewKind &kind, int year, int mon, int day)
{
    ViewDay d;
    d.kind = &kind;
    d.year = year, d.mon = mon, d.day = day;
    d.expected = kind.monthly ? 24 : 1440;
    char name[40];
    if (kind.source != ViewKind::Record)
        std::snprintf(name, sizeof name, "/data/%s%02d%02d%02d.DAT", kind.tag, year % 100, mon, day);
    else if (kind.monthly)
        std::snprintf(name, sizeof name, "/tempdata/%s/%02d%02d.DAT", kind.tag, year % 100, mon);
    else
        std::snprintf(name, sizeof name, "/tempdata/%s/%02d%02d%02d.DAT", kind.tag, year % 100, mon, day);
    std::string path = root + name;
    bool found = false;
    std::string data = Slurp(path, &found);
    if (!found)
        Problem(d, path, "no such file");
    else if (kind.source == ViewKind::Record)
        ReadRecords(d, path, data);
    else
        ReadDaily(d, path, data);
    if (d.columns.empty() && kind.source == ViewKind::Record)   // nothing read: the current generation's names
        d.columns = ViewElementColumns(kind.tag, false);
    return d;
}

std::string ViewStationZone(const std::string &dir)
{
    for (const char *rel : {"/sim/tz", "/../sim/tz", "/../../sim/tz"}) {
        bool found = false;
        std::string z = Slurp(dir + rel, &found);
        while (!z.empty() && (z.back() == '\n' || z.back() == '\r' || z.back() == ' '))
            z.pop_back();
        if (found && !z.empty() && z.size() < 128 && z.find('\n') == std::string::npos)
            return z;
    }
    return "";
}

std::string ViewZone::Suffix(const std::string &local) const
{
    if (text.empty())   // not known: local time as it is
        return "";
    if (text == "Z" || (text.size() == 6 && (text[0] == '+' || text[0] == '-') && text[3] == ':'))
        return text;
    struct tm t = {};
    if (std::sscanf(local.c_str(), "%4d-%2d-%2dT%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
                    &t.tm_min) != 5)
        return "";
    t.tm_year -= 1900, t.tm_mon -= 1, t.tm_isdst = -1;
    // The rule is the process's own zone while the time is converted.
    const char *was = std::getenv("TZ");
    std::string saved = was != nullptr ? was : "";
    setenv("TZ", text.c_str(), 1);
    tzset();
    mktime(&t);
    if (was != nullptr)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    long off = t.tm_gmtoff;
    if (off == 0)
        return "Z";
    int a = int(std::labs(off) % 86400);
    char s[16];
    std::snprintf(s, sizeof s, "%c%02d:%02d", off < 0 ? '-' : '+', a / 3600, a % 3600 / 60);
    return s;
}

// ---- output ---------------------------------------------------------------------

void ViewCsv(std::ostream &out, const ViewDay &d, const ViewZone &z, bool header)
{
    if (header) {
        out << "time";
        for (const ViewColumn &c : d.columns) {
            out << ',' << c.name;
            if (c.qc)
                out << ',' << c.name << "_QC";
        }
        out << "\r\n" << "ISO 8601";
        for (const ViewColumn &c : d.columns) {
            out << ',' << c.unit;
            if (c.qc)
                out << ",QC";
        }
        out << "\r\n";
    }
    for (const ViewRow &r : d.rows) {
        out << r.time << z.Suffix(r.time);
        for (std::size_t i = 0; i < d.columns.size(); ++i) {
            const ViewCell &c = r.cells[i];
            out << ',';
            if (d.columns[i].kind == ViewColumn::Text)
                out << (c.text == "," || c.text == "\"" ? "\"" + c.text + c.text + "\"" : c.text);
            else if (c.has)
                out << c.value;
            if (d.columns[i].qc)
                out << ',' << (c.qc == ',' || c.qc == '"' ? "\"" + std::string(2, c.qc) + "\"" : Printable(c.qc));
        }
        out << "\r\n";
    }
}

namespace {
std::string JsonChar(const std::string &s)
{
    if (s == "\"" || s == "\\")
        return "\\" + s;
    return s;
}
} // namespace

void ViewJsonLines(std::ostream &out, const ViewDay &d, const ViewZone &z)
{
    for (const ViewRow &r : d.rows) {
        out << "{\"record\":\"" << d.kind->tag << "\",\"time\":\"" << r.time << z.Suffix(r.time) << '"';
        for (std::size_t i = 0; i < d.columns.size(); ++i) {
            const ViewColumn &col = d.columns[i];
            const ViewCell &c = r.cells[i];
            out << ",\"" << col.name << "\":";
            if (col.kind == ViewColumn::Text)
                out << '"' << JsonChar(c.text) << '"';
            else if (c.has)
                out << c.value;
            else
                out << "null";
            if (col.qc)
                out << ",\"" << col.name << "_QC\":\"" << JsonChar(Printable(c.qc)) << '"';
        }
        out << "}\n";
    }
}

namespace {

// "HH:MM" of a slot of the day: a minute or an hour of the records, a line
// of the daily files (GG and ST from 20:01 of the day before, RR up to 24:00).
std::string SlotTime(const ViewDay &d, int slot)
{
    int m = d.kind->monthly ? slot * 60
            : d.kind->source == ViewKind::Record ? slot
            : d.kind->source == ViewKind::RR     ? slot + 1
                                                 : (slot - GG_SHIFT_MINUTES + 1440) % 1440;
    char s[16];
    std::snprintf(s, sizeof s, "%02d:%02d", (m / 60) % 100, m % 60);
    return s;
}

// The runs of marked slots, the first few of them as "from-to (length)".
std::string Runs(const ViewDay &d, const std::vector<bool> &on, int *total)
{
    std::string text;
    int runs = 0;
    *total = 0;
    const char *unit = d.kind->monthly ? " h)" : " min)";
    for (int s = 0; s < int(on.size()); ++s) {
        if (!on[std::size_t(s)])
            continue;
        int e = s;
        while (e + 1 < int(on.size()) && on[std::size_t(e + 1)])
            ++e;
        *total += e - s + 1;
        if (++runs <= 6)
            text += " " + SlotTime(d, s) + "-" + SlotTime(d, e) + " (" + std::to_string(e - s + 1) + unit;
        s = e;
    }
    return runs > 6 ? text + " and " + std::to_string(runs - 6) + " more" : text;
}

// Slots in which a board's state says it was not heard ('2' silent since
// reset, '9' not yet heard).
void SilentBoards(std::ostream &out, const ViewDay &d)
{
    std::vector<std::pair<std::string, int>> states;
    for (std::size_t i = 0; i < d.columns.size(); ++i) {
        const std::string &n = d.columns[i].name;
        // The groups' names are upper case: "CLIM_state", ..., "RAIN_state".
        if (n.size() == 10 && n.compare(4, 6, "_state") == 0 && n[0] >= 'A' && n[0] <= 'Z')
            states.emplace_back(n.substr(0, n.size() - 6), int(i));
    }
    states.emplace_back("CAN bus", d.Column("can_bus_state"));
    for (const auto &[board, col] : states) {
        if (col < 0)
            continue;
        std::vector<bool> silent(std::size_t(d.expected), false);
        for (const ViewRow &r : d.rows) {
            const std::string &t = r.cells[std::size_t(col)].text;
            silent[std::size_t(r.slot)] = t == "2" || t == "9";
        }
        int total = 0;
        std::string runs = Runs(d, silent, &total);
        if (total > 0)
            out << "  " << board << " silent " << total << " min:" << runs << '\n';
    }
}

} // namespace

void ViewReport(std::ostream &out, const ViewDay &d)
{
    char head[128];
    std::snprintf(head, sizeof head, "%s %04d-%02d-%02d: %zu of %d %s written, %zu missing, %zu problems",
                  d.kind->tag, d.year, d.mon, d.day, d.rows.size(), d.expected,
                  d.kind->monthly ? "hours" : d.kind->source == ViewKind::Record ? "minutes" : "lines",
                  std::size_t(d.expected) - d.rows.size(), d.problems.size());
    out << head << '\n';
    std::vector<bool> missing(std::size_t(d.expected), true);
    for (const ViewRow &r : d.rows)
        missing[std::size_t(r.slot)] = false;
    int total = 0;
    if (std::string gaps = Runs(d, missing, &total); total > 0 && !d.rows.empty())
        out << "  missing:" << gaps << '\n';
    // Elements whose QC was '0' in every written slot are the normal case
    // and stay out of the list.
    std::string line;
    for (std::size_t f = 0; f < d.columns.size(); ++f) {
        if (!d.columns[f].qc)
            continue;
        std::map<char, int> count;
        for (const ViewRow &r : d.rows)
            ++count[r.cells[f].qc];
        if (count.empty() || (count.size() == 1 && count.begin()->first == '0'))
            continue;
        line += ' ' + d.columns[f].name;
        for (const auto &[q, c] : count)
            line += ' ' + Printable(q) + '=' + std::to_string(c);
        line += ';';
    }
    if (!line.empty())
        out << "  QC other than 0:" << line << '\n';
    if (d.kind->source == ViewKind::ST)
        SilentBoards(out, d);
}
