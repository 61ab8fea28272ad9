// A fixed number of runs of one hot path, for instruction counts under
// callgrind (scripts/callgrind-counts.sh): the script runs each case with n
// and 2n repetitions and takes the difference, so set-up drops out.
//   komain_counts frame NODE PDO N   N CAN frames of a node's packet type
//   komain_counts minute N           N minute cycles, files existing
//   komain_counts newday N           N minute cycles creating the day files
//   komain_counts hour N             N minute cycles at minute 0 (hourly records)
//   komain_counts recv N             N frames of the bench mix through process A's
//                                    whole receive step on the simulated socket
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "BenchFixture.h"
#include "canbus/CanReceive.h"
#include "canbus/CanSend.h"
#include "core/CanRing.h"
#include "sampling/CanSample2Value.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: komain_counts frame NODE PDO N | minute N | newday N | hour N | recv N\n");
        return 2;
    }
    const char *what = argv[1];
    if (std::strcmp(what, "frame") == 0 && argc == 5) {
        bench::AttachStation();
        int node = std::atoi(argv[2]), pdo = std::atoi(argv[3]);
        long n = std::atol(argv[4]);
        for (long i = 0; i < n; ++i) {
            canframeRev.can_id = uint32_t(0x080 + 0x100 * pdo + node);
            canframeRev.can_dlc = 8;
            uint16_t word = uint16_t(i);
            for (int k = 0; k < 8; k += 2)
                std::memcpy(canframeRev.data + k, &word, sizeof word);
            ProcessCanPkg();
            CanSample2Value();
        }
        return 0;
    }
    if (std::strcmp(what, "recv") == 0) {
        long n = std::atol(argv[2]);
        bench::Sandbox sb("2026-03-10 12:00:00");
        bench::AttachStation();
        bench::QuietConsole quiet;
        fd_socket_can = TpCanOpen("can0");
        const bench::BusSender bus(sb.Root().c_str());
        if (fd_socket_can < 0 || !bus.Ok())
            return 1;
        // In batches that fit the socket's queue (the sends count too, a
        // few dozen instructions each).
        for (long i = 0; i < n; i += 8) {
            for (long k = i; k < i + 8; ++k)
                bus.Send(bench::MixFrame(unsigned(k)));
            for (long k = i; k < i + 8; ++k)
                RcvCanPacket();
        }
        TpCanClose(fd_socket_can);
        return 0;
    }
    bool newDay = std::strcmp(what, "newday") == 0;
    bool hour = std::strcmp(what, "hour") == 0;
    if (!newDay && !hour && std::strcmp(what, "minute") != 0)
        return 2;
    long n = std::atol(argv[2]);
    bench::Sandbox sb("2026-03-10 20:00:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    bench::MinuteCycle();
    for (long i = 0; i < n; ++i) {
        // Minutes 1-58 of the hour; a new day each time for newday; the
        // next hours' minute 0 for hour.
        if (hour)
            sb.At(3600L * (i % 3 + 1));
        else
            sb.At(60L * (i % 58 + 1) + (newDay ? 86400L * (i + 1) : 0));
        bench::MinuteCycle();
    }
    return 0;
}
