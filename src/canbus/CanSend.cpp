// The CAN link and process B's 250 ms tick: SYNC, TIME and SDO frames, the
// serial queries, the run LED, the watchdog check and the serial time-out.
#include "canbus/CanSend.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include "board/IoControl.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "serial/UartSet.h"
#include "terminal/ListenToPc.h"

int fd_socket_can = -1;
volatile int g_SignalAlarmUsedFlag = 0;

namespace {

constexpr long TICK_US = 250000;
constexpr long FIRST_TICK_US = 10000;
constexpr int SLOT_LEN_FULL = 9;      // type byte + 8 data bytes
constexpr int TIME_SECOND = 23;       // second of the minute of the TIME broadcast
constexpr int SNOW_QUERY_TICK = 110;  // snow depth 2.5 s before the rain weight
constexpr int RAIN_QUERY_TICK = 119;
constexpr int MAIN_BOARD_QUIET_LIMIT = 99;  // seconds of "0" before the serial board is asked again
constexpr int ELEMENT_SD = 41;        // ElementEnable row of the snow depth

// The sub-collector flags of ObValid that ask for a SYNC every tick.
constexpr int kSubCollectorFlags[] = {OB_CLIM, OB_RADI, OB_EATH, OB_SOIL, OB_SEAA, OB_TERH, OB_TAIR, OB_RAIN};

// Data bytes of the SYNC frame; the boards take any SYNC as a trigger.
constexpr uint8_t kSyncData[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// The time GetTime returned last in this process. GetTime hands out one
// record per process at a fixed address, so one call tells us where it
// lies; its caller has just read the time, so refreshing it does no harm.
// A plain static (no guard), because the tick runs as a signal handler.
const struct tm *LastGetTime()
{
    static const struct tm *rec = nullptr;
    if (rec == nullptr)
        rec = GetTime(0);
    return rec;
}

int Generation() { return defdataEx != nullptr ? int(defdataEx->Generation) : 0; }

void SetNonBlock(int fd)
{
    if (fd < 0)
        return;
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0)
        fcntl(fd, F_SETFL, fl | O_NONBLOCK);
}

CanSendSlot NewSlot(unsigned char type)
{
    CanSendSlot s {};
    s.Len = SLOT_LEN_FULL;
    s.Type = type;
    return s;
}

// Serial queries go out whole or not at all; a port that failed to open
// (descriptor -1) swallows them, and the write result is not examined.
void WritePort(int slot, const char *text)
{
    if (UartDev == nullptr || slot < 0 || slot >= UART_SLOTS)
        return;
    int fd = UartDev->Port[slot].fd;
    if (fd < 0)
        return;
    ssize_t n = write(fd, text, std::strlen(text));
    (void)n;
}

} // namespace

// ---------------------------------------------------------------- the link

int CanDisable(int channel)
{
    char cmd[200];
    std::snprintf(cmd, sizeof cmd, "ifconfig can%d down", channel);
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    return 0;
}

int CanEnable(int channel, int bitrate)
{
    char cmd[200];
    std::snprintf(cmd, sizeof cmd, "ip link set can%d up type can bitrate %d triple-sampling on", channel, bitrate);
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    std::snprintf(cmd, sizeof cmd, "ifconfig can%d up", channel);
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    return 0;
}

int InitCan(int channel, int bitrate)
{
    CanDisable(channel);
    CanEnable(channel, bitrate);
    char name[16];
    std::snprintf(name, sizeof name, "can%d", channel);
    int fd = TpCanOpen(name);
    SetNonBlock(fd);
    return fd;
}

int CanSocketInit()
{
    if (g_HardwareCheck == 0) {
        // The older kernel brings the interface up at the bit rate the
        // system configured; socket, lookup and bind are not checked.
        char cmd[64];
        std::snprintf(cmd, sizeof cmd, "ifconfig %s up", g_cDevName[6]);
        TpSystem(cmd);
        fd_socket_can = TpCanOpen(g_cDevName[6]);
        std::printf("socket(PF_CAN, SOCK_RAW, CAN_RAW)----------success fd:%d\n", fd_socket_can);
        std::printf("ioctl(fd_socket_can, SIOCGIFINDEX, &canifr)----------success\n");
        std::printf("bind(fd_socket_can, (struct sockaddr *)&canaddr, sizeof(canaddr))----------success\n");
        std::printf(" CanSocketInit...NONBLOCK MODE\n");
        SetNonBlock(fd_socket_can);
    } else {
        fd_socket_can = InitCan(0, CAN_BITRATE);
        std::printf("****CanSocketInit finish %d\r\n", fd_socket_can);
    }
    return fd_socket_can;
}

