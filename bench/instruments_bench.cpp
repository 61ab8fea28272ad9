// One line of each serial instrument through its reader, the lines made by
// the station simulator's own builders so they are what the instruments
// send. The per-line path must neither allocate nor block: a line arrives
// at most every second at 9,600 baud.
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

#include "BenchFixture.h"
#include "serial/Instruments.h"
#include "stationsim/Instruments.h"

namespace {

stationsim::BoardReadings Readings()
{
    stationsim::BoardReadings r;
    r.tempC = 12.5;
    r.humidityTenths = 653;
    r.grOutput = 1.25;
    r.leCurrentMa = 12;
    r.windCount = 40;
    r.windDir = 180;
    r.supplyMv = 13200;
    r.mact = 1;
    return r;
}

const time_t kNoon = 1773144000;   // 2026-03-10 12:00:00 UTC

// The listener hands a reader the line up to and including its CR.
template <typename Reader>
void Run(benchmark::State &state, const std::string &sent, Reader read)
{
    bench::Sandbox sb("2026-03-10 12:00:00");
    bench::AttachStation();
    bench::QuietConsole quiet;
    const std::string line = sent.substr(0, sent.find('\r') + 1);
    const int first = read(line.c_str(), int(line.size()));
    state.counters["result"] = first;
    for (auto _ : state)
        benchmark::DoNotOptimize(read(line.c_str(), int(line.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

} // namespace

#define KOMAIN_LINE_BENCH(name, line, call)                                   \
    static void name(benchmark::State &state)                                 \
    {                                                                         \
        Run(state, line, [](const char *l, int n) { (void)n; return call; }); \
    }                                                                         \
    BENCHMARK(name)

KOMAIN_LINE_BENCH(BM_LineSamplingBoard, stationsim::SerialBoardIntFrame(Readings()), ProcessSampboard(l));
KOMAIN_LINE_BENCH(BM_LineSamplingBoardFloat, stationsim::SerialBoardFloatFrame(Readings()),
                  ProcessSampboardFloat(l));
KOMAIN_LINE_BENCH(BM_LineGpsZda, stationsim::GpsZda(kNoon), ReadGps(l));
KOMAIN_LINE_BENCH(BM_LineGpsRmc, stationsim::GpsRmc(kNoon, 39.9, 116.4), ReadGps(l));
KOMAIN_LINE_BENCH(BM_LinePressure, stationsim::PressureReply(1013.2), ReadAirpress(l));
KOMAIN_LINE_BENCH(BM_LineVisibility, stationsim::VisibilityMessage(0, 12000, 11500), ReadVisibility(l));
KOMAIN_LINE_BENCH(BM_LineSnowDepth, stationsim::SnowDepthReply(235.0), ReadSnowDepth(l));
KOMAIN_LINE_BENCH(BM_LineRainGauge, stationsim::RainGaugeReply(*gmtime(&kNoon), 12, 12), ReadRainWeight(l));
KOMAIN_LINE_BENCH(BM_LineUltrasonicWind, stationsim::UltrasonicWind(9, 3.4, 182), ProcessUltData(9, l, n));
KOMAIN_LINE_BENCH(BM_LineUltrasonicWind10, stationsim::UltrasonicWind(10, 3.4, 182), ProcessUltData(10, l, n));
KOMAIN_LINE_BENCH(BM_LineUltrasonicWind11, stationsim::UltrasonicWind(11, 3.4, 182), ProcessUltData(11, l, n));
