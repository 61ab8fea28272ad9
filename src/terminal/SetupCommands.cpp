// The station setup commands: identity, clock, position, network, the
// device type of each serial port and the format generation. A parameter
// with "/?" asks for the usage line, an empty one queries, anything else is
// a new value: checked, stored in the shared parameter record, answered
// "T\r\n" and saved to para.bin. Every refusal is "F\r\n" and changes
// nothing.
#include <initializer_list>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <termios.h>
#include <unistd.h>

#include "canbus/CanSend.h"
#include "core/BRISQ1110Assist.h"
#include "core/Main.h"
#include "core/Mutex.h"
#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "processing/Dmgd.h"
#include "sampling/Sensortable.h"
#include "serial/Instruments.h"
#include "serial/UartSet.h"
#include "storage/Storage.h"
#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"
#include "terminal/CommandReply.h"
#include "terminal/ParamText.h"

namespace {


// Answers "T\r\n" and saves para.bin.
int Saved()
{
    ReplyTrue();
    SaveParaFile(0);
    return 0;
}

// The LAN link reconnects with the new settings when it is up.
void ReconnectLan()
{
    if (g_ucpLan == nullptr)
        return;
    int32_t state;
    std::memcpy(&state, g_ucpLan, sizeof state);
    if (state == LAN_UP) {
        state = LAN_CLOSE;
        std::memcpy(g_ucpLan, &state, sizeof state);
    }
}

// Stores text in a fixed text field of the record; true when it changed.
template <std::size_t N>
bool StoreText(char (&field)[N], const char *text)
{
    char next[N] = {};
    std::memcpy(next, text, strnlen(text, N - 1));
    bool changed = std::memcmp(field, next, N) != 0;
    std::memcpy(field, next, N);
    return changed;
}

// A fixed text field as a terminated string.
template <std::size_t N>
struct FieldText {
    char s[N + 1] = {};
    explicit FieldText(const char (&field)[N]) { std::memcpy(s, field, N); }
};

// ---- clock ----------------------------------------------------------------

// Rainfall is being counted in the current minute: the minute's rain, or
// the weighing gauge's amount when its sensor is enabled, of the minute
// record of the generation in use. A clock step now would split or double
// the minute's rain.
bool RainInMinute()
{
    if (FileSave == nullptr)
        return false;
    bool rawEnabled = defdata->ElementEnable[EL_RAW] == '1';
    if (defdataEx->Generation == 0) {
        const DmgdOldRec &r = FileSave->DmgdOld;
        return r.Value[DMGD_F_RAT] > 0 || (rawEnabled && r.Value[DMGD_OLD_F_RAW] > 0);
    }
    const DmgdRec &r = FileSave->Dmgd;
    return r.Value[DMGD_F_RAT] > 0 || (rawEnabled && r.Value[DMGD_F_RAW] > 0);
}

struct ClockCommand {
    const char *usage;
    char separator;            // '-' for the date, ':' for the time of day
    bool (*valid)(const int v[3]);
    void (*apply)(struct tm &t, const int v[3]);
};

bool ValidDate(const int v[3])
{
    return v[0] >= 2010 && v[1] >= 1 && v[1] <= 12 && v[2] >= 1 && v[2] <= 31 &&
           CheckDateValid(v[0], v[1], v[2]) == 1;
}
bool ValidTime(const int v[3]) { return v[0] >= 0 && v[0] <= 23 && v[1] >= 0 && v[1] <= 59 && v[2] >= 0 && v[2] <= 59; }
void ApplyDate(struct tm &t, const int v[3])
{
    t.tm_year = v[0] - 1900;
    t.tm_mon = v[1] - 1;
    t.tm_mday = v[2];
}
void ApplyTime(struct tm &t, const int v[3])
{
    t.tm_hour = v[0];
    t.tm_min = v[1];
    t.tm_sec = v[2];
}

constexpr ClockCommand kDate = {"DATE [YYYY-MM-DD]\r\n", '-', ValidDate, ApplyDate};
constexpr ClockCommand kTime = {"TIME [HH:MM:SS]\r\n", ':', ValidTime, ApplyTime};

int SetClock(const ClockCommand &c, const char *param)
{
    if (AsksUsage(param))
        return Reply("%s", c.usage);
    if (param[0] == '\0') {
        struct tm now = *GetTime(0);
        if (c.separator == '-')
            return Reply("%04d-%02d-%02d\r\n", now.tm_year, now.tm_mon, now.tm_mday);
        return Reply("%02d:%02d:%02d\r\n", now.tm_hour, now.tm_min, now.tm_sec);
    }
    if (RainInMinute())
        return ReplyFalse();
    for (const char *p = param; *p != '\0'; ++p)
        if (!(*p == ' ' || *p == c.separator || (*p >= '0' && *p <= '9')))
            return ReplyFalse();
    int v[3];
    if (term::ScanInts(param, c.separator, v, 3) != 3 || !c.valid(v))
        return ReplyFalse();

    MutexClockLock();
    time_t now = TpTime();
    MutexClockUnlock();
    struct tm t;
    localtime_r(&now, &t);
    c.apply(t, v);
    t.tm_isdst = -1;
    time_t next = mktime(&t);
    if (next == time_t(-1))
        return ReplyFalse();
    if (next - now >= -1 && next - now <= 1)
        return ReplyTrue();

    struct tm share;
    localtime_r(&next, &share);
    share.tm_year += 1900;
    share.tm_mon += 1;
    LoadShareClock(&share);
    if (SetSystemClock(next) != 0)
        return ReplyFalse();
    // The sampling boards hear the new time only while the bus answers.
    if (TemproraryData->MainStat.CanBusState == '0') {
        GetTime(0);
        MakeCanSendPacket(CANSEND_TIME, 0, 0);
    }
    return ReplyTrue();
}

// ---- position -------------------------------------------------------------

// "D.M.S" with exactly two dots, at most 16 characters of digits, dots,
// blanks and '-'; degrees within +-limit, minutes and seconds 0-59, nothing
// beyond the limit itself. Stored as "%d.%02d.%02d"; a value between 0 and
// -1 degree keeps its sign.
int SetPosition(char (&field)[16], int limit, const char *usage, const char *param)
{
    if (AsksUsage(param))
        return Reply("%s", usage);
    if (param[0] == '\0')
        return Reply("%s\r\n", FieldText(field).s);
    int len = int(strnlen(param, 17));
    if (len > 16 || FindStrCharNumber(param, '.') != 2)
        return ReplyFalse();
    for (int i = 0; i < len; ++i)
        if (!(CheckBlankNumberChar(param[i], 7) == 1 || param[i] == ' '))
            return ReplyFalse();
    int v[3];
    if (term::ScanInts(param, '.', v, 3) != 3)
        return ReplyFalse();
    int deg = v[0], min = v[1], sec = v[2];
    if (deg < -limit || deg > limit || min < 0 || min > 59 || sec < 0 || sec > 59)
        return ReplyFalse();
    if ((deg == limit || deg == -limit) && (min != 0 || sec != 0))
        return ReplyFalse();
    const char *p = param;
    while (*p == ' ')
        ++p;
    char text[24];
    std::snprintf(text, sizeof text, "%s%d.%02d.%02d", deg == 0 && *p == '-' ? "-" : "", deg, min, sec);
    StoreText(field, text);
    return Saved();
}

// ---- altitudes ------------------------------------------------------------

// A height in metres with at most one decimal, its first word shorter
// than 8 characters. Values that are not finite, or too large for a
// station, are refused.
bool ParseHeight(const char *param, float *out)
{
    const char *p = param;
    while (*p == ' ')
        ++p;
    std::size_t word = std::strcspn(p, " ");
    if (word >= 8 || word == 0)
        return false;
    char buf[8] = {};
    std::memcpy(buf, p, word);
    char *end = nullptr;
    double v = std::strtod(buf, &end);
    if (end == buf || !std::isfinite(v) || std::fabs(v) >= 1e7)
        return false;
    double tenths = v * 10.0;
    if (std::fabs(tenths - std::round(tenths)) > 1e-6)
        return false;
    *out = RoundData4To5(float(v), 1);
    return true;
}

// ---- addresses ------------------------------------------------------------

// "a.b.c.d", each part 0-255, as the normalised text. Returns the count of
// characters used, 0 when it does not parse.
int ParseAddress(const char *param, char (&text)[16])
{
    int v[4];
    int used = 0;
    if (term::ScanInts(param, '.', v, 4, &used) != 4)
        return 0;
    for (int x : v)
        if (x < 0 || x > 255)
            return 0;
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
    return used;
}

// IP and GW: the address text, then the shell command that applies it.
int SetAddress(char (&field)[16], const char *usage, const char *param, const char *cmdFormat)
{
    if (usage != nullptr && AsksUsage(param))
        return Reply("%s", usage);
    if (param[0] == '\0')
        return Reply("%s\r\n", FieldText(field).s);
    char text[16];
    if (ParseAddress(param, text) == 0)
        return ReplyFalse();
    if (StoreText(field, text))
        ReconnectLan();
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, cmdFormat, text);
    TpSystem(cmd);
    return Saved();
}

