#include "processing/SlotFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/MyTime.h"

const SlotFileTexts kRecordSlotTexts{"error fd1<0\n", "error write1\n", "error write1\n",
                                     "error fd2<0\n", "error write2\n", true, true};
const SlotFileTexts kHourSlotTexts{"error fd<0\n", "error write1\n", "error write1\n",
                                   "error f1<0,:%s\n", "error fwrite\n", true, true};

namespace {

// Placeholder slots are built here and written in large pieces: creating a
// day file is one pass over the file, not a system call per slot.
constexpr std::size_t CREATE_CHUNK = 64 * 1024;
char g_createBuf[CREATE_CHUNK];

// The watchdog is fed at least every this many slots while a file is made.
constexpr int DOG_EVERY_SLOTS = 100;

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
};

void AppendLog(const char *logPath, const char *line, std::size_t len)
{
    FILE *f = TpFopen(logPath, "a");
    if (f == nullptr)
        return;
    std::fwrite(line, 1, len, f);
    std::fclose(f);
}

void SaveErrorSeek(const char *logPath, const char *func, int step, long ret, long offset)
{
    struct tm t = *GetTime(0);
    char line[200];
    int n = std::snprintf(line, sizeof line,
                          "ERROR:%04d-%02d-%02d %02d:%02d:%02d %s %d,ret:%ld offset:%ld\r\n",
                          t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, func,
                          step, ret, offset);
    if (n > 0)
        AppendLog(logPath, line, std::min(std::size_t(n), sizeof line - 1));
}

// The trace of a failure site and, for kinds that log, its ERROR line.
void Fail(const SlotFileKind &kind, const SlotWrite &w, const char *trace, int step)
{
    if (trace != nullptr)
        std::printf(trace, w.path);
    if (kind.texts->log)
        RecordSaveError(w.logPath, kind.func, step);
}

bool WriteAll(int fd, const char *p, std::size_t n)
{
    while (n > 0) {
        ssize_t k = write(fd, p, n);
        if (k < 0 && errno == EINTR)
            continue;
        if (k <= 0)
            return false;
        p += k;
        n -= std::size_t(k);
    }
    return true;
}

// A placeholder of size bytes: the header text, '-' up to the line end.
void FillSlot(char *slot, std::size_t size, SlotHeaderFn header, int n, const void *ctx,
              int fillFrom = -1)
{
    int h = header != nullptr ? header(slot, size - 2, n, ctx) : 0;
    if (h < 0)
        h = 0;
    if (std::size_t(h) > size - 2)
        h = int(size - 2);
    // A fixed filler start: a short station name leaves blanks before it
    // (the slot stays text), a long one is cut there.
    if (fillFrom >= 0) {
        int from = std::min(fillFrom, int(size - 2));
        if (h < from)
            std::memset(slot + h, ' ', std::size_t(from - h));
        h = from;
    }
    std::memset(slot + h, '-', size - 2 - std::size_t(h));
    slot[size - 2] = '\r';
    slot[size - 1] = '\n';
}

off_t FullSize(const SlotFileKind &kind) { return off_t(kind.leadSize) + off_t(kind.slots) * kind.slotSize; }

// Writes the placeholders from slot `from` on (-1: the leading line first)
// to the end of the file.
int FillSlots(const SlotFileKind &kind, const SlotWrite &w, int from)
{
    Fd f;
    f.fd = TpOpen(w.path, O_RDWR | O_CREAT, 0666);
    if (f.fd < 0) {
        Fail(kind, w, kind.texts->createFail, 1);
        return -1;
    }
    if (from < 0 && kind.leadSize > 0) {
        FillSlot(g_createBuf, std::size_t(kind.leadSize), kind.lead, -1, w.headerCtx);
        if (!WriteAll(f.fd, g_createBuf, std::size_t(kind.leadSize))) {
            Fail(kind, w, kind.texts->leadFail, 2);
            return -1;
        }
    }
    from = std::max(from, 0);
    off_t at = off_t(kind.leadSize) + off_t(from) * kind.slotSize;
    if (lseek(f.fd, at, SEEK_SET) != at) {
        Fail(kind, w, kind.texts->fillFail, 2);
        return -1;
    }
    std::size_t size = std::size_t(kind.slotSize);
    int perChunk = int(CREATE_CHUNK / size);
    if (perChunk > DOG_EVERY_SLOTS)
        perChunk = DOG_EVERY_SLOTS;
    for (int first = from; first < kind.slots; first += perChunk) {
        int count = std::min(perChunk, kind.slots - first);
        for (int i = 0; i < count; ++i)
            FillSlot(g_createBuf + std::size_t(i) * size, size, kind.header, first + i, w.headerCtx,
                     kind.fillFrom);
        if (!WriteAll(f.fd, g_createBuf, std::size_t(count) * size)) {
            Fail(kind, w, kind.texts->fillFail, 2);
            return -1;
        }
        SoftDogFeed(DOG_D);
    }
    return 0;
}

