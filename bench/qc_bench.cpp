// The sample and minute quality checks, over every element index with the
// factory limits: each sample runs the first, each minute value the second.
#include <benchmark/benchmark.h>

#include "BenchFixture.h"
#include "sampling/SampleQc.h"

template <char (*Check)(int, float)>
static void BM_Qc(benchmark::State &state)
{
    bench::AttachStation();
    int i = 1;
    float v = 12.5f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Check(i, v));
        i = i % (ELEMENT_COUNT - 1) + 1;
        v += 0.1f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_TEMPLATE(BM_Qc, iQCPS_Code)->Name("BM_SampleQc");
BENCHMARK_TEMPLATE(BM_Qc, iQCPM_Code)->Name("BM_MinuteQc");
