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

const SlotMessages kMinuteSlotMessages{"error fd1<0\n", "error write1\n", "error fd2<0\n",
                                       "error write2\n", false};
const SlotMessages kHourSlotMessages{"error fd<0\n", "error write1\n", "error f1<0,:%s\n",
                                     "error fwrite\n", true};

namespace {

// Placeholder slots are built here and written in large pieces: creating a
// day or month file is one pass over the file, not a system call per slot.
constexpr std::size_t CREATE_CHUNK = 64 * 1024;
char g_createBuf[CREATE_CHUNK];

// The watchdog is fed at least every this many slots while a file is made.
constexpr int DOG_EVERY_SLOTS = 100;

// Rebuilds of damaged month files in the current hour.
int g_rebuildHour = -1;
int g_rebuilds = 0;

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

void FillSlot(char *slot, const SlotFileKind &kind, int n, const void *ctx)
{
    std::size_t size = std::size_t(kind.slotSize);
    int h = kind.header != nullptr ? kind.header(slot, size - 2, n, ctx) : 0;
    h = std::clamp(h, 0, int(size - 2));
    int from = kind.fillFrom >= 0 ? std::min(kind.fillFrom, int(size - 2)) : h;
    // A short station name leaves a gap before the filler: blanks, so the
    // slot stays text from end to end.
    if (h < from)
        std::memset(slot + h, ' ', std::size_t(from - h));
    std::memset(slot + from, '-', size - 2 - std::size_t(from));
    slot[size - 2] = '\r';
    slot[size - 1] = '\n';
}

// A new file gets every slot's placeholder.
int CreateSlotFile(const SlotFileKind &kind, const SlotWrite &w)
{
    Fd f;
    f.fd = TpOpen(w.path, O_RDWR | O_CREAT | O_TRUNC, 0666);
    if (f.fd < 0) {
        std::printf("%s", kind.msg->create);
        RecordSaveError(w.logPath, kind.func, 1);
        return -1;
    }
    std::size_t size = std::size_t(kind.slotSize);
    int perChunk = std::min(int(CREATE_CHUNK / size), DOG_EVERY_SLOTS);
    for (int first = 0; first < kind.slots; first += perChunk) {
        int count = std::min(perChunk, kind.slots - first);
        for (int i = 0; i < count; ++i)
            FillSlot(g_createBuf + std::size_t(i) * size, kind, first + i, w.headerCtx);
        if (!WriteAll(f.fd, g_createBuf, std::size_t(count) * size)) {
            std::printf("%s", kind.msg->prefill);
            RecordSaveError(w.logPath, kind.func, 2);
            return -1;
        }
        SoftDogFeed(DOG_D);
    }
    return 0;
}

// Every slot of a fresh file must begin with the tag; the file is read in
// the same large pieces it was written in.
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

bool RightSize(const SlotFileKind &kind, const char *path)
{
    struct stat st;
    return TpStat(path, &st) == 0 &&
           st.st_size == off_t(kind.slots) * off_t(kind.slotSize);
}

// Sets a damaged file aside, within the hour's budget of rebuilds.
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

// Makes sure the file exists with its placeholders (and, for a month file,
// has the size of its slots and passes the check when fresh).
int EnsureSlotFile(const SlotFileKind &kind, const SlotWrite &w)
{
    for (int round = 0; round < 3; ++round) {
        if (TpAccess(w.path, F_OK) == 0) {
            if (w.setAside == nullptr || RightSize(kind, w.path))
                return 0;
            if (!SetAside(kind, w))
                return -1;
        }
        if (CreateSlotFile(kind, w) != 0)
            return -1;
        if (w.verifyTag == nullptr || w.setAside == nullptr)
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
        w.slot >= kind.slots)
        return -1;
    for (const char *const *d = w.dirs; d != nullptr && *d != nullptr; ++d)
        TpMkdir(*d, 0777);

    if (EnsureSlotFile(kind, w) != 0)
        return -1;

    Fd f;
    f.fd = TpOpen(w.path, O_RDWR);
    if (f.fd < 0) {
        TpSystem("pwd");
        if (kind.msg->listOnOpen)
            TpSystem("ls -a");
        std::printf(kind.msg->open, w.path);
        RecordSaveError(w.logPath, kind.func, 3);
        return -1;
    }
    off_t size = kind.slotSize;
    off_t at = off_t(w.slot) * size;
    SeekTo(f.fd, kind, w, 4, at);
    if (!WriteAll(f.fd, w.text, std::size_t(kind.slotSize))) {
        std::printf("%s", kind.msg->write);
        RecordSaveError(w.logPath, kind.func, 5);
        return -1;
    }
    if (w.carry != nullptr && w.slot + 1 < kind.slots && w.carryFrom >= 0 && w.carryLen > 0 &&
        w.carryFrom + w.carryLen <= kind.slotSize) {
        SeekTo(f.fd, kind, w, 6, at + size + w.carryFrom);
        if (!WriteAll(f.fd, w.carry + w.carryFrom, std::size_t(w.carryLen))) {
            std::printf("%s", kind.msg->write);
            RecordSaveError(w.logPath, kind.func, 7);
            return -1;
        }
    }
    return 0;
}
