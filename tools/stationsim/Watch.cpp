#include "Watch.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace stationsim {

namespace {

// Field indexes of the watched quantities per record generation.
struct Layout {
    size_t fields;
    int wd2, ws2, gustDir, gust, rain, temp, hum, dew, press;
};
constexpr Layout kNew{57, 0, 1, 4, 5, 6, 20, 26, 28, 29};
constexpr Layout kOld{45, 0, 1, 4, 5, 6, 12, 14, 16, 17};

bool Valued(char qc) { return qc == '0' || qc == '1' || qc == '2' || qc == '7'; }

std::string Fmt(const char *f, double v)
{
    char b[32];
    std::snprintf(b, sizeof b, f, v);
    return b;
}

// Header fields: tag, station, date, time, flags, QC string; the QC string
// may be empty, so the line is cut at single blanks.
bool SplitHead(std::string_view line, std::string_view tag, std::vector<std::string_view> *head,
               std::string_view *rest)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '\0'))
        line.remove_suffix(1);
    if (line.substr(0, tag.size() + 1) != std::string(tag) + " ")
        return false;
    head->clear();
    size_t pos = 0;
    for (int i = 0; i < 6; ++i) {
        const size_t sp = line.find(' ', pos);
        if (sp == std::string_view::npos) {
            if (i < 5)
                return false;
            head->push_back(line.substr(pos));
            *rest = {};
            return true;
        }
        head->push_back(line.substr(pos, sp - pos));
        pos = sp + 1;
    }
    *rest = line.substr(pos);
    return true;
}

// Items of the present fields, by field index ("" for absent ones).
bool Items(std::string_view flags, std::string_view qcs, std::string_view rest, std::vector<std::string> *items,
           std::string *qcOf)
{
    items->assign(flags.size(), "");
    qcOf->assign(flags.size(), '-');
    size_t q = 0, pos = 0;
    for (size_t f = 0; f < flags.size(); ++f) {
        if (flags[f] != '1')
            continue;
        if (q >= qcs.size())
            return false;
        (*qcOf)[f] = qcs[q++];
        const size_t sp = rest.find(' ', pos);
        const size_t end = sp == std::string_view::npos ? rest.size() : sp;
        (*items)[f] = std::string(rest.substr(pos, end - pos));
        pos = end + 1;
    }
    return true;
}

bool Take(const std::vector<std::string> &items, const std::string &qcOf, int f, double scale, double *out)
{
    if (f < 0 || size_t(f) >= items.size() || !Valued(qcOf[size_t(f)]))
        return false;
    const std::string &s = items[size_t(f)];
    char *end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v == 99999 || v == -9999)
        return false;
    *out = double(v) * scale;
    return true;
}

// A record line of either generation, by its number of elements: its
// header fields, items and QC characters by element index. False when the
// line is not such a record; *newer tells the generation.
struct Record {
    std::vector<std::string_view> head;
    std::vector<std::string> items;
    std::string qcOf;
    bool newer = false;
};
bool SplitRecord(std::string_view line, std::string_view tag, size_t newer, size_t older, Record *r)
{
    std::string_view rest;
    if (!SplitHead(line, tag, &r->head, &rest))
        return false;
    const std::string_view flags = r->head[4];
    if (flags.size() != newer && flags.size() != older)
        return false;
    r->newer = flags.size() == newer;
    return Items(flags, r->head[5], rest, &r->items, &r->qcOf);
}

} // namespace

bool ParseDmgd(std::string_view line, MinuteRow *row)
{
    Record rec;
    if (!SplitRecord(line, "DMGD", kNew.fields, kOld.fields, &rec))
        return false;
    const Layout &l = rec.newer ? kNew : kOld;
    const std::vector<std::string> &items = rec.items;
    const std::string &qcOf = rec.qcOf;
    *row = MinuteRow();
    row->date = std::string(rec.head[2]);
    row->time = std::string(rec.head[3]);
    row->hasTemp = Take(items, qcOf, l.temp, 0.1, &row->temp);
    row->hasHum = Take(items, qcOf, l.hum, 1.0, &row->hum);
    row->hasDew = Take(items, qcOf, l.dew, 0.1, &row->dew);
    row->hasPress = Take(items, qcOf, l.press, 0.1, &row->press);
    row->hasWs = Take(items, qcOf, l.ws2, 0.1, &row->ws);
    row->hasWd = Take(items, qcOf, l.wd2, 1.0, &row->wd);
    row->hasGust = Take(items, qcOf, l.gust, 0.1, &row->gust);
    Take(items, qcOf, l.gustDir, 1.0, &row->gustDir);
    row->hasRain = Take(items, qcOf, l.rain, 0.1, &row->rain);
    for (int f : {l.temp, l.hum, l.dew, l.press, l.ws2, l.wd2, l.gust, l.rain})
        row->qc += qcOf[size_t(f)];
    row->qc += '-';   // radiation, from its own record
    return true;
}

bool ParseDmrdGlobal(std::string_view line, MinuteRow *row)
{
    std::vector<std::string_view> head;
    std::string_view rest;
    if (!SplitHead(line, "DMRD", &head, &rest) || head[4].empty())
        return false;
    std::vector<std::string> items;
    std::string qcOf;
    if (!Items(head[4], head[5], rest, &items, &qcOf))
        return false;
    row->hasRad = Take(items, qcOf, 0, 1.0, &row->rad);
    if (!row->qc.empty())
        row->qc.back() = qcOf[0];
    return true;
}

std::string RowHeader()
{
    return "time   temp  hum  dew  press   wind  dir  gust  rain  rad   QC";
}