// ---- device types ---------------------------------------------------------

// A byte-sized setting chosen from a set of values (bit n: value n).
struct ByteSetting {
    uint8_t DefDataRec::*field;
    uint32_t allowed;              // 0: any value 0-255
    uint8_t DefDataRec::*other;    // the other port that may carry the ultrasonic wind sensor
    int (*reinit)();               // port re-initialisation after a change
    bool refuseSame;               // setting the stored value again is refused
    bool noDot;                    // the parameter must hold no '.'
};

constexpr uint32_t Bits(std::initializer_list<int> v)
{
    uint32_t m = 0;
    for (int x : v)
        m |= 1u << x;
    return m;
}

bool Ultrasonic(int v) { return v >= 9 && v <= 11; }

int SetByte(const ByteSetting &s, const char *param)
{
    uint8_t &stored = defdata->*s.field;
    if (param[0] == '\0')
        return Reply("%d\r\n", int(stored));
    if (s.noDot && std::strchr(param, '.') != nullptr)
        return ReplyFalse();
    int v;
    if (term::ScanInts(param, ' ', &v, 1) != 1 || v < 0 || v > 255)
        return ReplyFalse();
    if (s.allowed != 0 && (v > 31 || (s.allowed & (1u << v)) == 0))
        return ReplyFalse();
    // The ultrasonic wind sensor (types 9-11) sits on COM2 or on COM3,
    // never on both.
    if (s.other != nullptr && Ultrasonic(v) && Ultrasonic(defdata->*s.other))
        return ReplyFalse();
    if (s.refuseSame && v == stored)
        return ReplyFalse();
    if (v != stored) {
        stored = uint8_t(v);
        if (s.reinit != nullptr)
            s.reinit();
    }
    return Saved();
}

