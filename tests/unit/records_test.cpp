// The climate, radiation and hourly records. Whole slots are compared byte
// for byte with golden files in tests/data/records/ (one line per slot,
// CR, LF and runs of NUL written out); KOMAIN_GOLDEN_UPDATE=1 rewrites them
// from the current code (review the diff before committing it).
#include "dmgd_fixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/MyTime.h"
#include "processing/HourLookup.h"
#include "processing/HourRecords.h"
#include "processing/MinuteRecords.h"

namespace {

std::string Render(const std::string &slot)
{
    std::string out;
    for (std::size_t i = 0; i < slot.size();) {
        char c = slot[i];
        if (c == '\0') {
            std::size_t j = i;
            while (j < slot.size() && slot[j] == '\0')
                ++j;
            out += "\\0*" + std::to_string(j - i);
            i = j;
            continue;
        }
        out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
        ++i;
    }
    return out + "\n";
}

void Golden(const std::string &name, const std::string &got)
{
    std::string path = std::string(KOMAIN_TESTDATA) + "/records/" + name;
    if (std::getenv("KOMAIN_GOLDEN_UPDATE") != nullptr) {
        std::ofstream(path, std::ios::binary) << got;
        return;
    }
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    EXPECT_EQ(got, s.str()) << path;
}

void SetTime(const std::string &clock)
{
    struct tm t {};
    strptime(clock.c_str(), "%Y-%m-%d %H:%M:%S", &t);
    TpSetTime(timegm(&t));
}

struct RecordsTest : MinuteTest {
    void Station(int generation)
    {
        defdataEx->Generation = generation;
        defdata->Td = 0;
        defdata->AltP = 104.0f;
        std::snprintf(defdata->Long, sizeof defdata->Long, "116.22.26");
        std::snprintf(defdata->Lat, sizeof defdata->Lat, "39.10.03");
        MinuteRecordsReset();
    }
    // Slot n of a board file (whole slot), rendered.
    std::string SlotOf(const std::string &file, int slot, int size, std::size_t slots)
    {
        std::string f = sb_->Read(file);
        EXPECT_EQ(f.size(), slots * size) << file;
        return f.size() >= std::size_t(slot + 1) * size ? Render(f.substr(std::size_t(slot) * size, size))
                                                        : file + " missing\n";
    }
    void Minute()
    {
        testing::internal::CaptureStdout();
        DmrdCalculate();
        Dmrd1Calculate();
        DmgdMinuteTexts();
        DmcdCalculate();
        testing::internal::GetCapturedStdout();
    }
    template <typename F>
    int Quiet(F f)
    {
        testing::internal::CaptureStdout();
        int r = f();
        testing::internal::GetCapturedStdout();
        return r;
    }
};

// The old-format GG file with a rain amount at chosen minutes: header
// "V1.00" at byte 92, 258-byte lines, 20:01 being line 1.
std::string OldGg(std::initializer_list<std::pair<int, int>> hhmmRain)
{
    std::string f(1441 * 258, '-');
    f.replace(92, 5, "V1.00");
    for (auto [hhmm, rain] : hhmmRain) {
        int line = ((hhmm / 100 + 4) % 24) * 60 + hhmm % 100;
        line = line == 0 ? 1440 : line;
        char head[8], amount[8];
        std::snprintf(head, sizeof head, "%04d", hhmm);
        std::snprintf(amount, sizeof amount, "%4d", rain);
        f.replace(std::size_t(line) * 258, 4, head);
        f.replace(std::size_t(line) * 258 + 40, 4, amount);
        f[std::size_t(line) * 258 + 208] = '0';
    }
    return f;
}

} // namespace

