// Record-to-text conversion shared by the minute and hourly records: the
// tag, the station, the time text, the flag string, the QC characters of the
// present fields and one blank-terminated item per present field, ended by
// "\r\n". What differs between record kinds and format generations (which
// field prints "* ", which prints twelve dashes, which print four digits,
// how the missing markers print, which QC characters let a value through,
// how many fields carry an item) is a row of a table, not a copy of the
// routine.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int RECORD_TEXT_LEN = 512;   // one slot of a minute file
constexpr int RECORD_MAX_FIELDS = 128;

// How a value that is not a time prints.
enum class MarkerRule : uint8_t {
    Dash9999,       // -99999 as "-9999 ", anything else "%d " modulo 100000
    Plain,          // "%d " modulo 100000, markers included
    Missing99999,   // 99999 and -99999 both as "99999 "
};

struct RecordTextLayout {
    const char *tag;          // "DMGD", ...
    int fields;               // number of fields of the record
    int starField;            // prints "* " (-1: none)
    int dashField;            // prints "------------ " (-1: none)
    const char *valueQc;      // QC characters whose fields print a value
    int lastItemField;        // fields above this one print no item
    MarkerRule rule = MarkerRule::Dash9999;
    // Times of day (hhmm) and the like: "-9999 ", "99999 " or "%04d ".
    const int *fourDigitFields = nullptr;
    int fourDigitCount = 0;
    int rawFourDigitField = -1;   // "%04d " whatever the value (-1: none)
    // The buffer's last two bytes are CR LF too, whatever the text's length.
    bool slotEndCrLf = false;
};

// The record as the converter sees it: NUL-terminated-or-full character
// arrays of the record and a copy of its values (records are packed, so the
// values are copied out, never referenced).
struct RecordTextInput {
    const char *station;      // up to 8 characters, NUL padded
    const char *time;         // the time text, up to 20 characters
    const char *flags;        // layout.fields characters
    const char *qc;           // layout.fields characters
    const int32_t *values;    // layout.fields values
    // Values printed after the fields whatever their flags ("//// " for
    // -99999), then a fixed text, both before the line end.
    const int32_t *tail = nullptr;
    int tailCount = 0;
    const char *suffix = nullptr;
    int suffixLen = 0;
};

// Builds the line into out (zero-filled first, outLen bytes). A line that
// would not fit is cut after the last whole item that does, so that it
// still ends in "\r\n" (and a NUL, unless the layout ends the buffer in CR
// LF). Returns the length of the line.
int RecordStruct2Ascii(const RecordTextLayout &layout, const RecordTextInput &in, char *out,
                       std::size_t outLen);
