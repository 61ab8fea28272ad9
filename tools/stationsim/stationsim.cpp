// stationsim: the world outside a simulated logger. For now it plays the
// main sampling board on the simulated CAN bus of a sandbox: it binds
// DIR/run/canN.bus (the bus side of the interface), answers every SYNC with
// the board's frames sent to DIR/run/canN, and logs every frame it sees or
// sends in the candump text form.
//
//   stationsim [--root DIR] [--iface can0] [--log FILE] [--seconds N] [--quiet]
//              [--ports older|newer] [--console]
//
// --ports links the six serial device names of the board generation under
// DIR/dev to pseudo-terminals (what the instruments would be wired to);
// --console joins the main terminal port COM0 to this program's standard
// input and output, so a person can type commands to the logger.
//
// DIR defaults to $KOMAIN_ROOT. The simulator is the bus: start it before
// or after komain; frames sent while the other side is missing are lost,
// as on a real bus with a node switched off.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "CanFrames.h"
#include "MainBoard.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStop(int) { g_stop = 1; }

struct Options {
    std::string root;
    std::string iface = "can0";
    std::string log;
    int seconds = 0;   // 0 = until stopped
    bool quiet = false;
    std::string ports;  // "older", "newer" or empty: no serial ports
    bool console = false;
};

// Device names of the six serial port slots (GPS, serial board, COM1, COM0,
// visibility, pressure) per board generation.
constexpr const char *kOlderPorts[6] = {"ttym2", "ttym3", "ttyS3", "ttyS2", "ttym0", "ttym1"};
constexpr const char *kNewerPorts[6] = {"ttymxc3", "ttymxc6", "ttymxc5", "ttymxc4", "ttymxc1", "ttymxc2"};
constexpr int kCom0Slot = 3;

// Links every serial device of the generation to a new pseudo-terminal;
// returns the master sides (-1 where a link failed).
void LinkPorts(const Options &o, int masters[6])
{
    const char *const *names = o.ports == "older" ? kOlderPorts : kNewerPorts;
    for (int i = 0; i < 6; ++i) {
        masters[i] = -1;
        int m = -1, sl = -1;
        char name[128];
        if (openpty(&m, &sl, name, nullptr, nullptr) != 0)
            continue;
        // The slave stays open here, so the line never hangs up while
        // komain restarts.
        fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
        const std::string link = o.root + "/dev/" + names[i];
        unlink(link.c_str());
        if (symlink(name, link.c_str()) != 0) {
            close(m);
            close(sl);
            continue;
        }
        masters[i] = m;
    }
}

void Usage()
{
    std::fprintf(stderr, "usage: stationsim [--root DIR] [--iface canN] [--log FILE] [--seconds N] [--quiet]\n"
                         "                  [--ports older|newer] [--console]\n");
}

bool ParseArgs(int argc, char **argv, Options *o)
{
    if (const char *r = std::getenv("KOMAIN_ROOT"))
        o->root = r;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string *dst) {
            if (i + 1 >= argc)
                return false;
            *dst = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--root") {
            if (!value(&o->root))
                return false;
        } else if (a == "--iface") {
            if (!value(&o->iface))
                return false;
        } else if (a == "--log") {
            if (!value(&o->log))
                return false;
        } else if (a == "--seconds") {
            if (!value(&v))
                return false;
            o->seconds = std::atoi(v.c_str());
        } else if (a == "--quiet") {
            o->quiet = true;
        } else if (a == "--ports") {
            if (!value(&o->ports) || (o->ports != "older" && o->ports != "newer"))
                return false;
        } else if (a == "--console") {
            o->console = true;
        } else {
            return false;
        }
    }
    if (o->console && o->ports.empty())
        o->ports = "newer";
    return !o->root.empty() && o->iface.rfind("can", 0) == 0 && o->iface.size() < 8;
}

bool SockAddr(const std::string &path, sockaddr_un *a)
{
    std::memset(a, 0, sizeof *a);
    a->sun_family = AF_UNIX;
    if (path.size() >= sizeof a->sun_path)
        return false;
    std::memcpy(a->sun_path, path.c_str(), path.size() + 1);
    return true;
}