std::string FormatRow(const MinuteRow &r)
{
    auto col = [](bool has, const char *f, double v, int width) {
        std::string s = has ? Fmt(f, v) : std::string("--");
        return std::string(s.size() < size_t(width) ? size_t(width) - s.size() : 0, ' ') + s;
    };
    return r.time + col(r.hasTemp, "%.1f", r.temp, 7) + col(r.hasHum, "%.0f", r.hum, 5) +
           col(r.hasDew, "%.1f", r.dew, 5) + col(r.hasPress, "%.1f", r.press, 7) + col(r.hasWs, "%.1f", r.ws, 7) +
           col(r.hasWd, "%.0f", r.wd, 5) + col(r.hasGust, "%.1f", r.gust, 6) + col(r.hasRain, "%.1f", r.rain, 6) +
           col(r.hasRad, "%.0f", r.rad, 5) + "   " + r.qc;
}

namespace {

// Element indexes of the summarised items per generation of the DHGD record.
struct HourLayout {
    size_t elements;
    int wd10, ws10, gustDir, gust, gustAt, rain, temp, tMax, tMaxAt, tMin, tMinAt, hum, uMin, dew, press;
};
constexpr HourLayout kHourNew{92, 2, 3, 4, 5, 6, 12, 19, 20, 21, 22, 23, 45, 46, 49, 50};
constexpr HourLayout kHourOld{68, 2, 3, 4, 5, 6, 12, 15, 16, 17, 18, 19, 21, 22, 25, 26};

// An hhmm item as "HH:MM"; "" for the missing markers and other texts.
std::string ClockOf(const std::vector<std::string> &items, const std::string &qcOf, int f)
{
    double v = 0;
    if (!Take(items, qcOf, f, 1.0, &v) || v < 0 || v > 2359)
        return {};
    char b[24];
    std::snprintf(b, sizeof b, "%02d:%02d", int(v) / 100, int(v) % 100);
    return b;
}

} // namespace

bool ParseDhgd(std::string_view line, HourRow *row)
{
    Record rec;
    if (!SplitRecord(line, "DHGD", kHourNew.elements, kHourOld.elements, &rec))
        return false;
    const HourLayout &l = rec.newer ? kHourNew : kHourOld;
    const std::vector<std::string> &items = rec.items;
    const std::string &qcOf = rec.qcOf;
    *row = HourRow();
    row->date = std::string(rec.head[2]);
    row->hour = std::string(rec.head[3]);
    row->hasTemp = Take(items, qcOf, l.temp, 0.1, &row->temp);
    row->hasTMax = Take(items, qcOf, l.tMax, 0.1, &row->tMax);
    row->hasTMin = Take(items, qcOf, l.tMin, 0.1, &row->tMin);
    row->tMaxAt = ClockOf(items, qcOf, l.tMaxAt);
    row->tMinAt = ClockOf(items, qcOf, l.tMinAt);
    row->hasHum = Take(items, qcOf, l.hum, 1.0, &row->hum);
    row->hasUMin = Take(items, qcOf, l.uMin, 1.0, &row->uMin);
    row->hasDew = Take(items, qcOf, l.dew, 0.1, &row->dew);
    row->hasPress = Take(items, qcOf, l.press, 0.1, &row->press);
    row->hasWs = Take(items, qcOf, l.ws10, 0.1, &row->ws);
    row->hasWd = Take(items, qcOf, l.wd10, 1.0, &row->wd);
    row->hasGust = Take(items, qcOf, l.gust, 0.1, &row->gust);
    row->hasGustDir = Take(items, qcOf, l.gustDir, 1.0, &row->gustDir);
    row->gustAt = ClockOf(items, qcOf, l.gustAt);
    row->hasRain = Take(items, qcOf, l.rain, 0.1, &row->rain);
    return true;
}

std::string FormatHour(const HourRow &r, int minuteRows)
{
    auto v = [](bool has, const char *f, double x) { return has ? Fmt(f, x) : std::string("--"); };
    auto at = [](const std::string &t) { return t.empty() ? std::string() : " at " + t; };
    std::string s = "== " + r.date + " " + r.hour + "h DHGD: temp " + v(r.hasTemp, "%.1f", r.temp) + " (max " +
                    v(r.hasTMax, "%.1f", r.tMax) + at(r.tMaxAt) + ", min " + v(r.hasTMin, "%.1f", r.tMin) +
                    at(r.tMinAt) + ") hum " + v(r.hasHum, "%.0f", r.hum) + " (min " + v(r.hasUMin, "%.0f", r.uMin) +
                    ") dew " + v(r.hasDew, "%.1f", r.dew) + " press " + v(r.hasPress, "%.1f", r.press) +
                    " wind " + v(r.hasWs, "%.1f", r.ws) + " from " + v(r.hasWd, "%.0f", r.wd) + " (max " +
                    v(r.hasGust, "%.1f", r.gust) + " from " + v(r.hasGustDir, "%.0f", r.gustDir) + at(r.gustAt) +
                    ") rain " + v(r.hasRain, "%.1f", r.rain);
    return s + " | " + std::to_string(minuteRows) + " minute rows watched";
}

std::string ReadSlot(const std::string &path, long slot, long slotSize)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string buf(size_t(slotSize), '\0');
    in.seekg(slot * slotSize);
    in.read(buf.data(), slotSize);
    if (in.gcount() != slotSize)
        return {};
    const size_t end = buf.find_first_of(std::string("\r\n\0", 3));
    return buf.substr(0, end);
}

} // namespace stationsim
