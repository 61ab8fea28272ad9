// Process A's per-frame path: one received CAN frame into the ring and
// converted, for every board node and transmit packet type. A saturated
// 125 kbit/s bus carries about 1,100 frames a second; the conversion should
// take well under a thousandth of that frame time on the host.
#include <benchmark/benchmark.h>

#include <cstring>

#include "BenchFixture.h"
#include "canbus/CanReceive.h"
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
