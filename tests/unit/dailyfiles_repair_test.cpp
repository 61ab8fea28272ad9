// Daily files that are not what they should be: one whose making was cut
// short is completed before the minute's line goes in (never written past
// its end); one of the wrong size or with a garbled header is set aside as
// NAME.BAD and made afresh.
#include "dmgd_fixture.h"

#include <fstream>
#include <sys/stat.h>

#include "dailyfiles/DailyFiles.h"

namespace {

constexpr std::size_t FULL = (DAILY_LINES + 1) * std::size_t(GG_LINE);
const char *const kGG = "/mnt/nand3/data/GG260310.DAT";   // 10:00 + 239 min, same day

struct DailyRepair : MinuteTest {
    void SetUp() override
    {
        Start("2026-03-10 10:00:05");
        // A whole file as this station makes it.
        Save();
        whole_ = sb_->Read(kGG);
        ASSERT_EQ(whole_.size(), FULL);
    }
    void Save()
    {
        testing::internal::CaptureStdout();
        GGFileSave(FileSave->DmgdText, FileSave->DmcdText);
        testing::internal::GetCapturedStdout();
    }
    std::string whole_;
};

} // namespace

TEST_F(DailyRepair, AFileCutShortIsCompletedAndOthersAreRebuilt)
{
    struct Case {
        const char *what;
        std::string bytes;
        bool setAside;
    } kCases[] = {
        {"cut inside line 700", whole_.substr(0, 700 * GG_LINE + 100), false},
        {"cut inside the header", whole_.substr(0, 200), true},
        {"longer than a day", whole_ + "x", true},
        {"header of another day", std::string(whole_).replace(15, 5, "   11"), true},
        {"header without its line end", std::string(whole_).replace(GG_LINE - 2, 2, "--"), true},
    };
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        std::remove(sb_->Path(std::string(kGG) + ".BAD").c_str());
        sb_->Write(kGG, c.bytes);
        Save();
        EXPECT_EQ(sb_->Read(kGG), whole_);
        EXPECT_EQ(sb_->Read(std::string(kGG) + ".BAD"), c.setAside ? c.bytes : "");
    }
}
