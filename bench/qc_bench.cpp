// The sample and minute quality checks, over every element index with the
// factory limits: each sample runs the first, each minute value the second.
#include <benchmark/benchmark.h>

#include "BenchFixture.h"
#include "sampling/SampleQc.h"

static void BM_SampleQc(benchmark::State &state)
{
    bench::AttachStation();
    int i = 1;
    float v = 12.5f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(iQCPS_Code(i, v));
        i = i % (ELEMENT_COUNT - 1) + 1;
        v += 0.1f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SampleQc);

static void BM_MinuteQc(benchmark::State &state)
{
    bench::AttachStation();
    int i = 1;
    float v = 12.5f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(iQCPM_Code(i, v));
        i = i % (ELEMENT_COUNT - 1) + 1;
        v += 0.1f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MinuteQc);