// 23:59 of the last day of a month: the minute slots are the day's last
// (nothing beyond), the hourly records go to slot 0 of next month's files.
// Voting of 2000/2030/2500 gives 201; at night the irradiances except NR
// read 0; DHRD's sunshine minutes are capped at 60.
TEST_F(RecordsTest, LastMinuteOfAMonthGolden)
{
    Start("2026-06-30 23:59:10");
    Station(1);
    for (int e : std::initializer_list<int>{EL_T0, EL_U, EL_P, EL_T1, EL_T2, EL_T3, EL_SV1, EL_SV2, EL_SV3, EL_WS1, EL_IR,
                  EL_RAT1_C, EL_ST0, EL_GR, EL_NR, EL_DR, 59})
        Enable(e);
    SampleDataRec &s = *SampleDataCopy;
    Fill(s.T0, 2512);
    Fill(s.U, 655);
    Fill(s.P, 10012);
    Fill(s.T1, 2000);
    Fill(s.T2, 2030);
    Fill(s.T3, 2500);
    Fill(s.SV1, 35);
    Fill(s.SV2, 40);
    Fill(s.SV3, 45, '2');
    for (int i = 0; i < 30; ++i) {
        s.WS1.Value[i] = 30 + i;
        s.WS1.Qc[i] = i % 7 == 0 ? '2' : '0';
    }
    Fill(s.IR, -1234);
    Fill(s.Earth[EARTH_ST0], 1550);
    Fill(s.Radi[RADI_GR], 50000);
    Fill(s.Radi[RADI_NR], -4000);
    Fill(s.Radi[RADI_DR], 30000);
    s.Rain1Sum = 3;
    s.Rain1SumQc = '0';
    Statistic->Radi.Sum[SRD_R0] = 250;
    Statistic->Radi.SunshineMinutes = 75;
    Minute();
    EXPECT_EQ(DmcdRecord().Value[0], 201);
    EXPECT_EQ(Quiet(DmrdSave) | Quiet(DmcdSave) | Quiet(DhgdSave) | Quiet(DhcdSave) |
                  Quiet(DhrdSave),
              0);

    std::string got = SlotOf("/mnt/nand3/tempdata/DMCD/260630.DAT", 1439, 512, 1440) +
                      SlotOf("/mnt/nand3/tempdata/DMRD/260630.DAT", 1439, 512, 1440) +
                      SlotOf("/mnt/nand3/tempdata/DHGD/2607.DAT", 0, 540, 744) +
                      SlotOf("/mnt/nand3/tempdata/DHCD/2607.DAT", 0, 512, 744) +
                      SlotOf("/mnt/nand3/tempdata/DHRD/2607.DAT", 0, 512, 744) +
                      SlotOf("/mnt/nand3/tempdata/DHGD/2607.DAT", 743, 540, 744);
    Golden("month_end.out", got);
}

// The older generation at 10:00: DHGD in 512-byte slots and DHGDNZ with its
// derived items from the three hours stored before (pressure change over 3
// hours, rain sums) and the minute rain of the hour from the GG file
// (123 does not fit two characters; 10:00 is minute 00).
TEST_F(RecordsTest, OldGenerationHourGolden)
{
    Start("2026-03-10 06:59:10");
    Station(0);
    for (int e : std::initializer_list<int>{EL_WD, EL_WS, EL_T0, EL_U, EL_P, EL_RAT, EL_ST0, 38, 39, 40})
        Enable(e);
    sb_->Write("/mnt/nand3/data/GG260310.DAT", OldGg({{905, 4}, {930, 123}, {1000, 7}}));
    SampleDataRec &s = *SampleDataCopy;
    Fill(s.T0, 1500);
    Fill(s.U, 700);
    Fill(s.Earth[EARTH_ST0], 900);
    const char *hours[] = {"2026-03-10 06:59:10", "2026-03-10 07:59:10", "2026-03-10 08:59:10",
                           "2026-03-10 10:00:10"};
    int p = 10000;
    for (const char *h : hours) {
        SetTime(h);
        Fill(s.P, p += 15);
        s.RainSum = 2;
        s.RainSumQc = '0';
        Minute();
        ASSERT_EQ(Quiet(DhgdSave_Old) | Quiet(DhgdnzSave), 0) << h;
        StatisticValueReSet(0);
    }
    std::string got = SlotOf("/mnt/nand3/tempdata/DHGD/2603.DAT", 9 * 24 + 10, 512, 744) +
                      SlotOf("/mnt/nand3/tempdata/DHGDNZ/2603.DAT", 9 * 24 + 10, 1024, 744) +
                      SlotOf("/mnt/nand3/tempdata/DHGDNZ/2603.DAT", 9 * 24 + 9, 1024, 744);
    Golden("old_hour.out", got);
}

