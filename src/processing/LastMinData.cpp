#include "processing/LastMinData.h"

#include <cstdio>
#include <cstring>

#include "platform/Transplant.h"
#include "core/Mutex.h"
#include "core/Param.h"
#include "core/ShareMem.h"

unsigned char *LastMinData = nullptr;

namespace {

// A restart this close to the last save resumes the hour.
constexpr int64_t LASTMIN_VALID_S = 120;

void PutWord(unsigned char *buf, int word, int32_t v)
{
    uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i)
        buf[word * 4 + i] = uint8_t(u >> (8 * i));
}

int32_t GetWord(const unsigned char *buf, int word)
{
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(buf[word * 4 + i]) << (8 * i);
    return int32_t(u);
}

time_t NowLocked()
{
    MutexClockLock();
    time_t now = TpTime();
    MutexClockUnlock();
    return now;
}

int Td() { return defdata != nullptr ? defdata->Td : 0; }

} // namespace

const char *LastMinFileName()
{
    return (defdataEx != nullptr && defdataEx->Generation != 0) ? LASTMIN_FILE_NEW : LASTMIN_FILE_OLD;
}

int SaveLastMinData()
{
    if (LastMinData == nullptr || Statistic == nullptr)
        return -1;
    TpMkdir("/mnt/nand3/tempdata", 0777);
    time_t now = NowLocked();
    std::memset(LastMinData, 0, LASTMIN_BYTES);
    StatisticPackLastMin(Statistic, LastMinData);
    PutWord(LastMinData, 0, int32_t(now));
    PutWord(LastMinData, 77, int32_t(now + time_t(Td()) * 60));
    // Written aside and renamed over the old file: a power cut in the middle
    // of the save must not leave a short file, or the hour's statistics
    // would not resume after the restart.
    int rc = SaveFileWhole(LastMinFileName(), LastMinData, LASTMIN_BYTES);
    if (rc == -1)
        return -1;
    std::printf("save lastmindata\n");
    return rc == 0 ? 0 : -1;
}

int LastMinRestore(StatisticRec *s, const unsigned char buf[LASTMIN_BYTES], time_t now, int td)
{
    int64_t saved = GetWord(buf, 0);
    int64_t age = saved - int64_t(now);
    if (!(age > -LASTMIN_VALID_S && age < LASTMIN_VALID_S)) {
        std::printf("lastmindata is unuseful\r\n");
        return LASTMIN_STALE;
    }
    std::printf("lastmindata is useful\r\n");
    int done = 0;
    if (saved / 3600 == int64_t(now) / 3600) {
        StatisticUnpackHour(s, buf);
        done |= LASTMIN_HOUR;
    }
    int64_t savedRadi = GetWord(buf, 77);
    if (savedRadi / 3600 == (int64_t(now) + int64_t(td) * 60) / 3600) {
        StatisticUnpackRadi(s, buf);
        done |= LASTMIN_RADI;
    }
    return done;
}

int ReadLastMinData()
{
    if (LastMinData == nullptr || Statistic == nullptr)
        return -1;
    TpMkdir("/mnt/nand3/tempdata", 0777);
    FILE *f = TpFopen(LastMinFileName(), "rb");
    if (f == nullptr)
        return 0;
    // One byte more than the record: a longer file is not ours either.
    unsigned char buf[LASTMIN_BYTES + 1];
    size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    if (n != LASTMIN_BYTES)
        return 0;
    std::memcpy(LastMinData, buf, LASTMIN_BYTES);
    return LastMinRestore(Statistic, LastMinData, NowLocked(), Td());
}
