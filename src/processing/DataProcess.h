// Process D: the minute cycle. Once a minute it snapshots and clears the
// sample store, computes and saves the minute records, the hourly records at
// minutes 59 and 0, refreshes the element states and saves the running
// statistics so that a restart within two minutes resumes the hour.
#pragma once

#include <ctime>

#include "sampling/SampleStore.h"

// The minute's private copy of the sample store (allocated by
// DataProcessInit; every minute computation reads it, never the live store).
extern SampleDataRec *SampleDataCopy;

int DataProcess();
void DataProcessInit();
void MinFileCalc();
void MinFilesSave();
void HourFilesSave();
void RadiHourFilesSave();

// One pass of the once-a-second loop, for the loop and its tests.
struct DataProcessState {
    int p_min = 0;            // the minute last processed
    bool corrected = false;   // hardware-clock correction tried since the last minute
};
// Returns 1 when the pass processed a minute.
int DataProcessPass(DataProcessState &st);

// How many times the hourly records were saved (for the tests of the hour
// change: both minute 59 and minute 0 save).
int HourFilesSaveCount();
int RadiHourFilesSaveCount();

// Records and files of later subsystems that the minute cycle calls in its
// order. Until a subsystem is built its entries are the do-nothing stubs of
// core/Placeholders.cpp.
void DmrdCalculate();
void Dmrd1Calculate();
void DmcdCalculate();
int DmrdSave();
int DmrdSaveCF();
int DmcdSave();
int DmcdSaveCF();
int DmodSave();
int DmsdSave();
int SampleSave();
int SampleSaveCF();
int RRFileSave(const char *dmrdText);
int GGFileSave(const char *dmgdText, const char *dmcdText);
int GGFileSave_Old(const char *dmgdText, const char *dmcdText);
int STFileSave();
int STFileSave_Old();
int DhgdSave();
int DhgdSave_Old();
int DhgdnzSave();
int DhgdSaveCF();
int DhgdSaveCF_Old();
int DhgdnzSaveCF();
int DhcdSave();
int DhcdSaveCF();
int DhodSave();
int DhsdSave();
int DhrdSave();
int DhrdSaveCF();
