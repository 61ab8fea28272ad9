// The status and self-check commands: the self-check report, the status
// line of the main unit and of each sampling sub-unit, the sensor states,
// single readings of the main board, versions, free space, uptime, the
// command list and the sun height. They only read the live state and the
// parameters (SPACE also measures the media).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "sampling/Sensortable.h"
#include "storage/Storage.h"
#include "terminal/CommandHandlers.h"
#include "terminal/CommandReply.h"
#include "terminal/ParamText.h"
#include "terminal/ListenToPc.h"

namespace {


// A reading of the live state times 10 as the integer the status lines
// print, multiplied in single precision as the reading is kept (12.9 V
// shows as 129). Shared memory may hold anything, so values an int cannot
// take are pinned rather than converted.
int Tenfold(float v) { return term::PinnedInt(double(v * 10.0f)); }

bool Enabled(int obValidPos) { return defdata->ObValid[obValidPos] == '1'; }

// ---- sub-unit status lines ------------------------------------------------

// The fields of one status record in reply order.
struct UnitFields {
    char state;
    char text[64];
};

enum class UnitKind : uint8_t { Sub, Terh, Ext };

struct UnitLine {
    const char *name;
    int obValid;
    UnitKind kind;
    int index;          // SubStat index, or 0 TAIR / 1 RAIN for the extension boards
    const char *blank;  // the dashes of a line without readings
};

constexpr const char kTen[] = "- - - - - - - - - -";
constexpr UnitLine kUnits[] = {
    {"STATCLIM", OB_CLIM, UnitKind::Sub, SUB_CLIM, kTen},
    {"STATRADI", OB_RADI, UnitKind::Sub, SUB_RADI, kTen},
    {"STATSOIL", OB_SOIL, UnitKind::Sub, SUB_SOIL, kTen},
    {"STATSEAA", OB_SEAA, UnitKind::Sub, SUB_SEAA, kTen},
    {"STATEATH", OB_EATH, UnitKind::Sub, SUB_EATH, kTen},
    {"STATTARH", OB_TERH, UnitKind::Terh, 0, "- - - -"},
    {"STATTAIR", OB_TAIR, UnitKind::Ext, 0, "- - - - - - - - - - - -"},
    {"STATRAIN", OB_RAIN, UnitKind::Ext, 1, "- - - - - - - - - - - -"},
};

int UnitStat(const UnitLine &u)
{
    const TemproraryDataRec &td = *TemproraryData;
    // The air-temperature and rain boards exist only in the newer
    // generation; the older one does not answer for them.
    if (u.kind == UnitKind::Ext && defdataEx->Generation == 0)
        return 0;
    char state;
    char fields[96];
    switch (u.kind) {
    case UnitKind::Sub: {
        const SubCollectorStat &s = td.SubStat[u.index];
        state = s.State;
        std::snprintf(fields, sizeof fields, "%d %c %d %c %c - - - - -", Tenfold(s.Reading1), s.State2,
                      Tenfold(s.Reading2), s.Flag1, s.Flag2);
        break;
    }
    case UnitKind::Terh: {
        const TerhStat &s = td.Terh;
        state = s.State1;
        std::snprintf(fields, sizeof fields, "%d %c %d %c", int(s.Reading1) * 10, s.State2, int(s.Reading2) * 10,
                      s.State3);
        break;
    }
    case UnitKind::Ext:
    default: {
        const ExtBoardStat &s = u.index == 0 ? td.TairStat : td.RainStat;
        state = s.State;
        std::snprintf(fields, sizeof fields, "%d %c %d %c %c %d %d - - - - -", Tenfold(s.SupplyVoltage),
                      s.VoltageLow, Tenfold(s.BoardTemp), s.Ch1, s.Ch2, int(s.Status1), int(s.Status2));
        break;
    }
    }
    if (!Enabled(u.obValid) || state == 'N')
        return Reply("%s N %s\r\n", u.name, u.blank);
    if (state == '9' || state == '2')
        return Reply("%s %c %s\r\n", u.name, state, u.blank);
    return Reply("%s %c %s\r\n", u.name, state, fields);
}

int Unit(const char *name)
{
    for (const UnitLine &u : kUnits)
        if (std::strcmp(u.name, name) == 0)
            return UnitStat(u);
    return 0;
}

// ---- free space -----------------------------------------------------------

// "df -m" of one mount point: true with total and free megabytes.
bool DiskSpace(const char *mountPoint, int *total, int *freeMb)
{
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, "df -m |grep %s > usbmount", mountPoint);
    TpSystem(cmd);
    char buf[257] = {};
    bool ok = false;
    if (FILE *f = TpFopen("usbmount", "r")) {
        std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        buf[n] = '\0';
        std::fclose(f);
        // "%s %d %d %d": file system, total, used and free megabytes.
        const char *p = buf + std::strspn(buf, " \t");
        p += std::strcspn(p, " \t\r\n");
        int mb[3] = {};
        ok = p != buf && term::ScanInts(p, ' ', mb, 3) == 3;
        if (ok) {
            *total = mb[0];
            *freeMb = mb[2];
        }
    }
    TpSystem("rm usbmount -f");
    return ok;
}

