// Serial instrument readers: until they exist their lines are dropped.
#include "serial/Instruments.h"

int ProcessSampboard(const char *) { return 0; }
int ProcessSampboardFloat(const char *) { return 0; }
int ReadGps(const char *) { return 0; }
int ReadVisibility(const char *) { return 0; }
int ReadAirpress(const char *) { return 0; }
int ReadRainWeight(const char *) { return 0; }
int ProcessUltData(int, const char *, int) { return 0; }
