#include "View.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/stat.h>

#include "processing/Dmgd.h"
#include "processing/RecordLayout.h"

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

// A value the record lets through: a number whose QC is one the layout
// prints values for; anything else (markers, stars, dashes) is missing.
bool Shown(const ViewRow &r, int f)
{
    return r.v.has[f] && r.v.qc[f] != 'N' && std::strchr(r.layout->valueQc, r.v.qc[f]) != nullptr;
}

} // namespace

const std::vector<const ViewKind *> &ViewKinds()
{
    static const ViewKind kinds[] = {
        {"DMGD", false, &kDmgdText, &kDmgdTextOld, RECORD_TEXT_LEN, RECORD_TEXT_LEN},
        {"DMCD", false, &kDmcdLayout.text, nullptr, kDmcdLayout.slotSize, 0},
        {"DMRD", false, &kDmrdLayout.text, nullptr, kDmrdLayout.slotSize, 0},
        {"DHGD", true, &kDhgdLayout.text, &kDhgdOldLayout.text, kDhgdLayout.slotSize, kDhgdOldLayout.slotSize},
        {"DHCD", true, &kDhcdLayout.text, nullptr, kDhcdLayout.slotSize, 0},
        {"DHRD", true, &kDhrdLayout.text, nullptr, kDhrdLayout.slotSize, 0},
        {"DHGDNZ", true, &kDhgdnzLayout.text, nullptr, kDhgdnzLayout.slotSize, 0},
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

std::string ViewTempdata(const std::string &dir)
{
    for (const char *sub : {"/tempdata", "/nand3/tempdata", "/cf/tempdata"})
        if (IsDir(dir + sub))
            return dir + sub;
    return "";
}

ViewDay ViewReadDay(const std::string &tempdata, const ViewKind &kind, int year, int mon, int day)
{
    ViewDay d;
    d.kind = &kind;
    d.year = year, d.mon = mon, d.day = day;
    d.expected = kind.monthly ? 24 : 1440;
    char name[32];
    if (kind.monthly)
        std::snprintf(name, sizeof name, "/%s/%02d%02d.DAT", kind.tag, year % 100, mon);
    else
        std::snprintf(name, sizeof name, "/%s/%02d%02d%02d.DAT", kind.tag, year % 100, mon, day);
    std::string path = tempdata + name;
    bool found = false;
    std::string data = Slurp(path, &found);
    if (!found) {
        d.problems.push_back(path + ": no such file");
        return d;
    }
    int slots = kind.monthly ? 744 : 1440;
    // The slot size tells the hourly generations apart; the minute files
    // share theirs, so there the number of flags does.
    int size = kind.curSlot;
    if (kind.old != nullptr && kind.oldSlot != kind.curSlot && data.size() % std::size_t(kind.curSlot) != 0 &&
        data.size() % std::size_t(kind.oldSlot) == 0)
        size = kind.oldSlot;
    if (data.size() != std::size_t(slots) * std::size_t(size))
        d.problems.push_back(path + ": " + std::to_string(data.size()) + " bytes, expected " +
                             std::to_string(slots * size) + " (cut short or of another kind)");
    const RecordTextLayout *fileGen = nullptr;
    char want[16];
    std::snprintf(want, sizeof want, "%04d-%02d-%02d", year, mon, day);
    int first = kind.monthly ? (day - 1) * 24 : 0;
    for (int s = 0; s < d.expected; ++s) {
        int slot = first + s;
        std::size_t at = std::size_t(slot) * std::size_t(size);
        if (at + std::size_t(size) > data.size())
            break;
        const char *rec = data.data() + at;
        if (RecordSlotUnwritten(rec, size))
            continue;
        std::string where = path + " slot " + std::to_string(slot) + ": ";
        std::vector<std::string> w = Words(rec, std::size_t(size), 5);
        if (w.size() < 5 || w[0] != kind.tag) {
            d.problems.push_back(where + "not a " + kind.tag + " record");
            continue;
        }
        // Minute records carry "HH:MM", hourly ones "HH".
        const std::string &date = w[2], &hm = w[3];
        bool timeOk = kind.monthly ? hm.size() == 2 && Digits(hm, 0, 2)
                                   : hm.size() == 5 && Digits(hm, 0, 2) && Digits(hm, 3, 2) && hm[2] == ':';
        if (date.size() != 10 || !Digits(date, 0, 4) || !Digits(date, 5, 2) || !Digits(date, 8, 2) || !timeOk) {
            d.problems.push_back(where + "garbled time");
            continue;
        }
        int hour = std::atoi(hm.c_str()), minute = kind.monthly ? 0 : std::atoi(hm.c_str() + 3);
        bool placed = date == want && (kind.monthly ? hour == s : hour * 60 + minute == s);
        if (!placed) {
            d.problems.push_back(where + "time " + date + " " + hm + " does not belong to this slot");
            continue;
        }
        const RecordTextLayout *gen = nullptr;
        int flags = int(w[4].size());
        if (flags == kind.cur->fields && size == kind.curSlot)
            gen = kind.cur;
        else if (kind.old != nullptr && flags == kind.old->fields && size == kind.oldSlot)
            gen = kind.old;
        if (gen == nullptr) {
            d.problems.push_back(where + "garbled flags (" + std::to_string(flags) + " of them)");
            continue;
        }
        if (fileGen == nullptr)
            fileGen = gen;
        if (gen != fileGen) {
            d.problems.push_back(where + "record of the other format generation");
            continue;
        }
        ViewRow r;
        r.slot = s;
        r.time = date + "T" + (kind.monthly ? hm + ":00" : hm) + ":00";
        r.layout = gen;
        MinuteViewParse(rec, std::size_t(size), gen->fields, &r.v);
        d.rows.push_back(r);
    }
    return d;
}

namespace {

int Fields(const ViewDay &d) { return d.rows.empty() ? d.kind->cur->fields : d.rows[0].layout->fields; }

std::string Column(const ViewDay &d, int f)
{
    char c[24];
    std::snprintf(c, sizeof c, "%s_%02d", d.kind->tag, f + 1);
    return c;
}

} // namespace

void ViewCsv(std::ostream &out, const ViewDay &d, const std::string &tz, bool header)
{
    int n = Fields(d);
    if (header) {
        out << "time";
        for (int f = 0; f < n; ++f)
            out << ',' << Column(d, f) << ',' << Column(d, f) << "_QC";
        out << "\r\n" << "ISO 8601";
        // The stored integers are the element's value in its record unit.
        for (int f = 0; f < n; ++f)
            out << ",record unit,QC";
        out << "\r\n";
    }
    for (const ViewRow &r : d.rows) {
        out << r.time << tz;
        for (int f = 0; f < n; ++f) {
            out << ',';
            if (Shown(r, f))
                out << r.v.value[f];
            out << ',' << r.v.qc[f];
        }
        out << "\r\n";
    }
}

void ViewJsonLines(std::ostream &out, const ViewDay &d, const std::string &tz)
{
    int n = Fields(d);
    for (const ViewRow &r : d.rows) {
        out << "{\"record\":\"" << d.kind->tag << "\",\"time\":\"" << r.time << tz << '"';
        for (int f = 0; f < n; ++f) {
            std::string c = Column(d, f);
            out << ",\"" << c << "\":";
            if (Shown(r, f))
                out << r.v.value[f];
            else
                out << "null";
            char q = r.v.qc[f];
            out << ",\"" << c << "_QC\":\"";
            if (q == '"' || q == '\\')
                out << '\\';
            if (static_cast<unsigned char>(q) >= 0x20 && static_cast<unsigned char>(q) < 0x7f)
                out << q;
            else
                out << '?';
            out << '"';
        }
        out << "}\n";
    }
}

void ViewReport(std::ostream &out, const ViewDay &d)
{
    char head[96];
    std::snprintf(head, sizeof head, "%s %04d-%02d-%02d: %zu of %d %s written, %zu missing, %zu problems",
                  d.kind->tag, d.year, d.mon, d.day, d.rows.size(), d.expected,
                  d.kind->monthly ? "hours" : "minutes", std::size_t(d.expected) - d.rows.size(),
                  d.problems.size());
    out << head << '\n';
    int n = Fields(d);
    // Elements whose QC was '0' in every written slot are the normal case
    // and stay out of the list.
    std::string line;
    for (int f = 0; f < n; ++f) {
        std::map<char, int> count;
        for (const ViewRow &r : d.rows)
            ++count[r.v.qc[f]];
        if (count.empty() || (count.size() == 1 && count.begin()->first == '0'))
            continue;
        line += ' ' + Column(d, f);
        for (const auto &[q, c] : count) {
            line += ' ';
            line += (static_cast<unsigned char>(q) >= 0x20 && static_cast<unsigned char>(q) < 0x7f) ? q : '?';
            line += '=' + std::to_string(c);
        }
        line += ';';
    }
    if (!line.empty())
        out << "  QC other than 0:" << line << '\n';
}
