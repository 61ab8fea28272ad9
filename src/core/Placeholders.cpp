// Steps of start-up and of the processes whose subsystems are not built
// yet. Each one does nothing and reports success, so the station starts and
// runs; the subsystems replace them one by one.
#include "canbus/CanReceive.h"
#include "core/BoardDownload.h"
#include "core/Main.h"
#include "processing/DataProcess.h"
#include "storage/Storage.h"
#include "terminal/ListenToPc.h"

#include <unistd.h>

int SlaveColletorParaInit() { return 0; }
int SyncParaToSubCollector() { return 0; }
int SampBoardInit() { return 0; }

int CfCardInit() { return 0; }
int CfCardMount() { return 0; }
int TestCfSpace() { return 0; }
int DeleteOldFile_II() { return 0; }
int DeleteNand3() { return 0; }
int Copy2CfCard() { return 0; }

int ListenToPc() { IdleProcessLoop(DOG_C); }
int Send2Pc() { return 0; }
int DataProcess() { IdleProcessLoop(DOG_D); }
