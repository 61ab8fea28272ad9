// Arbitrary bytes as a parameter file found at start-up; the first byte
// chooses the file. Loaded, corrected or refused, never more.
#include "FuzzWorld.h"
#include "core/Param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::World();
    switch (data[0] % 4) {
    case 0:
        fuzz::WriteBoardFile(PARA_EX_FILE, data + 1, size - 1);
        CheckParaExFile();
        break;
    case 1:
        fuzz::WriteBoardFile(PARA_FILE, data + 1, size - 1);
        CheckParamFile();
        break;
    case 2:
        fuzz::WriteBoardFile(PARA_FILE, data + 1, size - 1);
        ReloadParamFile();
        break;
    default:
        fuzz::WriteBoardFile(MODIPAM_FILE, data + 1, size - 1);
        CheckmodiParamFile();
        break;
    }
    return 0;
}
