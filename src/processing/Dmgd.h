// The main minute record DMGD (and its carry-over twin DMGD1) in both format
// generations: computation from the sample snapshot, the text line, and the
// day file of 1440 slots of 512 bytes on NAND and on the CF card.
//
// Also owns the shared segment FileSave: the record texts of the current
// minute, filled by the record builders and read by the savers, the daily
// file writers and the terminal commands.
#pragma once

#include <cstddef>
#include <cstdint>

#include "processing/RecordLayout.h"
#include "processing/RecordText.h"
#include "processing/Wind.h"

constexpr int DMGD_FIELDS = 57;       // current generation
constexpr int DMGD_OLD_FIELDS = 45;   // older generation
constexpr int DMGD_SLOTS = 1440;      // one per minute of the day
// Fields that other subsystems read from the minute records: the minute's
// rain (the hour's sum follows each) of the tipping bucket, the second
// counter and the weighing gauge.
constexpr int DMGD_F_RAT = 6;          // both generations
constexpr int DMGD_F_RAW = 18;
constexpr int DMGD_OLD_F_RAT1_C = 8;
constexpr int DMGD_OLD_F_RAW = 10;
constexpr int DMGD_CARRY_FROM = 27;   // the next slot keeps its own 27-byte header
constexpr int DMGD_CARRY_LEN = RECORD_TEXT_LEN - DMGD_CARRY_FROM;

#pragma pack(push, 1)

// A minute record: time text, one flag ('1' present) and one QC character
// per field (each string NUL-terminated), one scaled value per field and one
// further word.
template <int N>
struct MinuteRecord {
    char Time[20];
    char Flag[N + 1];
    char Qc[N + 1];
    int32_t Value[N];
    int32_t Further;
    static constexpr int Fields = N;
};
using DmgdRec = MinuteRecord<DMGD_FIELDS>;
using DmgdOldRec = MinuteRecord<DMGD_OLD_FIELDS>;

struct FileSaveRec {
    DmgdRec Dmgd;
    DmgdRec Dmgd1;
    DmgdOldRec DmgdOld;
    DmgdOldRec Dmgd1Old;
    char DmgdText[RECORD_TEXT_LEN];       // current generation
    char DmgdTextOld[RECORD_TEXT_LEN];    // older generation
    char DmcdText[RECORD_TEXT_LEN];
    char DmrdText[RECORD_TEXT_LEN];
    char Dmgd1Text[RECORD_TEXT_LEN];
    char Dmgd1TextOld[RECORD_TEXT_LEN];
    char Dmrd1Text[RECORD_TEXT_LEN];
    // Both wind sensors' means and the source used (written by the wind
    // computation; read by the sample archive line).
    WindCompareRec WindCompare;
};

#pragma pack(pop)

static_assert(sizeof(DmgdRec) == 20 + 58 + 58 + 57 * 4 + 4);
static_assert(sizeof(DmgdOldRec) == 20 + 46 + 46 + 45 * 4 + 4);
static_assert(offsetof(DmgdRec, Value) == 136);
static_assert(offsetof(DmgdOldRec, Value) == 112);
static_assert(offsetof(FileSaveRec, DmgdText) == 2 * sizeof(DmgdRec) + 2 * sizeof(DmgdOldRec));

// A minute record's line by its layout, into a 512-byte buffer; returns its
// length.
template <int N>
int MinuteRecordText(const RecordTextLayout &layout, const MinuteRecord<N> *rec, char *text)
{
    if (rec == nullptr || text == nullptr)
        return 0;
    int32_t values[N];
    for (int i = 0; i < N; ++i)
        values[i] = rec->Value[i];
    RecordTextInput in{nullptr, rec->Time, rec->Flag, rec->Qc, values};
    return StationRecordText(layout, in, text, RECORD_TEXT_LEN);
}

// Private shared segment, created by ShareMemory before the split.
extern FileSaveRec *FileSave;

// Text layouts of the four DMGD lines.
extern const RecordTextLayout kDmgdText;
extern const RecordTextLayout kDmgd1Text;
extern const RecordTextLayout kDmgdTextOld;
extern const RecordTextLayout kDmgd1TextOld;

// Current generation. The calculations fill FileSave's records from the
// snapshot (SampleDataCopy) and update the statistics; the Struct2Ascii
// functions build the line into a 512-byte text buffer and return its
// length.
void DmgdCalculate();
int DmgdStruct2Ascii(const DmgdRec *record, char *text);
void Dmgd1Calculate();
// The minute's main records of the active format generation, computed and
// turned into their texts in FileSave; returns the DMGD text.
const char *DmgdMinuteTexts();
int Dmgd1Struct2Ascii(const DmgdRec *record, char *text);
// Older generation.
void DmgdCalculate_Old();
int DmgdStruct2Ascii_Old(const DmgdOldRec *record, char *text);
void Dmgd1Calculate_Old();
int Dmgd1Struct2Ascii_Old(const DmgdOldRec *record, char *text);

// Writes the minute's slot (and the next slot's carried body) of the day
// file on NAND, resp. on the CF card (only with the card present and more
// than 99 MB free). The text is the one of the generation in use. 0 or -1.
int DmgdSave();
int DmgdSaveCF();

// Vapour pressure (0.1 hPa) and dew point (0.1 deg C) for temperature t
// (deg C) and relative humidity u (%).
void DmgdVapourDew(double t, double u, int32_t *e10, int32_t *td10);

// The second rain counter's minute amount and hour sum of the last
// computation (0.1 mm; 0 when the counter is off).
void DmgdRat1c(int32_t *minute, int32_t *hour);

// Forgets what the record keeps between minutes (rings, evaporation state,
// the selected air-temperature channel), as at process start.
void DmgdReset();
