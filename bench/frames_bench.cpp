// Process A's per-frame path: one received CAN frame into the ring and
// converted, for every board node and transmit packet type. A saturated
// 125 kbit/s bus carries about 1,100 frames a second; the conversion should
// take well under a thousandth of that frame time on the host.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

#include "BenchFixture.h"
#include "canbus/CanReceive.h"
#include "canbus/CanSend.h"
#include "core/CanRing.h"
#include "sampling/CanSample2Value.h"

static void BM_CanFrame(benchmark::State &state)
{
    bench::AttachStation();
    bench::QuietConsole quiet;   // the rain frames trace their counts
    int node = int(state.range(0));
    int pdo = int(state.range(1));
    uint16_t word = 0;
    for (auto _ : state) {
        canframeRev.can_id = uint32_t(0x080 + 0x100 * pdo + node);
        canframeRev.can_dlc = 8;
        ++word;
        for (int i = 0; i < 8; i += 2)
            std::memcpy(canframeRev.data + i, &word, sizeof word);
        ProcessCanPkg();
        CanSample2Value();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CanFrame)->ArgsProduct({{NODE_CLIM, NODE_RADI, NODE_EATH, NODE_SOIL, NODE_SEAA,
                                      NODE_TERH, NODE_TAIR, NODE_RAIN, NODE_MAIN},
                                     {1, 2, 3, 4}});

// The whole receive step of process A (RcvCanPacket) on the simulated bus
// socket: the boards' silence checks, poll and recv of one datagram, the
// ring and the conversion, for bench::MixFrame's mix of every board's
// packets. The frames are sent in batches that fit the socket's queue; only
// the receiving is timed.
static void BM_CanReceive(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 12:00:00");
    bench::AttachStation();
    bench::QuietConsole quiet;
    fd_socket_can = TpCanOpen("can0");
    const bench::BusSender bus(sb.Root().c_str());
    if (fd_socket_can < 0 || !bus.Ok()) {
        state.SkipWithError("no simulated CAN socket");
        return;
    }
    constexpr int kBatch = 8;
    unsigned n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            bus.Send(bench::MixFrame(n++));
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kBatch; ++i)
            RcvCanPacket();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    TpCanClose(fd_socket_can);
    fd_socket_can = -1;
    state.SetItemsProcessed(int64_t(state.iterations()) * kBatch);
}
BENCHMARK(BM_CanReceive)->UseManualTime();
