// Simulated board devices: mount table, free space, hardware clock, date,
// uptime, GPIO lines and the older board's LED device.
#include "platform/SimBoard.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/Transplant.h"

namespace sim {
namespace {

constexpr const char *kMountsFile = "/sim/mounts";
constexpr std::size_t kMountsMax = 4096;
constexpr int kMaxEntries = 24;

// The lines of the table that exist on every board from boot on. The two
// NAND partitions can never be unmounted.
constexpr const char *kBootMounts = "rootfs / rootfs rw 0 0\n"
                                    "proc /proc proc rw,relatime 0 0\n"
                                    "sysfs /sys sysfs rw,relatime 0 0\n"
                                    "/dev/mtdblock2 /mnt/nand2 yaffs2 rw,relatime 0 0\n"
                                    "/dev/mtdblock3 /mnt/nand3 yaffs2 rw,relatime 0 0\n";

struct MountEntry {
    char dev[128];
    char dir[128];
    char type[32];
    char opts[64];
};

time_t g_bootTime = 0;

void Appendf(std::string &out, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void Appendf(std::string &out, const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0)
        out.append(buf, std::size_t(n) < sizeof buf ? std::size_t(n) : sizeof buf - 1);
}

time_t SimNow()
{
    struct timeval tv;
    TpGetTimeOfDay(&tv);
    return tv.tv_sec;
}

// A block device of a removable medium: the entry goes away with its node,
// as if the kernel had dropped the pulled card.
bool Removable(const char *dev)
{
    return std::strncmp(dev, "/dev/sd", 7) == 0 || std::strncmp(dev, "/dev/hd", 7) == 0;
}

bool Pinned(const char *dir)
{
    return std::strcmp(dir, "/") == 0 || std::strcmp(dir, "/mnt/nand2") == 0 || std::strcmp(dir, "/mnt/nand3") == 0 ||
           std::strcmp(dir, "/proc") == 0 || std::strcmp(dir, "/sys") == 0;
}

// The table file, locked for the caller's whole read-modify-write.
class MountTable {
public:
    MountTable()
    {
        fd_ = TpOpen(kMountsFile, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0)
            return;
        flock(fd_, LOCK_EX);
        char buf[kMountsMax];
        ssize_t n = pread(fd_, buf, sizeof buf - 1, 0);
        if (n <= 0) {
            std::snprintf(buf, sizeof buf, "%s", kBootMounts);
            n = ssize_t(std::strlen(buf));
            dirty_ = true;
        }
        buf[n] = '\0';
        char *save = nullptr;
        for (char *line = strtok_r(buf, "\n", &save); line != nullptr && count_ < kMaxEntries;
             line = strtok_r(nullptr, "\n", &save)) {
            MountEntry &e = e_[count_];
            if (std::sscanf(line, "%127s %127s %31s %63s", e.dev, e.dir, e.type, e.opts) == 4)
                ++count_;
        }
        for (int i = 0; i < count_;) {
            if (Removable(e_[i].dev) && !NodePresent(e_[i].dev)) {
                Remove(i);
                continue;
            }
            ++i;
        }
    }
    ~MountTable()
    {
        if (fd_ < 0)
            return;
        if (dirty_) {
            std::string text;
            for (int i = 0; i < count_; ++i)
                Appendf(text, "%s %s %s %s 0 0\n", e_[i].dev, e_[i].dir, e_[i].type, e_[i].opts);
            if (ftruncate(fd_, 0) == 0 && pwrite(fd_, text.data(), text.size(), 0) < 0)
                std::perror("sim mounts");
        }
        flock(fd_, LOCK_UN);
        close(fd_);
    }
    MountTable(const MountTable &) = delete;
    MountTable &operator=(const MountTable &) = delete;

