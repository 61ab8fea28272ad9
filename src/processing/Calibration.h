// Sensor calibration correction: eighteen elements can be corrected by an
// interval table of the parameter record (up to six upper bounds with an
// additive correction each).
#pragma once

#include "core/Param.h"

// Calibration constant per table index (an unset bound is constant * 99.9).
extern const int g_iaScvCalCoe[SCV_ELEMENTS];

// Table index of an element code, -1 for a code outside the table.
int GetScvSensorIndex(const char *code);
// Calibration constant of a code, -1 for a code outside the table.
int GetScvSensorCalCoe(const char *code);
// 1 when bound x of table index s is set (differs from the constant * 99.9).
int CheckScvParaIsValid(int s, double x);
// Last entry before the first unset one; -1 when entry 0 is unset.
int FindFinalValidParaPos(int s);
// The correction for value v with p the last valid entry.
double FindScvCeo(int s, int p, double v);
// v plus its correction; missing markers and codes outside the table pass
// unchanged.
float GetScvInterceptSampleData(const char *code, float v);
