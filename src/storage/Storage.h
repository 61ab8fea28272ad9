// Storage retention and the removable media.
#pragma once

int CfCardInit();
int CfCardMount();
int TestCfSpace();
int DeleteOldFile_II();
int DeleteNand3();
int Copy2CfCard();
// 0 when the CF card is mounted, -1 otherwise.
int CheckCfMounted();
// Mounts the card on demand before the retrieval commands read it.
int CheckCfCardStatusAndMount();