TEST(DmcdVote, PairsAndMedian)
{
    struct Case {
        int n;
        int32_t t[3];
        int32_t want;
    };
    const Case cases[] = {
        {3, {2000, 2030, 2500}, 201},   // only T1-T2 agrees (30 allowed)
        {3, {2000, 2010, 2025}, 201},   // all agree: the median
        {3, {2000, 2100, 2200}, 99999}, // none agrees
        {3, {6000, 6055, 9000}, 602},   // beyond 50 degrees 60 is allowed
        {1, {2009, 0, 0}, 200},
        {0, {0, 0, 0}, 99999},
    };
    for (const Case &c : cases) {
        const int32_t *p[3] = {};
        for (int i = 0; i < c.n; ++i)
            p[i] = &c.t[i];
        EXPECT_EQ(DmcdVoteTemperature(p[0], p[1], p[2]), c.want) << c.t[0];
    }
}

// In daylight: GR with 11 invalid samples is 0, DR from its one valid
// sample; an irradiance that fails its check adds nothing to the exposure.
TEST_F(RecordsTest, RadiationByDay)
{
    Start("2026-06-21 12:01:10");
    Station(1);
    for (int e : {EL_GR, EL_DR, EL_SR})
        Enable(e);
    defdata->Qcpm[49][1] = 500;   // SR above 500 W/m2 is wrong
    SampleDataRec &s = *SampleDataCopy;
    Fill(s.Radi[RADI_GR], 80000);
    for (int i = 0; i < 11; ++i)
        s.Radi[RADI_GR].Qc[i] = '8';
    Fill(s.Radi[RADI_DR], 70000, '8');
    s.Radi[RADI_DR].Qc[5] = '0';
    Fill(s.Radi[RADI_SR], 90000);
    Minute();
    const DmrdRec &r = DmrdRecord();
    EXPECT_EQ(int32_t(r.Value[0]), 0);
    EXPECT_EQ(int32_t(r.Value[4]), 700);
    EXPECT_EQ(int32_t(r.Value[5]), 4);    // 700 W/m2 for a minute: 0.042 MJ/m2
    EXPECT_EQ(r.Qc[7], '2');
    EXPECT_EQ(int32_t(r.Value[8]), 0);
}

// A month file of another slot size (a change of generation) is set aside
// and made again before the slot is written.
TEST_F(RecordsTest, MonthFileOfAnotherSizeIsSetAside)
{
    Start("2026-06-21 12:59:10");
    Station(1);
    sb_->Write("/mnt/nand3/tempdata/DHGD/2606.DAT", std::string(744 * 512, '-'));
    Minute();
    EXPECT_EQ(Quiet(DhgdSave), 0);
    EXPECT_EQ(sb_->Read("/mnt/nand3/tempdata/DHGD/2606.DAT").size(), 744u * 540);
    EXPECT_EQ(sb_->Read("/mnt/nand3/tempdata/DHGD12.DAT").size(), 744u * 512);
}

