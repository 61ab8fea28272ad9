// The porting seam: dispatch between the real board and the simulated one.
#include "board/Transplant.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <arpa/inet.h>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

namespace {

char g_root[256];
int g_sim = 0;
// Offset of the simulated clock from the host clock, in microseconds, in a
// page shared by every komain process (mapped before the split).
volatile int64_t *g_clockOffsetUs = nullptr;
char g_kernel[65];

int64_t HostNowUs()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return int64_t(tv.tv_sec) * 1000000 + tv.tv_usec;
}

// Only plain path characters in the sandbox root, so it can stand inside a
// shell command unquoted.
bool SafeRoot(const char *s)
{
    if (s[0] != '/')
        return false;
    for (const char *p = s; *p; ++p) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '/' || c == '_' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return std::strstr(s, "..") == nullptr;
}

// "YYYY-MM-DD HH:MM:SS" as local time; -1 when malformed.
time_t ParseClock(const char *s)
{
    struct tm t {};
    char tail;
    if (std::sscanf(s, "%d-%d-%d %d:%d:%d%c", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec, &tail) != 6)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    return mktime(&t);
}

} // namespace

int TransplantInit()
{
    const char *root = std::getenv("KOMAIN_ROOT");
    if (root == nullptr || root[0] == '\0') {
#if defined(__arm__) || defined(__aarch64__)
        g_sim = 0;
        g_root[0] = '\0';
        return 0;
#else
        std::fprintf(stderr, "komain: not a logger board; set KOMAIN_ROOT to run a simulated station\n");
        return -1;
#endif
    }
    char real[PATH_MAX];
    if (realpath(root, real) == nullptr || std::strlen(real) >= sizeof g_root || !SafeRoot(real)) {
        std::fprintf(stderr, "komain: KOMAIN_ROOT must be an existing folder with a plain path\n");
        return -1;
    }
    std::snprintf(g_root, sizeof g_root, "%s", real);
    g_sim = 1;

    static const char *const kFolders[] = {"/mnt", "/mnt/nand2", "/mnt/nand3", "/mnt/cf", "/mnt/udisk", "/tmp",
                                           "/home", "/home/ko", "/dev", "/run", "/sim"};
    for (const char *f : kFolders)
        TpMkdir(f, 0777);

    void *page = mmap(nullptr, sizeof(int64_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return -1;
    g_clockOffsetUs = static_cast<volatile int64_t *>(page);
    *g_clockOffsetUs = 0;
    if (const char *clk = std::getenv("KOMAIN_CLOCK"); clk != nullptr && clk[0] != '\0') {
        time_t start = ParseClock(clk);
        if (start == -1) {
            std::fprintf(stderr, "komain: KOMAIN_CLOCK must read \"YYYY-MM-DD HH:MM:SS\"\n");
            return -1;
        }
        *g_clockOffsetUs = int64_t(start) * 1000000 - HostNowUs();
    }
    if (const char *k = std::getenv("KOMAIN_KERNEL"); k != nullptr && k[0] != '\0')
        std::snprintf(g_kernel, sizeof g_kernel, "%s", k);
    return 0;
}

int TpSimulated() { return g_sim; }
const char *TpRoot() { return g_root; }

const char *TpMapPath(const char *boardPath, char *out, std::size_t outLen)
{
    if (boardPath == nullptr || out == nullptr || outLen == 0)
        return nullptr;
    if (!g_sim || boardPath[0] != '/') {
        if (std::snprintf(out, outLen, "%s", boardPath) >= int(outLen))
            return nullptr;
        return out;
    }
    // A board path may not climb out of the sandbox.
    for (const char *p = std::strstr(boardPath, ".."); p != nullptr; p = std::strstr(p + 1, "..")) {
        bool startsPart = p == boardPath || p[-1] == '/';
        bool endsPart = p[2] == '\0' || p[2] == '/';
        if (startsPart && endsPart)
            return nullptr;
    }
    if (std::snprintf(out, outLen, "%s%s", g_root, boardPath) >= int(outLen))
        return nullptr;
    return out;
}

#define MAP_OR_FAIL(var, path, fail)                    \
    char var[TP_PATH_MAX];                              \
    if (TpMapPath(path, var, sizeof var) == nullptr) {  \
        errno = ENAMETOOLONG;                           \
        return fail;                                    \
    }

int TpOpen(const char *path, int flags, mode_t mode)
{
    MAP_OR_FAIL(p, path, -1);
    return open(p, flags, mode);
}

FILE *TpFopen(const char *path, const char *mode)
{
    MAP_OR_FAIL(p, path, nullptr);
    return std::fopen(p, mode);
}

int TpAccess(const char *path, int amode)
{
    MAP_OR_FAIL(p, path, -1);
    return access(p, amode);
}

int TpStat(const char *path, struct stat *st)
{
    MAP_OR_FAIL(p, path, -1);
    return stat(p, st);
}

int TpMkdir(const char *path, mode_t mode)
{
    MAP_OR_FAIL(p, path, -1);
    return mkdir(p, mode);
}

int TpUnlink(const char *path)
{
    MAP_OR_FAIL(p, path, -1);
    return unlink(p);
}

int TpRename(const char *from, const char *to)
{
    MAP_OR_FAIL(a, from, -1);
    MAP_OR_FAIL(b, to, -1);
    return rename(a, b);
}

int TpChdir(const char *path)
{
    MAP_OR_FAIL(p, path, -1);
    return chdir(p);
}

DIR *TpOpendir(const char *path)
{
    MAP_OR_FAIL(p, path, nullptr);
    return opendir(p);
}

int TpWriteAttr(const char *path, const char *text)
{
    int fd = TpOpen(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return -1;
    std::size_t n = std::strlen(text);
    ssize_t w = write(fd, text, n);
    close(fd);
    return w == ssize_t(n) ? 0 : -1;
}

int TpSystem(const char *cmd)
{
    if (!g_sim)
        return std::system(cmd);
    if (FILE *f = TpFopen("/sim/commands.log", "a")) {
        std::fprintf(f, "%s\n", cmd);
        std::fclose(f);
    }
    return 0;
}

FILE *TpPopen(const char *cmd, const char *mode)
{
    if (!g_sim)
        return popen(cmd, mode);
    TpSystem(cmd);
    return nullptr;
}

int TpPclose(FILE *fp)
{
    if (!g_sim)
        return pclose(fp);
    return fp ? std::fclose(fp) : -1;
}

int TpShell(const char *cmd) { return TpSystem(cmd); }

time_t TpTime()
{
    struct timeval tv;
    TpGetTimeOfDay(&tv);
    return tv.tv_sec;
}

int TpGetTimeOfDay(struct timeval *tv)
{
    if (!g_sim)
        return gettimeofday(tv, nullptr);
    int64_t us = HostNowUs() + *g_clockOffsetUs;
    tv->tv_sec = time_t(us / 1000000);
    tv->tv_usec = suseconds_t(us % 1000000);
    return 0;
}

int TpSetTime(time_t t)
{
    if (!g_sim) {
        struct timeval tv {t, 0};
        return settimeofday(&tv, nullptr);
    }
    *g_clockOffsetUs = int64_t(t) * 1000000 - HostNowUs();
    return 0;
}

int TpKernelRelease(char *buf, std::size_t len)
{
    if (len == 0)
        return -1;
    if (g_kernel[0] != '\0') {
        std::snprintf(buf, len, "%s", g_kernel);
        return 0;
    }
    struct utsname u;
    if (uname(&u) != 0)
        return -1;
    std::snprintf(buf, len, "%s", u.release);
    return 0;
}

void TpReboot()
{
    if (!g_sim) {
        std::system("reboot");
        for (;;)
            pause();
    }
    struct timeval tv;
    TpGetTimeOfDay(&tv);
    time_t now = tv.tv_sec;
    struct tm t;
    localtime_r(&now, &t);
    if (FILE *f = TpFopen("/sim/reboot.log", "a")) {
        std::fprintf(f, "%04d-%02d-%02d %02d:%02d:%02d reboot\n", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                     t.tm_hour, t.tm_min, t.tm_sec);
        std::fclose(f);
    }
    std::fflush(nullptr);
    // The station's processes form one process group (see main); end them
    // all, this one included.
    if (getpgrp() == getpgid(0))
        kill(0, SIGKILL);
    _exit(0);
}

int TpCanOpen(const char *) { return -1; }
int TpCanSend(int, const TpCanFrame *) { return -1; }
int TpCanRecv(int, TpCanFrame *, int) { return -1; }
int TpCanClose(int fd) { return fd >= 0 ? close(fd) : -1; }

int TpLedOpen() { return -1; }
int TpLedIoctl(int, unsigned int, unsigned long) { return -1; }
int TpLedClose(int fd) { return fd >= 0 ? close(fd) : -1; }

int TpIpcKeyFor(const char *root, int key)
{
    // FNV-1a of the sandbox root gives the upper bits, the board key the lower.
    uint32_t h = 2166136261u;
    for (const char *p = root; *p; ++p)
        h = (h ^ uint8_t(*p)) * 16777619u;
    return int(((h & 0x7fff) << 16) | (uint32_t(key) & 0xffff));
}

int TpIpcKey(int key)
{
    if (!g_sim)
        return key;
    return TpIpcKeyFor(g_root, key);
}

int TpFtok(const char *path, int proj)
{
    if (!g_sim)
        return int(ftok(path, proj));
    // Derived from the sandbox like the other keys; 0xf000 + the project
    // character keeps it apart from the keyed segments.
    return TpIpcKey(0xf000 | (proj & 0xff));
}

void TpReleasePrivateSegment(int shmid)
{
    if (g_sim && shmid >= 0)
        shmctl(shmid, IPC_RMID, nullptr);
}

int TpConnect(int fd, const struct sockaddr *addr, socklen_t len)
{
    if (g_sim) {
        // A simulated station reaches loopback only: the factory default
        // destination is a private LAN address that must never see a packet.
        bool loopback = false;
        if (addr != nullptr && addr->sa_family == AF_INET && len >= socklen_t(sizeof(sockaddr_in))) {
            const auto *in = reinterpret_cast<const sockaddr_in *>(addr);
            loopback = (ntohl(in->sin_addr.s_addr) >> 24) == 127;
        } else if (addr != nullptr && addr->sa_family == AF_INET6 && len >= socklen_t(sizeof(sockaddr_in6))) {
            const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(addr);
            loopback = IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
        }
        if (!loopback) {
            errno = ENETUNREACH;
            return -1;
        }
    }
    return connect(fd, addr, len);
}
