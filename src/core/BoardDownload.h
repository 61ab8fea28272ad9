// Configuration download to the sampling boards.
#pragma once

int SlaveColletorParaInit();
int SyncParaToSubCollector();
int SampBoardInit();
