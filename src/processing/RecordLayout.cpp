#include "processing/RecordLayout.h"

#include <cstdio>
#include <cstring>

#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"

namespace {

// Elements printed as a time of day (hhmm).
constexpr int kDhgdTimes[] = {6, 11, 21, 23, 26, 28, 31, 33, 36, 38, 41, 43, 47, 52, 54, 57, 59, 62, 64, 78};
constexpr int kDhcdTimes[] = {2, 4, 11, 14, 17, 19, 22, 24};
constexpr int kDhrdTimes[] = {3, 7, 9, 13, 18, 22, 29, 33, 37, 41, 45, 49};
constexpr int kDhgdOldTimes[] = {6, 11, 17, 19, 23, 28, 30, 33, 35, 38, 40, 54};

constexpr int Count(const int *, std::size_t n) { return int(n); }
#define TIMES(a) a, Count(a, sizeof a / sizeof a[0])

constexpr const char *kMinuteQc = "012";

} // namespace

const RecordFileLayout kDmcdLayout{
    {"DMCD", DMCD_FIELDS, -1, -1, kMinuteQc, DMCD_FIELDS - 1, MarkerRule::Missing99999, nullptr, 0, -1, true},
    "DMCD", false, RECORD_TEXT_LEN, MINUTE_CARRY_FROM};
const RecordFileLayout kDmrdLayout{
    {"DMRD", DMRD_FIELDS, -1, -1, kMinuteQc, DMRD_FIELDS - 1, MarkerRule::Missing99999, nullptr, 0, -1, true},
    "DMRD", false, RECORD_TEXT_LEN, MINUTE_CARRY_FROM};
const RecordFileLayout kDhgdLayout{
    {"DHGD", DHGD_FIELDS, 44, 82, "0127", DHGD_FIELDS - 1, MarkerRule::Dash9999, TIMES(kDhgdTimes), 91, false},
    "DHGD", true, DHGD_SLOT, 24};
const RecordFileLayout kDhgdOldLayout{
    {"DHGD", DHGD_OLD_FIELDS, 20, 58, kMinuteQc, DHGD_OLD_FIELDS - 1, MarkerRule::Dash9999, TIMES(kDhgdOldTimes), 67, false},
    "DHGD", true, HOUR_SLOT, 24};
const RecordFileLayout kDhcdLayout{
    {"DHCD", DHCD_FIELDS, -1, -1, kMinuteQc, DHCD_FIELDS - 1, MarkerRule::Plain, TIMES(kDhcdTimes), -1, true},
    "DHCD", true, HOUR_SLOT, 24};
const RecordFileLayout kDhrdLayout{
    {"DHRD", DHRD_FIELDS, -1, -1, kMinuteQc, DHRD_FIELDS - 1, MarkerRule::Plain, TIMES(kDhrdTimes), -1, true},
    "DHRD", true, HOUR_SLOT, 24};
const RecordFileLayout kDhgdnzLayout{
    {"DHGDNZ", DHGD_OLD_FIELDS, 20, 58, kMinuteQc, DHGD_OLD_FIELDS - 1, MarkerRule::Dash9999, TIMES(kDhgdOldTimes), 67, true},
    "DHGDNZ", true, DHGDNZ_SLOT, 26};

#undef TIMES

// Element rows: WD 15, WS 16, RAT 18, RAT1_C 84, RAW 23, T0 2, TW 9, U 10,
// P 1, TG 24, ST0-ST8 26-34, LE 35, VI 36, CH 37, TCA 38, SD 41, FR 42,
// WI 43, FSD 44, LNF 45.
const unsigned char kDhgdOldSensor[DHGD_OLD_FIELDS] = {
    15, 16, 15, 16, 15, 16, 16, 15, 16, 15, 16, 16,   // 0-11 wind
    18, 84, 23,                                       // 12-14 rain
    2, 2, 2, 2, 2, 9, 10, 10, 10, 2, 2,               // 15-25 T0, TW, U, vapour, dew point
    1, 1, 1, 1, 1, 24, 24, 24, 24, 24,                // 26-35 P, TG
    26, 26, 26, 26, 26, 27, 28, 29, 30, 31, 32, 33, 34,   // 36-48 ST0-ST8
    35, 35, 36, 36, 36, 36, 37, 38, 38, 38,           // 49-58 LE, VI, CH, TCA
    41, 42, 43, 44, 45, 45, 45, 45, 45};              // 59-67 SD, FR, WI, FSD, LNF

