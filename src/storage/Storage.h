// Storage retention and the removable media.
#pragma once

int CfCardInit();
int CfCardMount();
int TestCfSpace();
int DeleteOldFile_II();
int DeleteNand3();
int Copy2CfCard();
