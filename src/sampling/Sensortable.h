// The element table: every measured quantity has a short code and a fixed
// index that selects its QC rows, its live value and QC character and its
// enable character in the parameter record.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SENSORTABLE_ROWS = 85;
constexpr int SENSORTABLE_NAMED_ROWS = 80;   // rows a terminal command may name

// Element indexes used by the converters and the minute computations.
enum ElementIndex {
    EL_P = 1, EL_T0 = 2, EL_T01 = 3, EL_T02 = 4, EL_T03 = 5, EL_T1 = 6, EL_T2 = 7, EL_T3 = 8,
    EL_U = 10, EL_SV1 = 12, EL_SV2 = 13, EL_SV3 = 14, EL_WD = 15, EL_WS = 16, EL_WS1 = 17,
    EL_RAT = 18, EL_RAT1 = 19, EL_RAT2 = 20, EL_RAT3 = 21, EL_RAW = 23, EL_TG = 24, EL_IR = 25, EL_ST0 = 26,
    EL_ST1 = 27, EL_ST8 = 34, EL_LE = 35, EL_VI = 36, EL_SD = 41, EL_GR = 46, EL_NR = 47,
    EL_DR = 48, EL_SR = 49, EL_RR = 50, EL_UR = 51, EL_UVA = 52, EL_UVB = 53, EL_AR = 54,
    EL_TR = 56, EL_PR = 58, EL_SSD = 59, EL_SM1 = 60, EL_WS2 = 80, EL_WS3 = 81, EL_RAT1_C = 84,
    // QC selectors beyond the table: the ultrasonic wind.
    EL_UWD_QC = 85, EL_UWS_QC = 86,
};

#pragma pack(push, 1)
struct SensorRow {
    char Code[8];     // NUL padded
    int32_t Index;
};
#pragma pack(pop)
static_assert(sizeof(SensorRow) == 12);

extern const SensorRow Sensortable[SENSORTABLE_ROWS];

// The element index of a code (rows 0 to 79, exact and case-sensitive), or
// -1 when no row carries it.
int SensorIndexByCode(const char *code);