    bool ok() const { return fd_ >= 0; }
    int count() const { return count_; }
    const MountEntry &at(int i) const { return e_[i]; }
    int Find(const char *devOrDir) const
    {
        for (int i = count_ - 1; i >= 0; --i)
            if (std::strcmp(e_[i].dir, devOrDir) == 0 || std::strcmp(e_[i].dev, devOrDir) == 0)
                return i;
        return -1;
    }
    bool Add(const char *dev, const char *dir, const char *type)
    {
        if (count_ >= kMaxEntries)
            return false;
        MountEntry &e = e_[count_++];
        std::snprintf(e.dev, sizeof e.dev, "%s", dev);
        std::snprintf(e.dir, sizeof e.dir, "%s", dir);
        std::snprintf(e.type, sizeof e.type, "%s", type);
        std::snprintf(e.opts, sizeof e.opts, "%s", "rw,relatime");
        dirty_ = true;
        return true;
    }
    void Remove(int i)
    {
        for (int k = i; k + 1 < count_; ++k)
            e_[k] = e_[k + 1];
        --count_;
        dirty_ = true;
    }

private:
    int fd_ = -1;
    bool dirty_ = false;
    int count_ = 0;
    MountEntry e_[kMaxEntries];
};

bool IsDir(const char *boardPath)
{
    struct stat st;
    return TpStat(boardPath, &st) == 0 && S_ISDIR(st.st_mode);
}

// Free megabytes forced by sim/df/<name>, or -1.
long long DfOverride(const char *dir)
{
    const char *name = nullptr;
    if (std::strcmp(dir, "/mnt/nand2") == 0)
        name = "/sim/df/nand2";
    else if (std::strcmp(dir, "/mnt/nand3") == 0)
        name = "/sim/df/nand3";
    else if (std::strcmp(dir, "/mnt/cf") == 0)
        name = "/sim/df/cf";
    if (name == nullptr)
        return -1;
    FILE *f = TpFopen(name, "r");
    if (f == nullptr)
        return -1;
    long long mb = -1;
    if (std::fscanf(f, "%lld", &mb) != 1 || mb < 0)
        mb = -1;
    std::fclose(f);
    return mb;
}

// The hardware clock's reading now, from sim/rtc and its modification
// time; -1 when there is no readable hardware clock. Calendar arithmetic
// only (timegm), so the reading is free of time-zone rules.
int ReadRtc(struct tm *out)
{
    char path[TP_PATH_MAX];
    if (TpMapPath("/sim/rtc", path, sizeof path) == nullptr)
        return -1;
    FILE *f = std::fopen(path, "r");
    if (f == nullptr)
        return -1;
    char line[64] = "";
    struct stat st;
    bool got = std::fgets(line, sizeof line, f) != nullptr && fstat(fileno(f), &st) == 0;
    std::fclose(f);
    int v[6];
    if (!got || ParseStamp(line, v) != 0)
        return -1;
    struct tm t {};
    t.tm_year = v[0] - 1900;
    t.tm_mon = v[1] - 1;
    t.tm_mday = v[2];
    t.tm_hour = v[3];
    t.tm_min = v[4];
    t.tm_sec = v[5];
    time_t reading = timegm(&t);
    time_t elapsed = time(nullptr) - st.st_mtime;
    if (elapsed < 0)
        elapsed = 0;
    reading += elapsed;
    gmtime_r(&reading, out);
    return 0;
}

int WriteRtcFromSystem()
{
    time_t now = SimNow();
    struct tm t;
    localtime_r(&now, &t);
    char tmp[TP_PATH_MAX], dst[TP_PATH_MAX];
    if (TpMapPath("/sim/rtc.tmp", tmp, sizeof tmp) == nullptr || TpMapPath("/sim/rtc", dst, sizeof dst) == nullptr)
        return -1;
    FILE *f = std::fopen(tmp, "w");
    if (f == nullptr)
        return -1;
    std::fprintf(f, "%04d-%02d-%02d %02d:%02d:%02d\n", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                 t.tm_min, t.tm_sec);
    if (std::fclose(f) != 0)
        return -1;
    return std::rename(tmp, dst) == 0 ? 0 : -1;
}

bool AllDigits(const char *s, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

int Num(const char *s, int n)
{
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = v * 10 + (s[i] - '0');
    return v;
}

// busybox date -s forms: MMDDhhmm[[CC]YY][.ss] and "YYYY-MM-DD hh:mm[:ss]".
int ParseDateArg(const char *s, struct tm *t)
{
    time_t now = SimNow();
    localtime_r(&now, t);
    int v[6];
    if (ParseStamp(s, v) == 0) {
        t->tm_year = v[0] - 1900;
        t->tm_mon = v[1] - 1;
        t->tm_mday = v[2];
        t->tm_hour = v[3];
        t->tm_min = v[4];
        t->tm_sec = v[5];
        return 0;
    }
    const char *dot = std::strchr(s, '.');
    std::size_t n = dot ? std::size_t(dot - s) : std::strlen(s);
    if (!AllDigits(s, n) || (n != 8 && n != 10 && n != 12))
        return -1;
    t->tm_mon = Num(s, 2) - 1;
    t->tm_mday = Num(s + 2, 2);
    t->tm_hour = Num(s + 4, 2);
    t->tm_min = Num(s + 6, 2);
    if (n == 10)
        t->tm_year = 100 + Num(s + 8, 2);
    else if (n == 12)
        t->tm_year = Num(s + 8, 4) - 1900;
    t->tm_sec = 0;
    if (dot != nullptr) {
        if (std::strlen(dot + 1) != 2 || !AllDigits(dot + 1, 2))
            return -1;
        t->tm_sec = Num(dot + 1, 2);
    }
    if (t->tm_mon < 0 || t->tm_mon > 11 || t->tm_mday < 1 || t->tm_mday > 31 || t->tm_hour > 23 ||
        t->tm_min > 59 || t->tm_sec > 60)
        return -1;
    return 0;
}

void AppendAsctime(std::string &out, const struct tm &t)
{
    char buf[64];
    std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &t);
    out += buf;
}

// GPIO attribute files hold the bare level or direction, without newline.

int ParseLine(const char *text)
{
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    while (end != nullptr && (*end == '\n' || *end == ' ' || *end == '\r'))
        ++end;
    if (end == text || end == nullptr || *end != '\0' || v < 0 || v > 1023)
        return -1;
    return int(v);
}

int RemoveTree(const char *mapped)
{
    char p[TP_PATH_MAX];
    for (const char *f : {"direction", "value"}) {
        if (std::snprintf(p, sizeof p, "%s/%s", mapped, f) < int(sizeof p))
            unlink(p);
    }
    return rmdir(mapped);
}

} // namespace

int WriteFileText(const char *mapped, const char *text, int flags)
{
    int fd = open(mapped, flags | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    std::size_t n = std::strlen(text);
    ssize_t w = write(fd, text, n);
    close(fd);
    return w == ssize_t(n) ? 0 : -1;
}

int ParseStamp(const char *s, int f[6])
{
    char tail = 0;
    int n = std::sscanf(s, "%4d-%2d-%2d %2d:%2d:%2d%c", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &tail);
    if (n != 6 && !(n == 7 && (tail == '\n' || tail == '\r')))
        return -1;
    if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] < 0 || f[3] > 23 || f[4] < 0 || f[4] > 59 ||
        f[5] < 0 || f[5] > 60)
        return -1;
    return 0;
}

