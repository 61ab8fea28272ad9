// The last-minute file: fresh within 120 s of the save restores the hour
// group in the same hour, the radiation group by the shifted clock; stale,
// short and missing files leave the statistics as initialised. Also the
// hour change: both 23:59 and 00:00 save the hourly records, only 00:00
// restarts the hour.
#include "dmgd_fixture.h"

#include <filesystem>
#include <tuple>

namespace {

struct LastMinTest : MinuteTest {
    int Restore(time_t saved, time_t now, int td)
    {
        unsigned char buf[LASTMIN_BYTES] = {};
        StatisticRec s = *Statistic;
        s.Ext[SX_T0].Max = 251;
        s.Radi.SunshineMinutes = 17;
        StatisticPackLastMin(&s, buf);
        for (int i = 0; i < 4; ++i) {
            buf[i] = uint8_t(uint32_t(saved) >> (8 * i));
            buf[77 * 4 + i] = uint8_t(uint32_t(saved + td * 60) >> (8 * i));
        }
        testing::internal::CaptureStdout();
        int r = LastMinRestore(Statistic, buf, now, td);
        out_ = testing::internal::GetCapturedStdout();
        return r;
    }
};

constexpr time_t T10_30 = 1773135000;   // 2026-03-10 09:30:00 UTC

} // namespace

TEST_F(LastMinTest, FreshStaleAndAcrossTheHour)
{
    Start("2026-03-10 09:30:00");
    EXPECT_EQ(Restore(T10_30, T10_30 + 30, 0), LASTMIN_HOUR | LASTMIN_RADI);
    EXPECT_EQ(out_, "lastmindata is useful\r\n");
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, 251);

    StatisticValueSet();
    EXPECT_EQ(Restore(T10_30, T10_30 + 180, 0), LASTMIN_STALE);
    EXPECT_EQ(out_, "lastmindata is unuseful\r\n");
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, STAT_MAX_START);

    // The 120 s bound, also for a save time ahead of now (the clock was
    // stepped back since).
    for (auto [saved, now, want] : {std::tuple{T10_30, T10_30 + 119, LASTMIN_HOUR | LASTMIN_RADI},
                                    {T10_30, T10_30 + 120, LASTMIN_STALE},
                                    {T10_30 + 119, T10_30, LASTMIN_HOUR | LASTMIN_RADI},
                                    {T10_30 + 120, T10_30, LASTMIN_STALE}}) {
        StatisticValueSet();
        EXPECT_EQ(Restore(saved, now, 0), want) << saved - now;
    }

    // Saved at 09:59:50, read at 10:00:20: the hour is gone, but with the
    // radiation clock 5 minutes ahead both lie in its 10 o'clock hour.
    time_t saved = T10_30 + 29 * 60 + 50;
    EXPECT_EQ(Restore(saved, saved + 30, 5), LASTMIN_RADI);
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, STAT_MAX_START);
    EXPECT_EQ(Statistic->Radi.SunshineMinutes, 17);
}

