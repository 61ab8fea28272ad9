// The command line parser, the command table and the access rule.
#include "terminal_fixture.h"

#include <string>

using terminal_test::Lines;
using terminal_test::TerminalTest;

namespace {

const Lines F = {"F\r\n"};
constexpr const char *kDebugQuery = "COM0:0 COM1:0 COM2:0 COM3:0 COM4:0 COM5:0\r\n";

} // namespace

TEST(TerminalTable, IndexesAndTheSwappedPair)
{
    EXPECT_EQ(ProcessCommand("REBOOT"), 0);
    EXPECT_EQ(ProcessCommand("DMGD"), 21);
    EXPECT_EQ(ProcessCommand("STATSOIL"), 76);
    EXPECT_EQ(ProcessCommand("STATEATH"), 74);
    EXPECT_EQ(ProcessCommand("STATSEAA"), 75);
    EXPECT_EQ(ProcessCommand("WSPLATFOM2GROUND"), 58);
    EXPECT_EQ(ProcessCommand("STLX"), 114);
    EXPECT_EQ(ProcessCommand("date"), -1);
    EXPECT_EQ(ProcessCommand("DMGDX"), -1);
    EXPECT_EQ(ProcessCommand("DMG"), -1);
    EXPECT_EQ(ProcessCommand(""), -1);
    EXPECT_EQ(ExecutCommand(115, ""), -1);
    EXPECT_EQ(ExecutCommand(-1, ""), -1);
}

TEST(TerminalTable, ElementCodes)
{
    EXPECT_EQ(FindElementCode("nNull"), 0);
    EXPECT_EQ(FindElementCode("T0"), 2);
    EXPECT_EQ(FindElementCode("OCC"), 79);
    EXPECT_EQ(FindElementCode("WS2"), -1);
    EXPECT_EQ(FindElementCode("RAT1_C"), -1);
    EXPECT_EQ(FindElementCode("t0"), -1);
}

TEST_F(TerminalTest, FramingOfCommandWordAndParameter)
{
    // DEBUGCOM answers its flags without a parameter and "F" to a bad one.
    EXPECT_EQ(Run(COM0, "DEBUGCOM\r\n", ACCESS_FULL), Lines{kDebugQuery});
    EXPECT_EQ(Run(COM0, " \t DEBUGCOM\r", ACCESS_FULL), Lines{kDebugQuery});
    EXPECT_EQ(Run(COM0, "DEBUGCOM  \t \r\n", ACCESS_FULL), Lines{kDebugQuery});
    EXPECT_EQ(Run(COM0, "debugcom\r\n", ACCESS_FULL), F);
    EXPECT_EQ(Run(COM0, "DEBUGCOM   XYZ\r\n", ACCESS_FULL), F);
    // BJDATA ignores its parameter and sends the log text as it stands.
    std::snprintf(TemproraryData->RcvLogText, sizeof TemproraryData->RcvLogText, "10:01,60\n");
    EXPECT_EQ(Run(COM0, "BJDATA anything at all\r\n", ACCESS_FULL), Lines{"10:01,60\n"});
    // Commands of families not built yet still answer.
    EXPECT_EQ(Run(COM0, "DATE\r\n", ACCESS_FULL), F);
    // No reply at all for the commands that are accepted and ignored.
    EXPECT_EQ(Run(COM0, "WARNSET 1\r\n", ACCESS_FULL), Lines{});
    EXPECT_EQ(Run(COM0, "DELTFILE\r\n", ACCESS_FULL), Lines{});
}

TEST_F(TerminalTest, OverlongWordsAndParameters)
{
    EXPECT_EQ(Run(COM0, std::string(26, 'A') + "\r\n", ACCESS_FULL), F);   // unknown, but parsed
    EXPECT_EQ(Run(COM0, std::string(27, 'A') + "\r\n", ACCESS_FULL), F);
    EXPECT_EQ(Run(COM0, std::string(400, 'B') + "\r\n", ACCESS_FULL), F);
    std::strcpy(TemproraryData->RcvLogText, "log\n");
    EXPECT_EQ(Run(COM0, "BJDATA " + std::string(99, 'x') + "\r\n", ACCESS_FULL), Lines{"log\n"});
    EXPECT_EQ(Run(COM0, "BJDATA " + std::string(100, 'x') + "\r\n", ACCESS_FULL), F);
    EXPECT_EQ(Run(COM0, "BJDATA " + std::string(5000, 'x'), ACCESS_FULL), F);
    // A NUL ends the line wherever it is.
    EXPECT_EQ(Run(COM0, std::string("BJDATA\0garbage", 14), ACCESS_FULL), Lines{"log\n"});
}

