// The listener of process C: one select loop over the six serial ports,
// line assembly, routing of the lines by port and device type, the silence
// and instrument watchdogs, the raw line recorder and the debug
// pass-through.
#include "terminal/ListenToPc.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <pthread.h>
#include <sys/select.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "serial/UartSet.h"
#include "core/BRISQ1110Assist.h"
#include "serial/Instruments.h"
#include "storage/Storage.h"
#include "terminal/CommandHandlers.h"

namespace {

// UartDev slot of each port COM0-COM5.
constexpr int kPortSlot[COM_PORTS] = {SLOT_COM0, SLOT_COM1, SLOT_GPS, SLOT_VISIBILITY, SLOT_AIRPRESS,
                                      SLOT_SAMPBOARD};
// Seconds of silence after which a port's counter starts again; only COM5
// acts on it (re-initialisation of the serial sampling board).
constexpr int kSilenceWrap[COM_PORTS] = {50, 10, 30, 80, 10, 10};
// The device-type value that makes a port a restricted terminal.
constexpr int DEVTYPE_TERMINAL = 8;
constexpr int DEBUG_MASTER = 0;    // index of the master flag in DebugFlag

int flag_com[COM_PORTS];
int error_com[COM_PORTS];
unsigned char g_ucVisibilityWork[104];   // work area of the visibility reader

// The elements the sampling board supplies, marked missing when it falls
// silent.
constexpr int kBoardElements[] = {2, 10, 15, 16, 18, 35};
constexpr int ELEMENT_P = 1;
constexpr int ELEMENT_VI = 36;

void OnCheckUpBoardTimer(int)
{
    g_uiChkTmr = g_uiChkTmr + 1;
    g_uiChkTmrP = g_uiChkTmrP + 1;
    g_uiChkTmrVI = g_uiChkTmrVI + 1;
}

int SetCheckUpBoardTimer()
{
    struct sigaction sa {};
    sa.sa_handler = OnCheckUpBoardTimer;
    sa.sa_flags = SA_RESTART;   // reads and writes resume; select still wakes
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, nullptr);
    struct itimerval it {};
    it.it_value.tv_sec = 1;
    it.it_interval.tv_sec = 1;
    return setitimer(ITIMER_REAL, &it, nullptr);
}

void MarkMissing(int element)
{
    TemproraryData->CurrentValue[element] = 99999.0f;
    TemproraryData->CurrentQc[element] = '8';
    if (g_ucpSampleDataQc != nullptr)
        g_ucpSampleDataQc[element] = '8';
}

void CheckInstrumentWatchdogs()
{
    if (g_uiChkTmr > 4) {
        for (int e : kBoardElements)
            MarkMissing(e);
        g_uiChkTmr = 0;
    }
    if (g_uiChkTmrP > 8) {
        MarkMissing(ELEMENT_P);
        g_uiChkTmrP = 0;
    }
    if (g_uiChkTmrVI > 40) {
        MarkMissing(ELEMENT_VI);
        g_uiChkTmrVI = 0;
    }
}

void CheckSilence()
{
    for (int port : {COM0, COM2, COM3, COM4, COM5}) {
        if (flag_com[port] == 1) {
            error_com[port] = 0;
            flag_com[port] = -1;
        }
    }
    for (int port = 0; port < COM_PORTS; ++port) {
        ++error_com[port];
        if (error_com[port] > kSilenceWrap[port]) {
            error_com[port] = 0;
            if (port == COM5)
                ReinitSampBoard();
        }
    }
}

// Writes a line to a port as it is, outside the reply ring (debug
// pass-through).
void WriteRaw(int port, const char *line)
{
    int fd = PortFd(port);
    if (fd < 0)
        return;
    std::size_t n = strnlen(line, LINE_BUF);
    if (n > 0 && write(fd, line, n) < 0)
        std::perror("write");
}

// Lines typed on COM0 while the pass-through is on go to the chosen port.
int UartControl(const char *line)
{
    char *flags = TemproraryData->DebugFlag;
    if (std::strncmp(line, "CLOSECOM", 8) == 0) {
        std::memset(flags, '0', sizeof TemproraryData->DebugFlag);
        PrePareSend2Pc("T\r\n");
        return 0;
    }
    if (flags[1 + COM1] == '1')
        WriteRaw(COM1, line);
    for (int port : {COM2, COM3, COM4, COM5}) {
        if (flags[1 + port] == '1') {
            WriteRaw(port, line);
            break;
        }
    }
    return 0;
}

// Creates each missing folder of path (a board path).
void MakeFolders(const char *path)
{
    char part[TP_PATH_MAX];
    std::size_t n = strnlen(path, sizeof part - 1);
    for (std::size_t i = 1; i <= n; ++i) {
        if (path[i] == '/' || i == n) {
            std::memcpy(part, path, i);
            part[i] = '\0';
            TpMkdir(part, 0777);
        }
    }
}