// The serial board converts wind directions by the type.
int ReinitWind() { return RunSampBoardInit(); }

// The ports reopen with the line settings of their new device type.
constexpr ByteSetting kSnowMode = {&DefDataRec::GpsPortType, Bits({0, 1, 8, 9, 10, 11}), &DefDataRec::VisiType,
                                   ReinitSnowDepth, false, false};
constexpr ByteSetting kVisiType = {&DefDataRec::VisiType, Bits({0, 1, 2, 3, 8, 9, 10, 11}), &DefDataRec::GpsPortType,
                                   ReinitVisibility, false, false};
constexpr ByteSetting kAirpType = {&DefDataRec::AirpType, Bits({0, 1, 2, 3, 4, 5, 8}), nullptr, ReinitAirp, false,
                                   false};
constexpr ByteSetting kRawMode = {&DefDataRec::RawMode, Bits({0, 1, 8}), nullptr, nullptr, false, false};
constexpr ByteSetting kCommType = {&DefDataRec::CommType, 0, nullptr, ReinitCom0, false, false};
constexpr ByteSetting kWindType = {&DefDataRec::MainWindType, Bits({0, 1}), nullptr, ReinitWind, false, true};
constexpr ByteSetting kSunshine = {&DefDataRec::SunshineMode, Bits({0, 1}), nullptr, nullptr, true, false};

