// The hourly records: DHGD (both format generations), DHCD, DHRD and, in
// the old generation, DHGDNZ with its derived items. Each is stamped one
// minute ahead (DHRD on the radiation clock), written at minute 59 and
// again at minute 0 into its slot of a month file of 744 slots on NAND,
// and copied to the CF card by the CF twins.
#pragma once

#include <cstdint>
#include <ctime>

#include "processing/RecordLayout.h"

// An hourly record in memory: time text, one flag and one QC character per
// element, one value per element (DHGDNZ: 68 flagged elements and 15
// derived ones).
template <int N, int Flagged = N>
struct HourRecord {
    char Time[20];
    char Flag[Flagged + 1];
    char Qc[Flagged + 1];
    int32_t Value[N];
};
using DhgdRec = HourRecord<DHGD_FIELDS>;
using DhgdOldRec = HourRecord<DHGD_OLD_FIELDS>;
using DhcdRec = HourRecord<DHCD_FIELDS>;
using DhrdRec = HourRecord<DHRD_FIELDS>;
using DhgdnzRec = HourRecord<DHGD_OLD_FIELDS + DHGDNZ_TAIL, DHGD_OLD_FIELDS>;

// Fill the record from the minute records and the statistics, for the
// hour stamped at t.
void DhgdCalculate(DhgdRec *r, const struct tm &t);
void DhgdCalculate_Old(DhgdOldRec *r, const struct tm &t);
void DhcdCalculate(DhcdRec *r, const struct tm &t);
void DhrdCalculate(DhrdRec *r, const struct tm &t);
void DhodCalculate();
void DhsdCalculate();

// Texts into a buffer of the record's slot size; the length is returned.
int DhgdStruct2Ascii(const DhgdRec *r, char *text);
int DhgdStruct2Ascii_Old(const DhgdOldRec *r, char *text);
int DhcdStruct2Ascii(const DhcdRec *r, char *text);
int DhrdStruct2Ascii(const DhrdRec *r, char *text);
// rain: the 120-character minute precipitation of the hour.
int DhgdnzStruct2Ascii(const DhgdnzRec *r, const char *rain, char *text);

// Savers (0 or -1). The NAND saves compute and convert; the CF twins store
// the text the NAND save built.
int DhgdSave();
int DhgdSaveCF();
int DhgdSave_Old();
int DhgdSaveCF_Old();
int DhgdnzSave();
int DhgdnzSaveCF();
int SaveDhgdnzData(const char *text);   // a 1024-byte slot of the hour
int DhcdSave();
int DhcdSaveCF();
int DhrdSave();
int DhrdSaveCF();
int DhodSave();
int DhsdSave();