const RecordFileLayout *RecordLayoutOf(int recordKind, bool oldGeneration)
{
    switch (recordKind) {
    case REC_DMCD: return &kDmcdLayout;
    case REC_DMRD: return &kDmrdLayout;
    case REC_DHGD: return oldGeneration ? &kDhgdOldLayout : &kDhgdLayout;
    case REC_DHCD: return &kDhcdLayout;
    case REC_DHRD: return &kDhrdLayout;
    case REC_DHGDNZ: return &kDhgdnzLayout;
    default: return nullptr;
    }
}

bool RecordSlotUnwritten(const char *rec, int len)
{
    if (len < 8 || std::strncmp(rec, "--------", 8) == 0)
        return true;
    int i = 0;
    for (int token = 0; token < 3; ++token) {
        while (i < len && rec[i] != ' ' && rec[i] != '\0')
            ++i;
        if (i >= len || rec[i] != ' ')
            return false;
        ++i;
    }
    while (i < len && ((rec[i] >= '0' && rec[i] <= '9') || rec[i] == ':'))
        ++i;
    // A short station name leaves blanks between the header and the filler.
    while (i < len && rec[i] == ' ')
        ++i;
    return len - i >= 8 && std::strncmp(rec + i, "--------", 8) == 0;
}

int StationRecordText(const RecordTextLayout &layout, RecordTextInput in, char *out,
                      std::size_t outLen)
{
    char station[9] = {};
    if (defdata != nullptr)
        std::memcpy(station, defdata->StationId, 8);
    in.station = station;
    return RecordStruct2Ascii(layout, in, out, outLen);
}

void RecordLiveCopy(int recordKind, const char *text, std::size_t len)
{
    if (TemproraryData == nullptr || recordKind < 0 || recordKind >= REC_KINDS)
        return;
    char *live = TemproraryData->LastRecord[recordKind];
    std::memset(live, 0, LAST_RECORD_LEN);
    std::memcpy(live, text, len < LAST_RECORD_LEN ? len : LAST_RECORD_LEN - 1);
}

bool RecordCfUsable()
{
    return defdata != nullptr && defdata->CfValid == '1' && TemproraryData != nullptr &&
           TemproraryData->MainStat.CfState == '0' && TemproraryData->MainStat.CFSpace > 99;
}

int SaveRecordSlot(const RecordFileLayout &layout, const RecordSaveTarget &to, const char *text,
                   const char *carry)
{
    if (defdata == nullptr || to.when == nullptr || text == nullptr)
        return -1;
    const struct tm &t = *to.when;
    char dir1[64], dir2[80], path[112], log[80], aside[240];
    std::snprintf(dir1, sizeof dir1, "%s/tempdata", to.root);
    std::snprintf(dir2, sizeof dir2, "%s/tempdata/%s", to.root, layout.dir);
    if (layout.monthly)
        std::snprintf(path, sizeof path, "%s/%02d%02d.DAT", dir2, t.tm_year % 100, t.tm_mon);
    else
        std::snprintf(path, sizeof path, "%s/%02d%02d%02d.DAT", dir2, t.tm_year % 100, t.tm_mon,
                      t.tm_mday);
    std::snprintf(log, sizeof log, "%s/rcdLOG.log", dir1);
    std::snprintf(aside, sizeof aside, "mv %s %s/%s%02d.DAT", path, dir1, layout.dir,
                  GetTime(0)->tm_hour);
    const char *const dirs[] = {dir1, dir2, nullptr};
    char station[9] = {};
    std::memcpy(station, defdata->StationId, 8);
    DaySlotHeader header{layout.text.tag, station, t.tm_year, t.tm_mon, t.tm_mday};

    SlotFileKind kind{to.func, layout.slots(), layout.slotSize,
                      layout.monthly ? MonthSlotHeaderFn : DaySlotHeaderFn};
    kind.fillFrom = layout.monthly ? layout.headerWidth : -1;
    kind.texts = layout.monthly ? &kHourSlotTexts : &kRecordSlotTexts;
    // Day files cut short while being made are completed; month files of
    // the wrong size are set aside and made again (below).
    kind.keepWhole = !layout.monthly;
    SlotWrite w{};
    w.dirs = dirs;
    w.path = path;
    w.logPath = log;
    w.headerCtx = &header;
    if (layout.monthly) {
        w.slot = (t.tm_mday - 1) * 24 + t.tm_hour;
        w.setAside = aside;
        w.verifyTag = to.checked ? layout.text.tag : nullptr;
    } else {
        w.slot = t.tm_hour * 60 + t.tm_min;
        w.carry = carry;
        w.carryFrom = layout.headerWidth;
        w.carryLen = layout.slotSize - layout.headerWidth;
    }
    w.text = text;
    return SlotFileSave(kind, w);
}
