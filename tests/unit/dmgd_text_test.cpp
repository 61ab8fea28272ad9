// The DMGD text lines of both generations: items by QC, the special fields,
// the carried twin and the cut of a line too long for its slot.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "processing/Dmgd.h"
#include "processing/RecordText.h"

namespace {

template <int N>
MinuteRecord<N> Blank()
{
    MinuteRecord<N> r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.Time, "2026-03-10 08:15", 16);
    std::memset(r.Flag, '0', N);
    std::memset(r.Qc, 'N', N);
    for (int i = 0; i < N; ++i)
        r.Value[i] = 99999;
    return r;
}

template <int N>
void Put(MinuteRecord<N> &r, int f, int32_t v, char qc)
{
    r.Flag[f] = '1';
    r.Qc[f] = qc;
    r.Value[f] = v;
}

std::string Text(const RecordTextLayout &l, const char *station, const char *time, const char *flags,
                 const char *qc, const int32_t *v)
{
    char out[RECORD_TEXT_LEN];
    int n = RecordStruct2Ascii(l, RecordTextInput{station, time, flags, qc, v}, out, sizeof out);
    EXPECT_EQ(size_t(n), std::strlen(out));
    return std::string(out);
}

template <int N>
std::string Line(const RecordTextLayout &l, const MinuteRecord<N> &r)
{
    int32_t v[N];
    for (int i = 0; i < N; ++i)
        v[i] = r.Value[i];
    return Text(l, "12345", r.Time, r.Flag, r.Qc, v);
}

} // namespace

TEST(DmgdText, AllFieldsAbsentStillPrintsTheHeadAndAnEmptyQcString)
{
    auto r = Blank<DMGD_FIELDS>();
    EXPECT_EQ(Line(kDmgdText, r), "DMGD 12345 2026-03-10 08:15 " + std::string(57, '0') + "  \r\n");
    auto o = Blank<DMGD_OLD_FIELDS>();
    EXPECT_EQ(Line(kDmgdTextOld, o), "DMGD 12345 2026-03-10 08:15 " + std::string(45, '0') + "  \r\n");
}

TEST(DmgdText, ItemsFollowTheQcAndTheSpecialFields)
{
    auto r = Blank<DMGD_FIELDS>();
    Put(r, 1, 123456, '0');   // printed modulo 100000
    Put(r, 7, -123456, '1');
    Put(r, 20, -99999, '0');
    Put(r, 21, 99999, '2');
    Put(r, 22, 215, '7');     // substituted: a value in DMGD only
    Put(r, 25, 42, '0');
    Put(r, 29, 10132, '8');
    Put(r, 47, 99999, '0');
    Put(r, 56, 7, '0');
    std::string flags(57, '0');
    for (int f : {1, 7, 20, 21, 22, 25, 29, 47, 56})
        flags[f] = '1';
    std::string head = "DMGD 12345 2026-03-10 08:15 " + flags + " 010270800 ";
    EXPECT_EQ(Line(kDmgdText, r), head + "23456 -23456 -9999 99999 215 * //// ------------ 0007 \r\n");
    // The twin: no substituted value and no items beyond field 44.
    EXPECT_EQ(Line(kDmgd1Text, r), head + "23456 -23456 -9999 99999 //// * //// \r\n");
}

TEST(DmgdText, OlderGenerationHasItsOwnSpecialFields)
{
    auto r = Blank<DMGD_OLD_FIELDS>();
    Put(r, 12, 7, '7');
    Put(r, 13, 42, '0');
    Put(r, 35, 0, '0');
    Put(r, 44, 12, '0');
    std::string flags(45, '0');
    for (int f : {12, 13, 35, 44})
        flags[f] = '1';
    EXPECT_EQ(Line(kDmgdTextOld, r),
              "DMGD 12345 2026-03-10 08:15 " + flags + " 7000 //// * ------------ 0012 \r\n");
}

TEST(DmgdText, ALineTooLongForItsSlotIsCutAfterAWholeItemAndStillEnds)
{
    auto r = Blank<DMGD_FIELDS>();
    for (int f = 0; f < DMGD_FIELDS; ++f)
        Put(r, f, -99998, '0');
    r.Flag[25] = r.Flag[47] = '0';
    std::string s = Line(kDmgdText, r);
    ASSERT_LE(s.size(), size_t(RECORD_TEXT_LEN - 1));
    EXPECT_EQ(s.substr(s.size() - 9), "-99998 \r\n");
    EXPECT_GT(s.size(), size_t(RECORD_TEXT_LEN - 10));
}

TEST(DmgdText, StationOfEightCharactersWithoutNulAndGarbageQcSurvive)
{
    char flags[3] = {'1', '1', '1'};
    char qc[3] = {'\0', 'x', '0'};
    int32_t v[3] = {INT32_MIN, INT32_MAX, -100005};
    RecordTextLayout l{"DMGD", 3, -1, -1, "0", 2};
    char station[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    char time[20];
    std::memset(time, '9', sizeof time);
    EXPECT_EQ(Text(l, station, time, flags, qc, v),
              "DMGD ABCDEFGH 99999999999999999999 111 Nx0 //// //// -5 \r\n");
}
