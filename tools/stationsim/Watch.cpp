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

} // namespace

bool ParseDmgd(std::string_view line, MinuteRow *row)
{
    std::vector<std::string_view> head;
    std::string_view rest;
    if (!SplitHead(line, "DMGD", &head, &rest))
        return false;
    const std::string_view flags = head[4];
    const Layout &l = flags.size() == kNew.fields ? kNew : kOld;
    if (flags.size() != kNew.fields && flags.size() != kOld.fields)
        return false;
    std::vector<std::string> items;
    std::string qcOf;
    if (!Items(flags, head[5], rest, &items, &qcOf))
        return false;
    *row = MinuteRow();
    row->date = std::string(head[2]);
    row->time = std::string(head[3]);
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

void HourSummary::Add(const MinuteRow &r)
{
    hour_ = r.date + " " + r.time.substr(0, 2);
    ++rows_;
    if (r.hasTemp) {
        ++temps_;
        tSum_ += r.temp;
        tMax_ = r.temp > tMax_ ? r.temp : tMax_;
        tMin_ = r.temp < tMin_ ? r.temp : tMin_;
    }
    if (r.hasHum) {
        ++hums_;
        uSum_ += r.hum;
    }
    if (r.hasPress) {
        ++presses_;
        pSum_ += r.press;
    }
    if (r.hasGust && r.gust > gustMax_)
        gustMax_ = r.gust;
    if (r.hasRain)
        rain_ += r.rain;
}

std::string HourSummary::Line(std::string_view record) const
{
    std::string s = "== " + hour_ + "h, " + std::to_string(rows_) + " min:";
    if (temps_ > 0)
        s += " temp " + Fmt("%.1f", tSum_ / temps_) + " (" + Fmt("%.1f", tMin_) + ".." + Fmt("%.1f", tMax_) + ")";
    if (hums_ > 0)
        s += " hum " + Fmt("%.0f", uSum_ / hums_);
    if (presses_ > 0)
        s += " press " + Fmt("%.1f", pSum_ / presses_);
    if (gustMax_ >= 0)
        s += " max wind " + Fmt("%.1f", gustMax_);
    s += " rain " + Fmt("%.1f", rain_);
    s += record.empty() ? " | no hourly record" : " | hourly record saved";
    return s;
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
