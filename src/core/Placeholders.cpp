// Steps of start-up and of the processes whose subsystems are not built
// yet. Each one does nothing and reports success, so the station starts and
// runs; the subsystems replace them one by one.
#include "canbus/CanReceive.h"
#include "core/BoardDownload.h"
#include "core/Main.h"
#include "processing/DataProcess.h"
#include "storage/Storage.h"
#include "terminal/Collaborators.h"

#include <unistd.h>

int CfCardInit() { return 0; }
int CfCardMount() { return 0; }
int TestCfSpace() { return 0; }
int DeleteOldFile_II() { return 0; }
int DeleteNand3() { return 0; }
int Copy2CfCard() { return 0; }


// Serial instrument readers: until they exist their lines are dropped.
int ProcessSampboard(const char *) { return 0; }
int ProcessSampboardFloat(const char *) { return 0; }
int ReadGps(const char *) { return 0; }
int ReadVisibility(const char *) { return 0; }
int ReadAirpress(const char *) { return 0; }
int ReadRainWeight(const char *) { return 0; }
int ProcessUltData(int, const char *, int) { return 0; }

int CheckCfMounted() { return -1; }
int CheckCfCardStatusAndMount() { return 0; }
// Calendar check of the setup commands; a stand-in until they land.
int CheckDateValid(int year, int month, int day)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || year > 2030 || month < 1 || month > 12 || day < 1)
        return -1;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last ? 1 : -1;
}

// Records and files of the minute cycle that later subsystems build.
void DmrdCalculate() {}
void Dmrd1Calculate() {}
void DmcdCalculate() {}
int DmrdSave() { return 0; }
int DmrdSaveCF() { return 0; }
int DmcdSave() { return 0; }
int DmcdSaveCF() { return 0; }
int DmodSave() { return 0; }
int DmsdSave() { return 0; }
int SampleSave() { return 0; }
int SampleSaveCF() { return 0; }
int RRFileSave(const char *) { return 0; }
int GGFileSave(const char *, const char *) { return 0; }
int GGFileSave_Old(const char *, const char *) { return 0; }
int STFileSave() { return 0; }
int STFileSave_Old() { return 0; }
int DhgdSave() { return 0; }
int DhgdSave_Old() { return 0; }
int DhgdnzSave() { return 0; }
int DhgdSaveCF() { return 0; }
int DhgdSaveCF_Old() { return 0; }
int DhgdnzSaveCF() { return 0; }
int DhcdSave() { return 0; }
int DhcdSaveCF() { return 0; }
int DhodSave() { return 0; }
int DhsdSave() { return 0; }
int DhrdSave() { return 0; }
int DhrdSaveCF() { return 0; }
