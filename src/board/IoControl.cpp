// Placeholder until the board I/O is built.
#include "board/IoControl.h"

int IoControlInit() { return 0; }
int LedRunOn() { return 0; }
int LedRunOff() { return 0; }
int LanPowerOn() { return 0; }
int LanPowerOff() { return 0; }
int LedUnInit() { return 0; }
