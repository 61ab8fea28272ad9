// The GPS receiver on COM2: sorts the port's lines (type switch, snow-depth
// reply, NMEA sentence) and corrects the clock from GPZDA and GPRMC within
// the seconds 40 to 45 of a minute. The receiver speaks UTC; the station's
// clocks keep local standard time, UTC + 8 h.
#include "serial/Instruments.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "canbus/CanSend.h"
#include "core/BRISQ1110Assist.h"
#include "core/Mutex.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "sampling/Sensortable.h"
#include "serial/SerialCommon.h"

char gpstemp[GPS_FIELDS][GPS_FIELD_LEN];

namespace {

constexpr time_t LOCAL_OFFSET = 8 * 3600;
constexpr int WINDOW_FIRST_SEC = 40;
constexpr int WINDOW_LAST_SEC = 45;
constexpr long NO_NEED_BELOW = 5;      // s: the clock is right
constexpr long GPZDA_LIMIT = 600;      // s: a GPZDA time further off is not trusted
constexpr int GPZDA_YEAR_MIN = 2010;
constexpr int GPRMC_YEAR_MIN = 2011;
constexpr int GPRMC_FIELDS = 12;

enum class Step { Stop, Next };

struct UtcTime {
    int year, mon, day, hour, min, sec;
};

// hhmmss.ss into its parts; NaN and out-of-range figures are refused.
bool TimeOfDay(float hhmmss, UtcTime &t)
{
    if (!(hhmmss >= 0.0f && hhmmss < 240000.0f))
        return false;
    int v = int(hhmmss);
    t.hour = v / 10000;
    t.min = (v % 10000) / 100;
    t.sec = v % 100;
    return t.hour <= 23 && t.min <= 59 && t.sec <= 59;
}

bool DateExists(const UtcTime &t) { return CheckDateValid(t.year, t.mon, t.day) == 1; }

// A sentence that carries "*hh" must match it: the XOR of the bytes between
// '$' and '*'. One without a check sum is taken as it is.
bool ChecksumHolds(const char *line)
{
    const char *star = std::strchr(line, '*');
    if (star == nullptr)
        return true;
    const char *dollar = std::strchr(line, '$');
    const char *p = dollar != nullptr && dollar < star ? dollar + 1 : line;
    unsigned x = 0;
    for (; p < star; ++p)
        x ^= uint8_t(*p);
    int hi = asc_to_hex(star[1]);
    int lo = hi > 15 ? 32 : asc_to_hex(star[2]);
    return hi <= 15 && lo <= 15 && unsigned(hi * 16 + lo) == x;
}

// Compares the GPS time with the system clock and sets the clock when it is
// off by 5 s or more (and, with a limit, by no more than limit seconds).
// Returns the result for the caller: 0 unchanged or set, -1 not set.
int Adjust(const UtcTime &u, long limit, Step &next)
{
    next = Step::Stop;
    struct tm g {};
    g.tm_year = u.year - 1900;
    g.tm_mon = u.mon - 1;
    g.tm_mday = u.day;
    g.tm_hour = u.hour;
    g.tm_min = u.min;
    g.tm_sec = u.sec;
    g.tm_isdst = -1;
    time_t target = mktime(&g) + LOCAL_OFFSET;
    MutexClockLock();
    time_t now = TpTime();
    MutexClockUnlock();
    long d = long(target - now);
    if (d > -NO_NEED_BELOW && d < NO_NEED_BELOW) {
        std::printf("no need to modify clock:1\n");
        return 0;
    }
    if (limit > 0 && (d > limit || d < -limit)) {
        std::printf("no need to modify clock:2\n");
        return 0;
    }
    if (SetStationClock(target) != 0)
        return -1;
    next = Step::Next;
    return 0;
}

int Gpzda(const char *at, Step &next)
{
    next = Step::Stop;
    UtcTime u{};
    float hhmmss = 0.0f;
    // "GPZDA," then hhmmss.ss,dd,mm,yyyy
    if (at[5] == '\0' || std::sscanf(at + 6, "%f,%d,%d,%d,", &hhmmss, &u.day, &u.mon, &u.year) != 4) {
        std::printf("divide error\n");
        return -1;
    }
    if (u.year < GPZDA_YEAR_MIN)
        return -1;
    if (!TimeOfDay(hhmmss, u) || !DateExists(u))
        return -1;
    TemproraryData->MainStat.GpsState = '0';
    return Adjust(u, GPZDA_LIMIT, next);
}

int Gprmc(const char *at)
{
    // "GPRMC," then time, status, position, speed, course, date, ...
    if (at[5] != ',' || DividGpsItem(at + 6, ',') != GPRMC_FIELDS)
        return -1;
    if (std::strcmp(gpstemp[1], "A") != 0)
        return -1;
    UtcTime u{};
    float hhmmss;
    if (std::sscanf(gpstemp[0], "%f", &hhmmss) != 1 || !TimeOfDay(hhmmss, u))
        return -1;
    int ddmmyy;
    if (std::sscanf(gpstemp[8], "%d", &ddmmyy) != 1 || ddmmyy < 0)
        return -1;
    u.day = ddmmyy / 10000;
    u.mon = (ddmmyy % 10000) / 100;
    u.year = ddmmyy % 100 + 2000;
    if (u.year < GPRMC_YEAR_MIN || u.year > kYearMax || !DateExists(u))
        return -1;
    TemproraryData->MainStat.GpsState = '0';
    std::printf("GPSTIME in UTC:%04d-%02d-%02d %02d:%02d:%02d\n", u.year, u.mon, u.day, u.hour, u.min, u.sec);
    Step unused;
    return Adjust(u, 0, unused);
}

} // namespace

