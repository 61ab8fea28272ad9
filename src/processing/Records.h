// The minute and hourly records besides the main minute record, and the
// sample archives, in the order the minute cycle calls them.
#pragma once

#include "processing/HourRecords.h"
#include "processing/MinuteRecords.h"
#include "sampling/SampleStore.h"

// The minute's private copy of the sample store (allocated by
// DataProcessInit; every minute computation reads it, never the live store).
extern SampleDataRec *SampleDataCopy;

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