// What restricted access lets through, command by command.
TEST(TerminalAccess, RestrictedTable)
{
    struct Case {
        const char *cmd;
        const char *param;
        bool lan;    // admitted on the LAN link
        bool com1;   // admitted on COM1 as a terminal
    };
    const Case cases[] = {
        {"DATE", "", true, true},
        {"DATE", "2024-03-10", false, false},
        {"REBOOT", "", true, true},
        {"REBOOT", "1", false, false},
        {"DMGD", "2024-03-10 10:00 5", true, true},
        {"DHGD", "2024-03-10 10 5", true, true},
        {"SAMPLE", "T0 2024-03-10 10:00", true, true},
        {"SAMPLE", "T0", true, true},
        {"SAMPLE", "XYZ", false, false},
        {"QCPS", "T0", true, true},
        {"QCPS", "TD", true, true},
        {"QCPS", "T0 -50 50 5", false, false},
        {"STATSENSOR", "nNull", true, true},
        {"RAWMODE", "8", false, true},
        {"SNOWMODE", "8", false, false},
        {"OBSAMPLE", "1", true, true},
        {"DAUSET", "00000000000000000000", true, true},
        {"SAMPLESAVE", "000000", true, true},
        {"SENSTDEF", "", false, false},
        {"SENSTDEF", "T0", false, false},
        {"RESETTOFACTORY", "", false, false},
        {"RESETTOFACTORY", "T0", false, false},
        {"SYSCMD", "P", false, false},
        {"SYSCMD", "", false, false},
        {"UPGRADE", "", false, false},
        {"PUTPARAFILE", "", false, false},
        {"GETPARAFILE", "", false, false},
        {"CHGVER", "", true, true},
        {"CHGVER", "1", false, false},
        {"ID", "nNull", false, false},
        {"SERIALNO", "T0", false, false},
        {"CLIMSPEED", "P", false, false},
        {"ID", "", true, true},
        {"TD", "60 1", false, false},
    };
    for (const Case &c : cases) {
        int index = ProcessCommand(c.cmd);
        ASSERT_GE(index, 0) << c.cmd;
        EXPECT_EQ(CommandAdmitted(PORT_LAN, index, c.param), c.lan) << c.cmd << " '" << c.param << "' on the LAN";
        EXPECT_EQ(CommandAdmitted(COM1, index, c.param), c.com1) << c.cmd << " '" << c.param << "' on COM1";
    }
    EXPECT_TRUE(CommandAdmitted(COM2, ProcessCommand("SNOWMODE"), "8"));
    EXPECT_TRUE(CommandAdmitted(COM3, ProcessCommand("VISITYPE"), "8"));
    EXPECT_TRUE(CommandAdmitted(COM4, ProcessCommand("AIRPTYPE"), "8"));
    EXPECT_FALSE(CommandAdmitted(COM4, ProcessCommand("VISITYPE"), "8"));
}

TEST_F(TerminalTest, RestrictedRefusalsAnswerOnce)
{
    EXPECT_EQ(Run(PORT_LAN, "DEBUGCOM\r\n", ACCESS_RESTRICTED), Lines{kDebugQuery});
    EXPECT_EQ(Run(PORT_LAN, "DEBUGCOM COM2\r\n", ACCESS_RESTRICTED), F);
    EXPECT_EQ(TemproraryData->DebugFlag[0], '0');
    EXPECT_EQ(Run(PORT_LAN, "SYSCMD rm -rf /\r\n", ACCESS_RESTRICTED), F);
    // Full access on COM0 keeps every command.
    EXPECT_EQ(Run(COM0, "DEBUGCOM COM2\r\n", ACCESS_FULL), Lines{"T\r\n"});
    EXPECT_EQ(TemproraryData->DebugFlag[0], '1');
    EXPECT_EQ(TemproraryData->DebugFlag[3], '1');
    // A second one while the pass-through is on is silent.
    EXPECT_EQ(Run(COM0, "DEBUGCOM COM3\r\n", ACCESS_FULL), Lines{});
}

TEST_F(TerminalTest, RoutingByDeviceType)
{
    std::strcpy(TemproraryData->RcvLogText, "log\n");
    auto routed = [&](int port, const char *line) {
        SetCurrentReplyPort(port);
        ProcessRcvString(line, int(std::strlen(line)), port);
        return Texts();
    };
    // COM1 as a terminal (type 0 or 8) parses with restricted access.
    defdata->RawMode = 0;
    EXPECT_EQ(routed(COM1, "BJDATA\r\n"), Lines{"log\n"});
    EXPECT_EQ(routed(COM1, "SENSTDEF\r\n"), F);
    defdata->RawMode = 8;
    EXPECT_EQ(routed(COM1, "BJDATA\r\n"), Lines{"log\n"});
    // As a rain gauge port, or an unknown type, nothing is parsed.
    defdata->RawMode = 1;
    EXPECT_EQ(routed(COM1, "BJDATA\r\n"), Lines{});
    defdata->RawMode = 5;
    EXPECT_EQ(routed(COM1, "BJDATA\r\n"), Lines{});
    // Instrument ports by default; COM5 never parses.
    EXPECT_EQ(routed(COM2, "BJDATA\r\n"), Lines{});
    EXPECT_EQ(routed(COM5, "BJDATA\r\n"), Lines{});
    defdata->AirpType = 8;
    EXPECT_EQ(routed(COM4, "BJDATA\r\n"), Lines{"log\n"});
    // A single character and its terminator is no line.
    EXPECT_EQ(routed(COM0, "X\r"), Lines{});
    EXPECT_EQ(routed(COM0, "\r\n"), Lines{});
}