void MakeCanFrame(const CanSendSlot &slot, int generation, uint32_t lastId, TpCanFrame *frame)
{
    std::memset(frame, 0, sizeof *frame);
    const uint8_t type = slot.Type;
    switch (type) {
    case CANSEND_SYNC:
        frame->can_id = CANID_SYNC;
        break;
    case CANSEND_TIME:
        frame->can_id = CANID_TIME;
        break;
    case CANSEND_SDO:
        frame->can_id = generation != 0 ? CANID_SDO_REQ + slot.Node : CANID_SDO_REQ + 1;
        break;
    default:
        frame->can_id = lastId;
        break;
    }
    // The length counts the type byte; a length outside 1..9 is cut to a
    // frame the bus can carry.
    int len = slot.Len;
    int dlc = len < 1 ? 0 : (len > SLOT_LEN_FULL ? 8 : len - 1);
    frame->can_dlc = uint8_t(dlc);
    std::memcpy(frame->data, slot.Data, size_t(dlc));
}

int SendCanPacket(const CanSendSlot &slot)
{
    // The identifier of the previous frame of this process, as the send
    // buffer of the socket layer would still hold it.
    static uint32_t lastId = 0;
    TpCanFrame frame;
    MakeCanFrame(slot, Generation(), lastId, &frame);
    lastId = frame.can_id;

    // Mirror the frame into the shared slot for anyone who inspects it. The
    // wire gets the local frame, so a concurrent sender cannot mix into it.
    if (cansendrcvarray != nullptr) {
        CanSendSlot &shared = cansendrcvarray->Send[0];
        cansendrcvarray->SendRead = 0;
        cansendrcvarray->SendWrite = 0;
        shared.Len = slot.Len;
        shared.Type = slot.Type;
        std::memcpy(shared.Data, slot.Data, sizeof shared.Data);
    }

    int r = TpCanSend(fd_socket_can, &frame);
    if (r < 0) {
        std::printf("err: can raw socket write errno=%d\n", errno);
        return -1;
    }
    if (r < int(sizeof frame)) {
        std::printf("write: incomplete CAN frame\n");
        return -1;
    }
    return r;
}

void MakeTimeData(const struct tm *t, uint8_t data[8])
{
    const int year = t->tm_year;
    data[0] = uint8_t(year / 256);
    data[1] = uint8_t(year % 256);
    data[2] = uint8_t(t->tm_mon);
    data[3] = uint8_t(t->tm_mday);
    data[4] = uint8_t(t->tm_hour);
    data[5] = uint8_t(t->tm_min);
    data[6] = uint8_t(t->tm_sec);
    data[7] = 0;
}

int MakeCanSendPacket(unsigned char type, int index, unsigned char subindex)
{
    CanSendSlot s = NewSlot(type);
    switch (type) {
    case CANSEND_SYNC:
        std::memcpy(s.Data, kSyncData, sizeof s.Data);
        break;
    case CANSEND_TIME:
        MakeTimeData(LastGetTime(), s.Data);
        break;
    case CANSEND_SDO:
        // Not given a node: it goes where the previous SDO request went.
        s.Node = cansendrcvarray != nullptr ? cansendrcvarray->Send[0].Node : 0;
        s.Data[0] = SDO_CMD_WRITE;
        s.Data[1] = uint8_t(index & 0xFF);
        s.Data[2] = uint8_t((index >> 8) & 0xFF);
        s.Data[3] = subindex;
        break;
    default:
        break;
    }
    return SendCanPacket(s);
}

int MakeCanSendSDOPacket(unsigned char node, unsigned char type, unsigned short index, unsigned char subindex,
                         const unsigned char *value, unsigned char size)
{
    CanSendSlot s = NewSlot(type);
    if (type == CANSEND_SDO) {
        s.Node = node;
        s.Data[0] = SDO_CMD_WRITE;
        s.Data[1] = uint8_t(index & 0xFF);
        s.Data[2] = uint8_t(index >> 8);
        s.Data[3] = subindex;
        if (value != nullptr)
            std::memcpy(s.Data + 4, value, size > 4 ? 4 : size);
        if (cansendrcvarray != nullptr)
            cansendrcvarray->Send[0].Node = node;
    }
    return SendCanPacket(s);
}

// ---------------------------------------------------------------- the tick

int set_timer()
{
    std::signal(SIGALRM, OnTimer);
    struct itimerval v {};
    v.it_interval.tv_usec = TICK_US;
    v.it_value.tv_usec = FIRST_TICK_US;
    setitimer(ITIMER_REAL, &v, nullptr);
    std::printf("SetTime interval:%0.3f sec\n", TICK_US / 1e6);
    return 0;
}

int my_deltimer()
{
    struct itimerval v {};
    setitimer(ITIMER_REAL, &v, nullptr);
    std::printf("deltimer,pid:%d\n", int(getpid()));
    return 0;
}

int CanSendInit()
{
    set_timer();
    HardDogStart();
    std::printf("fd_socket_can:%d\n", fd_socket_can);
    return 0;
}

