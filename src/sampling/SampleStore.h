// The per-second sample store `sampledata`: for the current minute, the
// converted samples of each element with one QC character per sample, plus
// a few single-value fields. Written by the CAN receiver and the terminal
// process, snapshotted and cleared once a minute by the minute process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ShareMem.h"
#include "sampling/SampleQc.h"

constexpr int32_t MISSING_VALUE = 99999;
constexpr float MISSING_FLOAT = 99999.0f;

#pragma pack(push, 1)

// N values, N QC characters and the slot last written. pos starts at 0
// after the minute's clearing, so the first sample lands in slot 1.
template <int N>
struct SampleRing {
    int32_t Value[N];
    char Qc[N];
    uint8_t pos;
    static constexpr int Capacity = N;
};

enum RadiRing { RADI_GR, RADI_NR, RADI_DR, RADI_SR, RADI_RR, RADI_UR, RADI_UVA, RADI_UVB,
                RADI_AR, RADI_TR, RADI_PR, RADI_COUNT };
enum EarthRing { EARTH_TG, EARTH_ST0, EARTH_ST1, EARTH_ST8 = EARTH_ST1 + 7, EARTH_COUNT };

struct SampleDataRec {
    SampleRing<30> T0;          // 0.01 deg C
    SampleRing<30> U;           // 0.1 %
    SampleRing<240> WS;         // 0.01 m/s, four a second
    SampleRing<240> WSPrev;
    SampleRing<240> WS_3;
    SampleRing<240> WS_3Prev;
    SampleRing<60> WD;          // whole degrees
    SampleRing<60> WDPrev;
    SampleRing<240> UWS;
    SampleRing<240> UWSPrev;
    SampleRing<240> UWS_3;
    SampleRing<240> UWS_3Prev;
    SampleRing<60> UWD;
    SampleRing<60> UWDPrev;
    SampleRing<60> LE;          // 0.1 mm
    SampleRing<60> T1;          // 0.01 deg C; holds 60, wraps after 30
    SampleRing<60> T2;
    SampleRing<60> T3;
    SampleRing<30> SV1;
    SampleRing<30> SV2;
    SampleRing<30> SV3;
    SampleRing<30> WS1;         // 0.1 m/s
    SampleRing<30> IR;          // 0.01 deg C
    SampleRing<30> Radi[RADI_COUNT];
    SampleRing<30> Earth[EARTH_COUNT];   // TG, ST0-ST8, 0.01 deg C
    SampleRing<30> T0x[3];      // T01-T03, 0.1 deg C
    SampleRing<30> P;
    int32_t RainSum;            // minute rain of RAT, 0.1 mm
    char RainSumQc;
    int32_t Rain1Sum;           // minute rain of RAT1_C, 0.1 mm
    char Rain1SumQc;
    int32_t ClimFreq[3];        // climate board frequency channels
    char ClimFreqQc[3];
    float TairLatest[4];        // latest air temperature per channel, 0.1 deg C
    float TairFurther[4];       // further channels of the board, 0.1 deg C
    float TairExtra;            // its one more temperature, 0.1 deg C
    char TairExtraQc;
    int32_t VI;                 // latest visibility
    char VIQc;
    uint8_t RainBoard[6];       // byte readings of the rain board
};

#pragma pack(pop)

// Rings that wrap before their capacity.
constexpr int T123_WRAP = 30;
static_assert(offsetof(SampleRing<30>, Qc) == 120);
static_assert(sizeof(SampleRing<30>) == 151);
static_assert(sizeof(SampleRing<240>) == 1201);
static_assert(sizeof(SampleRing<60>) == 301);

// Private shared segment, created by ShareMemory before the split.
extern SampleDataRec *sampledata;

// Advances a ring's pos by the writing rule and returns the new slot.
// A pos out of range (the segment is shared) restarts at slot 0.
template <int N>
inline int RingAdvance(SampleRing<N> &r, int wrap = N)
{
    int p = r.pos + 1;
    if (p > wrap - 1 || p >= N)
        p = 0;
    r.pos = static_cast<uint8_t>(p);
    return p;
}

// Publishes a sample's QC and display value in the live tables.
void SetLiveElement(int index, float display, char qc);

// Writes one element sample whose QC character the caller has already
// decided: advance, placeholder '2' (unless told not to), value, QC; the
// live tables (CurrentValue, CurrentQc, g_ucpSampleDataQc) of index get the
// display value and the QC. times = 2 writes the same value and QC into two
// consecutive slots. Returns the QC character.
template <int N>
char StoreElementSample(SampleRing<N> &r, int wrap, int index, int32_t value, float display,
                        char qc, int times = 1, bool placeholder = true)
{
    for (int i = 0; i < times && i < 2; ++i) {
        int slot = RingAdvance(r, wrap);
        if (placeholder)
            r.Qc[slot] = '2';
        r.Value[slot] = value;
        r.Qc[slot] = qc;
    }
    SetLiveElement(index, display, qc);
    return qc;
}

// The usual writer: the sample check of index on the display value gives
// the QC character.
template <int N>
char WriteElementSample(SampleRing<N> &r, int wrap, int index, int32_t value, float display,
                        int times = 1, bool placeholder = true)
{
    return StoreElementSample(r, wrap, index, value, display, iQCPS_Code(index, display), times,
                              placeholder);
}

// Stores a value with a QC character decided by the caller (no sample
// check). Returns the slot written.
template <int N>
int WriteRingQc(SampleRing<N> &r, int wrap, int32_t value, char qc, bool placeholder = true)
{
    int slot = RingAdvance(r, wrap);
    if (placeholder)
        r.Qc[slot] = '2';
    r.Value[slot] = value;
    r.Qc[slot] = qc;
    return slot;
}

// Saturating conversion of a computed value to the store's integers:
// truncates toward zero; NaN and values beyond the 32-bit range become the
// nearest representable value (NaN becomes the missing value).
int32_t TruncToInt32(double v);

// Minute hand-over, first half: copies the store into the snapshot, clears
// the store and seeds the WD and UWD rings as missing.
void SampleStoreSnapshot(SampleDataRec *copy);
// Second half, after the minute's records: the closed minute's wind rings
// (with their pos) become the previous-minute rings of the live store.
void SampleStoreKeepPrevMinute(const SampleDataRec *copy);
