// Building the minute's texts: the DMGD record (computed from the minute's
// samples and formatted) and its GG daily-file line.
#include <benchmark/benchmark.h>

#include "BenchFixture.h"
#include "dailyfiles/DailyFiles.h"
#include "processing/Dmgd.h"

static void BM_DmgdText(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 20:01:30");
    bench::AttachStation();
    bench::QuietConsole quiet;
    for (auto _ : state)
        benchmark::DoNotOptimize(DmgdMinuteTexts());
}
BENCHMARK(BM_DmgdText);

static void BM_DmgdFormat(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 20:01:30");
    bench::AttachStation();
    {
        bench::QuietConsole quiet;
        DmgdMinuteTexts();
    }
    char text[RECORD_TEXT_LEN];
    for (auto _ : state)
        benchmark::DoNotOptimize(DmgdStruct2Ascii(&FileSave->Dmgd, text));
}
BENCHMARK(BM_DmgdFormat);

static void BM_GgLine(benchmark::State &state)
{
    bench::Sandbox sb("2026-03-10 20:01:30");
    bench::AttachStation();
    {
        bench::QuietConsole quiet;
        DmgdMinuteTexts();
    }
    char line[GG_LINE + 8];
    for (auto _ : state) {
        GGFileCalculate(FileSave->DmgdText, FileSave->DmcdText, line);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_GgLine);
