// Looking back through the stored old-generation hourly records (DHGDNZ
// month files) for the derived items of the DHGDNZ record: one element of a
// stored record text, a run of hours, statistics over the last n hours, the
// sea-level pressure with the temperature of 12 hours earlier, and the
// minute precipitation of the hour from the old-format GG file.
#pragma once

#include <cstdint>
#include <ctime>

#include "processing/HourRecords.h"

constexpr int32_t LOOKUP_MISSING = -99999;

// Index of the n-th occurrence (from 1) of c in text, -1 when there is none.
int FindNbrCharPosFromStr(const char *text, char c, int n);
// The 68-character flag string the current parameters give to the
// old-generation hourly record, NUL-terminated (size at least 69). Returns
// 68, or -1 when the buffer is too small.
int MakeIndexArry(char *buffer, int size);
// Position (from 1) among the enabled elements of the element that a
// lookup item reads (item 6: the wind direction, whose speed follows it);
// -1 when it is not enabled or the item has none.
int FindSampleItemPos(int item);

struct HourItem {
    int32_t value;   // LOOKUP_MISSING unless the QC is '0'
    char qc;
    int32_t aux;     // item 6: the direction at the maximum wind
    char auxQc;
};
// The item from a stored record text of at most len bytes; missing (value
// -99999, QC '8') for a text that is short, garbled or written under
// another element configuration. Returns 0 when the item was found.
int TakeOutItemData(const char *text, int len, int item, HourItem *out);
// Hours first..last of the day of `day`, one entry each, from the NAND month
// file and, for slots missing there, the CF card's. Returns the number of
// hours, -1 when neither file can be opened (all entries missing).
int FindItemData(const struct tm &day, int firstHour, int lastHour, int item, HourItem *out);
// The hours from `from` to `to` (within one day, or across one midnight in
// two runs). Returns the number of hours, -1 when no file could be read.
int FindWhichOneDaysData(const struct tm &from, const struct tm &to, int item, HourItem *out,
                         int max);
// Over the hour `now` and the n before it, counting values with QC '0':
// mode 0 maximum (aux: the auxiliary value of that hour), 1 minimum, 2 sum,
// 3 change over the n hours; -99999 when nothing counts.
int32_t FindValAndStatisticsAt(const struct tm &now, int item, int n, int mode, int32_t *aux);
// The same for the hour being stamped (the clock one minute ahead).
int32_t FindValAndStatistics(int item, int n, int mode, int32_t *aux);

// Element 68 of the record stamped t: the sea-level pressure, -99999
// unless the pressure, the temperature and that of 12 hours earlier are
// all good.
int SeaLevleAirPressCal(DhgdnzRec *r, const struct tm &t);
// Elements 68-82 of the record stamped t.
void Dhgd_Nw_ItemCal(DhgdnzRec *r, const struct tm &t);
// The 120-character minute precipitation of the hour of t (two characters
// per minute, minute 00 last); 120 '/' when the GG file is missing, short
// or of another format. Returns 0, or -1 for the '/' text.
int Cal120MinRain(const struct tm *t, char *text);
