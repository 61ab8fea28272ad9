// The stored records, each described once: its text (element count, which
// elements print as times, stars, dashes, which QC characters let a value
// through), its file (folder, slot count, slot size, placeholder header)
// and, for the old-generation hourly record that the lookups read back, the
// sensor behind every element. The writers, the retrieval commands and the
// lookups all take their numbers from here, so reader and writer cannot
// drift apart.
#pragma once

#include <cstddef>
#include <ctime>

#include "processing/RecordText.h"
#include "processing/SlotFile.h"

struct RecordFileLayout {
    RecordTextLayout text;
    const char *dir;       // folder under tempdata: "DHGD", ...
    bool monthly;          // 744 slots of (day - 1) * 24 + hour, else 1440 of the minute of day
    int slotSize;
    int headerWidth;       // placeholder header with a 5-character station; the filler follows
    int slots() const { return monthly ? 744 : 1440; }
};

constexpr int DMCD_FIELDS = 11;
constexpr int DMRD_FIELDS = 26;
constexpr int DHGD_FIELDS = 92;
constexpr int DHGD_OLD_FIELDS = 68;
constexpr int DHCD_FIELDS = 25;
constexpr int DHRD_FIELDS = 50;
constexpr int DHGDNZ_TAIL = 15;          // derived items, always printed
constexpr int DHGDNZ_RAIN_LEN = 120;     // two characters per minute of the hour
constexpr int DHGD_SLOT = 540;
constexpr int HOUR_SLOT = 512;
constexpr int DHGDNZ_SLOT = 1024;
constexpr int MINUTE_CARRY_FROM = 27;    // the next minute slot keeps its own header

extern const RecordFileLayout kDmcdLayout;
extern const RecordFileLayout kDmrdLayout;
extern const RecordFileLayout kDhgdLayout;
extern const RecordFileLayout kDhgdOldLayout;   // also the first 68 elements of DHGDNZ
extern const RecordFileLayout kDhcdLayout;
extern const RecordFileLayout kDhrdLayout;
extern const RecordFileLayout kDhgdnzLayout;

// The layout of a record kind (RecordKind of ShareMem.h) in the generation
// in use; null for the kinds that are never stored by the logger.
const RecordFileLayout *RecordLayoutOf(int recordKind, bool oldGeneration);

// Element table row (Sensortable) whose enable switches each element of the
// old-generation hourly record.
extern const unsigned char kDhgdOldSensor[DHGD_OLD_FIELDS];

// True for a slot that holds no record: dashes from its first byte, or
// right after the time of its placeholder header. A record's own items may
// hold dashes (the twelve of WW), so only that position counts.
bool RecordSlotUnwritten(const char *rec, int len);

// The line of a record of this station (the station identifier of the
// parameters replaces in.station); see RecordStruct2Ascii.
int StationRecordText(const RecordTextLayout &layout, RecordTextInput in, char *out,
                      std::size_t outLen);

// The latest text of a record kind for the terminal (len bytes at most).
void RecordLiveCopy(int recordKind, const char *text, std::size_t len);
// True when the CF twins may write: the card is in use, present and has
// more than 99 MB free.
bool RecordCfUsable();

// Where one record goes: the medium's root ("/mnt/nand3" or "/mnt/cf"), the
// time that names the file and the slot, the saver's name for the error
// lines.
struct RecordSaveTarget {
    const char *root;
    const struct tm *when;
    const char *func;
    bool checked;          // month files on NAND: a fresh file is checked tag by tag
};
// Writes text (slotSize bytes) into its slot, creating the file when it is
// missing; minute files also get carry (from byte 27) into the next slot,
// unless the slot is the day's last. 0 or -1.
int SaveRecordSlot(const RecordFileLayout &layout, const RecordSaveTarget &to, const char *text,
                   const char *carry);
