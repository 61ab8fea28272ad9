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
int SetQcps(const char *) { return NotYet(); }
int SetQcpm(const char *) { return NotYet(); }
int GetGale(const char *) { return NotYet(); }
int SetTmax(const char *) { return NotYet(); }
int SetTmin(const char *) { return NotYet(); }
int SetRmax(const char *) { return NotYet(); }
int SetDtlt(const char *) { return NotYet(); }
int SetDtlv(const char *) { return NotYet(); }
int SetChrod1(const char *) { return NotYet(); }
int SetChrod2(const char *) { return NotYet(); }
int SetChrod3(const char *) { return NotYet(); }
int SetScv(const char *) { return NotYet(); }
int SetSenco(const char *) { return NotYet(); }
int ModifyPam(const char *) { return NotYet(); }
int SetRQcps(const char *) { return NotYet(); }
int SetRQcpm(const char *) { return NotYet(); }
int SetRScv(const char *) { return NotYet(); }
int SetRSenco(const char *) { return NotYet(); }
int SetRtfth(const char *) { return NotYet(); }
int SetRtdth(const char *) { return NotYet(); }
int SetRpdth(const char *) { return NotYet(); }
int SetRSencoko(const char *) { return NotYet(); }
int RestToFactory(const char *) { return NotYet(); }
int UpGradeCode(const char *) { return NotYet(); }
int DownLoaddata(const char *) { return NotYet(); }
int GetParameterfile(const char *) { return NotYet(); }
int PutParameterfile(const char *) { return NotYet(); }
int SystemCommandExecute(const char *) { return NotYet(); }
int RelayControl(const char *) { return NotYet(); }
int SetSensi(const char *) { return NotYet(); }
int GetSmc(const char *) { return NotYet(); }
int SetSenst(const char *) { return NotYet(); }
int SetPlatfom2Ground(const char *) { return NotYet(); }
int SetWsPlatfom2Ground(const char *) { return NotYet(); }
int SetModifyWdPam(const char *) { return NotYet(); }
int SetSampleSaveFlag(const char *) { return NotYet(); }
int SetFileTimeOut(const char *) { return NotYet(); }
int SetObVaild(const char *) { return NotYet(); }
int SetDevMode(const char *) { return NotYet(); }
int SetInfraredPara(const char *) { return NotYet(); }
int SetClimSpeed(const char *) { return NotYet(); }
int SetMainBoardSave(const char *) { return NotYet(); }
int SetSenstDef(const char *) { return NotYet(); }
int SetDoorValid(const char *) { return NotYet(); }
int SetLESensorMode(const char *) { return NotYet(); }
int SetLESensorCalibration(const char *) { return NotYet(); }
int SetQcCtrl(const char *) { return NotYet(); }
int SetSTLX(const char *) { return NotYet(); }