int NodePresent(const char *boardDev)
{
    struct stat st;
    return TpStat(boardDev, &st) == 0 ? 1 : 0;
}

void PrepareSandbox()
{
    g_bootTime = SimNow();
    MountTable table; // creates the boot table when the file is new
}

int CmdMount(int argc, const char *const *argv, std::string &out)
{
    const char *type = nullptr;
    const char *args[2] = {nullptr, nullptr};
    int nargs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc)
            type = argv[++i];
        else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            ++i; // options do not change the simulated table
        else if (argv[i][0] == '-')
            continue;
        else if (nargs < 2)
            args[nargs++] = argv[i];
        else
            nargs = 3;
    }
    MountTable table;
    if (!table.ok())
        return 1;
    if (nargs == 0) {
        for (int i = 0; i < table.count(); ++i) {
            const MountEntry &e = table.at(i);
            Appendf(out, "%s on %s type %s (%s)\n", e.dev, e.dir, e.type, e.opts);
        }
        return 0;
    }
    if (nargs != 2) {
        std::fprintf(stderr, "mount: bad usage\n");
        return 1;
    }
    const char *dev = args[0], *dir = args[1];
    if (dev[0] != '/' || !NodePresent(dev)) {
        std::fprintf(stderr, "mount: mounting %s on %s failed: No such device or address\n", dev, dir);
        return 1;
    }
    if (!IsDir(dir)) {
        std::fprintf(stderr, "mount: mounting %s on %s failed: No such file or directory\n", dev, dir);
        return 1;
    }
    for (int i = 0; i < table.count(); ++i) {
        if (std::strcmp(table.at(i).dir, dir) == 0 || std::strcmp(table.at(i).dev, dev) == 0) {
            std::fprintf(stderr, "mount: mounting %s on %s failed: Device or resource busy\n", dev, dir);
            return 1;
        }
    }
    return table.Add(dev, dir, type != nullptr ? type : "vfat") ? 0 : 1;
}

