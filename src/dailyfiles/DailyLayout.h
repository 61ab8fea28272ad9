// Where everything sits in the GG, RR and ST lines: the record fields of the
// GG lines (both generations) and the RR line, and the columns of the ST
// status line. The writers print by these tables and komain-view reads the
// files back by the same ones, so a change of a position changes both.
#pragma once

#include <cstdint>
#include <iterator>

#include "dailyfiles/DailyLine.h"
#include "sampling/Sensortable.h"

constexpr int DAILY_LABEL = 4;   // "HHMM" at the start of every minute line

namespace daily_layout {
constexpr DailyField M(int e, DailyFmt f = DailyFmt::Pad4, const char *wrong = nullptr)
{
    return DailyField{DailySrc::Main, uint8_t(e), f, wrong};
}
constexpr DailyField C(int e, DailyFmt f = DailyFmt::Pad4) { return DailyField{DailySrc::Clim, uint8_t(e), f}; }
constexpr DailyField R(int e) { return DailyField{DailySrc::Radi, uint8_t(e), DailyFmt::Cut4}; }
constexpr DailyField kDashes{DailySrc::None, 0, DailyFmt::Dashes};
constexpr DailyFmt Z = DailyFmt::Zero4;
} // namespace daily_layout

// GG minute line: fields from byte 4, then one QC character per field.
inline constexpr DailyField kGGFields[] = {
    daily_layout::M(0), daily_layout::M(1), daily_layout::M(2), daily_layout::M(3), daily_layout::M(4),
    daily_layout::M(5), daily_layout::C(6), daily_layout::C(7), daily_layout::C(8),
    daily_layout::M(6, daily_layout::Z), daily_layout::M(7, daily_layout::Z), daily_layout::M(8, daily_layout::Z),
    daily_layout::M(9, daily_layout::Z), daily_layout::M(10, daily_layout::Z), daily_layout::M(11, daily_layout::Z),
    daily_layout::M(12, daily_layout::Z), daily_layout::M(13, daily_layout::Z), daily_layout::M(14, daily_layout::Z),
    daily_layout::M(15, daily_layout::Z), daily_layout::M(16, daily_layout::Z), daily_layout::M(17, daily_layout::Z),
    daily_layout::M(18, daily_layout::Z), daily_layout::M(19, daily_layout::Z),
    daily_layout::M(20), daily_layout::M(21), daily_layout::M(22), daily_layout::M(23), daily_layout::M(24),
    daily_layout::C(1), daily_layout::C(0), daily_layout::M(25, DailyFmt::Star), daily_layout::M(26),
    daily_layout::M(26), daily_layout::M(27), daily_layout::M(28), daily_layout::M(29, DailyFmt::Pad5),
    daily_layout::M(30), daily_layout::M(31), daily_layout::C(10), daily_layout::M(32), daily_layout::M(33),
    daily_layout::M(34), daily_layout::M(35), daily_layout::M(36), daily_layout::M(37), daily_layout::M(38),
    daily_layout::M(39), daily_layout::M(40, DailyFmt::Pad4, "-999"), daily_layout::M(41),
    daily_layout::M(42, DailyFmt::Pad5), daily_layout::M(43, DailyFmt::Pad5), daily_layout::M(44, DailyFmt::Pad5),
    daily_layout::M(45), daily_layout::M(46), daily_layout::kDashes, daily_layout::M(48), daily_layout::M(49),
    daily_layout::M(50), daily_layout::M(51), daily_layout::M(52),
};
static_assert(std::size(kGGFields) == 60 && DAILY_LABEL + DailyFieldsWidth(kGGFields) == 256);

