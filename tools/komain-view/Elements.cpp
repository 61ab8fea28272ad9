// Names and units of every element of the stored records. A record's
// element list is written once, as words: "T0+" stands for T0 and its
// hourly maximum, its time, its minimum and its time; "U_" for the hourly
// minimum and its time alone, "WS1_max3s^" for the maximum and its time,
// "T0*" for the four extremes without the value. A time of day is "hhmm";
// an extreme has the unit of its element.
#include "Elements.h"

#include <cstring>
#include <sstream>

namespace {

struct Unit {
    const char *name;
    const char *unit;
};

constexpr Unit kUnits[] = {
    {"WD_2min", "degree"}, {"WS_2min", "0.1 m/s"}, {"WD_10min", "degree"}, {"WS_10min", "0.1 m/s"},
    {"WD_max", "degree"}, {"WS_max", "0.1 m/s"}, {"WD_hmax", "degree"}, {"WS_hmax", "0.1 m/s"},
    {"WD_ext", "degree"}, {"WS_ext", "0.1 m/s"}, {"RAT", "0.1 mm"}, {"RAT1", "0.1 mm"}, {"RAT2", "0.1 mm"},
    {"RAT3", "0.1 mm"}, {"RATB", "0.1 mm"}, {"RAT5", "0.1 mm"}, {"RAW", "0.1 mm"}, {"RAT1_C", "0.1 mm"},
    {"T0", "0.1 degC"}, {"T01", "0.1 degC"}, {"T02", "0.1 degC"}, {"T03", "0.1 degC"}, {"T04", "0.1 degC"},
    {"TW", "*"}, {"U", "%"}, {"E", "0.1 hPa"}, {"TD", "0.1 degC"}, {"P", "0.1 hPa"}, {"TG", "0.1 degC"},
    {"ST", "0.1 degC"}, {"LE", "0.1 mm"}, {"VI", "m"}, {"VI_10min", "m"}, {"SD", "instrument unit"},
    {"T_voted", "0.1 degC"}, {"SV", "0.1 m/s"}, {"WS1_2min", "0.1 m/s"}, {"WS1_10min", "0.1 m/s"},
    {"WS1_max3s", "0.1 m/s"}, {"IR", "0.1 degC"}, {"SSD", "min"}, {"SLP", "0.1 hPa"},
};
// Radiation pairs: irradiance, then the hour's exposure.
constexpr const char *kRadiation[] = {"GR", "NR", "DR", "SR", "RR", "UR", "UVA", "UVB", "AR", "TR", "PR"};

bool EndsWith(const std::string &s, const char *tail)
{
    std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

std::string Strip(const std::string &s, const char *tail) { return s.substr(0, s.size() - std::strlen(tail)); }

std::string UnitOf(std::string name)
{
    if (EndsWith(name, "_time"))
        return "hhmm";
    for (const Unit &u : kUnits)
        if (name == u.name)
            return u.unit;
    for (const char *tail : {"_hour", "_max", "_min", "_3h", "_6h", "_12h", "_24h"})
        if (EndsWith(name, tail))
            return UnitOf(Strip(name, tail));
    if (EndsWith(name, "_exp") || name == "DR_hexp")
        return "0.01 MJ/m2";
    for (const char *r : kRadiation)
        if (name == r)
            return "W/m2";
    if (name.size() == 3 && name.compare(0, 2, "ST") == 0)
        return "0.1 degC";
    if (name.compare(0, 5, "RAT_m") == 0)
        return "0.1 mm";
    return "";
}

// Expands the words of an element list.
std::vector<std::string> Expand(const char *words)
{
    std::vector<std::string> out;
    std::istringstream in(words);
    for (std::string w; in >> w;) {
        char last = w.back();
        std::string base = w.substr(0, w.size() - 1);
        if (last == '+' || last == '*') {
            if (last == '+')
                out.push_back(base);
            for (const char *x : {"_max", "_max_time", "_min", "_min_time"})
                out.push_back(base + x);
        } else if (last == '^') {
            out.push_back(base + "_max");
            out.push_back(base + "_max_time");
        } else if (last == '_') {
            out.push_back(base + "_min");
            out.push_back(base + "_min_time");
        } else {
            out.push_back(w);
        }
    }
    return out;
}

constexpr const char *kDmgd =
    "WD_2min WS_2min WD_10min WS_10min WD_max WS_max RAT RAT_hour RAT1 RAT1_hour RAT2 RAT2_hour RAT3 RAT3_hour "
    "RATB RATB_hour RAT5 RAT5_hour RAW RAW_hour T0 T01 T02 T03 T04 TW U E TD P TG ST0 ST1 ST2 ST3 ST4 ST5 ST6 "
    "ST7 ST8 LE LE_hour VI VI_10min CH TCA LCA WW SD FR WI FSD LNF X53 X54 X55 X56";
constexpr const char *kDmgdOld =
    "WD_2min WS_2min WD_10min WS_10min WD_max WS_max RAT RAT_hour RAT1_C RAT1_C_hour RAW RAW_hour T0 TW U E TD "
    "P TG ST0 ST1 ST2 ST3 ST4 ST5 ST6 ST7 ST8 LE LE_hour VI VI_10min CH TCA LCA WW SD FR WI FSD LNF X41 X42 X43 "
    "X44";
constexpr const char *kDmcd =
    "T_voted SV RAT1_C RAT1_C_hour RAW RAW_hour WS1_2min WS1_10min WS1_max3s ST0 IR";
constexpr const char *kDmrd =
    "GR GR_exp NR NR_exp DR DR_exp DR_hexp SR SR_exp RR RR_exp SSD R12 R13 UR UR_exp UVA UVA_exp UVB UVB_exp "
    "AR AR_exp TR TR_exp PR PR_exp";
constexpr const char *kDhgd =
    "WD_2min WS_2min WD_10min WS_10min WD_hmax WS_hmax WS_hmax_time WD_max WS_max WD_ext WS_ext WS_ext_time "
    "RAT_hour RAT1_hour RAT2_hour RAT3_hour RATB_hour RAT5_hour RAW_hour T0+ T01+ T02+ T03+ T04+ TW U U_ E TD "
    "P+ TG+ ST0+ ST1 ST2 ST3 ST4 ST5 ST6 ST7 ST8 LE LE_hour VI VI_10min VI_10min_ CH TCA LCA WW SD FR WI FSD "
    "LNF X53 X54 X55 X56";
constexpr const char *kDhgdOld =
    "WD_2min WS_2min WD_10min WS_10min WD_hmax WS_hmax WS_hmax_time WD_max WS_max WD_ext WS_ext WS_ext_time "
    "RAT_hour RAT1_C_hour RAW_hour T0+ TW U U_ E TD P+ TG+ ST0+ ST1 ST2 ST3 ST4 ST5 ST6 ST7 ST8 LE LE_hour VI "
    "VI_10min VI_10min_ CH TCA LCA WW SD FR WI FSD LNF X41 X42 X43 X44";
constexpr const char *kDhcd =
    "T_voted T0* SV RAT1_C_hour RAW_hour WS1_2min WS1_10min WS1_10min^ WS1_max3s WS1_max3s^ ST0+ IR+";
constexpr const char *kDhrd =
    "GR GR_exp GR^ NR NR_exp NR* DR DR_exp DR^ DR_hexp SR SR_exp SR^ RR RR_exp RR^ SSD_hour R12 R13 UR UR_exp "
    "UR^ UVA UVA_exp UVA^ UVB UVB_exp UVB^ AR AR_exp AR^ TR TR_exp TR^ PR PR_exp PR^";
// The derived hourly items after the old hourly record's elements.
constexpr const char *kDhgdnzTail =
    "SLP P_3h P_24h T0_24h T0_max_24h T0_min_24h RAT_3h RAT_6h RAT_12h RAT_24h WS_ext_6h WD_ext_6h WS_ext_12h "
    "WD_ext_12h ST0_min_12h";

struct Listed {
    const char *tag;
    bool old;
    const char *words;
};
constexpr Listed kLists[] = {
    {"DMGD", false, kDmgd}, {"DMGD", true, kDmgdOld}, {"DMCD", false, kDmcd},  {"DMRD", false, kDmrd},
    {"DHGD", false, kDhgd}, {"DHGD", true, kDhgdOld}, {"DHCD", false, kDhcd},  {"DHRD", false, kDhrd},
    {"DHGDNZ", false, kDhgdOld}, {"DHGDNZ_TAIL", false, kDhgdnzTail},
};

} // namespace

std::vector<ViewColumn> ViewElementColumns(const std::string &tag, bool old)
{
    std::vector<ViewColumn> cols;
    for (const Listed &l : kLists)
        if (tag == l.tag && old == l.old)
            for (const std::string &n : Expand(l.words))
                cols.push_back({n, UnitOf(n), ViewColumn::Number, true});
    return cols;
}

std::string ViewUnitOf(const std::string &name) { return UnitOf(name); }
