// Reading a station folder back: the record files and the daily files of a
// day decoded by the same layouts the logger writes them with, and the rows
// turned into CSV, JSON lines, a short QC report or a day page. Every
// problem of the input (a cut file, a slot of another layout, a garbled
// line, a file of the other generation) becomes one message naming the file
// and the slot or line; that slot is skipped and the rest is read.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Elements.h"
#include "processing/RecordText.h"

struct ViewKind {
    const char *tag;                 // a record tag, or "GG", "RR", "ST"
    enum Source { Record, GG, RR, ST } source;
    bool monthly;                    // 744 hour slots a month, else 1440 minute slots a day
    const RecordTextLayout *cur, *old;
    int curSlot, oldSlot;
};
// DMGD, DMCD, DMRD, DHGD, DHCD, DHRD, DHGDNZ, GG, RR, ST; null for another name.
const ViewKind *ViewKindByTag(const std::string &tag);
const std::vector<const ViewKind *> &ViewKinds();

struct ViewCell {
    int32_t value = 0;
    bool has = false;                // a value was shown (QC let it through)
    char qc = 'N';
    std::string text;                // Text columns
};
struct ViewRow {
    int slot;                        // minute or hour of the day, or line - 1
    std::string time;                // "YYYY-MM-DDTHH:MM:00", the station's local time
    std::vector<ViewCell> cells;     // one per column
};
struct ViewDay {
    const ViewKind *kind = nullptr;
    int year = 0, mon = 0, day = 0;
    int expected = 0;                // slots of the day
    bool old = false;                // read as the older format generation
    std::vector<ViewColumn> columns;
    std::vector<ViewRow> rows;
    std::vector<std::string> problems;
    int Column(const std::string &name) const;   // index, or -1
};

// Where a station folder keeps its files: DIR itself, DIR/nand3, DIR/cf or
// DIR/mnt/nand3, the first holding a tempdata or data folder ("" if none).
std::string ViewStationRoot(const std::string &dir);
// Reads one day of a kind from a station root. GG and ST files are named
// after their observation day (20:01 of the day before to 20:00), RR after
// the radiation day.
ViewDay ViewReadDay(const std::string &root, const ViewKind &kind, int year, int mon, int day);

// The time zone stated in the times: a fixed "+08:00" or "Z", or a TZ rule
// ("CET-1CEST,M3.5.0,M10.5.0/3", "UTC0", "Europe/Berlin") that gives each
// local time its own offset.
struct ViewZone {
    std::string text = "Z";
    std::string Suffix(const std::string &localTime) const;
};
// The zone a simulated station ran in: the TZ its supervisor recorded in
// the sandbox's sim/tz ("" when the folder has none).
std::string ViewStationZone(const std::string &dir);

void ViewCsv(std::ostream &out, const ViewDay &d, const ViewZone &z, bool header);
void ViewJsonLines(std::ostream &out, const ViewDay &d, const ViewZone &z);
void ViewReport(std::ostream &out, const ViewDay &d);
// A self-contained HTML page of one day from its minute and hourly records.
void ViewPage(std::ostream &out, const ViewDay &dmgd, const ViewDay &dmrd, const ViewDay &dhgd,
              const ViewZone &z);
