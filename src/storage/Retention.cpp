// Retention: age-based deletion on the NAND data partition and the CF card,
// and the free-space measurement that drives it.
//
// Every sweep removes regular files only. Links are never followed (a link
// to "/" or to the parameter partition must not have its target aged), a
// folder that cannot be opened is skipped, and a path that does not fit its
// slot is skipped rather than cut into the name of some other file.
#include "storage/Storage.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "core/Mutex.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"

namespace {

constexpr long DAY = 86400;
constexpr long NAND_AGE = 6 * DAY;
constexpr long CF_DATA_AGE = 30 * DAY;
constexpr long CF_AHEAD = 3 * DAY;
constexpr long CF_TEMP_AGE_SHORT = 185 * DAY;
constexpr long CF_TEMP_AGE_LONG = 365 * DAY;
constexpr int CF_TEMP_LONG_MB = 300;      // free MB from which a year of records stays
constexpr int NAND_EMERGENCY_MB = 6;      // below this the NAND keeps one day

// What a sweep removes; a negative limit is not applied.
struct AgeRule {
    long age;         // older than now - age
    long ahead;       // newer than now + ahead
    long since;       // modified at or after now - since
    const char *note; // console line per removed file
};

bool Due(const AgeRule &r, time_t mtime, time_t now)
{
    if (r.since >= 0 && mtime >= now - r.since)
        return true;
    if (r.age >= 0 && now - mtime > r.age)
        return true;
    return r.ahead >= 0 && mtime - now > r.ahead;
}

// Bookkeeping of one walk: the directories visited so far.
int dirnum = 0;
char filedir[WALK_MAX_DIRS][WALK_PATH_LEN];

// Removes path when it is a regular file the rule names.
void SweepEntry(const char *path, const struct stat &st, const AgeRule &r, time_t now)
{
    if (!S_ISREG(st.st_mode) || !Due(r, st.st_mtime, now))
        return;
    if (TpUnlink(path) == 0)
        std::printf(r.note, path);
}

int Walk(const char *path, int depth, const AgeRule &r, time_t now)
{
    DIR *dir = TpOpendir(path);
    if (dir == nullptr) {
        std::perror("error opendir!!!\n");
        std::printf("error opendir=%s!!!\n", path);
        return -1;
    }
    while (const struct dirent *e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        char child[WALK_PATH_LEN];
        if (std::snprintf(child, sizeof child, "%s/%s", path, e->d_name) >= int(sizeof child))
            continue;
        struct stat st;
        if (TpLstat(child, &st) != 0)
            continue; // gone while we walked
        if (S_ISDIR(st.st_mode)) {
            if (depth < WALK_MAX_DEPTH && dirnum < WALK_MAX_DIRS) {
                char *slot = filedir[dirnum++];
                std::memcpy(slot, child, sizeof child);
                Walk(slot, depth + 1, r, now);
            }
            continue;
        }
        SweepEntry(child, st, r, now);
    }
    closedir(dir);
    return 0;
}

int StartWalk(const char *path, const AgeRule &r, time_t now)
{
    dirnum = 0;
    return Walk(path, 1, r, now);
}

// With the clock in a year the hardware-clock check would not trust (a
// dead clock battery, a mistyped date) the age limits would name every
// file: no sweep then. Returns the time to measure ages from, or -1.
time_t SweepTime()
{
    const struct tm *t = GetTime(0);
    if (t->tm_year < kClockYearMin || t->tm_year > kYearMax) {
        std::printf("clock year %d out of %d-%d, no file deleted\n", t->tm_year, kClockYearMin,
                    kYearMax);
        return -1;
    }
    return TemproraryData != nullptr ? time_t(TemproraryData->TimeNow) : TpTime();
}

// The minute, sample and daily folders of the fixed sweeps; the ahead limit
// does not apply to DMOD and DMSD.
struct FixedDir {
    const char *path;
    bool ahead;
};
constexpr FixedDir kFixedDirs[] = {
    {"/mnt/nand3/tempdata/DMGD/", true}, {"/mnt/nand3/tempdata/DMCD/", true},
    {"/mnt/nand3/tempdata/DMRD/", true}, {"/mnt/nand3/tempdata/DMOD/", false},
    {"/mnt/nand3/tempdata/DMSD/", false}, {"/mnt/nand3/tempdata/sample/", true},
    {"/mnt/nand3/data/", true},
};

void FixedSweep(AgeRule r)
{
    MutexClockLock();
    time_t now = TpTime();
    MutexClockUnlock();
    long ahead = r.ahead;
    for (const FixedDir &d : kFixedDirs) {
        DIR *dir = TpOpendir(d.path);
        if (dir == nullptr)
            continue; // never sweep whatever folder we happen to be in
        r.ahead = d.ahead ? ahead : -1;
        while (const struct dirent *e = readdir(dir)) {
            char path[WALK_PATH_LEN];
            struct stat st;
            if (e->d_name[0] == '.' || std::snprintf(path, sizeof path, "%s%s", d.path, e->d_name) >= int(sizeof path) ||
                TpLstat(path, &st) != 0)
                continue;
            if (S_ISREG(st.st_mode) && Due(r, st.st_mtime, now))
                TpUnlink(path);
        }
        closedir(dir);
    }
    TpSystem("rm /mnt/nand3/tempdata/andata/* -fr");
}

// Free space of the partition mounted at dir, from "df -m"; scratch is the
// file the line passes through. Returns the bytes read (0: no line).
int ReadDf(const char *cmd, const char *scratch, const char *rmCmd, char *line, std::size_t len)
{
    TpSystem(cmd);
    std::size_t n = 0;
    if (FILE *f = TpFopen(scratch, "r")) {
        n = std::fread(line, 1, len - 1, f);
        std::fclose(f);
    }
    line[n] = '\0';
    TpSystem(rmCmd);
    return int(n);
}

// "device total used available ...": 0 with the megabytes, -1 when the
// line does not read so.
int ParseDf(const char *line, int *total, int *avail)
{
    char dev[64];
    int used = 0;
    if (std::sscanf(line, "%63s %d %d %d", dev, total, &used, avail) != 4 || *total < 0 || *avail < 0)
        return -1;
    return 0;
}

} // namespace