int CmdUmount(int argc, const char *const *argv, std::string &)
{
    const char *target = nullptr;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-')
            target = argv[i];
    if (target == nullptr) {
        std::fprintf(stderr, "umount: bad usage\n");
        return 1;
    }
    MountTable table;
    int i = table.Find(target);
    if (i < 0) {
        std::fprintf(stderr, "umount: can't unmount %s: Invalid argument\n", target);
        return 1;
    }
    if (Pinned(table.at(i).dir)) {
        std::fprintf(stderr, "umount: can't unmount %s: Device or resource busy\n", target);
        return 1;
    }
    table.Remove(i);
    return 0;
}

int CmdDf(int argc, const char *const *argv, std::string &out)
{
    long long unit = 1024;
    const char *want[8];
    int nwant = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-m") == 0)
            unit = 1024 * 1024;
        else if (std::strcmp(argv[i], "-k") == 0)
            unit = 1024;
        else if (argv[i][0] != '-' && nwant < 8)
            want[nwant++] = argv[i];
    }
    MountTable table;
    Appendf(out, "Filesystem           %s      Used Available Use%% Mounted on\n",
            unit == 1024 ? "1K-blocks" : "1M-blocks");
    for (int i = 0; i < table.count(); ++i) {
        const MountEntry &e = table.at(i);
        if (std::strcmp(e.type, "proc") == 0 || std::strcmp(e.type, "sysfs") == 0)
            continue;
        if (nwant > 0) {
            bool hit = false;
            for (int k = 0; k < nwant; ++k)
                hit = hit || std::strcmp(want[k], e.dir) == 0 || std::strcmp(want[k], e.dev) == 0;
            if (!hit)
                continue;
        }
        char mapped[TP_PATH_MAX];
        struct statvfs vfs;
        if (TpMapPath(e.dir, mapped, sizeof mapped) == nullptr || statvfs(mapped, &vfs) != 0)
            continue;
        long long total = (long long)vfs.f_blocks * (long long)vfs.f_frsize / unit;
        long long avail = (long long)vfs.f_bavail * (long long)vfs.f_frsize / unit;
        long long used = (long long)(vfs.f_blocks - vfs.f_bfree) * (long long)vfs.f_frsize / unit;
        if (long long mb = DfOverride(e.dir); mb >= 0) {
            avail = mb * (1024 * 1024 / unit);
            if (total < avail)
                total = avail;
            used = total - avail;
        }
        long long pct = total > 0 ? (used * 100 + total - 1) / total : 0;
        Appendf(out, "%-20s %9lld %9lld %9lld %3lld%% %s\n", std::strcmp(e.dev, "rootfs") == 0 ? "/dev/root" : e.dev,
                total, used, avail, pct, e.dir);
    }
    return 0;
}

