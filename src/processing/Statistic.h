// The running statistics of the minute process: hourly extremes with their
// times and QC characters, hourly sums, the wind rings and extremes, the
// climate and radiation extremes; plus the hour stepping routines used when
// walking back through stored hourly records.
//
// Every value is a signed 32-bit integer in the scaled unit of the minute
// element it follows; a time is hhmm (hour * 100 + minute). A maximum starts
// at -99999 and a minimum at 99999, both with QC '8', so an hour without a
// valid minute is recognisable.
//
// The store is private to the minute process (it is a plain record, not a
// shared one); only the sunshine minute counter is mirrored in
// TemproraryData->SunshineMinutes for the terminal process.
#pragma once

#include <cstdint>
#include <ctime>
#include <type_traits>

constexpr int32_t STAT_MAX_START = -99999;
constexpr int32_t STAT_MIN_START = 99999;
constexpr int WIND_RING = 10;   // 1-minute wind means, slot = minute mod 10
constexpr int VIS_RING = 10;    // 1-minute visibility, slot = minute mod 10

// Main minute record fields that keep a maximum and a minimum, in the order
// of StatisticRec::Ext.
enum StatExtreme { SX_T0 = 0, SX_T01, SX_T02, SX_T03, SX_T04, SX_P, SX_TG, SX_ST0, SX_COUNT };
// Main minute record field number of each StatExtreme (20, 21, 22, 23, 24,
// 29, 30, 31).
extern const int kStatExtremeField[SX_COUNT];

// Rain element pairs of the main minute record (6/7, 8/9, 10/11, 12/13,
// 14/15, 18/19), in the order of StatisticRec::RainSum.
enum StatRain { SR_RAT = 0, SR_RAT1, SR_RAT2, SR_RAT3, SR_RAT4, SR_RAW, SR_COUNT };

// Radiation elements that keep an hourly sum and maximum: R0, R2, R4, R7,
// R9, R14, R16, R18, R20, R22, R24 of the radiation minute record.
enum StatRadi { SRD_R0 = 0, SRD_R2, SRD_R4, SRD_R7, SRD_R9, SRD_R14, SRD_R16, SRD_R18, SRD_R20,
                SRD_R22, SRD_R24, SRD_COUNT };

struct StatExtremeRec {
    int32_t Max;
    int32_t MaxTime;
    int32_t Min;
    int32_t MinTime;
    char MaxQc;
    char MinQc;
};

struct StatMinimumRec {
    int32_t Min;
    int32_t Time;
    char Qc;
};

// The hour's maximum 10-minute mean wind and the hour's extreme (3-second)
// wind.
struct WindHourRec {
    int32_t MaxWd;        // degrees, direction of the maximum 10-minute mean
    char MaxWdQc;
    int32_t MaxWs;        // 0.1 m/s
    char MaxWsQc;
    int32_t MaxTime;      // hhmm
    int32_t MaxTaken;     // 1 once a maximum was taken this hour
    int32_t ExtWs;        // 0.1 m/s
    int32_t ExtWd;        // degrees, 99999 unknown
    char ExtQc;
    int32_t ExtTime;      // hhmm
    int32_t ExtTaken;     // 1 once an extreme was taken this hour
};

// What one wind sensor (mechanical or ultrasonic) keeps between minutes.
struct WindSensorStat {
    int32_t Ws1[WIND_RING];    // 1-minute mean speed, 0.01 m/s
    char Ws1Qc[WIND_RING];
    float Wd1[WIND_RING];      // 1-minute mean direction, degrees
    char Wd1Qc[WIND_RING];
    WindHourRec Hour;
    int32_t MinuteExtWs;       // the minute's extreme, 0.1 m/s (99999 none)
    int32_t MinuteExtWd;       // its direction, degrees (99999 none)
};

struct VisStat {
    int32_t Ring[VIS_RING];    // 1-minute values, -99999 missing
    int32_t Latest1;           // latest 1-minute value (main field 42)
    int32_t Latest10;          // latest 10-minute mean (main field 43)
    StatMinimumRec Min10;      // hour minimum of field 43
};

