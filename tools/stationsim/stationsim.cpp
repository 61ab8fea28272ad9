// stationsim: the world outside a simulated logger, as one program.
//
//   stationsim [--root DIR] [--ports older|newer|none] [--iface canN] [--clock "YYYY-MM-DD HH:MM:SS"]
//              [--seed N] [--steady] [--lan-port N|off] [--record FILE] [--replay FILE]
//              [--instrument visibility|raingauge|snow|wind|wind@com2]... [--fault "SWITCH"]...
//              [--console] [--no-watch] [--minutes N] [--point-lan] [--komain-out FILE]
//              [--seconds N] [--cpu]
//
// It plays every CAN board the station's parameters enable, the serial
// sampling board, GPS and pressure sensor (and the other instruments on
// request) from a weather model, and the central computer on a loopback
// TCP port (written to DIR/sim/central.port). --console opens the
// operator's console; --minutes N runs without interaction until N minutes
// were saved and read back, printing them as watch rows, and exits 0 only
// when all were. DIR defaults to $KOMAIN_ROOT, the clock to $KOMAIN_CLOCK.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/time.h>

#include "Console.h"
#include "World.h"

namespace {

volatile int g_stop = 0;
void OnStop(int) { g_stop = 1; }

void Usage()
{
    std::fprintf(stderr,
                 "usage: stationsim [--root DIR] [--ports older|newer|none] [--iface canN] [--clock \"YYYY-MM-DD HH:MM:SS\"]\n"
                 "                  [--seed N] [--steady] [--lan-port N|off] [--record FILE] [--replay FILE]\n"
                 "                  [--instrument visibility|raingauge|snow|wind|wind@com2]... [--fault SWITCH]...\n"
                 "                  [--console] [--no-watch] [--minutes N] [--point-lan] [--komain-out FILE]\n"
                 "                  [--seconds N] [--cpu]\n");
}

bool Number(const char *text, long lo, long hi, long *out)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

double Seconds(const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

} // namespace

int main(int argc, char **argv)
{
    stationsim::WorldOptions w;
    stationsim::ConsoleOptions c;
    c.interactive = false;
    bool console = false, cpu = false;
    long seconds = 0;
    if (const char *r = std::getenv("KOMAIN_ROOT"))
        w.root = r;
    if (const char *k = std::getenv("KOMAIN_CLOCK"))
        w.clock = k;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        auto bad = [&](const char *why) {
            std::fprintf(stderr, "stationsim: %s %s: %s\n", a.c_str(), v != nullptr ? v : "", why);
            return 2;
        };
        long n = 0;
        const bool takes = a == "--root" || a == "--ports" || a == "--iface" || a == "--clock" || a == "--seed" ||
                           a == "--lan-port" || a == "--record" || a == "--log" || a == "--replay" ||
                           a == "--instrument" || a == "--fault" || a == "--minutes" || a == "--komain-out" ||
                           a == "--seconds";
        if (takes && v == nullptr)
            return bad("needs a value");
        if (a == "--root") {
            w.root = v;
        } else if (a == "--ports") {
            if (std::strcmp(v, "older") != 0 && std::strcmp(v, "newer") != 0 && std::strcmp(v, "none") != 0)
                return bad("takes older, newer or none");
            w.ports = std::strcmp(v, "none") == 0 ? "" : v;
        } else if (a == "--iface") {
            w.iface = v;
        } else if (a == "--clock") {
            struct tm t {};
            const char *end = strptime(v, "%Y-%m-%d %H:%M:%S", &t);
            if (end == nullptr || *end != '\0')
                return bad("is not \"YYYY-MM-DD HH:MM:SS\"");
            w.clock = v;
        } else if (a == "--seed") {
            if (!Number(v, 0, 0xFFFFFFFFL, &n))
                return bad("is not a number from 0 to 4294967295");
            w.seed = uint32_t(n);
        } else if (a == "--steady") {
            w.steady = true;
        } else if (a == "--lan-port") {
            if (std::strcmp(v, "off") == 0)
                w.lanPort = -1;
            else if (Number(v, 0, 65535, &n))
                w.lanPort = int(n);
            else
                return bad("is not a port number or off");
        } else if (a == "--record" || a == "--log") {
            w.record = v;
        } else if (a == "--replay") {
            w.replay = v;
        } else if (a == "--instrument") {
            w.instruments.push_back(v);
        } else if (a == "--fault") {
            w.faults.push_back(v);
        } else if (a == "--console") {
            console = true;
            c.interactive = true;
        } else if (a == "--no-watch") {
            c.watch = false;
        } else if (a == "--minutes") {
            if (!Number(v, 1, 100000, &n))
                return bad("is not a number of minutes");
            c.minutes = int(n);
            console = true;
        } else if (a == "--point-lan") {
            c.pointLan = true;
        } else if (a == "--komain-out") {
            c.komainOut = v;
        } else if (a == "--seconds") {
            if (!Number(v, 1, 100000000, &n))
                return bad("is not a number of seconds");
            seconds = n;
        } else if (a == "--cpu") {
            cpu = true;
        } else if (a == "--quiet") {
            // Kept for old scripts: the program prints nothing by default.
        } else {
            std::fprintf(stderr, "stationsim: unknown option %s\n", a.c_str());
            Usage();
            return 2;
        }
        if (takes)
            ++i;
    }
    if (c.minutes > 0)
        c.interactive = false;
    if (c.komainOut.empty() && !w.root.empty())
        c.komainOut = w.root + "/sim/komain.out";
    if (!w.root.empty())
        c.history = w.root + "/sim/console.history";

    stationsim::World world(w);
    std::string error;
    if (!world.Open(&error)) {
        std::fprintf(stderr, "stationsim: %s\n", error.c_str());
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    struct timeval t0;
    gettimeofday(&t0, nullptr);
    int status = 0;
    if (console) {
        stationsim::Console con(world, c);
        status = con.Run(&g_stop);
    } else {
        while (!g_stop) {
            world.Step(500);
            struct timeval t;
            gettimeofday(&t, nullptr);
            if (seconds > 0 && Seconds(t) - Seconds(t0) >= double(seconds))
                break;
        }
    }
    if (cpu || c.minutes > 0) {
        struct timeval t1;
        gettimeofday(&t1, nullptr);
        struct rusage ru {};
        getrusage(RUSAGE_SELF, &ru);
        const double used = Seconds(ru.ru_utime) + Seconds(ru.ru_stime);
        const double wall = Seconds(t1) - Seconds(t0);
        std::fprintf(stderr, "stationsim: %.2f s of CPU in %.0f s (%.2f %% of one core); %llu frames in, %llu out\n",
                     used, wall, wall > 0 ? 100.0 * used / wall : 0.0, (unsigned long long)world.FramesIn(),
                     (unsigned long long)world.FramesOut());
    }
    return status;
}
