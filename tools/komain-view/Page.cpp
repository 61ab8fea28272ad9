// One day on one page: small SVG plots of the minute records and a table of
// the hourly ones, in a single HTML file with nothing to fetch. A minute
// without a value is a gap in its line; a value whose QC is not '0' is a
// red ring; a minute whose QC says missing gets a red tick on the time axis.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "View.h"

namespace {

constexpr int W = 760, H = 170, L = 52, R = 52, T = 24, B = 22;   // plot box and margins
constexpr int PW = W - L - R, PH = H - T - B;
constexpr int kMinutes = 1440;

double Scale(const std::string &unit)
{
    if (unit.compare(0, 4, "0.1 ") == 0)
        return 0.1;
    if (unit.compare(0, 5, "0.01 ") == 0)
        return 0.01;
    return 1;
}
std::string Shown(const std::string &unit)
{
    std::size_t sp = unit.find(' ');
    return Scale(unit) != 1 ? unit.substr(sp + 1) : unit;
}

struct Series {
    std::string label, color;
    enum Style { Line, Dots, Bars, Steps } style = Line;
    int axis = 0;                      // 0 left, 1 right
    std::vector<double> v;             // NaN where there is no value
    std::vector<char> qc;
};

// A column of a day's rows by minute (or hour for the hourly records).
// An hourly record stamped H is the hour before H: offset -1 puts it there.
Series Take(const ViewDay &d, const char *name, const char *color, Series::Style style = Series::Line,
            int axis = 0, int slots = kMinutes, int offset = 0)
{
    Series s;
    s.color = color, s.style = style, s.axis = axis;
    s.v.assign(std::size_t(slots), NAN);
    s.qc.assign(std::size_t(slots), 'N');
    int c = d.Column(name);
    s.label = name;
    if (c < 0)
        return s;
    s.label += " (" + Shown(d.columns[std::size_t(c)].unit) + ")";
    double k = Scale(d.columns[std::size_t(c)].unit);
    for (const ViewRow &r : d.rows) {
        int i = r.slot + offset;
        if (i < 0 || i >= slots)
            continue;
        const ViewCell &cell = r.cells[std::size_t(c)];
        s.qc[std::size_t(i)] = cell.qc;
        if (cell.has)
            s.v[std::size_t(i)] = cell.value * k;
    }
    return s;
}

struct Range {
    double lo = INFINITY, hi = -INFINITY;
    void Add(double v)
    {
        if (!std::isnan(v))
            lo = std::fmin(lo, v), hi = std::fmax(hi, v);
    }
    void Settle()
    {
        if (lo > hi)
            lo = 0, hi = 1;
        if (hi - lo < 1e-9)
            lo -= 1, hi += 1;
        double pad = (hi - lo) * 0.05;
        lo -= pad, hi += pad;
    }
};

void Text(std::ostream &out, double x, double y, const std::string &s, const char *anchor = "start",
          const char *color = "#333")
{
    char b[96];
    std::snprintf(b, sizeof b, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\" fill=\"%s\">", x, y, anchor, color);
    out << b << s << "</text>";
}

void Plot(std::ostream &out, const std::string &title, std::vector<Series> series, const Range *fixedRight = nullptr)
{
    Range left, right;
    for (Series &s : series)
        for (double v : s.v)
            (s.axis == 0 ? left : right).Add(v);
    for (const Series &s : series)
        if (s.style == Series::Bars)
            (s.axis == 0 ? left : right).Add(0);
    left.Settle();
    right.Settle();
    if (fixedRight != nullptr)
        right = *fixedRight;
    char b[256];
    std::snprintf(b, sizeof b, "<svg class=\"plot\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\">", W, H, W, H);
    out << b;
    std::snprintf(b, sizeof b, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#fafafa\" stroke=\"#999\"/>",
                  L, T, PW, PH);
    out << b;
    Text(out, L, 15, title);
    for (int h = 0; h <= 24; h += 3) {
        double x = L + PW * h / 24.0;
        std::snprintf(b, sizeof b, "<line x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#ddd\"/>", x, T, x, T + PH);
        out << b;
        std::snprintf(b, sizeof b, "%02d", h);
        Text(out, x, H - 6, b, "middle");
    }
    bool anyRight = false;
    for (const Series &s : series)
        anyRight |= s.axis == 1;
    for (int k = 0; k <= 4; ++k) {
        double y = T + PH - PH * k / 4.0;
        std::snprintf(b, sizeof b, "%.4g", left.lo + (left.hi - left.lo) * k / 4);
        Text(out, L - 4, y + 4, b, "end");
        if (anyRight) {
            std::snprintf(b, sizeof b, "%.4g", right.lo + (right.hi - right.lo) * k / 4);
            Text(out, W - R + 4, y + 4, b);
        }
    }
    // Bars behind the lines; nothing drawn outside the box.
    std::stable_partition(series.begin(), series.end(), [](const Series &s) { return s.style == Series::Bars; });
    static int clips = 0;
    ++clips;
    std::snprintf(b, sizeof b, "<clipPath id=\"box%d\"><rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"/></clipPath>",
                  clips, L, T, PW, PH);
    out << b;
    double legend = 300;
    for (const Series &s : series) {
        std::snprintf(b, sizeof b, "<g clip-path=\"url(#box%d)\">", clips);
        out << b;
        const Range &r = s.axis == 0 ? left : right;
        int n = int(s.v.size());
        auto X = [&](int i) { return L + PW * (i + 0.5) / n; };
        auto Y = [&](double v) { return T + PH - PH * (v - r.lo) / (r.hi - r.lo); };
        if (s.style == Series::Line || s.style == Series::Steps) {
            // One path; a missing value lifts the pen, so gaps stay gaps.
            std::string d;
            bool pen = false;
            for (int i = 0; i < n; ++i) {
                double v = s.v[std::size_t(i)];
                if (std::isnan(v)) {
                    pen = false;
                    continue;
                }
                double x0 = s.style == Series::Steps ? L + PW * double(i) / n : X(i);
                std::snprintf(b, sizeof b, "%c%.1f %.1f", pen ? 'L' : 'M', x0, Y(v));
                d += b;
                if (s.style == Series::Steps) {
                    std::snprintf(b, sizeof b, "L%.1f %.1f", L + PW * double(i + 1) / n, Y(v));
                    d += b;
                }
                pen = true;
            }
            out << "<path class=\"series\" d=\"" << d << "\" fill=\"none\" stroke=\"" << s.color
                << "\" stroke-width=\"1.4\"/>";
        }
        for (int i = 0; i < n; ++i) {
            double v = s.v[std::size_t(i)];
            char q = s.qc[std::size_t(i)];
            if (std::isnan(v)) {
                if (q != '0' && q != 'N') {
                    std::snprintf(b, sizeof b, "<line class=\"qc\" x1=\"%.1f\" y1=\"%d\" x2=\"%.1f\" y2=\"%d\" stroke=\"#d00\"/>",
                                  X(i), T + PH, X(i), T + PH - 4);
                    out << b;
                }
                continue;
            }
            bool alone = (i == 0 || std::isnan(s.v[std::size_t(i - 1)])) && (i + 1 == n || std::isnan(s.v[std::size_t(i + 1)]));
            if (s.style == Series::Dots || (s.style == Series::Line && alone)) {
                std::snprintf(b, sizeof b, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"1.3\" fill=\"%s\"/>", X(i), Y(v),
                              s.color.c_str());
                out << b;
            } else if (s.style == Series::Bars && v != 0) {
                double y0 = Y(std::fmax(r.lo, 0)), y1 = Y(v);
                std::snprintf(b, sizeof b, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.2f\" height=\"%.1f\" fill=\"%s\" fill-opacity=\"0.6\"/>",
                              L + PW * double(i) / n, std::fmin(y0, y1), std::fmax(PW / double(n), 0.6),
                              std::fabs(y0 - y1), s.color.c_str());
                out << b;
            }
            if (q != '0') {
                std::snprintf(b, sizeof b,
                              "<circle class=\"qc\" cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"none\" stroke=\"#d00\"><title>QC %c</title></circle>",
                              X(i), Y(v), q);
                out << b;
            }
        }
        out << "</g>";
        std::snprintf(b, sizeof b, "<rect x=\"%.1f\" y=\"%d\" width=\"10\" height=\"3\" fill=\"%s\"/>", legend, 9,
                      s.color.c_str());
        out << b;
        Text(out, legend + 13, 15, s.label + (s.axis == 1 ? " (right)" : ""));
        legend += 150;
    }
    out << "</svg>\n";
}

void HourTable(std::ostream &out, const ViewDay &d)
{
    static const char *const kCols[] = {"T0", "T0_max", "T0_min", "TD", "U", "U_min", "P", "WS_2min",
                                        "WD_ext", "WS_ext", "RAT_hour", "VI_10min"};
    out << "<table><tr><th>hour</th>";
    std::vector<int> idx;
    for (const char *c : kCols) {
        int i = d.Column(c);
        if (i < 0)
            continue;
        idx.push_back(i);
        out << "<th>" << c << "<br><small>" << Shown(d.columns[std::size_t(i)].unit) << "</small></th>";
    }
    out << "</tr>\n";
    for (const ViewRow &r : d.rows) {
        out << "<tr><td>" << r.time.substr(11, 5) << "</td>";
        for (int i : idx) {
            const ViewCell &c = r.cells[std::size_t(i)];
            out << (c.qc != '0' && c.qc != 'N' ? "<td class=\"q\" title=\"QC " + std::string(1, c.qc) + "\">" : "<td>");
            if (c.has) {
                char b[32];
                double k = Scale(d.columns[std::size_t(i)].unit);
                std::snprintf(b, sizeof b, k == 1 ? "%.0f" : "%.1f", c.value * k);
                out << b;
            }
            out << "</td>";
        }
        out << "</tr>\n";
    }
    out << "</table>\n";
}

} // namespace

