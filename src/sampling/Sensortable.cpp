#include "sampling/Sensortable.h"

#include <cstring>

#define ROW(code, idx) SensorRow{code, idx}

constexpr SensorRow Sensortable[SENSORTABLE_ROWS] = {
    ROW("nNull", 0), ROW("P", 1),     ROW("T0", 2),    ROW("T01", 3),   ROW("T02", 4),
    ROW("T03", 5),   ROW("T1", 6),    ROW("T2", 7),    ROW("T3", 8),    ROW("TW", 9),
    ROW("U", 10),    ROW("TDTD", 11), ROW("SV1", 12),  ROW("SV2", 13),  ROW("SV3", 14),
    ROW("WD", 15),   ROW("WS", 16),   ROW("WS1", 17),  ROW("RAT", 18),  ROW("RAT1", 19),
    ROW("RAT2", 20), ROW("RAT3", 21), ROW("RAT5", 22), ROW("RAW", 23),  ROW("TG", 24),
    ROW("IR", 25),   ROW("ST0", 26),  ROW("ST1", 27),  ROW("ST2", 28),  ROW("ST3", 29),
    ROW("ST4", 30),  ROW("ST5", 31),  ROW("ST6", 32),  ROW("ST7", 33),  ROW("ST8", 34),
    ROW("LE", 35),   ROW("VI", 36),   ROW("CH", 37),   ROW("TCA", 38),  ROW("LCA", 39),
    ROW("WW", 40),   ROW("SD", 41),   ROW("FR", 42),   ROW("WI", 43),   ROW("FSD", 44),
    ROW("LNF", 45),  ROW("GR", 46),   ROW("NR", 47),   ROW("DR", 48),   ROW("SR", 49),
    ROW("RR", 50),   ROW("UR", 51),   ROW("UVA", 52),  ROW("UVB", 53),  ROW("AR", 54),
    ROW("ART", 55),  ROW("TR", 56),   ROW("TRT", 57),  ROW("PR", 58),   ROW("SSD", 59),
    ROW("SM1", 60),  ROW("SM2", 61),  ROW("SM3", 62),  ROW("SM4", 63),  ROW("SM5", 64),
    ROW("SM6", 65),  ROW("SM7", 66),  ROW("SM8", 67),  ROW("WT", 68),   ROW("BA", 69),
    ROW("OT", 70),   ROW("OS", 71),   ROW("OC", 72),   ROW("OH", 73),   ROW("OP", 74),
    ROW("OD", 75),   ROW("OV", 76),   ROW("TL", 77),   ROW("OTU", 78),  ROW("OCC", 79),
    ROW("WS2", 80),  ROW("WS3", 81),  ROW("RAT1_C", 84), ROW("", 0),    ROW("", 0),
};

#undef ROW

// Rows stand at their index, except RAT1_C (row 82) and the empty tail.
static_assert([] {
    for (int i = 0; i < 82; ++i)
        if (Sensortable[i].Index != i)
            return false;
    return Sensortable[82].Index == EL_RAT1_C;
}());

int SensorIndexByCode(const char *code)
{
    if (code == nullptr)
        return -1;
    for (int i = 0; i < SENSORTABLE_NAMED_ROWS; ++i) {
        const SensorRow &row = Sensortable[i];
        // Every row's code ends in a NUL within its 8 bytes, so this is
        // an exact comparison.
        if (std::strncmp(row.Code, code, sizeof row.Code) == 0)
            return row.Index;
    }
    return -1;
}
