// The minute cycle leaves the latest main minute record where the terminal
// finds it for a bare DMGD.
#include "dmgd_fixture.h"

#include <cstring>

#include "station/DataProcess.h"

TEST_F(MinuteTest, MinuteCalculationKeepsTheLiveCopyOfItsGeneration)
{
    for (int generation : {1, 0}) {
        SCOPED_TRACE(generation);
        Start("2026-03-10 08:16:02");
        defdataEx->Generation = generation;
        testing::internal::CaptureStdout();
        MinFileCalc();
        testing::internal::GetCapturedStdout();
        const char *text = generation ? FileSave->DmgdText : FileSave->DmgdTextOld;
        ASSERT_EQ(std::strncmp(text, "DMGD ", 5), 0) << text;
        EXPECT_STREQ(TemproraryData->LastRecord[REC_DMGD], text);
    }
}
