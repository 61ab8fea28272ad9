// The command handlers, one per command of the command table. Each takes
// the parameter text (empty when the command had none), answers only
// through PrePareSend2Pc and returns 0, or -1 when it failed.
#pragma once

using CommandHandler = int (*)(const char *parameter);

// Station setup.
int SystemReboot(const char *);
int SetCom(const char *);
int GetBaseinfo(const char *);
int SetDate(const char *);
int SetTime(const char *);
int SetId(const char *);
int SetLat(const char *);
int SetLong(const char *);
int SetTd(const char *);
int SetAltp(const char *);
int SetIp(const char *);
int SetSerialNo(const char *);
int SetAlt(const char *);
int SetGw(const char *);
int SetDestIPAndPort(const char *);
int SetChgVer(const char *);
int SetConfigType(const char *);
int SetAirpType(const char *);
int SetVisiType(const char *);
int SetCommType(const char *);
int SetMainWindType(const char *);
int Setsunshinemode(const char *);
int SetRawMode(const char *);
int GpsValidSet(const char *);
int CFValidSet(const char *);
// Status and self-check.
int AutoCheck(const char *);
int GetDoorState(const char *);
int GetMact(const char *);
int GetPss(const char *);
int SetRsta(const char *);
int GetHelp(const char *);
int GetVersion(const char *);
int TestFreeSpace(const char *);
int GetSunArch(const char *);
int GetUptime(const char *);
int GetMainStat(const char *);
int GetClimStat(const char *);
int GetRadiStat(const char *);
int GetSoilStat(const char *);
int GetSeaaStat(const char *);
int GetEathStat(const char *);
int GetTerhStat(const char *);
int GetIntlStat(const char *);
int GetSensorState(const char *);
int GetState(const char *);
int GetTAirStat(const char *);
int GetTRainStat(const char *);
// QC and calibration parameters.
int SetQcps(const char *);
int SetQcpm(const char *);
int GetGale(const char *);
int SetTmax(const char *);
int SetTmin(const char *);
int SetRmax(const char *);
int SetDtlt(const char *);
int SetDtlv(const char *);
int SetChrod1(const char *);
int SetChrod2(const char *);
int SetChrod3(const char *);
int SetScv(const char *);
int SetSenco(const char *);
int ModifyPam(const char *);
int SetRQcps(const char *);
int SetRQcpm(const char *);
int SetRScv(const char *);
int SetRSenco(const char *);
int SetRtfth(const char *);
int SetRtdth(const char *);
int SetRpdth(const char *);
int SetRSencoko(const char *);
// Maintenance.
int RestToFactory(const char *);
int UpGradeCode(const char *);
int DownLoaddata(const char *);
int Deletoldfile(const char *);
int GetParameterfile(const char *);
int PutParameterfile(const char *);
int SystemCommandExecute(const char *);
int DebugCom(const char *);
int RelayControl(const char *);
int SetWarnSet(const char *);
// 0 when a USB disk is mounted at /mnt/udisk (mounting it when it can),
// else -1.
int CheckUsbMounted();
// Real-time view.
int GetOBSample(const char *);
// Sensor and mode configuration.
int SetSensi(const char *);
int GetSmc(const char *);
int SetSenst(const char *);
int SetPlatfom2Ground(const char *);
int SetWsPlatfom2Ground(const char *);
int SetModifyWdPam(const char *);
int SetSampleSaveFlag(const char *);
int SetFileTimeOut(const char *);
int SetObVaild(const char *);
int SetDevMode(const char *);
int SetInfraredPara(const char *);
int SetClimSpeed(const char *);
int SetMainBoardSave(const char *);
int SetSenstDef(const char *);
int SetDoorValid(const char *);
int SetLESensorMode(const char *);
int SetLESensorCalibration(const char *);
int SetQcCtrl(const char *);
int SetSTLX(const char *);
// DOORVALID downloads the serial board's configuration again; the station
// hands the download down at start-up (none: the flag is only stored).
void SetSampBoardInitHook(int (*download)());
// Runs the download handed down, if any (WINDTYPE repeats it after a
// change too).
int RunSampBoardInit();
// Data retrieval.
int GetDmgd(const char *);
int GetDmcd(const char *);
int GetDmrd(const char *);
int GetDmsd(const char *);
int GetDmod(const char *);
int GetDhgd(const char *);
int GetDhgdnz(const char *);
int GetDhcd(const char *);
int GetDhrd(const char *);
int GetDhsd(const char *);
int GetDhod(const char *);
int GetSample(const char *);
int GetSampleQ(const char *);
int GetBjData(const char *);
