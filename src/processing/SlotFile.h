// Fixed-slot files: a day or month file of equal slots, created in one pass
// filled with placeholder slots (a header text, '-' characters, "\r\n"),
// then written one slot at a time in place. Every record kind, the sample
// rings and the daily files, on both media (NAND and the CF card), use this
// one mechanism; a kind differs only in its row (slot count, slot size,
// placeholder header, an optional leading header line of its own size, the
// console traces of its failures).
#pragma once

#include <cstddef>

// Writes the placeholder header of slot n into buf (at most len bytes) and
// returns its length.
using SlotHeaderFn = int (*)(char *buf, std::size_t len, int slot, const void *ctx);

// Console traces of the failure sites; each may take the file's path as
// its one "%s".
struct SlotFileTexts {
    const char *createFail;   // the file cannot be created
    const char *leadFail;     // writing the leading header line failed
    const char *fillFail;     // writing the placeholder slots failed
    const char *openFail;     // the file cannot be opened for the slot write
    const char *writeFail;    // the slot write failed
    bool pwdOnOpenFail;       // run "pwd" when the open fails
    bool log;                 // failures also append an ERROR line to the log
};
extern const SlotFileTexts kRecordSlotTexts;   // the minute record files
extern const SlotFileTexts kHourSlotTexts;     // the hourly month files

// Whether an existing file's leading header line (len bytes) is sound.
using SlotLeadCheckFn = bool (*)(const char *lead, int len, const void *ctx);

struct SlotFileKind {
    const char *func;      // the saver's name, used in the error lines
    int slots;
    int slotSize;
    SlotHeaderFn header;
    // A header line of its own size before slot 0 (0: none), written by
    // lead (called with slot -1) and filled up with '-' and "\r\n".
    int leadSize = 0;
    SlotHeaderFn lead = nullptr;
    const SlotFileTexts *texts = &kRecordSlotTexts;
    // Files that must stay whole: an existing file whose making was cut
    // short (power loss) is completed before a slot is written; one that is
    // longer than it should be, or whose leading line fails leadOk, is set
    // aside as NAME.BAD and made afresh.
    bool keepWhole = false;
    SlotLeadCheckFn leadOk = nullptr;
    int fillFrom = -1;     // the filler starts here (-1: right after the header)
};

// Header of a minute-of-day file: "TAG STATION YYYY-MM-DD HH:MM" of slot n.
struct DaySlotHeader {
    const char *tag;
    const char *station;   // up to 8 characters, NUL padded
    int year, mon, day;
};
int DaySlotHeaderFn(char *buf, std::size_t len, int slot, const void *ctx);

// Header of an hour-of-month file: "TAG STATION YYYY-MM-DD HH", slot n
// being day n / 24 + 1, hour n % 24 (the context's day is not used).
int MonthSlotHeaderFn(char *buf, std::size_t len, int slot, const void *ctx);

// Most month files one hour may set aside and make again, all kinds
// together: a medium that keeps failing the check is not rewritten all hour.
constexpr int SLOT_REBUILDS_PER_HOUR = 8;

// One save of a slot.
struct SlotWrite {
    const char *const *dirs;   // folders to make first (mode 0777), null-terminated list
    const char *path;          // the file
    const char *logPath;       // the rcdLOG.log that takes this medium's failures
    const void *headerCtx;
    int slot;
    const char *text;          // slotSize bytes
    // Carry-over into the next slot (skipped for the last slot of the file):
    // carryLen bytes of carry from byte carryFrom on, written at the same
    // offset of the next slot. carry null: none.
    const char *carry;
    int carryFrom;
    int carryLen;
    // Bytes of text at the start of `text`, NULs after it (-1: the whole
    // slot is written). With it only what changes is written: the text and
    // NULs over what is left of the slot's previous text; the slot's line
    // end stays. Flash wears with every byte written.
    int textLen = -1;
    // Month files: the command that sets a damaged file aside ("mv FILE
    // ..."), null for none. With it a file of the wrong size is set aside
    // and made again before the slot is written.
    const char *setAside = nullptr;
    // Tag every slot of a freshly made month file must begin with (null:
    // not checked); a file that fails is set aside and made again.
    const char *verifyTag = nullptr;
};

// Creates the file with its placeholder slots when it is missing (one
// sequential pass of large writes, feeding the watchdog), then writes the
// slot (at leadSize + slot * slotSize) and the carry-over. On a failure the trace and the error line are
// written and the save is abandoned. Returns 0 or -1.
int SlotFileSave(const SlotFileKind &kind, const SlotWrite &w);

// Appends "ERROR:YYYY-MM-DD HH:MM:SS FUNC STEP\r\n" to logPath (created when
// needed).
void RecordSaveError(const char *logPath, const char *func, int step);