void ViewPage(std::ostream &out, const ViewDay &g, const ViewDay &rd, const ViewDay &h, const ViewZone &z)
{
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", g.year, g.mon, g.day);
    std::string zone = z.Suffix(std::string(day) + "T12:00:00");
    out << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Station day " << day << "</title>\n"
        << "<style>body{font:13px sans-serif;margin:16px;color:#222;background:#fff}svg{display:block;margin:6px 0}"
           "svg text{font:11px sans-serif}table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px;"
           "text-align:right}td.q{background:#fdd}</style></head><body>\n";
    out << "<h1>Station day " << day << "</h1>\n<p>Times are the station's local time (UTC"
        << (zone == "Z" ? "" : zone) << "); minutes written: " << g.rows.size() << " of 1440 main, " << rd.rows.size()
        << " of 1440 radiation (radiation clock); hours: " << h.rows.size()
        << ". Red rings: QC other than 0; red ticks: minutes without a value.</p>\n";
    Plot(out, "Air temperature and dew point", {Take(g, "T0", "#c33"), Take(g, "TD", "#36c")});
    Plot(out, "Relative humidity", {Take(g, "U", "#393")});
    Plot(out, "Station pressure", {Take(g, "P", "#639")});
    Range dir{0, 360};
    Plot(out, "Wind speed, hour's maximum and direction",
         {Take(g, "WS_2min", "#06c"), Take(g, "WS_max", "#f80"), Take(g, "WD_2min", "#888", Series::Dots, 1)}, &dir);
    Plot(out, "Rain per minute and per hour",
         {Take(g, "RAT", "#06c", Series::Bars), Take(h, "RAT_hour", "#0a6", Series::Steps, 1, 24, -1)});
    Range sun{0, 1.05};
    Plot(out, "Radiation and sunshine (radiation clock)",
         {Take(rd, "GR", "#e90"), Take(rd, "SSD", "#fc3", Series::Bars, 1)}, &sun);
    out << "<h2>Hourly records</h2>\n";
    HourTable(out, h);
    out << "</body></html>\n";
}