// Extremes of the climate minute record.
struct DmcdStat {
    int32_t Max7, Max7Time;              // maximum of field 7
    int32_t Run8;                        // the minute's running maximum of the 3-sample means
    int32_t Max8, Max8Time;              // hour maximum of field 8
    int32_t Max10, Max10Time, Min10, Min10Time;
    int32_t Max0, Max0Time, Min0, Min0Time;
    // 1-minute means of the second wind sensor (slot = minute mod 10) and
    // their marks ('0' present, '2' missing).
    int32_t Ws1Ring[WIND_RING];
    char Ws1Mark[WIND_RING];
};

struct RadiStat {
    int32_t Sum[SRD_COUNT];
    int32_t Max[SRD_COUNT];
    int32_t MaxTime[SRD_COUNT];
    int32_t R2Min, R2MinTime;
    int32_t SunshineMinutes;             // minutes of sunshine in the radiation hour
};

struct StatisticRec {
    // Hour and day group.
    StatExtremeRec Ext[SX_COUNT];        // main fields 20-24, 29-31
    StatMinimumRec UMin;                 // minimum of main field 26
    VisStat Vis;
    int32_t RainSum[SR_COUNT];           // hourly running precipitation sums, 0.1 mm
    int32_t Rat1cSum;                    // the second rain counter's hour sum (current generation)
    WindHourRec Wind;                    // the record's hour wind (from the chosen source)
    WindSensorStat MachWind;             // mechanical sensor
    WindSensorStat UltWind;              // ultrasonic sensor
    DmcdStat Dmcd;
    int32_t LeLevel;                     // previous minute's evaporation level, 0.1 mm
    int32_t LeHour;                      // the hour's evaporation so far, 0.1 mm
    // Radiation group (radiation clock, shifted by Td).
    RadiStat Radi;
};
static_assert(std::is_trivially_copyable_v<StatisticRec>);

// The minute process's store. Points at storage of this module, so it is
// usable from the start; each process has its own copy after the fork.
extern StatisticRec *Statistic;

// Every group to its start value; times = the current hhmm (GetTime(0)).
void StatisticValueSet();
// kind 0: main groups, times = hhmm of GetTime(1); kind 1: radiation group
// and the shared sunshine counter, times = hhmm of GetTime(Td + 1).
void StatisticValueReSet(int kind);
// The same with the hhmm given (used by the two above).
void StatisticValueSetAt(StatisticRec *s, int hhmm);
void StatisticValueReSetAt(StatisticRec *s, int kind, int hhmm);

// The extreme rule: only QC '0' or '1' counts; strictly greater (smaller)
// replaces, so the earliest minute wins a tie. Returns 1 when taken.
int StatisticTakeMax(StatExtremeRec *e, int32_t value, char qc, int hhmm);
int StatisticTakeMin(StatExtremeRec *e, int32_t value, char qc, int hhmm);
int StatisticTakeExtreme(StatExtremeRec *e, int32_t value, char qc, int hhmm);   // both
int StatisticTakeMinimum(StatMinimumRec *m, int32_t value, char qc, int hhmm);

// The last-minute file: 126 little-endian words. Words 1-76 and 114-125
// carry the hour and day group, words 78-113 the radiation group; words 0
// and 77 (the save times) are the caller's.
constexpr int LASTMIN_BYTES = 504;
constexpr int LASTMIN_WORDS = LASTMIN_BYTES / 4;
void StatisticPackLastMin(const StatisticRec *s, unsigned char buf[LASTMIN_BYTES]);
// Restores the hour and day group, resp. the radiation group, from a file
// image; the other words are not touched.
void StatisticUnpackHour(StatisticRec *s, const unsigned char buf[LASTMIN_BYTES]);
void StatisticUnpackRadi(StatisticRec *s, const unsigned char buf[LASTMIN_BYTES]);

// Hour stepping on a broken-down time with the full year in tm_year and
// months 1-12 in tm_mon (as GetTime returns it). Each returns 1 when it
// stepped and 0 when it left t unchanged.
int GetLastHour(struct tm *t);
int GetNextHour(struct tm *t);
// n times GetLastHour; n of 32768 or more (or negative) leaves t unchanged.
int CalcNhoursBack(struct tm *t, int n);
// n hours back in one go, at most 11 months; further leaves t unchanged.
int calculate_nhours_back(struct tm *t, int n);
// Days of month mon (1-12) of year.
int StatDaysInMonth(int year, int mon);
