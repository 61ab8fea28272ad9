// Start-up in its order, the split into the four processes and the body of
// each process, and process B's housekeeping loop.
#include "station/Station.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include "board/IoControl.h"
#include "canbus/CanReceive.h"
#include "core/CanRing.h"
#include "canbus/CanSend.h"
#include "core/Main.h"
#include "core/Mutex.h"
#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "processing/Dmgd.h"
#include "sampling/SampleStore.h"
#include "serial/Instruments.h"
#include "serial/UartSet.h"
#include "station/BoardDownload.h"
#include "station/DataProcess.h"
#include "station/Polling.h"
#include "storage/Storage.h"
#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"

// ---------------------------------------------------------------- segments

int ShareMemory()
{
    // The private segments in order of creation. A subsystem that owns a
    // segment adds its row here.
    const PrivateSegment segments[] = {
        {reinterpret_cast<void **>(&sampledata), sizeof(SampleDataRec)},
        {reinterpret_cast<void **>(&cansendrcvarray), sizeof(CanSendRcvRec)},
        {reinterpret_cast<void **>(&defdata), sizeof(DefDataRec)},
        {reinterpret_cast<void **>(&defdataEx), sizeof(DefDataExRec)},
        {reinterpret_cast<void **>(&modipam), sizeof(ModiPamRec)},
        {reinterpret_cast<void **>(&UartDev), sizeof(UartDevRec)},
        {reinterpret_cast<void **>(&TemproraryData), sizeof(TemproraryDataRec)},
        {reinterpret_cast<void **>(&send2PCarray), sizeof(Send2PcRec)},
        {reinterpret_cast<void **>(&FileSave), sizeof(FileSaveRec)},
    };
    return CreatePrivateSegments(segments, int(sizeof segments / sizeof segments[0]));
}

// ---------------------------------------------------------------- start-up

int Change2WorkSpace()
{
    TpChdir("/mnt/nand3");
    std::printf("Storge:/mnt/nand3/!\r\n");
    TpSystem("mkdir /mnt/cf/tempdata");
    TpSystem("mkdir /mnt/cf/tempdata/log");
    TpSystem("mkdir /mnt/nand3/data");
    TpSystem("mkdir /mnt/nand3/tempdata");
    return 0;
}

int CheckUpgrade()
{
    TpSystem("rm /mnt/ko_aws -fr");
    return 0;
}

int RecordBootTime()
{
    TpSystem("mkdir -p /mnt/cf/tempdata");
    struct tm *t = GetTime(0);
    FILE *fp = TpFopen("/mnt/cf/tempdata/RebootRec.TXT", "a+");
    if (fp == nullptr)
        return -1;
    std::fprintf(fp, "%04d-%02d-%02d %02d:%02d:%02d\r\n", t->tm_year, t->tm_mon, t->tm_mday, t->tm_hour,
                 t->tm_min, t->tm_sec);
    std::fclose(fp);
    return 0;
}

int SystemIpSet()
{
    char ip[sizeof defdata->Ip + 1] = {};
    char gw[sizeof defdata->Gw + 1] = {};
    std::memcpy(ip, defdata->Ip, sizeof defdata->Ip);
    std::memcpy(gw, defdata->Gw, sizeof defdata->Gw);
    char cmd[96];
    std::snprintf(cmd, sizeof cmd, "ifconfig %s %s up", g_HardwareCheck == 0 ? "eth0" : "eth1", ip);
    TpSystem(cmd);
    std::printf("%s\n", cmd);
    std::snprintf(cmd, sizeof cmd, "route add default gw %s", gw);
    TpSystem(cmd);
    std::printf("%s\n", cmd);
    return 0;
}

int SystemInit()
{
    sleep(1);
    std::printf("*************COMPILE TIME:%s %s************\n", __DATE__, __TIME__);
    Change2WorkSpace();
    CheckUpgrade();
    ShareMemory();
    CheckKernelVerLoadDevName(g_cDevName);
    MutexInit();
    std::printf("----------------------------\n");
    CanSocketInit();
    CheckParaExFile();
    CheckParamFile();
    SlaveColletorParaInit();
    UartInit();
    // The instruments may switch their own ports and the serial sampling
    // board asks for its configuration: routines of the layers above them.
    SerialInstallUpcalls(SerialUpcalls{SetConfigType, SetVisiType, SetAirpType, SetRawMode, SampBoardInit});
    CheckmodiParamFile();
    SystemIpSet();
    SoftDogInit();
    HardDogInit();
    IoControlInit();
    CfCardInit();
    if (defdata->CfValid == '1')
        CfCardMount();
    TestCfSpace();
    TemproraryData->MainStat.DoorState = '0';
    RecordBootTime();
    SampBoardInit();
    LanPowerOff();
    return 0;
}

void sig_exit(int)
{
    std::printf("CTRL+C pressed\n");
    MakeCanSendPacket(13, 0, 0);
    TpCanClose(fd_socket_can);
    HardDogStop();
    int fd = UartDev->Port[SLOT_SAMPBOARD].fd;
    if (fd >= 0 && write(fd, "BRISQQUIT!", 10) < 0)
        std::perror("write");
    LanPowerOn();
    std::exit(0);
}

// ---------------------------------------------------------------- processes

[[noreturn]] void IdleProcessLoop(int slot)
{
    for (;;) {
        SoftDogFeed(slot);
        sleep(1);
    }
}

