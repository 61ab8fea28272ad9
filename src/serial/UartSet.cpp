// Placeholder until the serial port layer is built.
#include "serial/UartSet.h"

char g_cDevName[8][30] = {"/dev/ttyS2", "/dev/ttyS3", "/dev/ttym2", "/dev/ttym0",
                          "/dev/ttym1", "/dev/ttym3", "can0",      "/mnt/cf"};

int CheckKernelVerLoadDevName(char[8][30]) { return 0; }
int UartInit() { return 0; }
