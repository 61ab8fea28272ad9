// Cost of one received CAN frame in process A: into the ring and converted.
// The board has a 200 MHz-class processor and receives a few tens of frames
// a second per board; this measures the per-frame path on the host.
#include <benchmark/benchmark.h>

#include <cstring>

#include "canbus/CanReceive.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/CanSample2Value.h"
#include "sampling/SampleStore.h"

static void BM_MainBoardFrame(benchmark::State &state)
{
    static DefDataRec def{};
    static DefDataExRec ex{};
    static ModiPamRec modi{};
    static TemproraryDataRec live{};
    static SampleDataRec store{};
    static CanSendRcvRec can{};
    static unsigned char qc[ELEMENT_COUNT]{};
    defdata = &def;
    defdataEx = &ex;
    modipam = &modi;
    TemproraryData = &live;
    sampledata = &store;
    cansendrcvarray = &can;
    g_ucpSampleDataQc = qc;
    def.QcCtrl = 1;
    ex.Generation = 1;
    std::memset(def.ElementEnable, '1', sizeof def.ElementEnable);
    uint16_t word = 0;
    for (auto _ : state) {
        // Transmit PDO 1 of the main board: air temperature and humidity.
        canframeRev.can_id = 0x180 + 18;
        canframeRev.can_dlc = 8;
        ++word;
        std::memcpy(canframeRev.data, &word, sizeof word);
        ProcessCanPkg();
        CanSample2Value();
    }
}
BENCHMARK(BM_MainBoardFrame);
