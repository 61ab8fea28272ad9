// Records of the minute cycle that are not built yet: each does nothing and
// reports success, so the minute cycle runs in its order.
#include "processing/Records.h"

SampleDataRec *SampleDataCopy = nullptr;

int SampleSave() { return 0; }
int SampleSaveCF() { return 0; }
