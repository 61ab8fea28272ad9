// Handlers of the command families that are not built yet. Each refuses
// with "F\r\n" so a terminal always gets an answer; a family that lands
// deletes its lines here.
#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"

namespace {
int NotYet()
{
    PrePareSend2Pc("F\r\n");
    return -1;
}
} // namespace

int SystemReboot(const char *) { return NotYet(); }
int SetCom(const char *) { return NotYet(); }
int GetBaseinfo(const char *) { return NotYet(); }
int SetDate(const char *) { return NotYet(); }
int SetTime(const char *) { return NotYet(); }
int SetId(const char *) { return NotYet(); }
int SetLat(const char *) { return NotYet(); }
int SetLong(const char *) { return NotYet(); }
int SetTd(const char *) { return NotYet(); }
int SetAltp(const char *) { return NotYet(); }
int SetIp(const char *) { return NotYet(); }
int SetSerialNo(const char *) { return NotYet(); }
int SetAlt(const char *) { return NotYet(); }
int SetGw(const char *) { return NotYet(); }
int SetDestIPAndPort(const char *) { return NotYet(); }
int SetChgVer(const char *) { return NotYet(); }
int SetConfigType(const char *) { return NotYet(); }
int SetAirpType(const char *) { return NotYet(); }
int SetVisiType(const char *) { return NotYet(); }
int SetCommType(const char *) { return NotYet(); }
int SetMainWindType(const char *) { return NotYet(); }
int Setsunshinemode(const char *) { return NotYet(); }
int SetRawMode(const char *) { return NotYet(); }
int GpsValidSet(const char *) { return NotYet(); }
int CFValidSet(const char *) { return NotYet(); }
int AutoCheck(const char *) { return NotYet(); }
int GetDoorState(const char *) { return NotYet(); }
int GetMact(const char *) { return NotYet(); }
int GetPss(const char *) { return NotYet(); }
int SetRsta(const char *) { return NotYet(); }
int GetHelp(const char *) { return NotYet(); }
int GetVersion(const char *) { return NotYet(); }
int TestFreeSpace(const char *) { return NotYet(); }
int GetSunArch(const char *) { return NotYet(); }
int GetUptime(const char *) { return NotYet(); }
int GetMainStat(const char *) { return NotYet(); }
int GetClimStat(const char *) { return NotYet(); }
int GetRadiStat(const char *) { return NotYet(); }
int GetSoilStat(const char *) { return NotYet(); }
int GetSeaaStat(const char *) { return NotYet(); }
int GetEathStat(const char *) { return NotYet(); }
int GetTerhStat(const char *) { return NotYet(); }
int GetIntlStat(const char *) { return NotYet(); }
int GetSensorState(const char *) { return NotYet(); }
int GetState(const char *) { return NotYet(); }
int GetTAirStat(const char *) { return NotYet(); }
int GetTRainStat(const char *) { return NotYet(); }