int DeviceType(int port)
{
    switch (port) {
    case COM1: return defdata->RawMode;
    case COM2: return defdata->GpsPortType;
    case COM3: return defdata->VisiType;
    case COM4: return defdata->AirpType;
    default: return -1;
    }
}

// Appends the bytes of one read to the port's line buffer and hands on each
// completed line.
void Assemble(int port, const char *bytes, int n)
{
    if (port < 0 || port >= COM_PORTS || bytes == nullptr)
        return;
    int slot = kPortSlot[port];
    char *buf = TemproraryData->UartRcvBuf[slot];
    for (int i = 0; i < n; ++i) {
        int len = TemproraryData->UartRcvLen[slot];
        if (len < 0 || len >= UART_RCV_BUF - 1) {
            // Too long for a line: drop it and whatever is still pending.
            TemproraryData->UartRcvLen[slot] = 0;
            int fd = PortFd(port);
            if (fd >= 0)
                tcflush(fd, TCIFLUSH);
            return;
        }
        char c = bytes[i];
        buf[len++] = c;
        TemproraryData->UartRcvLen[slot] = len;
        if (c != '\r' && c != '\n')
            continue;
        flag_com[port] = 1;
        buf[len] = '\0';
        TemproraryData->UartRcvLen[slot] = 0;
        // Work on a copy: a command may run long, and the buffer is the
        // next line's.
        char line[UART_RCV_BUF];
        std::memcpy(line, buf, std::size_t(len) + 1);
        if (TemproraryData->DebugFlag[DEBUG_MASTER] == '1' && port == COM0)
            UartControl(line);
        else
            ProcessRcvString(line, len, port);
    }
}

} // namespace

void UartRcvBytes(int port, const char *bytes, int n) { Assemble(port, bytes, n); }

int PortSlot(int port) { return port >= 0 && port < COM_PORTS ? kPortSlot[port] : -1; }

int PortFd(int port)
{
    int slot = PortSlot(port);
    if (slot < 0 || UartDev == nullptr)
        return -1;
    int fd = UartDev->Port[slot].fd;
    // 0 is a slot that was never opened (the segment starts zero-filled);
    // the standard input is no serial port.
    return fd > 0 ? fd : -1;
}

int ProcessRcvString(const char *line, int length, int port)
{
    if (line == nullptr || length <= 2)
        return 0;
    int type = DeviceType(port);
    switch (port) {
    case COM0:
        ProcessRxData(port, line, ACCESS_FULL);
        break;
    case COM1:
        if (type == 1)
            ReadRainWeight(line);
        else if (type == 0 || type == DEVTYPE_TERMINAL)
            ProcessRxData(port, line, ACCESS_RESTRICTED);
        break;
    case COM2:
        if (type == 0 || type == 1)
            ReadGps(line);
        else if (type == DEVTYPE_TERMINAL)
            ProcessRxData(port, line, ACCESS_RESTRICTED);
        else if (type >= 9 && type <= 11)
            ProcessUltData(type, line, length);
        break;
    case COM3:
        if (type >= 0 && type <= 3)
            ReadVisibility(line);
        else if (type == DEVTYPE_TERMINAL)
            ProcessRxData(port, line, ACCESS_RESTRICTED);
        else if (type >= 9 && type <= 11)
            ProcessUltData(type, line, length);
        break;
    case COM4:
        if (type >= 0 && type <= 5) {
            if (ReadAirpress(line) == -1)
                TemproraryData->PressReadErr = -1;
        } else if (type == DEVTYPE_TERMINAL) {
            ProcessRxData(port, line, ACCESS_RESTRICTED);
        }
        break;
    case COM5:
        if (TemproraryData->SampBoardExtOutput == 1)
            ProcessSampboardFloat(line);
        else
            ProcessSampboard(line);
        break;
    default:
        return 0;
    }
    UartDataSave(port, line);
    const char *flags = TemproraryData->DebugFlag;
    if (port >= COM1 && flags[DEBUG_MASTER] == '1' && flags[1 + port] == '1')
        WriteRaw(COM0, line);
    return 0;
}

int UartDataSave(int port, const char *line)
{
    if (port < 0 || port >= COM_PORTS)
        return -1;
    char flag = defdata->SampleSaveFlag[port];
    if (flag != 1 && flag != '1')
        return 0;
    const ShareClockRec &c = TemproraryData->ShareClock;
    char id[sizeof defdata->StationId + 1] = {};
    std::memcpy(id, defdata->StationId, sizeof defdata->StationId);
    char folder[128];
    std::snprintf(folder, sizeof folder, "/mnt/cf/data/%s/%04d%02d/uartsave", id, int(c.Year), int(c.Mon));
    MakeFolders(folder);
    if (TemproraryData->MainStat.CfState != '0')
        return 0;
    char path[192];
    std::snprintf(path, sizeof path, "%s/COM%d_%04d%02d%02d.txt", folder, port, int(c.Year), int(c.Mon), int(c.Day));
    FILE *fp = TpFopen(path, "a");
    if (fp == nullptr)
        return -1;
    std::fprintf(fp, "\n%04d-%02d-%02d %02d:%02d:%02d %s", int(c.Year), int(c.Mon), int(c.Day), int(c.Hour),
                 int(c.Min), int(c.Sec), line);
    std::fclose(fp);
    return 0;
}

