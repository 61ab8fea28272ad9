// The watch: each saved main minute record as one readable table row, and
// each hourly record as a summary line of its values. Reads the record texts the logger stores in
// its day files (and retrieves over a terminal), never its memory.
#pragma once

#include <string>
#include <string_view>

namespace stationsim {

struct MinuteRow {
    std::string date, time;   // "YYYY-MM-DD", "HH:MM"
    // Values in display units; has* false when the field is absent or its
    // QC gives no value.
    double temp = 0, hum = 0, dew = 0, press = 0, ws = 0, wd = 0, gust = 0, gustDir = 0, rain = 0, rad = 0;
    bool hasTemp = false, hasHum = false, hasDew = false, hasPress = false, hasWs = false, hasWd = false,
         hasGust = false, hasRain = false, hasRad = false;
    std::string qc;   // QC characters of the row's fields, in column order ('-' absent)
};

// Parses a DMGD line (either record generation). False when the text is
// not such a line.
bool ParseDmgd(std::string_view line, MinuteRow *row);
// Takes the global radiation (first element) from a DMRD line into row.
bool ParseDmrdGlobal(std::string_view line, MinuteRow *row);

std::string RowHeader();
std::string FormatRow(const MinuteRow &row);

// The values of a DHGD hourly record (either record generation), in
// display units; has* false when the element is absent or has no value.
struct HourRow {
    std::string date, hour;   // "YYYY-MM-DD", "HH"
    double temp = 0, tMax = 0, tMin = 0, hum = 0, uMin = 0, dew = 0, press = 0, ws = 0, wd = 0, gust = 0,
           gustDir = 0, rain = 0;
    bool hasTemp = false, hasTMax = false, hasTMin = false, hasHum = false, hasUMin = false, hasDew = false,
         hasPress = false, hasWs = false, hasWd = false, hasGust = false, hasGustDir = false, hasRain = false;
    std::string tMaxAt, tMinAt, gustAt;   // "HH:MM" of the extremes, "" when unknown
};

// Parses a DHGD line. False when the text is not such a line.
bool ParseDhgd(std::string_view line, HourRow *row);
// "== 2026-03-10 09h DHGD: temp 20.0 (max 20.0 at 08:58, min 20.0 at 08:58) ..." with
// the number of minute rows the watch showed for the hour.
std::string FormatHour(const HourRow &row, int minuteRows);

// The slot of a fixed-slot record file: the text up to its first NUL or
// line end (empty when the file or slot is missing).
std::string ReadSlot(const std::string &path, long slot, long slotSize);

} // namespace stationsim