// A '0'/'1' switch of the record.
int SetSwitch(char &field, const char *param, int mode)
{
    if (param[0] == '\0')
        return Reply("%c\r\n", field);
    int len = int(strnlen(param, 8));
    if (mode == 0) {
        if (len != 1 || (param[0] != '0' && param[0] != '1'))
            return ReplyFalse();
        field = param[0];
    } else {
        int v;
        if (CheckBlankNumberStr(param, 0, len - 1, 1) != 1 || term::ScanInts(param, ' ', &v, 1) != 1 ||
            (v != 0 && v != 1))
            return ReplyFalse();
        field = char('0' + v);
    }
    return Saved();
}

} // namespace

int SystemReboot(const char *)
{
    PrePareSend2Pc("System Reboot...\r\n");
    // Time for the reply to leave before the board goes down.
    sleep(1);
    RunReboot();
}

int SetCom(const char *param)
{
    if (AsksUsage(param))
        return Reply("SETCOM [9600 8 N 1]\r\n");
    if (param[0] == '\0')
        return Reply("%s\r\n", FieldText(TemproraryData->ComSetting).s);
    // "%d %d %c %d": speed, data bits, parity letter, stop bits.
    int v[2], stop, used;
    if (term::ScanInts(param, ' ', v, 2, &used) != 2)
        return ReplyFalse();
    const char *p = param + used;
    while (*p == ' ' || *p == '\t')
        ++p;
    char parity = *p;
    if (parity == '\0' || term::ScanInts(p + 1, ' ', &stop, 1) != 1)
        return ReplyFalse();
    int speed = v[0], bits = v[1];
    // The answer leaves at the old settings, before the port changes.
    ReplyTrue();
    sleep(1);
    int fd = PortFd(COM1);
    if (fd >= 0)
        tcflush(fd, TCIFLUSH);
    zsleep(200);
    if (set_speed(fd, speed) != 1 || set_Parity(fd, bits, stop, parity) != 1)
        return ReplyFalse();
    // Kept as AUTOCHECK and the query show it, whatever the case or
    // spacing it was typed in.
    if (parity >= 'a' && parity <= 'z')
        parity = char(parity - 'a' + 'A');
    std::snprintf(TemproraryData->ComSetting, sizeof TemproraryData->ComSetting, "%d %d %c %d", speed, bits, parity,
                  stop);
    zsleep(100);
    tcflush(fd, TCIFLUSH);
    zsleep(100);
    return 0;
}

int GetBaseinfo(const char *param)
{
    if (AsksUsage(param))
        return Reply("BASEINFO\r\n");
    return Reply("BASEINFO 4\rmC ko001\rMODEL KO2000\rID %s\rVer %s\r\n", FieldText(defdata->StationId).s,
                 term::kSoftVersion);
}

int SetDate(const char *param) { return SetClock(kDate, param); }
int SetTime(const char *param) { return SetClock(kTime, param); }

int SetId(const char *param)
{
    if (AsksUsage(param))
        return Reply("ID [xxxxx]\r\n");
    if (param[0] == '\0') {
        char id[sizeof defdata->StationId + 1] = {};
        std::memcpy(id, defdata->StationId, 5);
        FillLeftZero(id, 5);
        return Reply("%s\r\n", id);
    }
    if (strnlen(param, 6) != 5 || CheckBlankNumberStr(param, 0, 4, 8) != 1)
        return ReplyFalse();
    StoreText(defdata->StationId, param);
    return Saved();
}

int SetLat(const char *param) { return SetPosition(defdata->Lat, 90, "LAT [DD.MM.SS]\r\n", param); }
int SetLong(const char *param) { return SetPosition(defdata->Long, 180, "LONG [DDD.MM.SS]\r\n", param); }

int SetTd(const char *param)
{
    if (AsksUsage(param))
        return Reply("TD [MM]\r\n");
    if (param[0] == '\0') {
        int32_t td = defdata->Td;
        return Reply("%d\r\n", int(td));
    }
    int last = int(strnlen(param, CMD_PARAM_MAX + 1)) - 1;
    if (CheckBlankNumberStr(param, 0, last, 9) != 1 || (param[0] != '-' && CheckBlankNumberStr(param, 0, last, 0) != 1))
        return ReplyFalse();
    int v;
    if (term::ScanInts(param, ' ', &v, 1) != 1 || v < -720 || v > 720)
        return ReplyFalse();
    defdata->Td = v;
    return Saved();
}

