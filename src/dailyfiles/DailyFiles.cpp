// The daily data files: until they are built each save does nothing and
// reports success, so the minute cycle runs in its order.
#include "dailyfiles/DailyFiles.h"

int RRFileSave(const char *) { return 0; }
int GGFileSave(const char *, const char *) { return 0; }
int GGFileSave_Old(const char *, const char *) { return 0; }
int STFileSave() { return 0; }
int STFileSave_Old() { return 0; }
