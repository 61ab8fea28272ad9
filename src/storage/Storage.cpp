// Storage retention and the removable media: until they are built each step
// does nothing and reports success, so the station starts and runs.
#include "storage/Storage.h"

int CfCardInit() { return 0; }
int CfCardMount() { return 0; }
int CfCardUmount() { return 0; }
int TestCfSpace() { return 0; }
int DeleteOldFile_II() { return 0; }
int DeleteNand3() { return 0; }
int Copy2CfCard() { return 0; }
int DeleteFile_Future() { return 0; }
int CheckCfMounted() { return -1; }
int CheckCfCardStatusAndMount() { return 0; }