int CmdHwclock(int argc, const char *const *argv, std::string &out)
{
    bool toRtc = false, fromRtc = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--systohc") == 0 || std::strcmp(argv[i], "-w") == 0)
            toRtc = true;
        else if (std::strcmp(argv[i], "--hctosys") == 0 || std::strcmp(argv[i], "-s") == 0)
            fromRtc = true;
    }
    if (toRtc)
        return WriteRtcFromSystem() == 0 ? 0 : 1;
    struct tm t;
    if (ReadRtc(&t) != 0) {
        std::fprintf(stderr, "hwclock: can't open '/dev/misc/rtc': No such file or directory\n");
        return 1;
    }
    if (fromRtc) {
        t.tm_isdst = -1;
        return TpSetTime(mktime(&t)) == 0 ? 0 : 1;
    }
    AppendAsctime(out, t);
    out += "  0.000000 seconds\n";
    return 0;
}

int CmdDate(int argc, const char *const *argv, std::string &out)
{
    const char *set = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-s") == 0 && i + 1 < argc)
            set = argv[++i];
        else if (std::strncmp(argv[i], "--set=", 6) == 0)
            set = argv[i] + 6;
    }
    struct tm t;
    if (set != nullptr) {
        if (ParseDateArg(set, &t) != 0) {
            std::fprintf(stderr, "date: invalid date '%s'\n", set);
            return 1;
        }
        t.tm_isdst = -1;
        time_t when = mktime(&t);
        if (when == time_t(-1) || TpSetTime(when) != 0)
            return 1;
    }
    time_t now = SimNow();
    localtime_r(&now, &t);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Z %Y", &t);
    out += buf;
    out += '\n';
    return 0;
}

int CmdUptime(int, const char *const *, std::string &out)
{
    time_t now = SimNow();
    struct tm t;
    localtime_r(&now, &t);
    long up = long(now - g_bootTime);
    if (up < 0)
        up = 0;
    Appendf(out, " %02d:%02d:%02d up ", t.tm_hour, t.tm_min, t.tm_sec);
    if (up >= 86400)
        Appendf(out, "%ld day%s, ", up / 86400, up / 86400 == 1 ? "" : "s");
    if (up % 86400 >= 3600)
        Appendf(out, "%2ld:%02ld, ", up % 86400 / 3600, up % 3600 / 60);
    else
        Appendf(out, "%ld min, ", up % 3600 / 60);
    out += " load average: 0.00, 0.00, 0.00\n";
    return 0;
}

