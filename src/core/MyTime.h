// Clock keeping: the one way to read the time, the corrections between the
// system clock and the battery-backed hardware clock, and the shared copy
// of the time that the housekeeping process ticks once a second.
#pragma once

#include <ctime>

// The last whole year that a 32-bit time_t holds (the older board's): the
// upper bound of every plausibility check of a date, whatever its lower
// bound. Stations kept running past 2030 must still accept their own dates.
constexpr int kYearMax = 2037;
// A clock reading from before this year is not trusted: the hardware clock
// lost its battery, or the system clock was never set.
constexpr int kClockYearMin = 2012;

// Broken-down local time of now plus the given minutes, with the full year
// and months 1 to 12. One static record per process: each call overwrites
// the previous result.
struct tm *GetTime(int minutes);

// What the hardware clock check decides from the two readings (full years,
// months 1-12): 1 set the system clock from the hardware clock, 0 leave it,
// -1 refuse (a year outside kClockYearMin..kYearMax, or another date in
// mode 1).
int HwclockVerdict(int mode, const struct tm &hw, const struct tm &sys);

// Mode 0: start-up check (set when the clocks differ by 5 s or more or the
// date differs). Mode 1: run-time check (set only when 3 to 60 s apart on
// the same date). Returns 0, or -1 when the hardware clock is unreadable,
// not trusted, or (mode 1) on another date.
int SetSystimeByHwclock(int mode);
// Writes the system time to the hardware clock and checks it took.
int SetHwclockBySysTime(int);

// Reads the hardware clock into *hw (full year, month 1-12). Returns 0 or
// -1 (unreadable or unparsable). A month name that matches none of the
// twelve takes the system clock's month.
int ReadHwclock(struct tm *hw);
// Parses the hardware clock text "Dec 5 18:43:14 2026" (month name, day,
// time, year); sysMonth stands in for an unknown month name.
int ParseHwclockText(const char *line, int sysMonth, struct tm *hw);

// Copies a GetTime result whole into the shared copy of the time.
void LoadShareClock(struct tm *t);
// Advances the shared copy by one second (housekeeping tick only).
void UpdateMyTime();
// Waits until the shared second has changed n+1 times.
void DelayS(int n);
int zsleep(int ms);
void OutPutDateTime(const char *tag, int line, const struct tm *t);

// Calendar check of the setup commands and the time sources: 1 for a date
// that exists (years 1970 to kYearMax), else -1.
int CheckDateValid(int year, int month, int day);

// Sets the system clock (under the clock lock) and then the hardware clock
// from it. Returns 0, or -1 with "Set system time error!" when the system
// clock refused; both clocks are then unchanged.
int SetSystemClock(time_t t);