int trave_dir(const char *path, int depth, long age, long ahead)
{
    time_t now = TemproraryData != nullptr ? time_t(TemproraryData->TimeNow) : TpTime();
    return Walk(path, depth, AgeRule{age, ahead, -1, "delete %s\n"}, now);
}

int DeleteAllFileInPath(const char *path, int depth, long t)
{
    time_t now = TemproraryData != nullptr ? time_t(TemproraryData->TimeNow) : TpTime();
    return Walk(path, depth, AgeRule{-1, -1, t, "delete file %s\n"}, now);
}

int DeleteOldFile_II()
{
    time_t now = SweepTime();
    if (now < 0)
        return 0;
    StartWalk("/mnt/nand3", AgeRule{NAND_AGE, NAND_AGE, -1, "delete %s\n"}, now);
    StartWalk("/mnt/cf/data", AgeRule{CF_DATA_AGE, CF_AHEAD, -1, "delete %s\n"}, now);
    int space = TemproraryData != nullptr ? TemproraryData->MainStat.CFSpace : 0;
    std::printf("TemproraryData->CFSpace=%d\r\n", space);
    long age = space < CF_TEMP_LONG_MB ? CF_TEMP_AGE_SHORT : CF_TEMP_AGE_LONG;
    StartWalk("/mnt/cf/tempdata", AgeRule{age, CF_AHEAD, -1, "delete %s\n"}, now);
    return 0;
}

int DeleteNand3()
{
    char line[257];
    if (ReadDf("df -m |grep /mnt/nand3 > /tmp/mountinfo", "/tmp/mountinfo", "rm /tmp/mountinfo -f", line,
               sizeof line) == 0)
        return 0;
    int total = 0, avail = 0;
    if (ParseDf(line, &total, &avail) != 0)
        return 0;
    std::printf("NAND3,total:%d M,free:%d M\r\n", total, avail);
    if (avail < NAND_EMERGENCY_MB) {
        DeleteNand3OldFile_II();
        DeleteNand3OldFile();
    }
    return 0;
}

int DeleteNand3OldFile_II()
{
    time_t now = SweepTime();
    if (now >= 0)
        StartWalk("/mnt/nand3", AgeRule{DAY, DAY, -1, "delete %s\n"}, now);
    return 0;
}

int DeleteNand3OldFile()
{
    if (SweepTime() >= 0)
        FixedSweep(AgeRule{DAY, DAY, -1, ""});
    return 0;
}

int DeleteNand3OldFile_IV(int t)
{
    dirnum = 0;
    return DeleteAllFileInPath("/mnt/nand3", 1, t);
}

int DeleteNand3OldFile_III(int t)
{
    FixedSweep(AgeRule{-1, -1, t, ""});
    return 0;
}

int DeleteCfFutureFile(int t)
{
    dirnum = 0;
    return DeleteAllFileInPath("/mnt/nand3", 1, t);
}

int DeleteFile_Future()
{
    if (SweepTime() < 0)
        return 0;
    const struct tm *now = GetTime(0);
    int t = now->tm_hour * 3600 + now->tm_min * 60 + now->tm_sec;
    DeleteNand3OldFile_IV(t);
    DeleteNand3OldFile_III(t);
    DeleteCfFutureFile(t);
    return 0;
}

int TestCfSpace()
{
    char line[257];
    int total = 0, avail = 0;
    bool measured = ReadDf("df -m |grep /mnt/cf > /tmp/usbmount", "/tmp/usbmount", "rm /tmp/usbmount -f", line,
                           sizeof line) > 0;
    if (measured)
        std::printf("CF inspected and now calculate the free space\n");
    if (measured && ParseDf(line, &total, &avail) == 0) {
        std::printf("CF,total:%d M,free:%d M\r\n", total, avail);
        if (TemproraryData != nullptr) {
            TemproraryData->MainStat.CFSpace = avail;
            TemproraryData->MainStat.CfState = '0';
        }
        return 0;
    }
    if (TemproraryData != nullptr) {
        TemproraryData->MainStat.CFSpace = 0;
        TemproraryData->MainStat.CfState = '1';
    }
    std::printf("no cf card detected\n");
    CfCardUmount();
    return 0;
}
