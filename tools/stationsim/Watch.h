// The watch: each saved main minute record as one readable table row, and
// each hour as a summary line. Reads the record texts the logger stores in
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

// Collects the rows of one hour for its summary line.
class HourSummary {
public:
    void Add(const MinuteRow &row);
    bool Empty() const { return rows_ == 0; }
    const std::string &Hour() const { return hour_; }
    // "== 2026-12-06 08h: ..." with the means, extremes and sums of the
    // rows seen; `record` is the hourly record text when one was found.
    std::string Line(std::string_view record) const;
    void Reset() { *this = HourSummary(); }

private:
    std::string hour_;   // "YYYY-MM-DD HH"
    int rows_ = 0, temps_ = 0, hums_ = 0, presses_ = 0;
    double tSum_ = 0, tMax_ = -1e9, tMin_ = 1e9, uSum_ = 0, pSum_ = 0, gustMax_ = -1, rain_ = 0;
};

// The slot of a fixed-slot record file: the text up to its first NUL or
// line end (empty when the file or slot is missing).
std::string ReadSlot(const std::string &path, long slot, long slotSize);

} // namespace stationsim