double Now(struct timeval *tv)
{
    gettimeofday(tv, nullptr);
    return double(tv->tv_sec) + double(tv->tv_usec) / 1e6;
}

void LogFrame(FILE *log, const Options &o, const TpCanFrame &f)
{
    if (log == nullptr)
        return;
    struct timeval tv;
    Now(&tv);
    char line[96];
    stationsim::FormatCandump(line, sizeof line, tv, o.iface.c_str(), f);
    std::fprintf(log, "%s\n", line);
    std::fflush(log);
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!ParseArgs(argc, argv, &o)) {
        Usage();
        return 2;
    }
    sockaddr_un bus, node;
    if (!SockAddr(o.root + "/run/" + o.iface + ".bus", &bus) || !SockAddr(o.root + "/run/" + o.iface, &node)) {
        std::fprintf(stderr, "stationsim: sandbox path too long\n");
        return 2;
    }
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::perror("stationsim: socket");
        return 1;
    }
    unlink(bus.sun_path);
    if (bind(fd, reinterpret_cast<sockaddr *>(&bus), sizeof bus) != 0) {
        std::perror("stationsim: bind");
        close(fd);
        return 1;
    }

    FILE *log = nullptr;
    if (!o.log.empty())
        log = std::fopen(o.log.c_str(), "a");
    else if (!o.quiet)
        log = stdout;

    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int masters[6] = {-1, -1, -1, -1, -1, -1};
    if (!o.ports.empty())
        LinkPorts(o, masters);

    stationsim::MainBoard board;
    struct timeval tv;
    const double end = o.seconds > 0 ? Now(&tv) + o.seconds : 0;
    while (!g_stop && (end == 0 || Now(&tv) < end)) {
        // The bus, the six serial lines and, with a console, the keyboard.
        pollfd p[8];
        int n_p = 0;
        p[n_p++] = {fd, POLLIN, 0};
        for (int m : masters)
            p[n_p++] = {m, POLLIN, 0};   // a negative descriptor is skipped
        p[n_p++] = {o.console ? 0 : -1, POLLIN, 0};
        if (poll(p, nfds_t(n_p), 200) <= 0)
            continue;
        for (int i = 0; i < 6; ++i) {
            if (masters[i] < 0 || !(p[1 + i].revents & POLLIN))
                continue;
            char text[512];
            ssize_t got = read(masters[i], text, sizeof text);
            // Only COM0 is shown; what komain sends the instruments goes
            // nowhere for now.
            if (got > 0 && o.console && i == kCom0Slot && write(1, text, size_t(got)) < 0)
                g_stop = 1;
        }
        if (o.console && (p[7].revents & (POLLIN | POLLHUP))) {
            char text[512];
            ssize_t got = read(0, text, sizeof text);
            if (got <= 0) {
                g_stop = 1;   // end of input ends the session
            } else if (masters[kCom0Slot] >= 0) {
                // A typed line ends in LF; the logger takes CR or LF.
                if (write(masters[kCom0Slot], text, size_t(got)) < 0)
                    g_stop = 1;
            }
        }
        if (!(p[0].revents & POLLIN))
            continue;
        unsigned char buf[64];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n != ssize_t(sizeof(TpCanFrame)))
            continue;   // not one frame: a real bus would not carry it either
        TpCanFrame f;
        std::memcpy(&f, buf, sizeof f);
        LogFrame(log, o, f);
        if ((f.can_id & 0x7FF) != stationsim::ID_SYNC)
            continue;
        TpCanFrame reply[stationsim::MainBoard::kMaxReply];
        const int count = board.OnSync(Now(&tv), reply);
        for (int i = 0; i < count; ++i) {
            if (sendto(fd, &reply[i], sizeof reply[i], MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&node), sizeof node) ==
                ssize_t(sizeof reply[i]))
                LogFrame(log, o, reply[i]);
        }
    }
    close(fd);
    unlink(bus.sun_path);
    for (int m : masters)
        if (m >= 0)
            close(m);
    if (log != nullptr && log != stdout)
        std::fclose(log);
    return 0;
}