inline constexpr DailyField kGGFieldsOld[] = {
    daily_layout::M(0), daily_layout::M(1), daily_layout::M(2), daily_layout::M(3), daily_layout::M(4),
    daily_layout::M(5), daily_layout::C(6), daily_layout::C(7), daily_layout::C(8),
    daily_layout::M(6, daily_layout::Z), daily_layout::M(7, daily_layout::Z), daily_layout::C(2, daily_layout::Z),
    daily_layout::C(3, daily_layout::Z), daily_layout::M(10, daily_layout::Z), daily_layout::M(11, daily_layout::Z),
    daily_layout::M(12), daily_layout::C(1), daily_layout::C(0), daily_layout::M(13, DailyFmt::Star),
    daily_layout::M(14), daily_layout::M(14), daily_layout::M(15), daily_layout::M(16),
    daily_layout::M(17, DailyFmt::Pad5), daily_layout::M(18), daily_layout::M(19), daily_layout::C(10),
    daily_layout::M(20), daily_layout::M(21), daily_layout::M(22), daily_layout::M(23), daily_layout::M(24),
    daily_layout::M(25), daily_layout::M(26), daily_layout::M(27), daily_layout::M(28, DailyFmt::Pad4, "////"),
    daily_layout::M(29), daily_layout::M(30, DailyFmt::Pad5), daily_layout::M(31, DailyFmt::Pad5),
    daily_layout::M(32, DailyFmt::Pad5), daily_layout::M(33), daily_layout::M(34), daily_layout::kDashes,
    daily_layout::M(36), daily_layout::M(37), daily_layout::M(38), daily_layout::M(39), daily_layout::M(40),
};
static_assert(std::size(kGGFieldsOld) == 48 && DAILY_LABEL + DailyFieldsWidth(kGGFieldsOld) == 208);

// RR minute line: the 26 DMRD elements in order, then their QC characters.
inline constexpr DailyField kRRFields[] = {
    daily_layout::R(0),  daily_layout::R(1),  daily_layout::R(2),  daily_layout::R(3),  daily_layout::R(4),
    daily_layout::R(5),  daily_layout::R(6),  daily_layout::R(7),  daily_layout::R(8),  daily_layout::R(9),
    daily_layout::R(10), daily_layout::R(11), daily_layout::R(12), daily_layout::R(13), daily_layout::R(14),
    daily_layout::R(15), daily_layout::R(16), daily_layout::R(17), daily_layout::R(18), daily_layout::R(19),
    daily_layout::R(20), daily_layout::R(21), daily_layout::R(22), daily_layout::R(23), daily_layout::R(24),
    daily_layout::R(25),
};
static_assert(std::size(kRRFields) == 26);

// ---- ST status line ----------------------------------------------------------

// How an ST column prints: one status character, a reading times 10
// ("%04d", dashes or slashes when there is none), a count "%04d" or "%02d",
// or a run of characters (the sensor states, one per element-table row).
enum class StKind : uint8_t { Char, Tenths, Count, States };

struct StColumn {
    const char *name;
    int16_t at;      // absolute, or from the start of its group
    uint8_t width;
    StKind kind;
};

constexpr int StFind(const StColumn *t, int n, const char *name)
{
    for (int i = 0; i < n; ++i) {
        const char *a = t[i].name, *b = name;
        while (*a != '\0' && *a == *b)
            ++a, ++b;
        if (*a == *b)
            return t[i].at;
    }
    return -1000;   // no such column: a position no line has
}
template <std::size_t N>
constexpr int StAt(const StColumn (&t)[N], const char *name)
{
    return StFind(t, int(N), name);
}

