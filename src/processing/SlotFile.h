// Fixed-slot record files: a day or month file of equal slots, created in
// one pass filled with placeholder slots (a header text, '-' characters,
// "\r\n"), then written one slot at a time in place. Every record kind and
// both media (NAND and the CF card) use this one mechanism; a kind differs
// only in its row (slot count, slot size, placeholder header, messages).
#pragma once

#include <cstddef>

// Writes the placeholder header of slot n into buf (at most len bytes) and
// returns its length.
using SlotHeaderFn = int (*)(char *buf, std::size_t len, int slot, const void *ctx);

// Console texts of a family of savers.
struct SlotMessages {
    const char *create;    // the file cannot be made
    const char *prefill;   // a placeholder write failed
    const char *open;      // the file cannot be opened for the slot ("%s": the file)
    const char *write;     // the slot write failed
    bool listOnOpen;       // also run "ls -a" when the open fails
};
extern const SlotMessages kMinuteSlotMessages;
extern const SlotMessages kHourSlotMessages;

struct SlotFileKind {
    const char *func;      // the saver's name, used in the error lines
    int slots;
    int slotSize;
    SlotHeaderFn header;
    int fillFrom = -1;     // filler starts here (-1: right after the header)
    const SlotMessages *msg = &kMinuteSlotMessages;
};

// Header of a minute-of-day file: "TAG STATION YYYY-MM-DD HH:MM" of slot n.
struct DaySlotHeader {
    const char *tag;
    const char *station;   // up to 8 characters, NUL padded
    int year, mon, day;
};
int DaySlotHeaderFn(char *buf, std::size_t len, int slot, const void *ctx);
// Header of an hour-of-month file: "TAG STATION YYYY-MM-DD HH", slot n being
// day n / 24 + 1, hour n % 24 (day is not used).
int MonthSlotHeaderFn(char *buf, std::size_t len, int slot, const void *ctx);

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
    const char *carry = nullptr;
    int carryFrom = 0;
    int carryLen = 0;
    // Month files: the command that sets a damaged file aside ("mv FILE
    // ..."), null for none. With it a file of the wrong size is set aside
    // and made again before the slot is written.
    const char *setAside = nullptr;
    // Tag every slot of a freshly made file must begin with (null: not
    // checked); a file that fails is set aside and made again.
    const char *verifyTag = nullptr;
};

// Creates the file with its placeholder slots when it is missing (one
// sequential pass of large writes, feeding the watchdog), then writes the
// slot and the carry-over. On a failure the trace and the error line are
// written and the save is abandoned. Returns 0 or -1.
int SlotFileSave(const SlotFileKind &kind, const SlotWrite &w);

// Appends "ERROR:YYYY-MM-DD HH:MM:SS FUNC STEP\r\n" to logPath (created when
// needed).
void RecordSaveError(const char *logPath, const char *func, int step);

// Most files one hour may set aside and make again, all kinds together: a
// medium that keeps failing the check must not be rewritten all hour long.
constexpr int SLOT_REBUILDS_PER_HOUR = 8;
