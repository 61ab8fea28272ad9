// The minute process's whole cycle in a sandbox: records, day files (GG, RR,
// ST), sample archives and, at minute 0, the hourly records. Its window is
// the 55 seconds of a minute; the aim on the host is under 5 ms of CPU for a
// minute whose files exist. The counter nand_bytes_per_day is what one
// simulated day of minutes, day-file creation included, hands to the file
// system (the board's NAND flash wears with it).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "BenchFixture.h"
#include "processing/HourRecords.h"

namespace {

constexpr long kDay = 86400;

// Removes the day's files so the next cycle creates them again.
void DropFiles(const bench::Sandbox &sb)
{
    std::error_code ec;
    std::filesystem::remove_all(sb.Root() + "/mnt/nand3/data", ec);
    std::filesystem::remove_all(sb.Root() + "/mnt/nand3/tempdata", ec);
}

} // namespace

// Minutes 1-58 of an hour whose files exist.
static void BM_MinuteCycle(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 20:00:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    bench::MinuteCycle();
    int m = 1;
    for (auto _ : state) {
        sb.At(60L * m);
        bench::MinuteCycle();
        m = m % 58 + 1;
    }
}
BENCHMARK(BM_MinuteCycle)->Unit(benchmark::kMicrosecond);

// The first minute of a day: every day file created anew.
static void BM_MinuteCycleNewDayFiles(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 20:01:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    for (auto _ : state) {
        state.PauseTiming();
        DropFiles(sb);
        state.ResumeTiming();
        bench::MinuteCycle();
    }
}
BENCHMARK(BM_MinuteCycleNewDayFiles)->Unit(benchmark::kMicrosecond)->Iterations(30);

// Minute 0 of hours 1-23, the hourly records included, files existing.
static void BM_MinuteCycleHourly(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 00:00:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    bench::MinuteCycle();
    int h = 1;
    for (auto _ : state) {
        sb.At(3600L * h);
        bench::MinuteCycle();
        h = h % 23 + 1;
    }
}
BENCHMARK(BM_MinuteCycleHourly)->Unit(benchmark::kMicrosecond);

// One simulated day of minutes, file creation included; reports the bytes
// written (wchar) per day and the CPU time of the day's cycles. Argument 1:
// every sample-archive flag on; 0: the factory flags (T01-T03 archived).
static void BM_MinuteCycleDay(benchmark::State &state)
{
    long long bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bench::Sandbox sb("2026-03-10 00:00:30");
        bench::AttachStation(state.range(0) == 0);
        bench::QuietConsole quiet;
        long long before = bench::BytesWritten();
        state.ResumeTiming();
        for (long m = 0; m < 1440; ++m) {
            sb.At(60 * m);
            bench::MinuteCycle();
        }
        state.PauseTiming();
        bytes = bench::BytesWritten() - before;
        state.ResumeTiming();
    }
    state.counters["nand_bytes_per_day"] = double(bytes);
}
BENCHMARK(BM_MinuteCycleDay)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// An hourly saver at minute 0: its record computed, converted and written
// into its slot of the month file, through the saver's own code. Argument
// 0 picks the saver; argument 1 is 1 when the month file is made anew each
// time (the first hour of a month), 0 when it exists. The difference of
// the two is the creation of a month file of 744 slots.
namespace {
struct HourSaver {
    int (*save)();
    const char *dir;
};
constexpr HourSaver kHourSavers[] = {
    {DhgdSave, "DHGD"}, {DhcdSave, "DHCD"}, {DhrdSave, "DHRD"}, {DhgdSave_Old, "DHGD"}, {DhgdnzSave, "DHGDNZ"},
};
} // namespace

static void BM_HourSave(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-01 00:00:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    bench::MinuteCycle();
    const HourSaver &s = kHourSavers[state.range(0)];
    const std::string dir = sb.Root() + "/mnt/nand3/tempdata/" + s.dir;
    s.save();
    int h = 1;
    for (auto _ : state) {
        if (state.range(1) != 0) {
            state.PauseTiming();
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
            state.ResumeTiming();
        }
        sb.At(3600L * h);
        benchmark::DoNotOptimize(s.save());
        h = h % 23 + 1;
    }
    state.SetLabel(s.dir);
}
BENCHMARK(BM_HourSave)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
