// Reading a station folder back: the record files of a day decoded by the
// same text layouts the logger writes them with, and the rows turned into
// CSV, JSON lines and a short QC report. Every problem of the input (a cut
// file, a slot of another layout, a garbled line, a file of the other
// generation) becomes one message naming the file and the slot; the slot
// is skipped and the rest is read.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "dailyfiles/DailyLine.h"
#include "processing/RecordText.h"

struct ViewKind {
    const char *tag;
    bool monthly;                    // 744 hour slots a month, else 1440 minute slots a day
    const RecordTextLayout *cur, *old;
    int curSlot, oldSlot;
};
// DMGD, DMCD, DMRD, DHGD, DHCD, DHRD, DHGDNZ; null for another name.
const ViewKind *ViewKindByTag(const std::string &tag);
const std::vector<const ViewKind *> &ViewKinds();

struct ViewRow {
    int slot;                        // minute of the day, or hour of the day
    std::string time;                // "YYYY-MM-DDTHH:MM:00"
    const RecordTextLayout *layout;
    MinuteView v;
};
struct ViewDay {
    const ViewKind *kind = nullptr;
    int year = 0, mon = 0, day = 0;
    int expected = 0;                // slots of the day
    std::vector<ViewRow> rows;
    std::vector<std::string> problems;
};

// The tempdata folder of a station folder: DIR/tempdata, DIR/nand3/tempdata
// or DIR/cf/tempdata, whichever exists first ("" when none does).
std::string ViewTempdata(const std::string &dir);
// Reads the day's records of one kind from a tempdata folder.
ViewDay ViewReadDay(const std::string &tempdata, const ViewKind &kind, int year, int mon, int day);

// tz is the offset appended to every time ("+08:00", "Z").
void ViewCsv(std::ostream &out, const ViewDay &d, const std::string &tz, bool header);
void ViewJsonLines(std::ostream &out, const ViewDay &d, const std::string &tz);
void ViewReport(std::ostream &out, const ViewDay &d);