// ---- sun height -----------------------------------------------------------

// Rounds halves away from zero.
double MY_round(double v) { return std::round(v); }

// "D.M.S" as decimal degrees; the sign of the degrees applies to the whole
// value, so 33 degrees 30 minutes south is -33.5, not -32.5.
bool Degrees(const char (&field)[16], double *out)
{
    char text[17] = {};
    std::memcpy(text, field, sizeof field);
    int v[3];
    if (term::ScanInts(text, '.', v, 3) != 3)
        return false;
    const char *p = text;
    while (*p == ' ')
        ++p;
    double mag = std::fabs(double(v[0])) + v[1] / 60.0 + v[2] / 3600.0;
    *out = *p == '-' ? -mag : mag;
    return true;
}

} // namespace

// Height of the sun (degrees) at the station's position for a local
// standard time of the 120 degrees east meridian.
double SunHeight(const struct tm &t, double latitude, double longitude, double *sinh)
{
    const double pi = 3.14159265358979323846;
    int year = t.tm_year;
    double n0 = 79.6764 + 0.2422 * (year - 1985) - int((year - 1985) * 0.25);
    double hours = t.tm_hour + t.tm_min / 60.0;
    double days = t.tm_yday + (hours - longitude / 15.0) / 24.0 - n0;
    double theta = 2.0 * pi * days / 365.2422;
    double et = 0.0028 - 1.9857 * std::sin(theta) + 9.9059 * std::sin(2 * theta) - 7.0924 * std::cos(theta) -
                0.6882 * std::cos(2 * theta);
    double etHours = MY_round(et / 60.0 * 100.0) / 100.0;
    double decl = 0.3723 + 23.2567 * std::sin(theta) + 0.1149 * std::sin(2 * theta) - 0.1712 * std::sin(3 * theta) -
                  0.758 * std::cos(theta) + 0.3656 * std::cos(2 * theta) + 0.0201 * std::cos(3 * theta);
    double solar = hours + etHours + (120.0 - longitude) * 4.0 / 60.0;
    double omega = (solar - 12.0) * 15.0;
    const double rad = pi / 180.0;
    double s = std::sin(latitude * rad) * std::sin(decl * rad) +
               std::cos(latitude * rad) * std::cos(decl * rad) * std::cos(omega * rad);
    *sinh = s;
    return std::asin(s) / rad;
}

int AutoCheck(const char *param)
{
    if (AsksUsage(param))
        return Reply("AUTOCHECK\r\n");
    const TemproraryDataRec &td = *TemproraryData;
    const DefDataRec &d = *defdata;
    const MainCollectorStat &m = td.MainStat;
    struct tm now = *GetTime(0);
    char com[sizeof td.ComSetting + 1] = {};
    std::memcpy(com, td.ComSetting, sizeof td.ComSetting);
    float mact = m.Mact, volt = m.SupplyVoltage;
    auto on = [&](int pos) { return d.ObValid[pos] != '0' ? 1 : 0; };
    auto en = [&](int el) { return d.ElementEnable[el]; };
    return Reply("AUTOCHECK 21\rDATE %04d-%02d-%02d\rTIME %02d:%02d:%02d\rGPS %s\rCOM %s\rMACT %0.1f\rDC %0.1f\r"
                 "TARH %d\rCLIM %d\rRADI %d\rEATH %d\rSOIL %d\r"
                 "WD %c\rWS %c\rT0 %c\rU %c\rRAT %c\rP %c\rVI %c\rLE %c\rGR %c\rRAW %c\r\n",
                 now.tm_year, now.tm_mon, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec,
                 m.GpsState == '0' ? "OK" : "FAIL", com, double(mact), double(volt), on(OB_TERH), on(OB_CLIM),
                 on(OB_RADI), on(OB_EATH), on(OB_SOIL), en(EL_WD), en(EL_WS), en(EL_T0), en(EL_U), en(EL_RAT),
                 en(EL_P), en(EL_VI), en(EL_LE), en(EL_GR), en(EL_RAW));
}

