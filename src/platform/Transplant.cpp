// The porting seam: dispatch between the real board and the simulated one.
#include "platform/Transplant.h"

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
#include <sys/un.h>
#include <poll.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <linux/can.h>
#include <linux/can/raw.h>
#include <bit>
#include <mutex>
#include <string>
#include <unistd.h>

#include "platform/SimBoard.h"

namespace {

char g_root[256];
int g_sim = 0;
// Offset of the simulated clock from the host clock, in microseconds, in a
// page shared by every komain process (mapped before the split), so a clock
// set in one process is the clock of all of them.
volatile int64_t *g_clockOffsetUs = nullptr;
char g_kernel[65];
// The process that started the station; in simulation it leads the
// process group that a reboot ends.
pid_t g_initPid = 0;

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
    // Every call starts afresh, so one test process can set up several
    // sandboxes in turn.
    g_sim = 0;
    g_root[0] = '\0';
    g_kernel[0] = '\0';
    g_initPid = getpid();
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
    std::size_t len = 0;
    if (realpath(root, real) == nullptr || (len = std::strlen(real)) >= sizeof g_root || !SafeRoot(real)) {
        std::fprintf(stderr, "komain: KOMAIN_ROOT must be an existing folder with a plain path\n");
        return -1;
    }
    std::memcpy(g_root, real, len + 1);
    g_sim = 1;

    static const char *const kFolders[] = {"/mnt", "/mnt/nand2", "/mnt/nand3", "/mnt/cf", "/mnt/udisk", "/tmp",
                                           "/home", "/home/ko", "/dev", "/run", "/sim", "/sim/df"};
    for (const char *f : kFolders)
        TpMkdir(f, 0777);