int DividGpsItem(const char *text, char separator)
{
    std::memset(gpstemp, 0, sizeof gpstemp);
    if (text == nullptr)
        return 0;
    int count = 0;
    int len = 0;
    for (const char *p = text;; ++p) {
        char c = *p;
        if (c == '\0') {
            // The last field of a text without a line end.
            if (len > 0 || (p > text && p[-1] == separator))
                ++count;
            return count;
        }
        if (c == separator || c == '\r' || c == '\n') {
            ++count;
            len = 0;
            if (count == GPS_FIELDS || c != separator)
                return count;
            continue;
        }
        if (len == GPS_FIELD_LEN - 1)
            return count;   // an over-long field ends the splitting
        gpstemp[count][len++] = c;
    }
}

int SetStationClock(time_t t)
{
    if (SetSystemClock(t) != 0)
        return -1;
    // The shared copy follows at once: the minute process compares it with
    // the system clock and would otherwise see a clock error.
    LoadShareClock(GetTime(0));
    if (TemproraryData->MainStat.CanBusState == '0')
        MakeCanSendPacket(CANSEND_TIME, 0, 0);
    return 0;
}

int ReadGps(const char *line)
{
    if (line == nullptr)
        return -1;
    if (std::strncmp(line, "SNOWMODE", 8) == 0) {
        SerialTypeSwitch(SerialUpcall().snowMode, line, 9, "018");
        return 0;
    }
    if (std::strncmp(line, "SD", 2) == 0 && defdata->ElementEnable[EL_SD] == '1') {
        ReadSnowDepth(line);
        const uint8_t state[4] = {1, 0, 0, 0};
        std::memcpy(TemproraryData->SnowSensorState, state, sizeof state);
        return 0;
    }
    int sec = GetTime(0)->tm_sec;
    if (sec < WINDOW_FIRST_SEC || sec > WINDOW_LAST_SEC)
        return 0;
    TemproraryData->MainStat.GpsState = '2';
    if (!ChecksumHolds(line))
        return -1;
    const char *zda = std::strstr(line, "GPZDA");
    const char *rmc = std::strstr(line, "GPRMC");
    if (zda != nullptr) {
        Step next;
        int r = Gpzda(zda, next);
        if (next == Step::Stop || rmc == nullptr)
            return r;
    }
    return rmc != nullptr ? Gprmc(rmc) : -1;
}

void GpsReset() { std::memset(gpstemp, 0, sizeof gpstemp); }