int GetMainStat(const char *)
{
    const TemproraryDataRec &td = *TemproraryData;
    const MainCollectorStat &m = td.MainStat;
    char le[16] = "-", raw[16] = "-";
    if (defdata->ElementEnable[EL_LE] == '1')
        std::snprintf(le, sizeof le, "%d", Tenfold(td.CurrentValue[EL_LE]));
    if (defdata->ElementEnable[EL_RAW] == '1')
        std::snprintf(raw, sizeof raw, "%d", Tenfold(td.CurrentValue[EL_RAW]));
    char space[16] = "-";
    if (m.CfState == '0') {
        int32_t mb = m.CFSpace;
        std::snprintf(space, sizeof space, "%d", int(mb));
    }
    return Reply("STATMAIN 0 %d %c %d %c %c %c %s %c %c %c %c %c %s %s - - - - -\r\n", Tenfold(m.SupplyVoltage),
                 m.PowerKind, Tenfold(m.Mact), m.TerhState, m.WindState, m.CfState, space, m.GpsState, m.DoorState,
                 m.CanExtState, m.ListenState, m.CanBusState, le, raw);
}

int GetClimStat(const char *) { return Unit("STATCLIM"); }
int GetRadiStat(const char *) { return Unit("STATRADI"); }
int GetSoilStat(const char *) { return Unit("STATSOIL"); }
int GetSeaaStat(const char *) { return Unit("STATSEAA"); }
int GetEathStat(const char *) { return Unit("STATEATH"); }
int GetTerhStat(const char *) { return Unit("STATTARH"); }
int GetTAirStat(const char *) { return Unit("STATTAIR"); }
int GetTRainStat(const char *) { return Unit("STATRAIN"); }

int GetIntlStat(const char *param)
{
    int n;
    if (term::ScanInts(param, ' ', &n, 1) != 1) {
        PrePareSend2Pc("F\n");
        return -1;
    }
    // No intelligent sensors are attached to this logger.
    if (n < 1 || n > 5)
        return ReplyFalse();
    return Reply("STATINTL_%d N - - - - - - - - - -\r\n", n);
}

int GetSensorState(const char *param)
{
    const TemproraryDataRec &td = *TemproraryData;
    bool current = defdataEx->Generation != 0;
    if (param[0] == '\0') {
        int last = current ? 79 : 73;
        char text[96];
        std::memcpy(text, td.SensorState + 1, std::size_t(last));
        std::memcpy(text + last, "\r\n", 2);
        PrePareSend2PcLen(text, last + 2);
        return 0;
    }
    // "TD" names the dew point, which sits in another row in each
    // generation.
    int row = std::strcmp(param, "TD") == 0 ? (current ? 11 : 8) : SensorIndexByCode(param);
    if (row < 0 || row >= SENSORTABLE_NAMED_ROWS)
        return ReplyFalse();
    return Reply("%c\r\n", td.SensorState[row]);
}

int GetState(const char *)
{
    struct tm now = *GetTime(0);
    char text[sizeof TemproraryData->StationStateText + 1] = {};
    std::memcpy(text, TemproraryData->StationStateText, sizeof TemproraryData->StationStateText);
    // Before the first status line of the day the text is empty; the
    // reply still ends its line.
    return Reply("STAT %04d-%02d-%02d %02d:%02d %s%s", now.tm_year, now.tm_mon, now.tm_mday, now.tm_hour,
                 now.tm_min, text, text[0] == '\0' ? "\r\n" : "");
}

int GetDoorState(const char *param)
{
    if (AsksUsage(param))
        return Reply("DOOR\r\n");
    return Reply("%c\r\n", TemproraryData->MainStat.DoorState);
}

int GetMact(const char *param)
{
    if (AsksUsage(param))
        return Reply("MACT\r\n");
    float mact = TemproraryData->MainStat.Mact;
    return Reply("%0.1f\r\n", double(mact));
}

