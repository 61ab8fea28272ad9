// Process B's 250 ms tick and the outbound CAN frames.
#include "canbus/CanSend.h"

#include <csignal>
#include <cstdio>
#include <sys/time.h>
#include <unistd.h>

#include "board/IoControl.h"
#include "board/Transplant.h"
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
} // namespace

int CanSocketInit()
{
    fd_socket_can = TpCanOpen(g_cDevName[6]);
    return fd_socket_can;
}

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

void OnTimer(int)
{
    static int secTimer = 0;
    g_SignalAlarmUsedFlag = 1;
    HardDogFeed();
    LedFlash();
    IsNeedReboot();
    Send2Pc();
    if (++secTimer >= 4) {
        secTimer = 0;
        UpdateMyTime();
    }
}

int MakeCanSendPacket(unsigned char, int, unsigned char) { return 0; }
int QuerrySampBoard() { return 0; }
int QuerryAirP() { return 0; }
