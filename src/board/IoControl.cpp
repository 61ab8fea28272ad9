// Board signals on both board generations. The older board has one device,
// "/dev/at91_led", driven by ioctl requests; the newer board has GPIO lines
// in the kernel's GPIO class directory and switches Ethernet with ifconfig.
// g_HardwareCheck, set before any of this runs, picks the generation.
#include "board/IoControl.h"

#include <cstdio>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/MyTime.h"

volatile int g_SignalAlarmUsedFlag = 0;
int fdLed = -1;

// Order of export at start-up.
const int g_arriPin[10] = {15, 14, 11, 137, 13, 136, 12, 123, 124, 92};

namespace {

// Requests of the older board's device.
enum LedRequest : unsigned int {
    REQ_RUN_LED = 3,      // 1 on, 0 off
    REQ_CF_LED = 4,       // 0 on, 1 off
    REQ_CF_DETECT = 5,    // answers 0 card inserted, 1 card out
    REQ_UART1_RS232 = 6,  // argument 0
    REQ_UART2_RS232 = 7,  // argument 0
    REQ_UART1_DIR = 8,    // 1 sending, 0 receiving
    REQ_UART2_DIR = 9,    // 1 sending, 0 receiving
    REQ_LAN_POWER = 11,   // 1 off, 0 on
};

// Newer board's lines.
enum GpioLine : int {
    GPIO_UART1_MODE = 15,   // low RS-232, high RS-485
    GPIO_UART1_DIR = 14,    // low receiving, high sending
    GPIO_UART2_MODE = 11,
    GPIO_UART2_DIR = 12,
    GPIO_CF_LED = 137,      // low on
    GPIO_BEEP = 13,         // high on
    GPIO_RUN_LED = 136,     // low on
    GPIO_CF_POWER = 92,     // high on
};

constexpr const char *kGpioDir = "/sys/class/gpio";

bool NewerBoard() { return g_HardwareCheck == 1; }

int LedRequest(unsigned int request, unsigned long arg) { return TpLedIoctl(fdLed, request, arg); }

// The attribute writes replace "echo N > /sys/class/gpio/..." commands: the
// run LED changes every 250 ms and a shell per change would cost the board
// more than everything else the tick does.
int WriteLineAttr(int line, const char *attr, const char *text)
{
    char path[64];
    std::snprintf(path, sizeof path, "%s/gpio%d/%s", kGpioDir, line, attr);
    TpWriteAttr(path, text);
    return 0;
}

int WriteNumber(const char *attr, int line)
{
    char path[64];
    char text[16];
    std::snprintf(path, sizeof path, "%s/%s", kGpioDir, attr);
    std::snprintf(text, sizeof text, "%d", line);
    TpWriteAttr(path, text);
    return 0;
}

int LanPower(bool on)
{
    if (!NewerBoard()) {
        LedRequest(REQ_LAN_POWER, on ? 0 : 1);
        return 0;
    }
    return on ? NetPowerOn() : NetPowerOff();
}

int Eth1(const char *cmd)
{
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    return 0;
}

} // namespace

// ---- newer-board primitives -------------------------------------------

int ExportGpio(int line) { return WriteNumber("export", line); }

int UnExportGpio(int line)
{
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, "echo %d > %s/unexport", line, kGpioDir);
    std::printf("%s\r\n", cmd);
    return WriteNumber("unexport", line);
}

int SetDirection(int line, const char *dir) { return WriteLineAttr(line, "direction", dir); }
int SetGpioHigh(int line) { return WriteLineAttr(line, "value", "1"); }
int SetGpioLow(int line) { return WriteLineAttr(line, "value", "0"); }

int InitGpio()
{
    std::printf("%s\r\n", "UnExportGpio");
    for (int line : g_arriPin)
        UnExportGpio(line);
    std::printf("%s\r\n", "ExportGpio");
    for (int line : g_arriPin) {
        ExportGpio(line);
        SetDirection(line, "out");
    }
    CfPowerOff();
    return 0;
}

