// A minute's daily-file lines (GG, RR, ST) and sample archives, as the
// minute process writes them, in a sandbox on the host. Reports the CPU
// time of a minute whose files already exist, and the bytes the saves hand
// to the file system over one simulated day, file creation included
// (counter nand_bytes_per_day; the board's NAND flash wears with them).
// Argument 0: the factory archive flags (only T01-T03 archived);
// 1: every archive flag on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/Param.h"
#include "core/ShareMem.h"
#include "dailyfiles/DailyFiles.h"
#include "platform/Transplant.h"
#include "processing/Dmgd.h"
#include "processing/Records.h"
#include "processing/SampleArchive.h"

namespace {

long long BytesWritten()
{
    FILE *f = std::fopen("/proc/self/io", "r");
    long long v = -1;
    char key[32];
    long long n;
    while (f != nullptr && std::fscanf(f, "%31[^:]: %lld\n", key, &n) == 2)
        if (std::strcmp(key, "wchar") == 0)
            v = n;
    if (f != nullptr)
        std::fclose(f);
    return v;
}

// Samples of four digits with a good QC, as a working station has them.
template <int N>
void Samples(SampleRing<N> &r)
{
    for (int i = 0; i < N; ++i) {
        r.Value[i] = 1200 + i % 50;
        r.Qc[i] = '0';
    }
}

void FillStore(SampleDataRec &s)
{
    Samples(s.T0), Samples(s.U), Samples(s.P), Samples(s.LE), Samples(s.WS), Samples(s.WS_3);
    Samples(s.WD), Samples(s.UWS), Samples(s.UWS_3), Samples(s.UWD), Samples(s.T1), Samples(s.T2);
    Samples(s.T3), Samples(s.WS1), Samples(s.IR);
    for (auto &r : s.Radi)
        Samples(r);
    for (auto &r : s.Earth)
        Samples(r);
    for (auto &r : s.T0x)
        Samples(r);
}

void Minute()
{
    RRFileSave(FileSave->DmrdText);
    GGFileSave(FileSave->DmgdText, FileSave->DmcdText);
    STFileSave();
    SampleSave();
}

} // namespace

static void BM_MinuteDailyFilesAndArchives(benchmark::State &state)
{
    char root[] = "/tmp/komain-bench.XXXXXX";
    if (mkdtemp(root) == nullptr)
        return;
    setenv("KOMAIN_ROOT", root, 1);
    setenv("KOMAIN_CLOCK", "2026-03-10 20:00:30", 1);
    setenv("TZ", "UTC0", 1);
    if (TransplantInit() != 0)
        return;
    static DefDataRec def{};
    static DefDataExRec ex{};
    static TemproraryDataRec live{};
    static SampleDataRec copy{};
    static FileSaveRec fs{};
    defdata = &def;
    defdataEx = &ex;
    TemproraryData = &live;
    SampleDataCopy = &copy;
    FileSave = &fs;
    ex.Generation = 1;
    FillStore(copy);
    std::memcpy(def.StationId, "10101", 5);
    std::memset(def.ElementEnable, '1', sizeof def.ElementEnable);
    std::memset(def.SampleArchive, state.range(0) != 0 ? '1' : '0', sizeof def.SampleArchive);
    std::snprintf(fs.DmgdText, sizeof fs.DmgdText, "%s",
                  "DMGD 10101 2026-03-10 20:00 111111111111111111111111111111111111111111111111111110000 "
                  "00000000000000000000000000000000000000000000000000000 123 35 180 40 200 123 5 12 0 0 0 0 "
                  "0 0 0 0 0 0 3 9 221 220 219 218 217 * 65 173 152 10132 -12 -11 -10 -9 -8 -7 -6 -5 -4 -3 "
                  "500 3 23456 99999 0 0 0 0 12 0 0 0 0\r\n");
    std::snprintf(fs.DmcdText, sizeof fs.DmcdText, "%s",
                  "DMCD 10101 2026-03-10 20:00 11111111111 00000000000 201 35 0 0 3 9 25 30 40 -123 99\r\n");
    std::snprintf(fs.DmrdText, sizeof fs.DmrdText, "%s",
                  "DMRD 10101 2026-03-10 20:00 11111111111100111111111111 000000000000000000000000 "
                  "345 123 -56 12 800 200 5 100 50 99 5 1 1 2 3 4 5 6 350 126 400 144 123 44\r\n");

    // One simulated day, file creation included.
    time_t start = TpTime();
    long long before = BytesWritten();
    for (int m = 0; m < 1440; ++m) {
        TpSetTime(start + 60 * m);
        Minute();
    }
    long long perDay = BytesWritten() - before;

    // Then the same day again: every file exists.
    int m = 0;
    for (auto _ : state) {
        TpSetTime(start + 60 * m);
        m = (m + 1) % 1440;
        Minute();
    }
    state.counters["nand_bytes_per_day"] = double(perDay);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}
BENCHMARK(BM_MinuteDailyFilesAndArchives)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