void HousekeepingPass(HousekeepingState &st)
{
    const ShareClockRec &c = TemproraryData->ShareClock;
    g_tmB.tm_sec = c.Sec;
    g_tmB.tm_min = c.Min;
    g_tmB.tm_hour = c.Hour;
    g_tmB.tm_mday = c.Day;
    g_tmB.tm_mon = c.Mon;
    g_tmB.tm_year = c.Year;

    // Hourly resync of the shared copy, at about second 5 of minute 0.
    if (g_tmB.tm_sec > 4 && g_tmB.tm_min != st.lastMin) {
        st.lastMin = g_tmB.tm_min;
        if (st.lastMin == 0)
            LoadShareClock(GetTime(0));
    }
    if (g_tmB.tm_sec != st.lastSec) {
        st.lastSec = g_tmB.tm_sec;
        QuerrySampBoard();
        if (st.lastSec % 2 == 1)
            QuerryAirP();
    }
    // Nightly window: the CF copy and the clock check once per day; the
    // copy flag tells the minute cycle that its samples were disturbed.
    if (g_tmB.tm_hour == 2 && (g_tmB.tm_min == 3 || g_tmB.tm_min == 4)) {
        if (g_tmB.tm_mday != st.lastDay) {
            st.lastDay = g_tmB.tm_mday;
            Copy2CfCard();
            DeleteOldFile_II();
            SetSystimeByHwclock(1);
            GetTime(0);
            if (TemproraryData->MainStat.CanBusState == '0')
                MakeCanSendPacket(2, 0, 0);
            *g_pCpyCfDataFlag = 1;
            std::printf("\n\n*******\n%d\r\n", *g_pCpyCfDataFlag);
        }
    } else {
        *g_pCpyCfDataFlag = 0;
    }
    if (g_tmB.tm_min == 10 && g_tmB.tm_hour != st.lastHour) {
        st.lastHour = g_tmB.tm_hour;
        DeleteNand3();
    }
}

void HousekeepingLoop()
{
    HousekeepingState st;
    TpSystem("rm /mnt/nand3/tempdir* -fr");
    DeleteOldFile_II();
    DeleteNand3();
    sleep(1);
    for (;;) {
        // The 250 ms timer cuts the sleep short, so a pass runs after every
        // tick; each action fires once per change of its clock field.
        sleep(1);
        HousekeepingPass(st);
    }
}

namespace {

[[noreturn]] void RunProcessA()
{
    g_ucpSampleDataQc = GetShareMem(SamQcShmid);
    SetChecExtTimer();
    for (;;)
        RcvCanPacket();
}

[[noreturn]] void RunProcessB()
{
    g_pCpyCfDataFlag = GetCpyCfDataFlagShareMem(shmid);
    CanSendInit();
    HousekeepingLoop();
    for (;;)
        pause();
}

[[noreturn]] void RunProcessC()
{
    g_ucpSampleDataQc = GetShareMem(SamQcShmid);
    g_ucpLan = GetShareMem(LanShmid);
    SetSampBoardInitHook(SampBoardInit);
    for (;;)
        ListenToPc();
}

[[noreturn]] void RunProcessD()
{
    g_pCpyCfDataFlag = GetCpyCfDataFlagShareMem(shmid);
    g_ucpSampleDataQc = GetShareMem(SamQcShmid);
    std::signal(SIGINT, sig_exit);
    for (;;)
        DataProcess();
}

} // namespace

// "komain --remove-ipc": removes the keyed segments and the semaphore set
// that a simulated station leaves behind by design (a restart reuses them).
static int RemoveStationIpc()
{
    if (!TpSimulated())
        return 2;
    for (int key : {KEY_CPY_CF_FLAG, KEY_SAMPLE_QC, KEY_LAN}) {
        int id = shmget(TpIpcKey(key), 0, 0);
        if (id >= 0)
            shmctl(id, IPC_RMID, nullptr);
    }
    int sem = semget(TpFtok("/bin", 'a'), 0, 0);
    if (sem >= 0)
        semctl(sem, 0, IPC_RMID);
    return 0;
}

int KomainMain(int argc, char **argv)
{
    if (TransplantInit() != 0)
        return 2;
    if (argc > 1 && std::strcmp(argv[1], "--remove-ipc") == 0)
        return RemoveStationIpc();
    // Lines reach a log or a pipe as they are printed.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (TpSimulated()) {
        // A simulated station is one process group, so that its reboot and
        // its supervisor can end every process of it at once.
        setpgid(0, 0);
    }

    shmid = InitCpyCfDataFlagShareMem();
    SamQcShmid = InitShareMem(KEY_SAMPLE_QC, ELEMENT_COUNT, IPC_CREAT | 0666);
    LanShmid = InitShareMem(KEY_LAN, 4, IPC_CREAT | 0666);

    SystemInit();
    TpSystem("umount -l /mnt/nfs");
    SetSystimeByHwclock(0);
    SyncParaToSubCollector();

    std::fflush(nullptr);
    pid_t first = fork();
    if (first > 0) {
        pid_t second = fork();
        if (second < 0)
            return 0;
        if (second > 0)
            RunProcessA();
        RunProcessB();
    }
    // The child of the first fork, or the starting process when that fork
    // failed: fork D and become C.
    pid_t third = fork();
    if (third < 0)
        return 0;
    if (third > 0)
        RunProcessC();
    RunProcessD();
}