TEST_F(LastMinTest, SavedFileIsReadBackAndShortFilesAreIgnored)
{
    Start("2026-03-10 09:30:00");
    Statistic->Ext[SX_P].Min = 9876;
    testing::internal::CaptureStdout();
    EXPECT_EQ(SaveLastMinData(), 0);
    std::string file = sb_->Read("/mnt/nand3/tempdata/lastmindata_new.bin");
    ASSERT_EQ(file.size(), 504u);
    StatisticValueSet();
    EXPECT_EQ(ReadLastMinData(), LASTMIN_HOUR | LASTMIN_RADI);
    EXPECT_EQ(Statistic->Ext[SX_P].Min, 9876);

    StatisticValueSet();
    sb_->Write("/mnt/nand3/tempdata/lastmindata_new.bin", file.substr(0, 100));
    EXPECT_EQ(ReadLastMinData(), 0);
    sb_->Write("/mnt/nand3/tempdata/lastmindata_new.bin", file + "x");
    EXPECT_EQ(ReadLastMinData(), 0);
    // The save goes aside first: when that cannot be written, the file
    // keeps its last whole image (a cut in the save leaves the old one).
    sb_->Write("/mnt/nand3/tempdata/lastmindata_new.bin", file);
    ASSERT_TRUE(std::filesystem::create_directory(sb_->Path("/mnt/nand3/tempdata/lastmindata_new.bin.tmp")));
    EXPECT_EQ(SaveLastMinData(), -1);
    EXPECT_EQ(sb_->Read("/mnt/nand3/tempdata/lastmindata_new.bin"), file);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(Statistic->Ext[SX_P].Min, STAT_MIN_START);
    EXPECT_EQ(out.find("unuseful"), std::string::npos);
    // The older generation has its own file.
    defdataEx->Generation = 0;
    EXPECT_STREQ(LastMinFileName(), "/mnt/nand3/tempdata/lastmindata.bin");
}

TEST_F(LastMinTest, HourChangeSavesAtBothMinutesAndRestartsOnlyAtZero)
{
    Start("2026-03-10 23:59:03");
    Statistic->Ext[SX_T0].Max = 300;
    int saves = HourFilesSaveCount();
    HourFilesSave();
    EXPECT_EQ(HourFilesSaveCount(), saves + 1);
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, 300);
    ASSERT_EQ(TpSetTime(TpTime() + 60), 0);   // 00:00:03
    HourFilesSave();
    EXPECT_EQ(HourFilesSaveCount(), saves + 2);
    EXPECT_EQ(Statistic->Ext[SX_T0].Max, STAT_MAX_START);
    ASSERT_EQ(TpSetTime(TpTime() + 60), 0);   // 00:01:03
    HourFilesSave();
    EXPECT_EQ(HourFilesSaveCount(), saves + 2);
}

TEST_F(LastMinTest, AGarbageImageOfTheRightAgeNeverOverflowsTheNextMinutes)
{
    Start("2026-03-10 09:30:00");
    const int32_t pattern[4] = {INT32_MAX, INT32_MIN, 0x30303030, -99999};
    for (int round = 0; round < 4; ++round) {
        unsigned char buf[LASTMIN_BYTES];
        for (int w = 0; w < LASTMIN_WORDS; ++w) {
            uint32_t v = uint32_t(pattern[(w + round) % 4]);
            if (w == 0 || w == 77)
                v = uint32_t(T10_30);
            for (int i = 0; i < 4; ++i)
                buf[w * 4 + i] = uint8_t(v >> (8 * i));
        }
        testing::internal::CaptureStdout();
        EXPECT_EQ(LastMinRestore(Statistic, buf, T10_30 + 5, 0), LASTMIN_HOUR | LASTMIN_RADI);
        testing::internal::GetCapturedStdout();
        std::memset(defdata->ElementEnable, '1', sizeof defdata->ElementEnable);
        defdata->ObValid[16] = defdata->ObValid[17] = '1';
        Fill(SampleDataCopy->T0, 2012);
        Fill(SampleDataCopy->U, 504);
        Fill(SampleDataCopy->WS, 350);
        Fill(SampleDataCopy->WSPrev, 340);
        Fill(SampleDataCopy->WD, 225);
        Fill(SampleDataCopy->WDPrev, 220);
        Fill(SampleDataCopy->LE, 500);
        SampleDataCopy->RainSum = 5;
        SampleDataCopy->RainSumQc = '0';
        SampleDataCopy->VIQc = '8';
        for (int m = 0; m < 2; ++m) {
            Calc();
            DmgdStruct2Ascii(&FileSave->Dmgd, FileSave->DmgdText);
            std::string line(FileSave->DmgdText);
            ASSERT_GE(line.size(), 2u);
            EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
            ASSERT_EQ(TpSetTime(TpTime() + 60), 0);
        }
    }
}
