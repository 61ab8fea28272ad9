// Storage retention and the removable media.
#pragma once

int CfCardInit();
int CfCardMount();
int CfCardUmount();
int TestCfSpace();
int DeleteOldFile_II();
int DeleteNand3();
int Copy2CfCard();
// The purge of today's and future files when the format generation changes.
int DeleteFile_Future();
// 0 when the CF card is mounted, -1 otherwise.
int CheckCfMounted();
// Mounts the card on demand before the retrieval commands read it.
int CheckCfCardStatusAndMount();
