// Quality control of samples and minute values. Each check keeps its change
// memory in the calling process (every process that checks has its own,
// empty at start); the minute check's no-variation counters live in
// TemproraryData.
#pragma once

// Sample check of a display value of element index (85 ultrasonic wind
// direction, 86 ultrasonic wind speed). Returns a QC character.
char iQCPS_Code(int index, float value);
// Minute check, index 0-99 (82, 83, 85, 87, 89 use the WD row, 86 WS, 88
// WS2, 90 WS3).
char iQCPM_Code(int index, float value);
// Minute check of the 10-minute visibility with the VI row.
char iQCPM_VI_10_Code(float value);

// The sample-check row of an element index (the ultrasonic wind and the
// second rain counter share a row), or -1 when the 80-row table has none.
int QcpsRow(int index);

// Forgets the change memories of this process, as at process start.
void SampleQcReset();
