// Arbitrary bytes as a stored day or month file, read back by the retrieval
// commands and by the hourly record's look-backs; the first byte chooses
// the file and the reader.
#include <cstring>
#include <ctime>

#include "FuzzWorld.h"
#include "processing/HourLookup.h"
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

// The look-backs of the older hourly record: an item out of one record
// text, the statistics over the month file, the minute rain of the GG file.
void LookBack(int reader, int item, const uint8_t *data, size_t size)
{
    struct tm now {};
    now.tm_year = 124;
    now.tm_mon = 2;
    now.tm_mday = 10;
    now.tm_hour = 10;
    if (reader == 0) {
        HourItem out;
        TakeOutItemData(reinterpret_cast<const char *>(data), int(size), item, &out);
    } else if (reader == 1) {
        fuzz::WriteBoardFile("/mnt/nand3/tempdata/DHGDNZ/2403.DAT", data, size);
        int32_t aux;
        for (int mode = 0; mode < 4; ++mode)
            FindValAndStatisticsAt(now, item, 24, mode, &aux);
    } else {
        fuzz::WriteBoardFile("/mnt/nand3/data/GG240310.DAT", data, size);
        char text[121];
        Cal120MinRain(&now, text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::World();
    constexpr int kinds = int(sizeof kKinds / sizeof kKinds[0]);
    int choice = data[0] % (kinds + 3);
    if (choice >= kinds) {
        LookBack(choice - kinds, data[0] / (kinds + 3) % 8, data + 1, size - 1);
        return 0;
    }
    const Kind &k = kKinds[choice];
    fuzz::WriteBoardFile(k.file, data + 1, size - 1);
    SetCurrentReplyPort(COM0);
    ProcessRxData(COM0, k.command, ACCESS_FULL);
    return 0;
}
