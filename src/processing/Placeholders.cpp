// The minute cycle's private copy of the sample store.
#include "processing/Records.h"

SampleDataRec *SampleDataCopy = nullptr;
