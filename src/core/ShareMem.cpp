#include "core/ShareMem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/CanRing.h"
#include "core/Main.h"
#include "core/MyTime.h"

TemproraryDataRec *TemproraryData = nullptr;
DefDataRec *defdata = nullptr;
DefDataExRec *defdataEx = nullptr;
ModiPamRec *modipam = nullptr;
UartDevRec *UartDev = nullptr;
CanSendRcvRec *cansendrcvarray = nullptr;
TpCanFrame canframeRev{};
volatile int g_ChkTmrTARH = 0;
volatile int g_ChkTmrEATH = 0;
volatile int g_ChkTmrRADI = 0;
volatile int g_ChkTmrTAIR = 0;
volatile int g_ChkTmrTRAIN = 0;

int shmid = -1;
int SamQcShmid = -1;
int LanShmid = -1;
volatile unsigned char *g_pCpyCfDataFlag = nullptr;
unsigned char *g_ucpSampleDataQc = nullptr;
unsigned char *g_ucpLan = nullptr;

namespace {

void InitTemproraryData()
{
    TemproraryDataRec &t = *TemproraryData;
    LoadShareClock(GetTime(0));
    t.MainBoardCommState = '9';
    t.VisDeviceQc = '2';
    std::snprintf(t.ComSetting, sizeof t.ComSetting, "%s", "9600 8 N 1");

    MainCollectorStat &m = t.MainStat;
    m.SupplyVoltage = 12.6f;
    m.PowerKind = '1';
    m.Mact = 22.7f;
    m.TerhState = '0';
    m.WindState = '0';
    m.GpsState = '2';
    m.CanExtState = '0';

    for (SubCollectorStat &s : t.SubStat) {
        s.State = '9';
        s.Reading1 = 9999.0f;
        s.State2 = '1';
        s.Reading2 = 9999.0f;
        s.Flag1 = '0';
        s.Flag2 = '0';
    }
    t.Terh = TerhStat{'9', 12, '0', 25, '0', '2'};
    t.TairStat = ExtBoardStat{'9', 9999.0f, '1', 9999.0f, '0', '0', 0, 0};
    t.RainStat = t.TairStat;
    t.Rain.Flag = 1;
    std::memset(t.SensorState, '0', 75);
}

} // namespace

int InitCpyCfDataFlagShareMem()
{
    int id = shmget(TpIpcKey(KEY_CPY_CF_FLAG), 1, IPC_CREAT | 0666);
    if (id < 0)
        std::perror("shmget");
    return id;
}

int InitShareMem(int key, int size, int flags)
{
    int id = shmget(TpIpcKey(key), size, flags);
    if (id < 0)
        std::perror("shmget");
    return id;
}

static void *Attach(int id)
{
    void *p = shmat(id, nullptr, 0);
    if (p == reinterpret_cast<void *>(-1)) {
        std::perror("shmat");
        _exit(1);
    }
    return p;
}

volatile unsigned char *GetCpyCfDataFlagShareMem(int id)
{
    return static_cast<volatile unsigned char *>(Attach(id));
}

unsigned char *GetShareMem(int id) { return static_cast<unsigned char *>(Attach(id)); }

int CreatePrivateSegments(const PrivateSegment *segments, int count)
{
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        const PrivateSegment &seg = segments[i];
        int id = shmget(IPC_PRIVATE, seg.size, IPC_CREAT | 0666);
        if (id < 0) {
            std::perror("shmget");
            ++failures;
            continue;
        }
        void *p = shmat(id, nullptr, 0);
        TpReleasePrivateSegment(id);
        if (p == reinterpret_cast<void *>(-1)) {
            std::perror("shmat");
            ++failures;
            continue;
        }
        std::memset(p, 0, seg.size);
        *seg.where = p;
    }
    if (TemproraryData != nullptr)
        InitTemproraryData();
    if (failures == 0) {
        std::printf("Share Memory OK!\r\n");
    } else {
        std::printf("share_memory,errortime:%d\n", failures);
        RunReboot();
    }
    return failures;
}
