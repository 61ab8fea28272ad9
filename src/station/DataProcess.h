// Process D: the minute cycle. Once a minute it snapshots and clears the
// sample store, computes and saves the minute records, the hourly records at
// minutes 59 and 0, refreshes the element states and saves the running
// statistics so that a restart within two minutes resumes the hour.
#pragma once

#include <ctime>

#include "dailyfiles/DailyFiles.h"
#include "processing/Records.h"

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
