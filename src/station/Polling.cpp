// Process B's 250 ms tick: the SYNC and TIME frames, the serial queries, the
// run LED, the watchdog check, the reply flush and the serial time-out.
#include "station/Polling.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include "board/IoControl.h"
#include "canbus/CanSend.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "serial/UartSet.h"
#include "terminal/ListenToPc.h"

namespace {

constexpr long TICK_US = 250000;
constexpr long FIRST_TICK_US = 10000;
constexpr int TIME_SECOND = 23;       // second of the minute of the TIME broadcast
constexpr int SNOW_QUERY_TICK = 110;  // snow depth 2.5 s before the rain weight
constexpr int RAIN_QUERY_TICK = 119;
constexpr int MAIN_BOARD_QUIET_LIMIT = 99;  // seconds of "0" before the serial board is asked again
constexpr int ELEMENT_SD = 41;        // ElementEnable row of the snow depth

// The sub-collector flags of ObValid that ask for a SYNC every tick.
constexpr int kSubCollectorFlags[] = {OB_CLIM, OB_RADI, OB_EATH, OB_SOIL, OB_SEAA, OB_TERH, OB_TAIR, OB_RAIN};

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

constexpr int SOFTDOG_LIMIT = 100;   // failed checks in a row before the reboot (~25 s)

} // namespace


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

// ---------------------------------------------------------------- watchdog check

int IsNeedReboot()
{
    static int errortime = 0;
    if (CheckSoftDogFeed() == 0) {
        errortime = 0;
        HardDogFeed();
        return 0;
    }
    ++errortime;
    if (errortime > SOFTDOG_LIMIT) {
        std::printf("SoftDog Status,errortime:%d\n", errortime);
        my_deltimer();
        RecordErrorReason();
        RunReboot();
    }
    return 0;
}

// No watchdog device is opened on this board; the hooks stay where a real
// one would be served.
int HardDogInit() { return fd_watchdog; }
int HardDogStart() { return 0; }
int HardDogFeed() { return 0; }
int HardDogStop()
{
    LedUnInit();
    return 0;
}
