// The software watchdog's slots.
#include <gtest/gtest.h>

#include <string>

#include "core/Main.h"
#include "support/Sandbox.h"

TEST(SoftDog, AllThreeSlotsMustBeFedBeforeACheckPasses)
{
    komain_test::Sandbox sb;
    ASSERT_EQ(SoftDogInit(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(const_cast<unsigned char *>(g_pSoftDog)), 8), "11111111");
    EXPECT_EQ(CheckSoftDogFeed(), -1);
    SoftDogFeed(DOG_D);
    SoftDogFeed(DOG_C);
    EXPECT_EQ(CheckSoftDogFeed(), -1);   // A has not fed yet
    SoftDogFeed(DOG_A);
    EXPECT_EQ(CheckSoftDogFeed(), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(const_cast<unsigned char *>(g_pSoftDog)), 8), "bbbbbbbb");
    // Each slot must be fed again between two checks.
    SoftDogFeed(DOG_D);
    SoftDogFeed(DOG_A);
    EXPECT_EQ(CheckSoftDogFeed(), -1);
    EXPECT_EQ(g_pSoftDog[1], 'b');
    // Slots outside the segment are ignored.
    SoftDogFeed(-1);
    SoftDogFeed(8);
    EXPECT_EQ(g_pSoftDog[1], 'b');
}
