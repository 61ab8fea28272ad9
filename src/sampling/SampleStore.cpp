#include "sampling/SampleStore.h"

#include <cmath>
#include <cstring>
#include <limits>

SampleDataRec *sampledata = nullptr;

void SetLiveElement(int index, float display, char qc)
{
    if (index < 0 || index >= ELEMENT_COUNT)
        return;
    TemproraryData->CurrentValue[index] = display;
    TemproraryData->CurrentQc[index] = qc;
    if (g_ucpSampleDataQc != nullptr)
        g_ucpSampleDataQc[index] = static_cast<unsigned char>(qc);
}

int32_t TruncToInt32(double v)
{
    if (std::isnan(v))
        return MISSING_VALUE;
    if (v >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

namespace {

template <int N>
void SeedMissing(SampleRing<N> &r)
{
    for (int i = 0; i < N; ++i) {
        r.Value[i] = MISSING_VALUE;
        r.Qc[i] = '8';
    }
}

} // namespace

void SampleStoreSnapshot(SampleDataRec *copy)
{
    std::memcpy(copy, sampledata, sizeof(SampleDataRec));
    std::memset(sampledata, 0, sizeof(SampleDataRec));
    // A minute without a wind direction sample must read as missing, not as
    // a calm north.
    SeedMissing(sampledata->WD);
    SeedMissing(sampledata->UWD);
}

void SampleStoreKeepPrevMinute(const SampleDataRec *copy)
{
    sampledata->WSPrev = copy->WS;
    sampledata->WS_3Prev = copy->WS_3;
    sampledata->WDPrev = copy->WD;
    sampledata->UWSPrev = copy->UWS;
    sampledata->UWS_3Prev = copy->UWS_3;
    sampledata->UWDPrev = copy->UWD;
}