int SetAltp(const char *param)
{
    if (AsksUsage(param))
        return Reply("ALTP [DDDD.D]\r\n");
    if (param[0] == '\0') {
        float a = defdata->AltP;
        return Reply("%0.1f\r\n", double(a));
    }
    if (param[0] != '-' && !term::OnlyOf(param, "0123456789. "))
        return ReplyFalse();
    float v;
    if (!ParseHeight(param, &v))
        return ReplyFalse();
    defdata->AltP = v;
    return Saved();
}

int SetAlt(const char *param)
{
    if (AsksUsage(param))
        return Reply("ALT [DDD.D]\r\n");
    if (param[0] == '\0') {
        float a = defdata->Alt;
        return Reply("%0.1f\r\n", double(a));
    }
    for (const char *p = param; *p != '\0'; ++p)
        if (!(CheckBlankNumberChar(*p, 8) == 1 || CheckBlankNumberChar(*p, 7) == 1 || *p == ' '))
            return ReplyFalse();
    float v;
    if (!ParseHeight(param, &v))
        return ReplyFalse();
    defdata->Alt = v;
    defdata->AltP = v + 1.5f;
    return Saved();
}

int SetIp(const char *param)
{
    return SetAddress(defdata->Ip, "IP [xxx.xxx.xxx.xxx]\r\n", param,
                      g_HardwareCheck == 0 ? "ifconfig eth0 %s up" : "ifconfig eth1 %s up");
}

int SetGw(const char *param) { return SetAddress(defdata->Gw, nullptr, param, "route add default gw %s"); }

int SetDestIPAndPort(const char *param)
{
    if (param[0] == '\0') {
        int32_t port = defdata->DestPort;
        return Reply("%s %d\r\n", FieldText(defdata->DestIp).s, int(port));
    }
    char text[16];
    int used = ParseAddress(param, text);
    int port;
    if (used == 0 || term::ScanInts(param + used, ' ', &port, 1) != 1 || port < 1 || port > 65535)
        return ReplyFalse();
    bool changed = StoreText(defdata->DestIp, text);
    int32_t old = defdata->DestPort;
    defdata->DestPort = port;
    if (changed || old != port)
        ReconnectLan();
    return Saved();
}

int SetSerialNo(const char *param)
{
    if (AsksUsage(param))
        return Reply("SERIALNO [xxxxxxx]\r\n");
    if (param[0] == '\0')
        return Reply("%s\r\n", FieldText(defdata->SerialNo).s);
    int len = int(strnlen(param, 15));
    if (len > 14 || CheckBlankNumberStr(param, 0, len - 1, 8) != 1)
        return ReplyFalse();
    StoreText(defdata->SerialNo, param);
    return Saved();
}

int SetConfigType(const char *param) { return SetByte(kSnowMode, param); }
int SetVisiType(const char *param) { return SetByte(kVisiType, param); }
int SetAirpType(const char *param) { return SetByte(kAirpType, param); }
int SetRawMode(const char *param) { return SetByte(kRawMode, param); }
int SetCommType(const char *param) { return SetByte(kCommType, param); }
int SetMainWindType(const char *param) { return SetByte(kWindType, param); }
int Setsunshinemode(const char *param) { return SetByte(kSunshine, param); }

int GpsValidSet(const char *param) { return SetSwitch(defdata->GpsValid, param, 0); }
int CFValidSet(const char *param) { return SetSwitch(defdata->CfValid, param, 1); }

int SetChgVer(const char *param)
{
    int32_t current = defdataEx->Generation;
    if (param[0] == '\0')
        return Reply("%d\r\n", int(current));
    int v;
    if (term::ScanInts(param, ' ', &v, 1) != 1 || (v != 0 && v != 1))
        return ReplyFalse();
    if (v == current)
        return ReplyTrue();
    // The last-minute state of the older generation means nothing to the
    // newer one.
    if (current == 0) {
        TpUnlink("/mnt/nand3/tempdata/lastmindata.bin");
        TpUnlink("/mnt/nand3/tempdata/lastmindata_new.bin");
    }
    defdataEx->Generation = v;
    SaveParaFileEx(0);
    ReplyTrue();
    DeleteFile_Future();
    // The station comes back with the factory parameters of the new
    // generation.
    TpUnlink("/mnt/nand2/para.bin");
    sleep(1);
    RunReboot();
}
