// Arbitrary bytes as a stored day or month file, read back by the retrieval
// commands; the first byte chooses the record kind.
#include "FuzzWorld.h"
#include "terminal/ListenToPc.h"

namespace {

struct Kind {
    const char *file;
    const char *command;
};

// The station clock stands at 2024-03-10 10:00.
constexpr Kind kKinds[] = {
    {"/mnt/nand3/tempdata/DMGD/240310.DAT", "DMGD 2024-03-10 00:00 100"},
    {"/mnt/nand3/tempdata/DMGD/240310.DAT", "DMGD 2024-03-10 00:00 2024-03-10 01:00"},
    {"/mnt/nand3/tempdata/DMCD/240310.DAT", "DMCD 2024-03-10 00:00 20"},
    {"/mnt/nand3/tempdata/DMSD/240310.DAT", "DMSD 2024-03-10 00:00 20"},
    {"/mnt/nand3/tempdata/DHGD/2403.DAT", "DHGD 2024-03-01 00 20"},
    {"/mnt/nand3/tempdata/DHGDNZ/2403.DAT", "DHGDNZ 2024-03-01 00 20"},
    {"/mnt/nand3/tempdata/DHSD/2403.DAT", "DHSD 2024-03-01 00 20"},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::World();
    const Kind &k = kKinds[data[0] % (sizeof kKinds / sizeof kKinds[0])];
    fuzz::WriteBoardFile(k.file, data + 1, size - 1);
    SetCurrentReplyPort(COM0);
    ProcessRxData(COM0, k.command, ACCESS_FULL);
    return 0;
}