int PWD10_Mode_Set()
{
    if (defdata->VisiType != 0)
        return 0;
    static constexpr const char *kSetup[] = {"OPEN\r\n",      "OPEN\r\n",  "AMES 0 60\r\n",
                                             "AMES 0 60\r\n", "CLOSE\r\n", "CLOSE\r\n"};
    for (const char *s : kSetup) {
        int fd = PortFd(COM3);
        if (fd >= 0 && write(fd, s, std::strlen(s)) < 0)
            std::perror("write");
        usleep(200 * 1000);
    }
    return 0;
}

int DebugCom(const char *param)
{
    char *flags = TemproraryData->DebugFlag;
    if (flags[DEBUG_MASTER] == '1')
        return 0;
    if (param[0] == '\0') {
        char text[64];
        std::snprintf(text, sizeof text, "COM0:%c COM1:%c COM2:%c COM3:%c COM4:%c COM5:%c\r\n", flags[1], flags[2],
                      flags[3], flags[4], flags[5], flags[6]);
        PrePareSend2Pc(text);
        return 0;
    }
    if (std::strncmp(param, "COM", 3) == 0 && param[3] >= '0' && param[3] <= '5') {
        flags[1 + (param[3] - '0')] = '1';
        flags[DEBUG_MASTER] = '1';
        PrePareSend2Pc("T\r\n");
        return 0;
    }
    PrePareSend2Pc("F\r\n");
    return -1;
}

// Accepted for compatibility; nothing to do and no reply.
int Deletoldfile(const char *) { return 0; }
int SetWarnSet(const char *) { return 0; }

int ListenToPc()
{
    SetCheckUpBoardTimer();
    std::memset(g_ucVisibilityWork, 0, sizeof g_ucVisibilityWork);
    for (int i = 0; i < COM_PORTS; ++i) {
        flag_com[i] = 0;
        error_com[i] = 0;
    }
    std::memset(TemproraryData->DebugFlag, '0', sizeof TemproraryData->DebugFlag);
    for (int port = 0; port < COM_PORTS; ++port)
        if (int fd = PortFd(port); fd >= 0)
            tcflush(fd, TCIFLUSH);
    PWD10_Mode_Set();

    // The LAN thread takes no timer signals: they are the listener's.
    sigset_t alarm, old;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, &old);
    pthread_t lan;
    if (pthread_create(&lan, nullptr, CheckLanState, nullptr) != 0)
        std::perror("NetSnd Thread Failed\n");
    else
        pthread_detach(lan);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);

    int lastSec = -1;
    for (;;) {
        SoftDogFeed(DOG_C);
        struct timeval tv {2, 100000};
        // Descriptors are read again on every pass: a re-initialisation may
        // have reopened a port, or failed and left it closed.
        fd_set rd;
        FD_ZERO(&rd);
        int maxfd = -1;
        for (int port = 0; port < COM_PORTS; ++port) {
            int fd = PortFd(port);
            if (fd < 0 || fd >= FD_SETSIZE)
                continue;
            FD_SET(fd, &rd);
            if (fd > maxfd)
                maxfd = fd;
        }
        TemproraryData->MainStat.ListenState = '0';
        SetCurrentReplyPort(PORT_NONE);
        int sec = TemproraryData->ShareClock.Sec;
        if (sec != lastSec) {
            lastSec = sec;
            CheckSilence();
        }
        if (TemproraryData->PressReadErr == -1)
            TemproraryData->PressReadErr = 0;
        CheckInstrumentWatchdogs();

        int ready = select(maxfd + 1, &rd, nullptr, nullptr, &tv);
        if (ready <= 0)
            continue;
        usleep(50 * 1000);   // let the rest of a burst arrive
        char bytes[256] = {};
        int port = -1;
        int n = 0;
        for (int p = 0; p < COM_PORTS; ++p) {
            int fd = PortFd(p);
            if (fd >= 0 && fd < FD_SETSIZE && FD_ISSET(fd, &rd)) {
                n = int(read(fd, bytes, sizeof bytes));
                if (n > 0) {
                    port = p;
                    break;
                }
                // A port that reports input but gives none (its line hung
                // up) must not keep the ports behind it from being served.
            }
        }
        if (port < 0 || n <= 0)
            continue;
        SetCurrentReplyPort(port);
        Assemble(port, bytes, n);
    }
}
