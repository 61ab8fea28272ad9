#include "BenchFixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <unistd.h>

#include "core/CanRing.h"
#include "core/MyTime.h"
#include "core/Param.h"
#include "processing/Dmgd.h"
#include "processing/LastMinData.h"
#include "processing/Records.h"
#include "processing/Statistic.h"
#include "processing/Wind.h"
#include "platform/Transplant.h"
#include "sampling/SampleQc.h"
#include "station/DataProcess.h"
#include "terminal/ListenToPc.h"

namespace bench {

namespace {

DefDataRec g_def;
DefDataExRec g_ex;
ModiPamRec g_modi;
TemproraryDataRec g_live;
SampleDataRec g_store, g_copy;
FileSaveRec g_fs;
CanSendRcvRec g_can;
UartDevRec g_uart;
Send2PcRec g_send;
unsigned char g_qc[ELEMENT_COUNT];
unsigned char g_lastMin[LASTMIN_BYTES];

template <typename T>
T *Cleared(T &t)
{
    std::memset(static_cast<void *>(&t), 0, sizeof t);
    return &t;
}

template <int N>
void Ring(SampleRing<N> &r)
{
    for (int i = 0; i < N; ++i) {
        r.Value[i] = 1200 + i % 50;
        r.Qc[i] = '0';
    }
}

} // namespace

void FillSamples(SampleDataRec &s)
{
    Ring(s.T0), Ring(s.U), Ring(s.P), Ring(s.LE), Ring(s.WS), Ring(s.WS_3);
    Ring(s.WD), Ring(s.UWS), Ring(s.UWS_3), Ring(s.UWD), Ring(s.T1), Ring(s.T2);
    Ring(s.T3), Ring(s.WS1), Ring(s.IR);
    for (auto &r : s.Radi)
        Ring(r);
    for (auto &r : s.Earth)
        Ring(r);
    for (auto &r : s.T0x)
        Ring(r);
}

void AttachStation(bool factoryArchives)
{
    defdata = Cleared(g_def);
    defdataEx = Cleared(g_ex);
    modipam = Cleared(g_modi);
    TemproraryData = Cleared(g_live);
    sampledata = Cleared(g_store);
    SampleDataCopy = Cleared(g_copy);
    FileSave = Cleared(g_fs);
    cansendrcvarray = Cleared(g_can);
    UartDev = Cleared(g_uart);
    send2PCarray = Cleared(g_send);
    std::memset(g_qc, 0, sizeof g_qc);
    g_ucpSampleDataQc = g_qc;
    std::memset(g_lastMin, 0, sizeof g_lastMin);
    LastMinData = g_lastMin;
    for (auto &p : g_uart.Port)
        p.fd = -1;
    g_ex.Generation = 1;
    FillDefaultParam(g_def, 1);
    std::memcpy(g_def.StationId, "10101", 5);
    std::memset(g_def.ElementEnable, '1', sizeof g_def.ElementEnable);
    std::memset(g_def.ObValid, '1', sizeof g_def.ObValid);
    if (!factoryArchives)
        std::memset(g_def.SampleArchive, '1', sizeof g_def.SampleArchive);
    g_def.QcCtrl = 1;
    FillSamples(g_store);
    FillSamples(g_copy);
    SampleQcReset();
    WindReset();
    DmgdReset();
    StatisticValueSet();
}

Sandbox::Sandbox(const char *clock)
{
    char root[] = "/tmp/komain-bench.XXXXXX";
    if (mkdtemp(root) == nullptr)
        return;
    root_ = root;
    setenv("KOMAIN_ROOT", root, 1);
    setenv("KOMAIN_CLOCK", clock, 1);
    setenv("TZ", "UTC0", 1);
    ok_ = TransplantInit() == 0;
    start_ = TpTime();
}

Sandbox::~Sandbox()
{
    if (root_.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

void Sandbox::At(long seconds) const { TpSetTime(start_ + seconds); }

QuietConsole::QuietConsole()
{
    std::fflush(stdout);
    int nul = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nul < 0)
        return;
    saved_ = dup(STDOUT_FILENO);
    dup2(nul, STDOUT_FILENO);
    close(nul);
}

QuietConsole::~QuietConsole()
{
    if (saved_ < 0)
        return;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
}

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

namespace {
constexpr int kMixNodes[] = {NODE_MAIN, NODE_CLIM, NODE_RADI, NODE_EATH, NODE_SOIL,
                             NODE_SEAA, NODE_TERH, NODE_TAIR, NODE_RAIN};
constexpr unsigned kMixNodeCount = sizeof kMixNodes / sizeof kMixNodes[0];
} // namespace

TpCanFrame MixFrame(unsigned n)
{
    TpCanFrame f {};
    const int node = kMixNodes[n % kMixNodeCount];
    const int pdo = int(n / kMixNodeCount % 4) + 1;
    f.can_id = uint32_t(0x080 + 0x100 * pdo + node);
    f.can_dlc = 8;
    const uint16_t word = uint16_t(1000 + n % 3000);
    for (int i = 0; i < 8; i += 2)
        std::memcpy(f.data + i, &word, sizeof word);
    return f;
}

BusSender::BusSender(const char *root)
{
    to_.sun_family = AF_UNIX;
    if (std::snprintf(to_.sun_path, sizeof to_.sun_path, "%s/run/can0", root) >= int(sizeof to_.sun_path))
        return;
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

BusSender::~BusSender()
{
    if (fd_ >= 0)
        close(fd_);
}

bool BusSender::Send(const TpCanFrame &f) const
{
    return sendto(fd_, &f, sizeof f, MSG_NOSIGNAL, reinterpret_cast<const struct sockaddr *>(&to_), sizeof to_) ==
           ssize_t(sizeof f);
}

} // namespace bench

namespace bench {

void MinuteCycle()
{
    // The shared clock agrees with the system clock, as process B keeps it.
    const struct tm *t = GetTime(0);
    TemproraryData->ShareClock.Min = t->tm_min;
    TemproraryData->ShareClock.Sec = t->tm_sec;
    DataProcessState st;
    st.p_min = -1;
    DataProcessPass(st);
}

} // namespace bench