int WriteAttr(const char *boardPath, const char *text)
{
    constexpr const char *kGpio = "/sys/class/gpio/";
    constexpr std::size_t kGpioLen = 16;
    char mapped[TP_PATH_MAX];
    if (TpMapPath(boardPath, mapped, sizeof mapped) == nullptr) {
        errno = ENAMETOOLONG;
        return -1;
    }
    if (std::strncmp(boardPath, kGpio, kGpioLen) != 0)
        return WriteFileText(mapped, text, O_CREAT);

    const char *rest = boardPath + kGpioLen;
    if (std::strcmp(rest, "export") == 0 || std::strcmp(rest, "unexport") == 0) {
        int line = ParseLine(text);
        if (line < 0) {
            errno = EINVAL;
            return -1;
        }
        char dir[TP_PATH_MAX], board[64];
        std::snprintf(board, sizeof board, "/sys/class/gpio/gpio%d", line);
        if (TpMapPath(board, dir, sizeof dir) == nullptr)
            return -1;
        if (rest[0] == 'u') {
            if (RemoveTree(dir) != 0) {
                errno = EINVAL;
                return -1;
            }
            return 0;
        }
        char parent[TP_PATH_MAX];
        std::snprintf(parent, sizeof parent, "%s", mapped);
        *std::strrchr(parent, '/') = '\0';
        // mkdir -p of the class folder, one level at a time below the root.
        for (char *p = parent + std::strlen(TpRoot()) + 1; (p = std::strchr(p, '/')) != nullptr; ++p) {
            *p = '\0';
            mkdir(parent, 0755);
            *p = '/';
        }
        mkdir(parent, 0755);
        if (mkdir(dir, 0755) != 0) {
            if (errno == EEXIST)
                errno = EBUSY;
            return -1;
        }
        char f[TP_PATH_MAX];
        if (std::snprintf(f, sizeof f, "%s/direction", dir) >= int(sizeof f) || WriteFileText(f, "in", O_CREAT) != 0)
            return -1;
        if (std::snprintf(f, sizeof f, "%s/value", dir) >= int(sizeof f))
            return -1;
        return WriteFileText(f, "0", O_CREAT);
    }

    // gpioN/direction or gpioN/value: only on an exported line.
    char clean[16];
    std::size_t n = 0;
    for (const char *p = text; *p && *p != '\n' && *p != '\r' && n + 1 < sizeof clean; ++p)
        clean[n++] = *p;
    clean[n] = '\0';
    const char *slash = std::strrchr(rest, '/');
    if (slash != nullptr && std::strcmp(slash, "/direction") == 0 &&
        (std::strcmp(clean, "high") == 0 || std::strcmp(clean, "low") == 0)) {
        char value[TP_PATH_MAX];
        std::snprintf(value, sizeof value, "%.*s/value", int(std::strlen(mapped) - 10), mapped);
        if (WriteFileText(mapped, "out", 0) != 0)
            return -1;
        return WriteFileText(value, clean[0] == 'h' ? "1" : "0", 0);
    }
    if (slash != nullptr && std::strcmp(slash, "/value") == 0) {
        // Any non-zero level reads back as 1, as the kernel does.
        return WriteFileText(mapped, std::strcmp(clean, "0") == 0 ? "0" : "1", 0);
    }
    return WriteFileText(mapped, clean, 0);
}

int StampNow(const char *hostPath)
{
    struct timespec t[2] = {{SimNow(), 0}, {SimNow(), 0}};
    return utimensat(AT_FDCWD, hostPath, t, 0);
}

int StampFd(int fd)
{
    struct timespec t[2] = {{SimNow(), 0}, {SimNow(), 0}};
    return futimens(fd, t);
}

void ToSimTime(struct timespec *mtime)
{
    // Whole seconds: set by the seam or a test in simulated time already.
    if (mtime->tv_nsec == 0)
        return;
    struct timeval sim;
    TpGetTimeOfDay(&sim);
    struct timeval host;
    gettimeofday(&host, nullptr);
    int64_t offsetUs = (int64_t(sim.tv_sec) - host.tv_sec) * 1000000 + (sim.tv_usec - host.tv_usec);
    int64_t us = int64_t(mtime->tv_sec) * 1000000 + mtime->tv_nsec / 1000 + offsetUs;
    mtime->tv_sec = time_t(us / 1000000);
    mtime->tv_nsec = long(us % 1000000) * 1000;
}

int LedOpen()
{
    TpMkdir("/sim/at91_led", 0755);
    return TpOpen("/sim/at91_led/.dev", O_RDWR | O_CREAT, 0644);
}

int LedIoctl(int fd, unsigned int request, unsigned long arg)
{
    if (fd < 0 || fcntl(fd, F_GETFD) < 0) {
        errno = EBADF;
        return -1;
    }
    if (request == 5)
        return NodePresent("/dev/hda1") ? 0 : 1;
    char path[64], level[24];
    std::snprintf(path, sizeof path, "/sim/at91_led/%u", request);
    std::snprintf(level, sizeof level, "%lu", arg);
    char mapped[TP_PATH_MAX];
    if (TpMapPath(path, mapped, sizeof mapped) == nullptr)
        return -1;
    return WriteFileText(mapped, level, O_CREAT);
}

} // namespace sim