// Lookups over a span that crosses midnight; records of another element
// configuration, garbled or unwritten slots count as missing; a written
// record may hold dashes of its own (TCA's twelve).
TEST_F(RecordsTest, LookupsAcrossMidnight)
{
    Start("2026-03-11 01:00:10");
    Station(0);
    for (int e : std::initializer_list<int>{EL_WD, EL_WS, EL_T0, EL_P, EL_RAT, 38})
        Enable(e);
    char flags[DHGD_OLD_FIELDS + 1];
    ASSERT_EQ(MakeIndexArry(flags, sizeof flags), DHGD_OLD_FIELDS);
    auto store = [&](const char *when, int32_t p, int32_t rain, const char *flagText) {
        SetTime(when);
        DhgdnzRec r{};
        std::memset(r.Flag, '0', DHGD_OLD_FIELDS);
        std::memcpy(r.Flag, flagText, DHGD_OLD_FIELDS);
        std::memset(r.Qc, '0', DHGD_OLD_FIELDS);
        std::snprintf(r.Time, sizeof r.Time, "%.13s", when);
        r.Value[26] = p;
        r.Value[12] = rain;
        r.Value[10] = 55;   // the hour's extreme wind and its direction
        r.Value[9] = 270;
        static char text[DHGDNZ_SLOT];
        char rain120[DHGDNZ_RAIN_LEN];
        std::memset(rain120, '0', sizeof rain120);
        DhgdnzStruct2Ascii(&r, rain120, text);
        return Quiet([&] { return SaveDhgdnzData(text); });
    };
    std::string other(flags, DHGD_OLD_FIELDS);
    other[0] = other[0] == '1' ? '0' : '1';
    ASSERT_EQ(store("2026-03-10 21:59:10", 9990, 9, flags), 0);
    ASSERT_EQ(store("2026-03-10 22:59:10", 10000, 5, flags), 0);
    ASSERT_EQ(store("2026-03-10 23:59:10", 10010, 7, other.c_str()), 0);
    ASSERT_EQ(store("2026-03-11 00:59:10", 10030, 2, flags), 0);
    struct tm now {};
    now.tm_year = 2026, now.tm_mon = 3, now.tm_mday = 11, now.tm_hour = 1;
    int32_t aux = 0;
    EXPECT_EQ(FindValAndStatisticsAt(now, 4, 2, 2, nullptr), 5 + 2);   // 23:00, 00:00, 01:00
    EXPECT_EQ(FindValAndStatisticsAt(now, 0, 3, 3, nullptr), 10030 - 9990);
    EXPECT_EQ(FindValAndStatisticsAt(now, 6, 3, 0, &aux), 55);
    EXPECT_EQ(aux, 270);
    now.tm_hour = 5;   // nothing stored from 03:00 on: no rain is not a dry day
    EXPECT_EQ(FindValAndStatisticsAt(now, 4, 1, 2, nullptr), -99999);

    HourItem item;
    static const char *const kBad[] = {"", "DHGDNZ 1", "DHGDNZ 12345 2026-03-11 01 1111",
                                       "D \xff\xfe \n\r\t                                         x"};
    for (const char *t : kBad) {
        EXPECT_EQ(TakeOutItemData(t, int(std::strlen(t)), 0, &item), -1);
        EXPECT_EQ(item.value, -99999);
        EXPECT_EQ(item.qc, '8');
    }
}

TEST_F(RecordsTest, MinuteRainOfTheHourEndingAt20)
{
    Start("2026-03-10 20:00:10");
    Station(0);
    Enable(EL_RAT);
    char text[DHGDNZ_RAIN_LEN + 1] = {};
    EXPECT_EQ(Cal120MinRain(GetTime(0), text), -1);
    EXPECT_EQ(std::string(text), std::string(120, '/'));
    sb_->Write("/mnt/nand3/data/GG260310.DAT", OldGg({{1901, 12}, {2000, 9}}).substr(0, 1000 * 258));
    EXPECT_EQ(Cal120MinRain(GetTime(0), text), -1);   // cut short
    sb_->Write("/mnt/nand3/data/GG260310.DAT", OldGg({{1901, 12}, {2000, 9}}));
    EXPECT_EQ(Cal120MinRain(GetTime(0), text), 0);
    EXPECT_EQ(std::string(text), "12" + std::string(116, '0') + "09");
}
