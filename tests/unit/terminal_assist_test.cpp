#include <gtest/gtest.h>

#include <cstring>

#include "core/BRISQ1110Assist.h"

TEST(TerminalAssist, CharacterModes)
{
    struct Case {
        int mode;
        const char *pass;
        const char *fail;
    };
    const Case cases[] = {
        {0, " 09", "a.-"},   {1, "059", " a."},  {2, "01", "2 a"},    {3, " 0aZ", ".-_"},
        {4, "012", "3a "},   {5, "123", "04 "},  {6, ".09", "-a "},   {7, ".-09", "+a "},
        {10, ".-09", "+a "}, {8, "09aZ", " .-"}, {9, "09 -,\t", "./aZ"},
    };
    for (const Case &c : cases) {
        for (const char *p = c.pass; *p; ++p)
            EXPECT_EQ(CheckBlankNumberChar(*p, c.mode), 1) << "mode " << c.mode << " '" << *p << "'";
        for (const char *p = c.fail; *p; ++p)
            EXPECT_EQ(CheckBlankNumberChar(*p, c.mode), 0) << "mode " << c.mode << " '" << *p << "'";
    }
    EXPECT_EQ(CheckBlankNumberChar(char(0xB0), 9), 0);   // a high byte is not below '-'
    EXPECT_EQ(CheckBlankNumberChar('1', 11), 0);
}

TEST(TerminalAssist, StringRanges)
{
    EXPECT_EQ(CheckBlankNumberStr("12a45", 0, 1, 1), 1);
    EXPECT_EQ(CheckBlankNumberStr("12a45", 0, 2, 1), 0);
    EXPECT_EQ(CheckBlankNumberStr("12a45", 3, 4, 1), 1);
    EXPECT_EQ(CheckBlankNumberStr("12a45", -1, 1, 1), 0);
}

TEST(TerminalAssist, FillLeftZero)
{
    char a[8] = "42";
    FillLeftZero(a, 5);
    EXPECT_STREQ(a, "00042");
    char b[8] = "12345";
    FillLeftZero(b, 3);   // already wider: unchanged
    EXPECT_STREQ(b, "12345");
    char c[8] = "";
    FillLeftZero(c, 2);
    EXPECT_STREQ(c, "00");
}

TEST(TerminalAssist, AtofAssist)
{
    EXPECT_FLOAT_EQ(atofAssist("12.25"), 12.25f);
    EXPECT_FLOAT_EQ(atofAssist("-0.5"), -0.5f);
    EXPECT_FLOAT_EQ(atofAssist("-12.5x7"), -12.5f);
    EXPECT_FLOAT_EQ(atofAssist("abc"), 0.0f);
    EXPECT_FLOAT_EQ(atofAssist("7"), 7.0f);
}

TEST(TerminalAssist, HexDigits)
{
    const char digits[] = "09AfG ";
    const int values[] = {0, 9, 10, 15, 32, 32};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(asc_to_hex(digits[i]), values[i]) << digits[i];
}

TEST(TerminalAssist, CountsAndDecimals)
{
    EXPECT_EQ(FindCharNbr("a,b,,c", 6, ','), 3);
    EXPECT_EQ(FindCharNbr("a,b,,c", 2, ','), 1);
    EXPECT_EQ(FindCharNbr("a\0,", 3, ','), 1);   // counts past a NUL
    EXPECT_EQ(FindStrCharNumber("1.2.3", '.'), 2);
    EXPECT_EQ(FindStrCharNumber("", '.'), 0);
    EXPECT_EQ(CheckFloatDecNum("12.345"), 3);
    EXPECT_EQ(CheckFloatDecNum("12"), 0);
    EXPECT_EQ(CheckFloatDecNum("1.2.3"), 2);
}

TEST(TerminalAssist, RoundHalfAwayFromZero)
{
    EXPECT_FLOAT_EQ(RoundData4To5(2.45f, 1), 2.5f);
    EXPECT_FLOAT_EQ(RoundData4To5(-2.45f, 1), -2.5f);
    EXPECT_FLOAT_EQ(RoundData4To5(2.44f, 1), 2.4f);
    EXPECT_FLOAT_EQ(RoundData4To5(2.449f, 0), 2.449f);
    EXPECT_FLOAT_EQ(RoundData4To5(0.0f, 2), 0.0f);
    EXPECT_FLOAT_EQ(RoundData4To5(123.455f, 2), 123.46f);
}

TEST(TerminalAssist, LrcBalancesTheSum)
{
    const unsigned char bytes[] = {0x01, 0x02, 0xFF, 0x80};
    EXPECT_EQ((LRCCheck(bytes, 4) + 0x01 + 0x02 + 0xFF + 0x80) % 256, 0);
    EXPECT_EQ(LRCCheck(bytes, 0), 0);
}
