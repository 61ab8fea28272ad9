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