// For a kind kept whole: the slot from which an existing file's
// placeholders are missing (kind.slots when it is whole), or -1 when the
// file is not one of this kind and is to be made afresh.
int WholeFrom(const SlotFileKind &kind, const SlotWrite &w)
{
    struct stat st;
    if (TpStat(w.path, &st) != 0)
        return -1;
    // Not a file at all: nothing to mend, the slot write reports it.
    if (!S_ISREG(st.st_mode))
        return kind.slots;
    if (st.st_size > FullSize(kind) || st.st_size < kind.leadSize)
        return -1;
    if (kind.leadSize > 0 && kind.leadOk != nullptr) {
        Fd f;
        f.fd = TpOpen(w.path, O_RDONLY);
        if (f.fd < 0)
            return -1;
        ssize_t n = pread(f.fd, g_createBuf, std::size_t(kind.leadSize), 0);
        if (n != kind.leadSize || !kind.leadOk(g_createBuf, kind.leadSize, w.headerCtx))
            return -1;
    }
    return int((st.st_size - kind.leadSize) / kind.slotSize);
}

// How much of the slot at `at` the write must cover: all of it, or with a
// text length the new text and the rest of the old one (up to its first
// NUL; a placeholder is all text), when the slot ends as it should.
std::size_t ChangedBytes(const SlotFileKind &kind, const SlotWrite &w, int fd, off_t at)
{
    std::size_t size = std::size_t(kind.slotSize);
    if (w.textLen < 0 || w.textLen > kind.slotSize - 2)
        return size;
    if (pread(fd, g_createBuf, size, at) != kind.slotSize || g_createBuf[size - 2] != '\r' ||
        g_createBuf[size - 1] != '\n')
        return size;
    const void *nul = std::memchr(g_createBuf, '\0', size - 2);
    std::size_t old = nul != nullptr ? std::size_t(static_cast<const char *>(nul) - g_createBuf) : size - 2;
    return std::max(std::size_t(w.textLen), old);
}

// Rebuilds of damaged month files in the current hour.
int g_rebuildHour = -1;
int g_rebuilds = 0;

// Every slot of a fresh month file must begin with the tag; the file is
// read in the same large pieces it was written in.
bool VerifySlotFile(const SlotFileKind &kind, const SlotWrite &w)
{
    Fd f;
    f.fd = TpOpen(w.path, O_RDONLY);
    if (f.fd < 0) {
        std::printf("%s check open error\n", kind.func);
        return false;
    }
    std::size_t size = std::size_t(kind.slotSize);
    std::size_t tagLen = std::strlen(w.verifyTag);
    int perChunk = int(CREATE_CHUNK / size);
    for (int first = 0; first < kind.slots; first += perChunk) {
        int count = std::min(perChunk, kind.slots - first);
        ssize_t got = pread(f.fd, g_createBuf, std::size_t(count) * size, off_t(first) * off_t(size));
        for (int i = 0; i < count; ++i) {
            ssize_t at = ssize_t(std::size_t(i) * size);
            if (got < at + 5)
                return false;
            if (std::memcmp(g_createBuf + at, w.verifyTag, tagLen) != 0) {
                std::printf("temp1:%.5s,%s\r\n", g_createBuf + at, w.setAside);
                return false;
            }
        }
    }
    return true;
}

// Sets a damaged month file aside, within the hour's budget of rebuilds.
bool SetAside(const SlotFileKind &kind, const SlotWrite &w)
{
    int hour = GetTime(0)->tm_hour;
    if (hour != g_rebuildHour) {
        g_rebuildHour = hour;
        g_rebuilds = 0;
    }
    if (++g_rebuilds > SLOT_REBUILDS_PER_HOUR) {
        RecordSaveError(w.logPath, kind.func, 9);
        return false;
    }
    TpSystem(w.setAside);
    RecordSaveError(w.logPath, kind.func, 8);
    return true;
}

