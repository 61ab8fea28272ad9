// Floods the CAN socket of a running simulated station (DIR/run/can0) with
// sampling-board frames as fast as komain takes them, and prints how many
// frames a second it took.
//
//   komain_canflood DIR SECONDS
//
// The sends block: a datagram socket's queue holds only a few frames, so
// once it is full every frame sent is one komain's CAN process has read and
// converted (it reads one frame, converts it, then reads the next). The
// frames are bench::MixFrame's: the four transmit packets of the main board
// and of every extension board, so boards that are switched off (dropped at
// once) are in the mix as they would be on a shared bus. A saturated
// 125 kbit/s bus carries about 1,100 frames a second.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "BenchFixture.h"

namespace {

constexpr double kSaturatedBus = 1100.0;

double Now()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || std::atoi(argv[2]) < 2) {
        std::fprintf(stderr, "usage: komain_canflood DIR SECONDS (at least 2)\n");
        return 2;
    }
    const int seconds = std::atoi(argv[2]);
    const bench::BusSender bus(argv[1]);
    if (!bus.Ok()) {
        std::fprintf(stderr, "komain_canflood: no socket for %s/run/can0\n", argv[1]);
        return 2;
    }
    const double start = Now();
    double mark = start, firstMark = start;
    long total = 0, inSecond = 0, afterFirst = 0;
    for (unsigned n = 0;; ++n) {
        if (!bus.Send(bench::MixFrame(n))) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "komain_canflood: %s/run/can0: %s (is the station running?)\n", argv[1],
                         std::strerror(errno));
            return 1;
        }
        ++total;
        ++inSecond;
        const double now = Now();
        if (now - mark < 1.0)
            continue;
        std::printf("second %2d: %8.0f frames/s\n", int(now - start + 0.5), double(inSecond) / (now - mark));
        std::fflush(stdout);
        if (mark == start) {
            // The first second fills the queue: the rate is taken from there on.
            afterFirst = total;
            firstMark = now;
        }
        mark = now;
        inSecond = 0;
        if (now - start >= seconds)
            break;
    }
    const double rate = double(total - afterFirst) / (mark - firstMark);
    std::printf("komain took %.0f frames/s (%ld frames in %.0f s) = %.0fx a saturated bus (%.0f frames/s)\n", rate,
                total, mark - start, rate / kSaturatedBus, kSaturatedBus);
    return 0;
}
