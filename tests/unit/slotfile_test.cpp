// The DMGD day file: a new file of 1440 placeholder slots, the minute's
// slot, the carried body in the next slot (not at 23:59), the CF twin only
// with a card, and the error line when the file cannot be made.
#include "dmgd_fixture.h"

#include <sys/stat.h>

namespace {

std::string Slot(const std::string &file, int n) { return file.substr(size_t(n) * 512, 512); }

std::string Placeholder(const std::string &time)
{
    std::string head = "DMGD 12345 " + time;
    return head + std::string(510 - head.size(), '-') + "\r\n";
}

struct SlotFileTest : MinuteTest {
    void Minute()
    {
        testing::internal::CaptureStdout();
        DmgdCalculate();
        DmgdStruct2Ascii(&FileSave->Dmgd, FileSave->DmgdText);
        Dmgd1Calculate();
        Dmgd1Struct2Ascii(&FileSave->Dmgd1, FileSave->Dmgd1Text);
        DmgdSave();
        DmgdSaveCF();
        out_ = testing::internal::GetCapturedStdout();
    }
};

} // namespace

TEST_F(SlotFileTest, FirstRecordMakesTheDayFileAndPrefillsTheNextSlot)
{
    Start("2026-03-10 08:15:03");
    Enable(EL_T0);
    Fill(SampleDataCopy->T0, 2012);
    Minute();
    std::string f = sb_->Read("/mnt/nand3/tempdata/DMGD/260310.DAT");
    ASSERT_EQ(f.size(), 1440u * 512);
    EXPECT_EQ(Slot(f, 0), Placeholder("2026-03-10 00:00"));
    EXPECT_EQ(Slot(f, 1439), Placeholder("2026-03-10 23:59"));
    std::string line = "DMGD 12345 2026-03-10 08:15 " + std::string(20, '0') + "1" +
                       std::string(36, '0') + " 0 201 \r\n";
    EXPECT_EQ(Slot(f, 495), line + std::string(512 - line.size(), '\0'));
    // The next slot keeps its own head and carries the body.
    std::string next = Slot(f, 496);
    EXPECT_EQ(next.substr(0, 27), "DMGD 12345 2026-03-10 08:16");
    EXPECT_EQ(next.substr(27), Slot(f, 495).substr(27));
    EXPECT_NE(out_.find("savefile:2026-03-10 08:15:"), std::string::npos) << out_;
    // No card: no CF twin.
    EXPECT_EQ(sb_->Read("/mnt/cf/tempdata/DMGD/260310.DAT"), "");
}

TEST_F(SlotFileTest, LastMinuteOfTheDaySkipsThePrefillAndTheCardGetsItsTwin)
{
    Start("2026-03-10 23:59:02");
    TemproraryData->MainStat.CfState = '0';
    TemproraryData->MainStat.CFSpace = 500;
    sb_->Write("/mnt/cf/tempdata/log/keep", "");
    Minute();
    std::string f = sb_->Read("/mnt/nand3/tempdata/DMGD/260310.DAT");
    ASSERT_EQ(f.size(), 1440u * 512);
    EXPECT_EQ(Slot(f, 1439).substr(0, 28), "DMGD 12345 2026-03-10 23:59 ");
    EXPECT_EQ(sb_->Read("/mnt/cf/tempdata/DMGD/260310.DAT"), f);
    EXPECT_EQ(sb_->Read("/mnt/nand3/tempdata/DMGD/260311.DAT"), "");
    EXPECT_NE(sb_->Read("/mnt/cf/tempdata/log/20260310.log").find("savefile:2026-03-10 23:59:"),
              std::string::npos);
}

TEST_F(SlotFileTest, AFileThatCannotBeMadeIsLoggedAndAbandoned)
{
    Start("2026-03-10 08:15:03");
    // A folder where the day file should be.
    mkdir(sb_->Path("/mnt/nand3/tempdata").c_str(), 0777);
    mkdir(sb_->Path("/mnt/nand3/tempdata/DMGD").c_str(), 0777);
    mkdir(sb_->Path("/mnt/nand3/tempdata/DMGD/260310.DAT").c_str(), 0777);
    Minute();
    EXPECT_NE(out_.find("error fd2<0\n"), std::string::npos) << out_;
    std::string log = sb_->Read("/mnt/nand3/tempdata/rcdLOG.log");
    EXPECT_EQ(log.substr(0, 26), "ERROR:2026-03-10 08:15:03 ") << log;
    EXPECT_EQ(log.substr(log.size() - 13), " DmgdSave 3\r\n");
    EXPECT_EQ(out_.find("savefile:"), std::string::npos);
}
