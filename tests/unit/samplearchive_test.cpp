// Sample archives: the exact slots and live texts of a minute (golden file
// tests/data/dailyfiles/samples.out), the ring positions, the archive
// flags, the cut of texts too long for their slot, and the failure that
// ends a group for the minute.
#include "dmgd_fixture.h"

#include <fstream>
#include <sys/stat.h>

#include "processing/SampleArchive.h"
#include "support/Station.h"

namespace {

std::string Golden() { return std::string(KOMAIN_TESTDATA) + "/dailyfiles/samples.out"; }

struct SampleArchiveTest : MinuteTest {
    void SetUp() override
    {
        Start("2026-03-10 13:07:02");
        td_->MainStat.CfState = '1';
        std::memset(defdata->SampleArchive, '0', sizeof defdata->SampleArchive);
        for (int e : {EL_P, EL_T0, EL_LE, EL_WS, EL_WS2})
            defdata->SampleArchive[e] = '1';
        SampleDataRec &s = *SampleDataCopy;
        for (int i = 0; i < 30; ++i) {
            s.P.Value[i] = 10120 + i;
            s.P.Qc[i] = '0';
            s.T0.Value[i] = -250 + i;
            s.T0.Qc[i] = '0';
        }
        s.P.Qc[3] = '2';    // wrong: "/ " plain, value and "(2)" with QC
        s.P.Qc[5] = '\0';   // never written: "(8)"
        Fill(s.WS, 99999, '8');   // a dead sensor: 240 "99999(8) " do not fit 2048 bytes
        Fill(s.LE, 99999, '8');   // 60 of them do not fit 512
        Fill(s.UWD, 270);
        FileSave->WindCompare = WindCompareRec{{{1, 2, 3, 4}, {5, 6, 7, 8}}, {{'0', '0', '8', '0'}, {'0', 'N', '0', '0'}}, 1};
    }
    // The slot text (up to its NUL) after checking the slot's frame.
    std::string Slot(const std::string &file, int slot, int size, int slots)
    {
        std::string f = sb_->Read("/mnt/nand3/tempdata/sample/" + file);
        EXPECT_EQ(f.size(), std::size_t(size) * std::size_t(slots)) << file;
        if (f.size() < std::size_t(size) * std::size_t(slot + 1))
            return "";
        std::string s = f.substr(std::size_t(size) * std::size_t(slot), std::size_t(size));
        EXPECT_EQ(s.substr(s.size() - 2), "\r\n") << file;
        std::string text = s.substr(0, s.find('\0'));
        EXPECT_LT(text.size(), std::size_t(size) - 2) << file;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << file;
        return text;
    }
};

} // namespace

TEST_F(SampleArchiveTest, TheMinuteGoesToItsSlotsAndLiveTexts)
{
    testing::internal::CaptureStdout();
    SampleSave();
    testing::internal::GetCapturedStdout();
    // 13:07: minute 7 of the hour rings, minute 787 of the day rings.
    struct { const char *file; int slot, size, slots, area; bool qc; } kCases[] = {
        {"P.DAT", 7, 512, 60, EL_P, false},          {"P.DATQ", 7, 512, 60, EL_P, true},
        {"T0.DAT", 787, 512, 1440, EL_T0, false},    {"WS.DATQ", 7, 2048, 60, EL_WS, true},
        {"LE.DATQ", 7, 512, 60, EL_LE, true},        {"UWD260310.DAT", 787, 1024, 1440, SAMPTEXT_UWD, false},
    };
    std::string got;
    for (const auto &c : kCases) {
        std::string text = Slot(c.file, c.slot, c.size, c.slots);
        const char *live = c.qc ? td_->SampleTextQ[c.area] : td_->SampleText[c.area];
        EXPECT_EQ(std::string(live, strnlen(live, SAMPLE_TEXT_LEN)), text) << c.file;
        got += std::string(c.file) + " " + text.substr(0, text.size() - 2) + "\n";
    }
    // The flag of U is off: no file, the live text all the same; T01-T03
    // are archived whatever their flags.
    EXPECT_FALSE(std::ifstream(sb_->Path("/mnt/nand3/tempdata/sample/U.DAT")).good());
    EXPECT_EQ(std::string(td_->SampleText[EL_U]).rfind("SAMPLE_U 12345 2026-03-10 13:07 / / ", 0), 0u);
    EXPECT_EQ(Slot("T01.DAT", 787, 512, 1440).substr(0, 11), "SAMPLE_T01 ");
    // A shorter record in the same slot: NULs cover the rest of the longer one.
    Fill(SampleDataCopy->P, 7);
    testing::internal::CaptureStdout();
    SampleSave();
    testing::internal::GetCapturedStdout();
    std::string shorter = Slot("P.DAT", 7, 512, 60);
    EXPECT_EQ(shorter, td_->SampleText[EL_P]);
    EXPECT_EQ(sb_->Read("/mnt/nand3/tempdata/sample/P.DAT").find_first_not_of('\0', 7 * 512 + shorter.size()),
              7u * 512 + 510);
    if (std::getenv("KOMAIN_GOLDEN_UPDATE") != nullptr) {
        std::ofstream(Golden(), std::ios::binary) << got;
        return;
    }
    EXPECT_EQ(got, komain_test::ReadHostFile(Golden()));
}

TEST_F(SampleArchiveTest, AFileThatCannotBeWrittenEndsItsGroupForTheMinute)
{
    defdata->SampleArchive[EL_WD] = '1';
    ASSERT_EQ(mkdir(sb_->Path("/mnt/nand3/tempdata").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(sb_->Path("/mnt/nand3/tempdata/sample").c_str(), 0777), 0);
    ASSERT_EQ(mkdir(sb_->Path("/mnt/nand3/tempdata/sample/WS.DAT").c_str(), 0777), 0);
    testing::internal::CaptureStdout();
    SampleSave();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("error fd<0\n"), std::string::npos);
    auto exists = [&](const char *f) {
        return std::ifstream(sb_->Path(std::string("/mnt/nand3/tempdata/sample/") + f)).good();
    };
    EXPECT_TRUE(exists("LE.DAT"));     // before the failing element
    EXPECT_FALSE(exists("WD.DAT"));    // after it: skipped this minute
    EXPECT_TRUE(exists("WD.DATQ"));    // the next group runs
    EXPECT_EQ(td_->SampleText[EL_WD][0], '\0');
}
