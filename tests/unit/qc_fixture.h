// Parameter set-up shared by the test fixtures.
#pragma once

#include "core/Param.h"

// QC on with no limit and no calibration set. Fields of the packed record
// are written by index: a reference to one may be misaligned (a bus error
// on the older board).
inline void NoLimits(DefDataRec &d)
{
    d.QcCtrl = 1;
    for (int r = 0; r < QCPS_ROWS; ++r)
        for (int k = 0; k < 3; ++k)
            d.Qcps[r][k] = QC_NONE;
    for (int r = 0; r < QCPM_ROWS; ++r)
        for (int k = 0; k < 5; ++k)
            d.Qcpm[r][k] = QC_NONE;
    for (int s = 0; s < SCV_ELEMENTS; ++s)
        for (int k = 0; k < SCV_ENTRIES; ++k)
            d.Scv[s][k][0] = ScvUnsetBound(s);
}
