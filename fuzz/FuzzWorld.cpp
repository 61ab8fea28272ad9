#include "FuzzWorld.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "core/Main.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "processing/LastMinData.h"
#include "processing/Statistic.h"
#include "processing/Records.h"
#include "station/Station.h"
#include "terminal/ListenToPc.h"

namespace fs = std::filesystem;

// The link replaces these platform calls (see CMakeLists.txt). A reboot
// unwinds to the target: the station would end here, the fuzzer goes on
// with its next input. The operator's free-form shell command is refused:
// random text must never reach /bin/sh, sandbox or not.
extern "C" {
[[noreturn]] void __wrap__Z8TpRebootv() { throw fuzz::Rebooted{}; }
int __wrap__Z7TpShellPKc(const char *) { return 1 << 8; }
int __wrap__Z13TpShellOutputPKciPcm(const char *, int, char *, std::size_t) { return -1; }
}

namespace fuzz {
namespace {

std::string g_root;

void RemoveRoot()
{
    std::error_code ec;
    fs::remove_all(g_root, ec);
}

void Setup()
{
    char tmpl[] = "/tmp/komain-fuzz.XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        std::abort();
    g_root = tmpl;
    std::atexit(RemoveRoot);
    setenv("KOMAIN_ROOT", g_root.c_str(), 1);
    setenv("KOMAIN_CLOCK", "2024-03-10 10:00:00", 1);
    setenv("TZ", "UTC0", 1);
    tzset();
    if (TransplantInit() != 0 || ShareMemory() != 0)
        std::abort();
    static unsigned char qc[ELEMENT_COUNT * 4], lan[64], cpy[64], dog[8], lastMin[LASTMIN_BYTES];
    static SampleDataRec copy;
    g_ucpSampleDataQc = qc;
    g_ucpLan = lan;
    g_pCpyCfDataFlag = cpy;
    g_pSoftDog = dog;
    LastMinData = lastMin;
    SampleDataCopy = &copy;
    for (auto &p : UartDev->Port)
        p.fd = -1;
    CheckParaExFile();
    CheckParamFile();
    CheckmodiParamFile();
    std::memset(TemproraryData->DebugFlag, '0', sizeof TemproraryData->DebugFlag);
    // The housekeeping tick's part: the replies drain (to no port) as they
    // come, so that a long answer never waits for room in the ring. LAN
    // replies are this process's to drop.
    SetLanOwner();
    std::thread([] {
        for (;;) {
            if (Send2PcPending() > 0)
                Send2Pc();
            else
                usleep(200);
        }
    }).detach();
}

} // namespace

void World()
{
    static bool ready = false;
    if (!ready) {
        Setup();
        ready = true;
    }
}

void WriteBoardFile(const char *boardPath, const uint8_t *data, std::size_t size)
{
    fs::path p = g_root + boardPath;
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char *>(data),
                                                                std::streamsize(size));
}

std::string Line(const uint8_t *data, std::size_t size, std::size_t max)
{
    std::string s(reinterpret_cast<const char *>(data), size < max ? size : max);
    return s.c_str();   // stops at an embedded NUL, as a C string would
}

} // namespace fuzz