    if (g_clockOffsetUs == nullptr) {
        void *page = mmap(nullptr, sizeof(int64_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED) {
            g_sim = 0;
            return -1;
        }
        g_clockOffsetUs = static_cast<volatile int64_t *>(page);
    }
    *g_clockOffsetUs = 0;
    if (const char *clk = std::getenv("KOMAIN_CLOCK"); clk != nullptr && clk[0] != '\0') {
        time_t start = ParseClock(clk);
        if (start == -1) {
            std::fprintf(stderr, "komain: KOMAIN_CLOCK must read \"YYYY-MM-DD HH:MM:SS\"\n");
            g_sim = 0;
            return -1;
        }
        *g_clockOffsetUs = int64_t(start) * 1000000 - HostNowUs();
    }
    if (const char *k = std::getenv("KOMAIN_KERNEL"); k != nullptr && k[0] != '\0')
        std::snprintf(g_kernel, sizeof g_kernel, "%s", k);
    sim::PrepareSandbox();
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

namespace {

int SimStatTime(int rc, struct stat *st)
{
    if (rc == 0 && g_sim)
        sim::ToSimTime(&st->st_mtim);
    return rc;
}

// A descriptor open for writing: its file is stamped when closed.
bool Writable(int fd)
{
    int fl = fcntl(fd, F_GETFL);
    return fl >= 0 && (fl & O_ACCMODE) != O_RDONLY;
}

} // namespace

int TpStat(const char *path, struct stat *st)
{
    MAP_OR_FAIL(p, path, -1);
    return SimStatTime(stat(p, st), st);
}

int TpLstat(const char *path, struct stat *st)
{
    MAP_OR_FAIL(p, path, -1);
    return SimStatTime(lstat(p, st), st);
}

int TpStampNow(const char *path)
{
    MAP_OR_FAIL(p, path, -1);
    if (!g_sim)
        return utimensat(AT_FDCWD, p, nullptr, 0);
    return sim::StampNow(p);
}

int TpFclose(FILE *fp)
{
    if (fp == nullptr)
        return EOF;
    if (g_sim && fileno(fp) >= 0 && Writable(fileno(fp))) {
        std::fflush(fp);
        sim::StampFd(fileno(fp));
    }
    return std::fclose(fp);
}

int TpClose(int fd)
{
    if (g_sim && fd >= 0 && Writable(fd))
        sim::StampFd(fd);
    return close(fd);
}

void TpSync()
{
    if (!g_sim)
        sync();
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
    int rc = rename(a, b);
    if (rc == 0 && g_sim)
        sim::StampNow(b);
    return rc;
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
    if (g_sim)
        return sim::WriteAttr(path, text);
    return sim::WriteFileText(path, text, 0);
}

namespace {

// Exit statuses of the streams TpPopen handed out, for TpPclose.
struct PopenSlot {
    FILE *fp;
    int status;
};
PopenSlot g_popen[8];
// The terminal process runs commands from its main loop and its LAN thread.
std::mutex g_popenLock;

int WaitStatus(int code) { return (code & 0xff) << 8; }

} // namespace

int TpSystem(const char *cmd)
{
    if (!g_sim)
        return std::system(cmd);
    if (cmd == nullptr)
        return 1; // a command processor is available
    return WaitStatus(sim::RunCommand(cmd, nullptr));
}

FILE *TpPopen(const char *cmd, const char *mode)
{
    if (!g_sim)
        return popen(cmd, mode);
    if (cmd == nullptr || mode == nullptr || (mode[0] != 'r' && mode[0] != 'w')) {
        errno = EINVAL;
        return nullptr;
    }
    std::string out;
    int status = WaitStatus(sim::RunCommand(cmd, mode[0] == 'r' ? &out : nullptr));
    FILE *fp = nullptr;
    if (mode[0] == 'r') {
        // The output is read back from memory: nothing lands on a disk.
        int fd = memfd_create("komain-popen", MFD_CLOEXEC);
        if (fd < 0)
            return nullptr;
        if (!out.empty() && write(fd, out.data(), out.size()) != ssize_t(out.size())) {
            close(fd);
            return nullptr;
        }
        lseek(fd, 0, SEEK_SET);
        fp = fdopen(fd, "r");
        if (fp == nullptr)
            close(fd);
    } else {
        // What the logger writes into the command goes nowhere.
        fp = std::fopen("/dev/null", "we");
    }
    if (fp == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> hold(g_popenLock);
    for (PopenSlot &s : g_popen) {
        if (s.fp == nullptr) {
            s = {fp, status};
            break;
        }
    }
    return fp;
}

int TpPclose(FILE *fp)
{
    if (!g_sim)
        return pclose(fp);
    if (fp == nullptr) {
        errno = ECHILD;
        return -1;
    }
    int status = 0;
    std::lock_guard<std::mutex> hold(g_popenLock);
    for (PopenSlot &s : g_popen) {
        if (s.fp == fp) {
            status = s.status;
            s = {nullptr, 0};
        }
    }
    std::fclose(fp);
    return status;
}

int TpShell(const char *cmd)
{
    if (!g_sim)
        return std::system(cmd);
    return sim::RunShell(cmd);
}

int TpShellOutput(const char *cmd, int timeoutMs, char *out, std::size_t outLen)
{
    if (!g_sim)
        return sim::ShellCapture(cmd, nullptr, timeoutMs, out, outLen);
    return sim::RunShellOutput(cmd, timeoutMs, out, outLen);
}


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
    // The station's processes form one process group led by the process
    // that started it (see main); end them all, this one included. A caller
    // in any other group (a test) ends only itself.
    if (getpgrp() == g_initPid)
        kill(0, SIGKILL);
    _exit(0);
}

namespace {

static_assert(std::endian::native == std::endian::little,
              "the simulated bus carries identifiers little-endian, as the board's CPU does");
static_assert(sizeof(struct can_frame) == sizeof(TpCanFrame), "SocketCAN frame layout");

// "can" followed by one or two digits: anything else is no interface.
bool CanName(const char *ifname)
{
    if (ifname == nullptr || std::strncmp(ifname, "can", 3) != 0)
        return false;
    std::size_t n = std::strlen(ifname + 3);
    if (n < 1 || n > 2)
        return false;
    for (const char *p = ifname + 3; *p; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

int FillUnixAddr(struct sockaddr_un *a, const char *mapped)
{
    std::memset(a, 0, sizeof *a);
    a->sun_family = AF_UNIX;
    if (std::strlen(mapped) >= sizeof a->sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(a->sun_path, mapped, std::strlen(mapped) + 1);
    return 0;
}

} // namespace

int TpCanOpen(const char *ifname)
{
    if (!g_sim) {
        int fd = socket(PF_CAN, SOCK_RAW, CAN_RAW);
        if (fd < 0)
            return -1;
        struct ifreq ifr {};
        std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", ifname);
        ioctl(fd, SIOCGIFINDEX, &ifr);
        struct sockaddr_can addr {};
        addr.can_family = AF_CAN;
        addr.can_ifindex = ifr.ifr_ifindex;
        bind(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr);
        fcntl(fd, F_SETFL, O_NONBLOCK);
        return fd;
    }
    if (!CanName(ifname)) {
        errno = ENODEV;
        return -1;
    }
    char board[32], mapped[TP_PATH_MAX];
    std::snprintf(board, sizeof board, "/run/%s", ifname);
    struct sockaddr_un addr;
    if (TpMapPath(board, mapped, sizeof mapped) == nullptr || FillUnixAddr(&addr, mapped) != 0)
        return -1;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    unlink(mapped); // left over from an earlier run of this station
    if (bind(fd, reinterpret_cast<struct sockaddr *>(&addr), sizeof addr) != 0) {
        int e = errno;
        close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

int TpCanSend(int fd, const TpCanFrame *frame)
{
    if (!g_sim) {
        ssize_t n = write(fd, frame, sizeof *frame);
        return n == ssize_t(sizeof *frame) ? int(n) : -1;
    }
    // The bus is "<own socket path>.bus"; asking the socket for its own name
    // keeps this call free of tables and allocation.
    struct sockaddr_un self;
    socklen_t len = sizeof self;
    if (getsockname(fd, reinterpret_cast<struct sockaddr *>(&self), &len) != 0 || self.sun_family != AF_UNIX)
        return -1;
    std::size_t pathLen = strnlen(self.sun_path, sizeof self.sun_path);
    if (pathLen == 0 || pathLen + 5 > sizeof self.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(self.sun_path + pathLen, ".bus", 5);
    ssize_t n = sendto(fd, frame, sizeof *frame, MSG_DONTWAIT | MSG_NOSIGNAL,
                       reinterpret_cast<struct sockaddr *>(&self), sizeof self);
    return n == ssize_t(sizeof *frame) ? int(n) : -1;
}

int TpCanRecv(int fd, TpCanFrame *frame, int timeoutMs)
{
    struct pollfd p {fd, POLLIN, 0};
    int r = poll(&p, 1, timeoutMs);
    if (r == 0 || (r < 0 && errno == EINTR))
        return 0; // a timer signal cut the wait short: same as a quiet bus
    if (r < 0)
        return -1;
    // Read one datagram whole: a frame of the wrong size is consumed and
    // reported, never taken for a frame.
    unsigned char buf[64];
    ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    if (n != ssize_t(sizeof *frame)) {
        errno = EMSGSIZE;
        return -1;
    }
    std::memcpy(frame, buf, sizeof *frame);
    return int(n);
}

int TpCanClose(int fd) { return fd >= 0 ? close(fd) : -1; }

int TpLedOpen()
{
    if (g_sim)
        return sim::LedOpen();
    return open("/dev/at91_led", O_RDWR);
}

int TpLedIoctl(int fd, unsigned int request, unsigned long arg)
{
    if (g_sim)
        return sim::LedIoctl(fd, request, arg);
    return ioctl(fd, request, arg);
}

int TpLedClose(int fd) { return fd >= 0 ? close(fd) : -1; }

int TpCfCardPresent(int hardwareCheck) { return TpNodePresent(hardwareCheck ? "/dev/sdd1" : "/dev/hda1"); }

int TpUsbDiskPresent() { return TpNodePresent("/dev/sda1"); }

int TpNodePresent(const char *boardDev)
{
    struct stat st;
    return TpStat(boardDev, &st) == 0 ? 1 : 0;
}

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
