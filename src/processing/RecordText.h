// Record-to-text conversion shared by the minute and hourly records: the
// tag, the station, the time text, the flag string, the QC characters of the
// present fields and one blank-terminated item per present field, ended by
// "\r\n". What differs between record kinds and format generations (which
// field prints "* ", which prints twelve dashes, which prints four digits,
// which QC characters let a value through, how many fields carry an item)
// is a row of a table, not a copy of the routine.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int RECORD_TEXT_LEN = 512;   // one slot of a minute file
constexpr int RECORD_MAX_FIELDS = 128;

struct RecordTextLayout {
    const char *tag;          // "DMGD", ...
    int fields;               // number of fields of the record
    int starField;            // prints "* " (-1: none)
    int dashField;            // prints "------------ " (-1: none)
    int fourDigitField;       // prints "%04d " (-1: none)
    const char *valueQc;      // QC characters whose fields print a value
    int lastItemField;        // fields above this one print no item
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
};

// Builds the line into out (zero-filled first, outLen bytes). A line that
// would not fit is cut after the last whole item that does, so that it
// still ends in "\r\n" and a NUL. Returns the length of the line.
int RecordStruct2Ascii(const RecordTextLayout &layout, const RecordTextInput &in, char *out,
                       std::size_t outLen);
