#include "processing/SlotFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/MyTime.h"

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
    if (h < 0)
        h = 0;
    if (std::size_t(h) > size - 2)
        h = int(size - 2);
    std::memset(slot + h, '-', size - 2 - std::size_t(h));
    slot[size - 2] = '\r';
    slot[size - 1] = '\n';
}

// Step 2: a new file gets every slot's placeholder.
int CreateSlotFile(const SlotFileKind &kind, const SlotWrite &w)
{
    Fd f;
    f.fd = TpOpen(w.path, O_RDWR | O_CREAT, 0666);
    if (f.fd < 0) {
        std::printf("error fd1<0\n");
        RecordSaveError(w.logPath, kind.func, 1);
        return -1;
    }
    std::size_t size = std::size_t(kind.slotSize);
    int perChunk = int(CREATE_CHUNK / size);
    if (perChunk > DOG_EVERY_SLOTS)
        perChunk = DOG_EVERY_SLOTS;
    for (int first = 0; first < kind.slots; first += perChunk) {
        int count = std::min(perChunk, kind.slots - first);
        for (int i = 0; i < count; ++i)
            FillSlot(g_createBuf + std::size_t(i) * size, kind, first + i, w.headerCtx);
        if (!WriteAll(f.fd, g_createBuf, std::size_t(count) * size)) {
            std::printf("error write1\n");
            RecordSaveError(w.logPath, kind.func, 2);
            return -1;
        }
        SoftDogFeed(DOG_D);
    }
    return 0;
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

    if (TpAccess(w.path, F_OK) != 0 && CreateSlotFile(kind, w) != 0)
        return -1;

    Fd f;
    f.fd = TpOpen(w.path, O_RDWR);
    if (f.fd < 0) {
        TpSystem("pwd");
        std::printf("error fd2<0\n");
        RecordSaveError(w.logPath, kind.func, 3);
        return -1;
    }
    off_t size = kind.slotSize;
    off_t at = off_t(w.slot) * size;
    SeekTo(f.fd, kind, w, 4, at);
    if (!WriteAll(f.fd, w.text, std::size_t(kind.slotSize))) {
        std::printf("error write2\n");
        RecordSaveError(w.logPath, kind.func, 5);
        return -1;
    }
    if (w.carry != nullptr && w.slot + 1 < kind.slots && w.carryFrom >= 0 && w.carryLen > 0 &&
        w.carryFrom + w.carryLen <= kind.slotSize) {
        SeekTo(f.fd, kind, w, 6, at + size + w.carryFrom);
        if (!WriteAll(f.fd, w.carry + w.carryFrom, std::size_t(w.carryLen))) {
            std::printf("error write2\n");
            RecordSaveError(w.logPath, kind.func, 7);
            return -1;
        }
    }
    return 0;
}