int GetPss(const char *param)
{
    if (AsksUsage(param))
        return Reply("PSS\r\n");
    const MainCollectorStat &m = TemproraryData->MainStat;
    float volt = m.SupplyVoltage;
    return Reply(m.PowerKind == '0' ? "AC,%0.1f\r\n" : "DC,%0.1f\r\n", double(volt));
}

int SetRsta(const char *param)
{
    if (AsksUsage(param))
        return Reply("RSTA\r\n");
    const MainCollectorStat &m = TemproraryData->MainStat;
    float mact = m.Mact, volt = m.SupplyVoltage;
    return Reply("%c %0.1f %0.1f %.79s\r\n", m.DoorState, double(mact), double(volt), defdata->ElementEnable + 1);
}

int GetVersion(const char *param)
{
    if (AsksUsage(param))
        return Reply("VERSION\r\n");
    return Reply("HARDVERSION:%s SOFTVSERION:%s FILEVERSION:%s, COMPILETIME %s %s\r\n", "V1.00", term::kSoftVersion,
                 "V1.00", "Nov 24 2020", "10:58:35");
}

int TestFreeSpace(const char *)
{
    if (defdata->CfValid != '1')
        return ReplyFalse();
    // A card that was mounted stays mounted: the CF saves of every minute
    // rely on it. Only a card mounted for this measurement goes back.
    bool mountedHere = false;
    if (CheckCfMounted() != 0) {
        CfCardMount();
        mountedHere = true;
    }
    char reply[256] = {};
    int len = 0;
    int total = 0, freeMb = 0;
    bool cf = DiskSpace("/mnt/cf", &total, &freeMb);
    TemproraryData->MainStat.CFSpace = cf ? freeMb : 0;
    if (cf)
        len += std::snprintf(reply + len, sizeof reply - std::size_t(len), "CF,total:%d M,free:%d M\r\n", total,
                             freeMb);
    // Unmounted again, the card takes no saves until it is mounted anew.
    if (mountedHere) {
        CfCardUmount();
        TemproraryData->MainStat.CfState = '1';
    }
    static constexpr const char *kNand[][2] = {{"/mnt/nand2", "NAND2"}, {"/mnt/nand3", "NAND3"}};
    for (const auto &n : kNand)
        if (DiskSpace(n[0], &total, &freeMb) && len < int(sizeof reply))
            len += std::snprintf(reply + len, sizeof reply - std::size_t(len), "%s,total:%d M,free:%d M\r\n", n[1],
                                 total, freeMb);
    if (len > int(sizeof reply) - 1)
        len = int(sizeof reply) - 1;
    if (len > 0)
        PrePareSend2PcLen(reply, len);
    return 0;
}

int GetUptime(const char *)
{
    TpSystem("uptime >uptime.txt");
    TpSystem("chmod 777 uptime.txt");
    FILE *f = TpFopen("uptime.txt", "r");
    if (f == nullptr)
        return -1;
    char text[128 + 3] = {};
    std::size_t n = std::fread(text, 1, 128, f);
    std::fclose(f);
    TpSystem("rm uptime.txt");
    text[n] = '\0';
    n = strnlen(text, n);
    std::memcpy(text + n, "\r\n", 2);
    PrePareSend2PcLen(text, int(n) + 2);
    return 0;
}

int GetHelp(const char *param)
{
    if (AsksUsage(param))
        return Reply("HELP\r\n");
    return Reply("%s", "HELP REBOOT,SETCOM,BASEINFO,AUTOCHECK,DATE,TIME,ID,LAT,LONG,TD,ALTP,SENSI,SMC,DOOR,MACT,PSS,"
                       "SENST,RSTA,SENCO,DEVMODE,DAUSET,GPSSET,CFSET,STATMAIN,STATTARH,STATCLIM,STATRADI,STATEATH,"
                       "STATSOIL,STATSEAA,STATINTL,STATSENSOR,STAT,HELP,QCPS,QCPM,SAMPLE,DMGD,DMCD,DMRD,DMSD,DMOD,"
                       "DHGD,DHCD,DHRD,DHSD,DHOD,GALE,TMAX,TMIN,RMAX,DTLT,DTLV,VERSION\r\n");
}

int GetSunArch(const char *)
{
    double lon, lat;
    if (!Degrees(defdata->Long, &lon) || !Degrees(defdata->Lat, &lat))
        return Reply("Long?\r\n");
    struct tm now = *GetTime(0);
    double s;
    double h = SunHeight(now, lat, lon, &s);
    return Reply("SINHA:%0.2f Ha:%0.2f\r\n", s, h);
}