// The main unit, bytes 5-25 (the STATMAIN reply's order).
inline constexpr StColumn kStMain[] = {
    {"supply_voltage", 5, 4, StKind::Tenths}, {"power_kind", 9, 1, StKind::Char},
    {"mact", 10, 4, StKind::Tenths},          {"terh_state", 14, 1, StKind::Char},
    {"wind_state", 15, 1, StKind::Char},      {"cf_state", 16, 1, StKind::Char},
    {"cf_space", 17, 4, StKind::Count},       {"gps_state", 21, 1, StKind::Char},
    {"door_state", 22, 1, StKind::Char},      {"can_ext_state", 23, 1, StKind::Char},
    {"listen_state", 24, 1, StKind::Char},    {"can_bus_state", 25, 1, StKind::Char},
};
// A sub-unit's 12 characters; the air-temperature and rain boards add a
// counter character and a two-digit number (15 characters).
inline constexpr StColumn kStSubUnit[] = {
    {"state", 0, 1, StKind::Char},      {"voltage", 1, 4, StKind::Tenths}, {"voltage_low", 5, 1, StKind::Char},
    {"board_temp", 6, 4, StKind::Tenths}, {"ch1", 10, 1, StKind::Char},      {"ch2", 11, 1, StKind::Char},
    {"counter", 12, 1, StKind::Char},   {"status", 13, 2, StKind::Count},
};
inline constexpr StColumn kStTarh[] = {
    {"state", 0, 1, StKind::Char},  {"reading1", 1, 4, StKind::Tenths}, {"state2", 5, 1, StKind::Char},
    {"reading2", 6, 4, StKind::Tenths}, {"state3", 10, 1, StKind::Char},  {"flag", 11, 1, StKind::Char},
};
constexpr int ST_SUBUNIT_WIDTH = 12;
constexpr int ST_BOARD_WIDTH = 15;

struct StGroup {
    const char *name;      // "CLIM", ...
    int16_t at;
    const StColumn *columns;
    uint8_t count;         // columns of the group
    bool newOnly;          // the older line has no such group
};
inline constexpr StGroup kStGroups[] = {
    {"CLIM", 26, kStSubUnit, 6, false}, {"RADI", 38, kStSubUnit, 6, false}, {"EATH", 50, kStSubUnit, 6, false},
    {"SOIL", 62, kStSubUnit, 6, false}, {"SEAA", 74, kStSubUnit, 6, false}, {"TARH", 86, kStTarh, 6, false},
    {"TAIR", 98, kStSubUnit, 8, true},  {"RAIN", 113, kStSubUnit, 8, true},
};
static_assert(kStGroups[5].at + ST_SUBUNIT_WIDTH == kStGroups[6].at &&
              kStGroups[6].at + ST_BOARD_WIDTH == kStGroups[7].at);

// After the groups: five unused groups of dashes, the sensor state of each
// element-table row from row 1, the latest LE and RAW readings; the newer
// line then has ten DMGD elements and the rain board's counter.
struct StTail {
    int16_t states;        // first sensor state character
    uint8_t rows;          // element-table rows 1..rows
    int16_t le, raw;
    int16_t elements;      // first of the DMGD elements (-1: none)
    int16_t rainCount;
};
inline constexpr StTail kStTail{188, 79, 267, 271, 275, 315};
inline constexpr StTail kStTailOld{158, 73, 231, 235, -1, -1};
static_assert(kStGroups[7].at + ST_BOARD_WIDTH + 60 == kStTail.states &&
              kStGroups[6].at + 60 == kStTailOld.states);
static_assert(kStTail.states + kStTail.rows == kStTail.le && kStTail.le + 8 == kStTail.elements);

// The DMGD elements at the end of the newer line, in order, each with the
// condition under which it is shown (else "----").
enum class StWhen : uint8_t { Enabled, TairNotDisabled, Tair, RainNotDisabled, Rain };
struct StElement {
    uint8_t elem;
    StWhen when;
    uint8_t enable;   // element-table row
};
inline constexpr StElement kStElements[] = {
    {20, StWhen::Enabled, EL_T0},           {21, StWhen::Enabled, EL_T01},
    {22, StWhen::TairNotDisabled, EL_T02},  {23, StWhen::TairNotDisabled, EL_T03},
    {24, StWhen::Tair, 0},                  {6, StWhen::Enabled, EL_RAT},
    {8, StWhen::Enabled, EL_RAT1},          {10, StWhen::RainNotDisabled, EL_RAT2},
    {12, StWhen::RainNotDisabled, EL_RAT3}, {14, StWhen::Rain, 0},
};
static_assert(kStTail.elements + int(std::size(kStElements)) * 4 == kStTail.rainCount);
