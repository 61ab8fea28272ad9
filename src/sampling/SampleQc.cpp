#include "sampling/SampleQc.h"

#include <cmath>

#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/Sensortable.h"

namespace {

constexpr int QCPS_MEMORY = 90;

// Sample check memory of this process.
float LastValue[QCPS_MEMORY];
int beenRun[QCPS_MEMORY];
char iRet = '9';
float Vmn, Vmx, Rmx;

// Minute check memory of this process.
float PmLastValue[QCPM_MEMORY];
int PmBeenRun[QCPM_MEMORY];
float Vi10LastValue;
int Vi10BeenRun;

bool IsMissing(float v) { return v == 99999.0f || v == -99999.0f; }
bool IsSet(float limit) { return limit != QC_NONE; }

int QcpmRow(int index)
{
    switch (index) {
    case 82: case 83: case 85: case 87: case 89: return EL_WD;
    case 86: return EL_WS;
    case 88: return EL_WS2;
    case 90: return EL_WS3;
    default: return index;
    }
}

struct MinuteRow {
    float min, max, s, w, v;
};

// The shared steps 4 to 8 of the minute checks, on one memory slot.
char MinuteCheck(const MinuteRow &r, float value, float &last, int &been, uint8_t &counter)
{
    bool minSet = IsSet(r.min), maxSet = IsSet(r.max), sSet = IsSet(r.s), wSet = IsSet(r.w),
         vSet = IsSet(r.v);
    if ((minSet && maxSet && r.min > r.max) || (minSet && maxSet && sSet && r.max - r.min < r.s) ||
        (sSet && wSet && r.s > r.w) || (sSet && vSet && r.v > r.s))
        return '8';
    char code = '0';
    if (minSet && value < r.min)
        return '2';
    if (maxSet && value > r.max)
        return '2';
    if (been) {
        float d = std::fabs(value - last);
        if (sSet && d > r.s)
            code = '1';
        if (wSet && d > r.w)
            code = '2';
        if (vSet) {
            if (d >= r.v)
                counter = 0;
            else if (counter < 60)
                ++counter;
            else
                code = '1';
        } else {
            counter = 0;
        }
    } else {
        been = 1;
    }
    last = value;
    return code;
}

MinuteRow QcpmRowOf(int row)
{
    const DefDataRec &d = *defdata;
    return MinuteRow{d.Qcpm[row][0], d.Qcpm[row][1], d.Qcpm[row][2], d.Qcpm[row][3],
                     d.Qcpm[row][4]};
}

} // namespace

int QcpsRow(int index)
{
    if (index >= 0 && index < QCPS_ROWS)
        return index;
    switch (index) {
    case EL_UWD_QC: return EL_WD;
    case EL_UWS_QC: return EL_WS;
    // The second rain counter shares the calibration row of RAT1, so it is
    // checked against RAT1's limits too.
    case EL_RAT1_C: return EL_RAT1;
    default: return -1;
    }
}

char iQCPS_Code(int index, float value)
{
    if (IsMissing(value))
        return '8';
    if (defdata->QcCtrl == 0)
        return '0';
    if (index < 0 || index >= QCPS_MEMORY)
        return iRet;
    int row = QcpsRow(index);
    if (row < 0)
        return iRet;
    Vmn = defdata->Qcps[row][0];
    Vmx = defdata->Qcps[row][1];
    Rmx = defdata->Qcps[row][2];
    if (Rmx == -99999.0f)
        Rmx = QC_NONE;
    if (IsSet(Vmn) && IsSet(Vmx) && Vmn > Vmx)
        return iRet;
    if (IsSet(Vmn) && IsSet(Vmx) && IsSet(Rmx) && (Vmx - Vmn) < Rmx)
        return iRet;
    iRet = '0';
    if (IsSet(Vmn) && value < Vmn) {
        iRet = '2';
        return iRet;
    }
    if (IsSet(Vmx) && value > Vmx) {
        iRet = '2';
        return iRet;
    }
    if (beenRun[index] == 0)
        beenRun[index] = 1;
    else if (IsSet(Rmx) && std::fabs(value - LastValue[index]) > Rmx)
        iRet = '2';
    LastValue[index] = value;
    return iRet;
}

char iQCPM_Code(int index, float value)
{
    if (IsMissing(value))
        return '8';
    if (defdata->QcCtrl == 0)
        return '0';
    if (index < 0 || index >= QCPM_MEMORY)
        return '8';
    int row = QcpmRow(index);
    // The minute table has fewer rows than the check has indexes; an index
    // without a row has no usable parameters.
    if (row >= QCPM_ROWS)
        return '8';
    uint8_t counter = TemproraryData->NoVarCount[index];
    char code = MinuteCheck(QcpmRowOf(row), value, PmLastValue[index], PmBeenRun[index], counter);
    TemproraryData->NoVarCount[index] = counter;
    return code;
}

char iQCPM_VI_10_Code(float value)
{
    if (IsMissing(value))
        return '8';
    if (defdata->QcCtrl == 0)
        return '0';
    uint8_t counter = TemproraryData->NoVarCountVI10;
    char code = MinuteCheck(QcpmRowOf(EL_VI), value, Vi10LastValue, Vi10BeenRun, counter);
    TemproraryData->NoVarCountVI10 = counter;
    return code;
}

void SampleQcReset()
{
    for (int i = 0; i < QCPS_MEMORY; ++i) {
        LastValue[i] = 0.0f;
        beenRun[i] = 0;
    }
    for (int i = 0; i < QCPM_MEMORY; ++i) {
        PmLastValue[i] = 0.0f;
        PmBeenRun[i] = 0;
    }
    Vi10LastValue = 0.0f;
    Vi10BeenRun = 0;
    iRet = '9';
}
