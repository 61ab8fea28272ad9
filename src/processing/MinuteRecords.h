// The minute records besides DMGD: DMCD (redundant air temperature,
// ventilation, second wind sensor, infrared surface temperature and copies
// of main-record elements) and DMRD (radiation pairs with their hourly
// exposures, sunshine), each with its next-minute template, its day file on
// NAND and its CF twin; and the fixed live texts DMOD and DMSD.
#pragma once

#include <cstdint>
#include <ctime>

#include "processing/Dmgd.h"
#include "processing/RecordLayout.h"

using DmcdRec = MinuteRecord<DMCD_FIELDS>;
using DmrdRec = MinuteRecord<DMRD_FIELDS>;

// The minute's records (the minute process's own; the hourly records read
// them).
const DmcdRec &DmcdRecord();
const DmrdRec &DmrdRecord();

// DMCD at the clock's minute: record, its text into FileSave->DmcdText, the
// next-minute template and its text, and the live copy.
void DmcdCalculate();
void Dmcd1Calculate();
int DmcdStruct2Ascii(const DmcdRec *record, char *text);
int Dmcd1Struct2Ascii(const DmcdRec *record, char *text);
// DMRD at the radiation clock (clock + Td): record and text; the template
// and its text.
void DmrdCalculate();
void Dmrd1Calculate();
int DmrdStruct2Ascii(const DmrdRec *record, char *text);
int Dmrd1Struct2Ascii(const DmrdRec *record, char *text);

// Slot saves of the minute (0 or -1). The CF twins write only with the card
// present and more than 99 MB free.
int DmcdSave();
int DmcdSaveCF();
int DmrdSave();
int DmrdSaveCF();
// The live texts "DMOD ... 00000000 NNNNNNN" and "DMSD ...".
int DmodSave();
int DmsdSave();

// The voted air temperature of three sensor means (0.01 deg C, null for a
// sensor without a mean) in 0.1 deg C; 99999 when no value results.
int32_t DmcdVoteTemperature(const int32_t *t1, const int32_t *t2, const int32_t *t3);

// Forgets what the records keep between minutes, as at process start.
void MinuteRecordsReset();