int LedFlash()
{
    static int flag = 0;
    flag = (flag + 1) % 8;
    return flag <= 2 ? LedRunOn() : LedRunOff();
}

int AnySubCollectorEnabled()
{
    if (defdata == nullptr)
        return 0;
    for (int pos : kSubCollectorFlags)
        if (defdata->ObValid[pos] == '1')
            return 1;
    return 0;
}

int CheckUartTimeOut()
{
    // Length of each port's partial message at the previous tick.
    static int32_t flag[UART_SLOTS] = {};
    if (TemproraryData == nullptr)
        return 1;
    for (int i = 0; i < UART_SLOTS; ++i) {
        const int32_t len = TemproraryData->UartRcvLen[i];
        if (len == 0 || len != flag[i]) {
            flag[i] = len;
            continue;
        }
        // A message that did not grow for a whole tick will not be
        // finished: drop it so the next one starts clean.
        if (UartDev != nullptr && UartDev->Port[i].fd >= 0)
            tcflush(UartDev->Port[i].fd, TCIFLUSH);
        const int shown = len < 0 ? 0 : (len > UART_RCV_BUF ? UART_RCV_BUF : int(len));
        std::printf("uart:%d ,flag[%d],rcvlen:%d timeout,%.*s\n", i, int(flag[i]), int(len), shown,
                    TemproraryData->UartRcvBuf[i]);
        TemproraryData->UartRcvLen[i] = 0;
    }
    return 1;
}

void OnTimer(int)
{
    static int nTimeStampTimer = 0;
    static int secTimer = 0;
    static int sec30Timer = 0;
    static int Sec = 90;   // no second: the first comparison always differs

    const int savedErrno = errno;
    g_SignalAlarmUsedFlag = 1;
    HardDogFeed();
    LedFlash();
    IsNeedReboot();
    Send2Pc();

    if (AnySubCollectorEnabled()) {
        MakeCanSendPacket(CANSEND_SYNC, 0, 0);
        // Shown by the status commands; only this tick writes it.
        if (TemproraryData != nullptr)
            TemproraryData->SyncCount = TemproraryData->SyncCount + 1;
    }
    CheckUartTimeOut();

    // Three ticks are 750 ms, so every second is seen at least once and the
    // TIME broadcast goes out once a minute.
    if (++nTimeStampTimer >= 3) {
        nTimeStampTimer = 0;
        const struct tm *t = GetTime(0);
        if (t->tm_sec != Sec) {
            Sec = t->tm_sec;
            if (Sec == TIME_SECOND && TemproraryData != nullptr && TemproraryData->MainStat.CanBusState == '0')
                MakeCanSendPacket(CANSEND_TIME, 0, 0);
        }
    }
    if (++secTimer >= 4) {
        secTimer = 0;
        UpdateMyTime();
    }
    ++sec30Timer;
    if (sec30Timer == SNOW_QUERY_TICK)
        QuerrySnowDepth();
    if (sec30Timer > RAIN_QUERY_TICK) {
        sec30Timer = 0;
        QuerryRainWeight();
    }
    errno = savedErrno;
}

// ---------------------------------------------------------------- queries

int QuerrySampBoard()
{
    static int count = 0;
    if (TemproraryData == nullptr)
        return 0;
    ++count;
    if (TemproraryData->MainBoardCommState == '0') {
        // Data arrives: stay quiet, but look again now and then so that a
        // serial board that stopped is asked within 100 s.
        if (count > MAIN_BOARD_QUIET_LIMIT) {
            count = 0;
            TemproraryData->MainBoardCommState = '9';
        }
        return 0;
    }
    const int32_t ext = TemproraryData->SampBoardExtOutput;
    if (ext == 1)
        WritePort(SLOT_SAMPBOARD, "GETSFDATA!");
    else if (ext == 0)
        WritePort(SLOT_SAMPBOARD, "GETSECDATA!");
    return 0;
}

int QuerryAirP()
{
    if (defdata == nullptr)
        return 0;
    switch (defdata->AirpType) {
    case 0:
    case 2:
    case 4:
        WritePort(SLOT_AIRPRESS, ".P\r\n");
        break;
    case 1:
    case 3:
    case 5:
        WritePort(SLOT_AIRPRESS, "P\r\n");
        break;
    default:
        break;
    }
    return 0;
}

int QuerryRainWeight()
{
    if (defdata != nullptr && defdata->RawMode == 1)
        WritePort(SLOT_COM1, "DMPR\r\n");
    return 0;
}

int QuerrySnowDepth()
{
    if (defdata == nullptr || defdata->ElementEnable[ELEMENT_SD] != '1')
        return 0;
    WritePort(defdata->GpsPortType == 1 ? SLOT_COM1 : SLOT_GPS, "GMSD\r\n");
    return 0;
}