// A month file exists with the size of its slots (and, made fresh, passes
// its check), or it is set aside and made again.
int EnsureMonthFile(const SlotFileKind &kind, const SlotWrite &w)
{
    for (int round = 0; round < 3; ++round) {
        struct stat st;
        if (TpStat(w.path, &st) == 0) {
            if (st.st_size == FullSize(kind))
                return 0;
            if (!SetAside(kind, w))
                return -1;
        }
        if (FillSlots(kind, w, -1) != 0)
            return -1;
        if (w.verifyTag == nullptr)
            return 0;
        sync();
        if (VerifySlotFile(kind, w))
            return 0;
        if (!SetAside(kind, w))
            return -1;
    }
    RecordSaveError(w.logPath, kind.func, 9);
    return -1;
}

// Seeks; a seek that lands elsewhere is logged and the write still goes on.
void SeekTo(int fd, const SlotFileKind &kind, const SlotWrite &w, int step, off_t offset)
{
    off_t r = lseek(fd, offset, SEEK_SET);
    if (r != offset)
        SaveErrorSeek(w.logPath, kind.func, step, long(r), long(offset));
}

} // namespace

int DaySlotHeaderFn(char *buf, std::size_t len, int slot, const void *ctx)
{
    const DaySlotHeader &h = *static_cast<const DaySlotHeader *>(ctx);
    int n = std::snprintf(buf, len, "%s %.8s %04d-%02d-%02d %02d:%02d", h.tag, h.station, h.year,
                          h.mon, h.day, slot / 60, slot % 60);
    if (n < 0)
        return 0;
    return std::min(n, int(len) - 1);
}

int MonthSlotHeaderFn(char *buf, std::size_t len, int slot, const void *ctx)
{
    const DaySlotHeader &h = *static_cast<const DaySlotHeader *>(ctx);
    int n = std::snprintf(buf, len, "%s %.8s %04d-%02d-%02d %02d", h.tag, h.station, h.year,
                          h.mon, slot / 24 + 1, slot % 24);
    if (n < 0)
        return 0;
    return std::min(n, int(len) - 1);
}

void RecordSaveError(const char *logPath, const char *func, int step)
{
    struct tm t = *GetTime(0);
    char line[160];
    int n = std::snprintf(line, sizeof line, "ERROR:%04d-%02d-%02d %02d:%02d:%02d %s %d\r\n",
                          t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, func,
                          step);
    if (n > 0)
        AppendLog(logPath, line, std::min(std::size_t(n), sizeof line - 1));
}

int SlotFileSave(const SlotFileKind &kind, const SlotWrite &w)
{
    if (kind.slotSize < 3 || std::size_t(kind.slotSize) > CREATE_CHUNK || w.slot < 0 ||
        w.slot >= kind.slots || kind.leadSize < 0 || std::size_t(kind.leadSize) > CREATE_CHUNK ||
        (kind.leadSize > 0 && kind.leadSize < 3) || kind.texts == nullptr)
        return -1;
    for (const char *const *d = w.dirs; d != nullptr && *d != nullptr; ++d)
        TpMkdir(*d, 0777);

    int from = -1;
    if (w.setAside != nullptr) {
        if (EnsureMonthFile(kind, w) != 0)
            return -1;
        from = kind.slots;
    } else if (TpAccess(w.path, F_OK) == 0) {
        from = kind.keepWhole ? WholeFrom(kind, w) : kind.slots;
        if (from < 0) {
            char aside[TP_PATH_MAX];
            int n = std::snprintf(aside, sizeof aside, "%s.BAD", w.path);
            if (n <= 0 || std::size_t(n) >= sizeof aside || TpRename(w.path, aside) != 0)
                TpUnlink(w.path);
        }
    }
    if (from < kind.slots && FillSlots(kind, w, from) != 0)
        return -1;

    Fd f;
    f.fd = TpOpen(w.path, O_RDWR);
    if (f.fd < 0) {
        if (kind.texts->pwdOnOpenFail)
            TpSystem("pwd");
        Fail(kind, w, kind.texts->openFail, 3);
        return -1;
    }
    off_t size = kind.slotSize;
    off_t at = off_t(kind.leadSize) + off_t(w.slot) * size;
    SeekTo(f.fd, kind, w, 4, at);
    if (!WriteAll(f.fd, w.text, ChangedBytes(kind, w, f.fd, at))) {
        Fail(kind, w, kind.texts->writeFail, 5);
        return -1;
    }
    if (w.carry != nullptr && w.slot + 1 < kind.slots && w.carryFrom >= 0 && w.carryLen > 0 &&
        w.carryFrom + w.carryLen <= kind.slotSize) {
        SeekTo(f.fd, kind, w, 6, at + size + w.carryFrom);
        if (!WriteAll(f.fd, w.carry + w.carryFrom, std::size_t(w.carryLen))) {
            Fail(kind, w, kind.texts->writeFail, 7);
            return -1;
        }
    }
    return 0;
}
