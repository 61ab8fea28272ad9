// Arbitrary bytes as the last-minute file found at start-up.
#include "FuzzWorld.h"
#include "processing/LastMinData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::World();
    fuzz::WriteBoardFile(LastMinFileName(), data, size);
    ReadLastMinData();
    return 0;
}
