// The command path: a line from the central computer parsed, admitted and
// dispatched, and a retrieval of 100 minute records from the day file the
// minute cycle wrote. Replies go into the reply ring; nothing drains it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "BenchFixture.h"
#include "terminal/ListenToPc.h"

static void BM_CommandDispatch(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 20:01:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    SetCurrentReplyPort(COM0);
    for (auto _ : state)
        ProcessRxData(COM0, "ID\r\n", ACCESS_FULL);
    SetCurrentReplyPort(PORT_NONE);
}
BENCHMARK(BM_CommandDispatch);

static void BM_DmgdRetrieval100(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 20:00:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    for (long m = 0; m < 100; ++m) {
        sb.At(60 * m);
        bench::MinuteCycle();
    }
    // The replies leave through COM0 to /dev/null, drained as process B
    // would, only faster, so the producer never waits for ring room.
    int nul = open("/dev/null", O_WRONLY | O_CLOEXEC);
    UartDev->Port[PortSlot(COM0)].fd = nul;
    std::atomic<bool> done{false};
    std::thread drain([&] {
        while (!done) {
            Send2Pc();
            usleep(100);
        }
    });
    SetCurrentReplyPort(COM0);
    for (auto _ : state)
        ProcessRxData(COM0, "DMGD 2026-03-10 20:00 100\r\n", ACCESS_FULL);
    SetCurrentReplyPort(PORT_NONE);
    done = true;
    drain.join();
    UartDev->Port[PortSlot(COM0)].fd = -1;
    close(nul);
}
BENCHMARK(BM_DmgdRetrieval100)->Unit(benchmark::kMicrosecond);
