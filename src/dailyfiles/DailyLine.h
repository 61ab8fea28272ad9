// The pieces every daily file line is made of: a minute record read back
// from its text line, a fixed-width line whose fields sit at byte
// positions, and the table-driven printer of the record fields that the
// GG lines of both generations and the RR line share.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int DAILY_MAX_FIELDS = 64;   // fields of one record read back

// One minute record as the daily files see it: a QC character and a value
// per field. A field that is absent (flag '0', or cut off the text) reads
// QC 'N'; a present field whose QC or item is missing reads QC '8'.
struct MinuteView {
    int fields = 0;
    char qc[DAILY_MAX_FIELDS];
    int32_t value[DAILY_MAX_FIELDS];
    bool has[DAILY_MAX_FIELDS];   // the item was a number
};

// Reads the record line "TAG STATION YYYY-MM-DD HH:MM FLAGS QCS ITEMS...\r\n"
// (at most len bytes, NUL ends it earlier) of a record of `fields` fields.
// Any bytes are accepted; what cannot be read stays absent or missing.
void MinuteViewParse(const char *text, std::size_t len, int fields, MinuteView *out);

// A line of fixed size; each field is printed at its byte position and
// keeps at most its width (a longer printout loses its tail, as when the
// next field overwrites it).
struct FixedLine {
    char *buf;
    int size;
    // printf-style field of the given width at pos; returns pos + width.
    int Put(int pos, int width, const char *fmt, ...) const __attribute__((format(printf, 4, 5)));
    // Raw bytes (NULs kept) at pos; returns pos + n.
    int Bytes(int pos, const char *src, int n) const;
    // n copies of c at pos; returns pos + n.
    int Fill(int pos, char c, int n) const;
    // "\r\n" in the last two bytes.
    void End() const;
};

// How a record field is printed. Markers by width: 4 wide "9999" wrong,
// "----" not configured, "////" otherwise; 5 wide "-9999", "-----", "/////".
enum class DailyFmt : uint8_t {
    Pad4,     // "%4d" of the value modulo 10000
    Zero4,    // "%04d" of the value modulo 10000
    Pad5,     // "%5d" of the value modulo 100000
    Cut4,     // "%4d" of the value, cut to 4 characters
    Star,     // "****" for a good QC, else the markers
    Dashes,   // twelve '-', QC 'N', whatever the record holds
};
enum class DailySrc : uint8_t { Main, Clim, Radi, None };

struct DailyField {
    DailySrc src;
    uint8_t elem;
    DailyFmt fmt;
    const char *wrong = nullptr;   // marker for QC '2' other than the width's
};

constexpr int DailyFieldWidth(DailyFmt f)
{
    return f == DailyFmt::Pad5 ? 5 : f == DailyFmt::Dashes ? 12 : 4;
}
template <std::size_t N>
constexpr int DailyFieldsWidth(const DailyField (&t)[N])
{
    int w = 0;
    for (const DailyField &f : t)
        w += DailyFieldWidth(f.fmt);
    return w;
}

// Prints the fields of the table from pos on, then one QC character per
// field; returns the position after the QC characters.
int DailyFieldsPrint(const FixedLine &line, int pos, const DailyField *table, int n,
                     const MinuteView *main, const MinuteView *clim, const MinuteView *radi);

// A station position parameter as the daily headers show it, read from its
// "degrees.minutes.seconds" text: longitude "%3d%02d%02dE" (W when the
// degrees are negative), latitude "%2d%02d%02dN" (or S). Returns the next
// position.
int DailyPutPosition(const FixedLine &line, int pos, const char *text, std::size_t len,
                     bool longitude);
// A float parameter times 10, truncated.
int32_t DailyTimes10(float v);