int EnableRS232_1() { return SetGpioLow(GPIO_UART1_MODE); }
int DisableRS232_1() { return SetGpioHigh(GPIO_UART1_MODE); }
int EnableRS485_1() { return SetGpioHigh(GPIO_UART1_MODE); }
int DisableRS485_1() { return SetGpioLow(GPIO_UART1_MODE); }
int EnableRS232_2() { return SetGpioLow(GPIO_UART2_MODE); }
int DisableRS232_2() { return SetGpioHigh(GPIO_UART2_MODE); }
int EnableRS485_2() { return SetGpioHigh(GPIO_UART2_MODE); }
int DisableRS485_2() { return SetGpioLow(GPIO_UART2_MODE); }
int EnableRS485_1Recv() { return SetGpioLow(GPIO_UART1_DIR); }
int DisableRS485_1Recv() { return SetGpioHigh(GPIO_UART1_DIR); }
int EnableRS485_2Recv() { return SetGpioLow(GPIO_UART2_DIR); }
int DisableRS485_2Recv() { return SetGpioHigh(GPIO_UART2_DIR); }
int CpuLedPowerOn() { return SetGpioLow(GPIO_RUN_LED); }
int CpuLedPowerOff() { return SetGpioHigh(GPIO_RUN_LED); }
int CfLedPowerOn() { return SetGpioLow(GPIO_CF_LED); }
int CfLedPowerOff() { return SetGpioHigh(GPIO_CF_LED); }
int BeepPowerOn() { return SetGpioHigh(GPIO_BEEP); }
int BeepPowerOff() { return SetGpioLow(GPIO_BEEP); }

int CfPowerOn()
{
    SetGpioHigh(GPIO_CF_POWER);
    std::printf("waiting 3s for CF enable\r\n");
    // Once the 250 ms timer runs, its signal would cut a sleep short: count
    // the shared seconds instead.
    if (g_SignalAlarmUsedFlag)
        DelayS(3);
    else
        sleep(3);
    return 0;
}

int CfPowerOff() { return SetGpioLow(GPIO_CF_POWER); }

int NetPowerOn() { return NewerBoard() ? Eth1("ifconfig eth1 up") : 0; }
int NetPowerOff() { return NewerBoard() ? Eth1("ifconfig eth1 down") : 0; }

// ---- board-independent operations -------------------------------------

int IoControlInit()
{
    if (NewerBoard()) {
        InitGpio();
        EnableRS232_1();
        Rs485RecvEnable(0);
        EnableRS232_2();
        Rs485RecvEnable(0);
        return 0;
    }
    TpSystem("mknod /dev/at91_led c 242 0");
    fdLed = TpLedOpen();
    if (fdLed < 0) {
        std::printf("open led error!\n");
        return -1;
    }
    int r1 = LedRequest(REQ_UART1_RS232, 0);
    Rs485RecvEnable(0);
    int r2 = LedRequest(REQ_UART2_RS232, 0);
    Rs485RecvEnable(0);
    if (r1 < 0 || r2 < 0)
        std::printf("UART RS232 set error!\n");
    return 0;
}

int LedRunOn()
{
    if (NewerBoard())
        return CpuLedPowerOn();
    LedRequest(REQ_RUN_LED, 1);
    return 0;
}

int LedRunOff()
{
    if (NewerBoard())
        return CpuLedPowerOff();
    LedRequest(REQ_RUN_LED, 0);
    return 0;
}

int LedCfOn()
{
    if (NewerBoard())
        return CfLedPowerOn();
    LedRequest(REQ_CF_LED, 0);
    return 0;
}

int LedCfOff()
{
    if (NewerBoard())
        return CfLedPowerOff();
    LedRequest(REQ_CF_LED, 1);
    return 0;
}

int LanPowerOn() { return LanPower(true); }
int LanPowerOff() { return LanPower(false); }

int Rs485SendEnable(unsigned char port)
{
    if (port > 1)
        return 0;
    if (NewerBoard())
        return port == 0 ? DisableRS485_1Recv() : DisableRS485_2Recv();
    LedRequest(port == 0 ? REQ_UART1_DIR : REQ_UART2_DIR, 1);
    return 0;
}

int Rs485RecvEnable(unsigned char port)
{
    if (port > 1)
        return 0;
    if (NewerBoard())
        return port == 0 ? EnableRS485_1Recv() : EnableRS485_2Recv();
    LedRequest(port == 0 ? REQ_UART1_DIR : REQ_UART2_DIR, 0);
    return 0;
}

int CfDetectRequest() { return LedRequest(REQ_CF_DETECT, 0); }

int CfCardPowerOn() { return NewerBoard() ? CfPowerOn() : 0; }
int CfCardPowerOff() { return NewerBoard() ? CfPowerOff() : 0; }

int LedUnInit()
{
    std::printf("close fdLed\n");
    if (!NewerBoard() && fdLed >= 0) {
        TpLedClose(fdLed);
        fdLed = -1;
    }
    return 0;
}

// Hooks for parts this board family does not carry.
int LPC2368PowerOn() { return 0; }
int LPC2368PowerOff() { return 0; }
int RelayIoOutHigh() { return 0; }
int RelayIoOutLow() { return 0; }
int ReadDoorStatus() { return 1; }
