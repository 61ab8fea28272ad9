#include "core/MyTime.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Mutex.h"
#include "core/ShareMem.h"

namespace {

struct tm g_tmNow;   // the per-process record GetTime returns

constexpr const char *kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int MonthByName(const char *name)
{
    for (int i = 0; i < 12; ++i)
        if (std::strncmp(name, kMonths[i], 3) == 0)
            return i + 1;
    return -1;
}

int SecondsOfDay(const struct tm &t) { return t.tm_hour * 3600 + t.tm_min * 60 + t.tm_sec; }

} // namespace

void LoadShareClock(struct tm *t)
{
    if (TemproraryData == nullptr)
        return;
    ShareClockRec &c = TemproraryData->ShareClock;
    c.pTm = t;
    c.Year = t->tm_year;
    c.Mon = t->tm_mon;
    c.Day = t->tm_mday;
    c.Hour = t->tm_hour;
    c.Min = t->tm_min;
    c.Sec = t->tm_sec;
}


struct tm *GetTime(int minutes)
{
    MutexClockLock();
    time_t now = TpTime();
    if (TemproraryData != nullptr)
        TemproraryData->TimeNow = int32_t(now);
    MutexClockUnlock();
    time_t t = now + time_t(minutes) * 60;
    localtime_r(&t, &g_tmNow);
    g_tmNow.tm_year += 1900;
    g_tmNow.tm_mon += 1;
    return &g_tmNow;
}

int ParseHwclockText(const char *line, int sysMonth, struct tm *hw)
{
    char name[128] = {};
    int day, hour, min, sec, year;
    if (std::sscanf(line, "%127s %d %d:%d:%d %d", name, &day, &hour, &min, &sec, &year) < 6)
        return -1;
    int mon = MonthByName(name);
    std::printf("rtc,%s(%d)\n", name, mon);
    if (mon < 0)
        mon = sysMonth;
    std::memset(hw, 0, sizeof *hw);
    hw->tm_year = year;
    hw->tm_mon = mon;
    hw->tm_mday = day;
    hw->tm_hour = hour;
    hw->tm_min = min;
    hw->tm_sec = sec;
    std::printf("hwclock:%04d-%02d-%02d %02d:%02d:%02d\n", year, mon, day, hour, min, sec);
    return 0;
}

int ReadHwclock(struct tm *hw)
{
    FILE *fp = TpPopen("hwclock |awk '{print $2,$3,$4,$5}' ", "r");
    if (fp == nullptr) {
        std::printf("file==NULL\n");
        return -1;
    }
    char buf[128] = {};
    if (std::fgets(buf, sizeof buf, fp) == nullptr)
        buf[0] = '\0';
    TpPclose(fp);
    struct tm *sys = GetTime(0);
    std::printf("buf:%s\n", buf);
    return ParseHwclockText(buf, sys->tm_mon, hw);
}

int HwclockVerdict(int mode, const struct tm &hw, const struct tm &sys)
{
    if (hw.tm_year < kClockYearMin || hw.tm_year > kYearMax)
        return -1;
    int d = SecondsOfDay(hw) - SecondsOfDay(sys);
    bool sameDate = hw.tm_year == sys.tm_year && hw.tm_mon == sys.tm_mon && hw.tm_mday == sys.tm_mday;
    if (mode == 0)
        return sameDate && d > -5 && d < 5 ? 0 : 1;
    if (!sameDate)
        return -1;
    return std::abs(d) > 60 || (d > -3 && d < 3) ? 0 : 1;
}

int SetSystimeByHwclock(int mode)
{
    struct tm hw;
    if (ReadHwclock(&hw) != 0)
        return -1;
    int verdict = HwclockVerdict(mode, hw, *GetTime(0));
    if (verdict != 1)
        return verdict;
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, "date -s %02d%02d%02d%02d%04d.%02d", hw.tm_mon, hw.tm_mday, hw.tm_hour,
                  hw.tm_min, hw.tm_year, hw.tm_sec);
    TpSystem(cmd);
    std::printf("\n\nsystem set:%s\n", cmd);
    LoadShareClock(GetTime(0));
    return 0;
}

int SetHwclockBySysTime(int)
{
    TpSystem("hwclock --systohc");
    struct tm hw;
    if (ReadHwclock(&hw) != 0)
        return -1;
    struct tm *sys = GetTime(0);
    int d = (hw.tm_min * 60 + hw.tm_sec) - (sys->tm_min * 60 + sys->tm_sec);
    if (hw.tm_year != sys->tm_year || hw.tm_mon != sys->tm_mon || hw.tm_mday != sys->tm_mday ||
        hw.tm_hour != sys->tm_hour || std::abs(d) > 4) {
        TpSystem("hwclock --systohc");
        std::printf("re set hwclock by systime\n");
    }
    return 0;
}

int SetSystemClock(time_t t)
{
    MutexClockLock();
    int rc = TpSetTime(t);
    MutexClockUnlock();
    if (rc != 0) {
        std::printf("Set system time error!\n");
        return -1;
    }
    SetHwclockBySysTime(0);
    return 0;
}

void UpdateMyTime()
{
    ShareClockRec &c = TemproraryData->ShareClock;
    // Only the date fields are left alone: the hourly resync of the
    // housekeeping loop reloads the whole copy, so the hour may read 24 for
    // the first seconds of a day.
    c.Sec = c.Sec + 1;
    if (c.Sec > 59) {
        c.Sec = 0;
        c.Min = c.Min + 1;
        if (c.Min > 59) {
            c.Min = 0;
            c.Hour = c.Hour + 1;
        }
    }
}

void DelayS(int n)
{
    int32_t last = TemproraryData->ShareClock.Sec;
    int changes = 0;
    while (changes < n + 1) {
        // usleep below is an outside call, so the field is read anew.
        int32_t s = TemproraryData->ShareClock.Sec;
        if (s != last) {
            last = s;
            ++changes;
        }
        // The shared second is polled; a short sleep keeps the wait off
        // the processor, which matters on a 200 MHz board.
        usleep(10000);
    }
}

int zsleep(int ms)
{
    usleep(useconds_t(ms) * 1000);
    return 0;
}

void OutPutDateTime(const char *tag, int line, const struct tm *t)
{
    std::printf("%s(line:%d):%04d-%02d-%02d %02d:%02d:%02d\r\n", tag, line, t->tm_year, t->tm_mon, t->tm_mday,
                t->tm_hour, t->tm_min, t->tm_sec);
}

int CheckDateValid(int year, int month, int day)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || year > kYearMax || month < 1 || month > 12 || day < 1)
        return -1;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last ? 1 : -1;
}
