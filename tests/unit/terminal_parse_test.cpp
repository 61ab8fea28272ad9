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
    const struct {
        const char *word;
        int index;
    } commands[] = {{"REBOOT", 0}, {"DMGD", 21},  {"STATSOIL", 76},         {"STATEATH", 74},
                    {"STATSEAA", 75}, {"WSPLATFOM2GROUND", 58}, {"STLX", 114}, {"date", -1},
                    {"DMGDX", -1}, {"DMG", -1}, {"", -1}},
      elements[] = {{"nNull", 0}, {"T0", 2}, {"OCC", 79}, {"WS2", -1}, {"RAT1_C", -1}, {"t0", -1}};
    for (auto c : commands)
        EXPECT_EQ(ProcessCommand(c.word), c.index) << c.word;
    for (auto e : elements)
        EXPECT_EQ(FindElementCode(e.word), e.index) << e.word;
    EXPECT_EQ(ExecutCommand(115, ""), -1);
    EXPECT_EQ(ExecutCommand(-1, ""), -1);
}

TEST_F(TerminalTest, FramingOfCommandWordAndParameter)
{
    // DEBUGCOM answers its flags without a parameter and "F" to a bad one.
    for (const char *line : {"DEBUGCOM\r\n", " \t DEBUGCOM\r", "DEBUGCOM  \t \r\n"})
        EXPECT_EQ(Run(COM0, line), Lines{kDebugQuery}) << line;
    for (const char *line : {"debugcom\r\n", "DEBUGCOM   XYZ\r\n", "date\r\n"})
        EXPECT_EQ(Run(COM0, line), F) << line;
    // BJDATA ignores its parameter and sends the log text as it stands.
    std::snprintf(TemproraryData->RcvLogText, sizeof TemproraryData->RcvLogText, "10:01,60\n");
    EXPECT_EQ(Run(COM0, "BJDATA anything at all\r\n"), Lines{"10:01,60\n"});
    // No reply at all for the commands that are accepted and ignored.
    for (const char *line : {"WARNSET 1\r\n", "DELTFILE\r\n"})
        EXPECT_EQ(Run(COM0, line), Lines{}) << line;
}

TEST_F(TerminalTest, OverlongWordsAndParameters)
{
    for (std::size_t n : {26, 27, 400})   // 26: unknown, but parsed
        EXPECT_EQ(Run(COM0, std::string(n, 'A') + "\r\n"), F) << n;
    std::strcpy(TemproraryData->RcvLogText, "log\n");
    EXPECT_EQ(Run(COM0, "BJDATA " + std::string(99, 'x') + "\r\n"), Lines{"log\n"});
    EXPECT_EQ(Run(COM0, "BJDATA " + std::string(100, 'x') + "\r\n"), F);
    EXPECT_EQ(Run(COM0, "BJDATA " + std::string(5000, 'x')), F);
    // A NUL ends the line wherever it is.
    EXPECT_EQ(Run(COM0, std::string("BJDATA\0garbage", 14)), Lines{"log\n"});
}

// What restricted access lets through, command by command: on the LAN link
// and on COM1 as a terminal. A command line is "WORD parameter".
TEST(TerminalAccess, RestrictedTable)
{
    auto admitted = [](int port, const std::string &line) {
        std::size_t blank = line.find(' ');
        int index = ProcessCommand(line.substr(0, blank).c_str());
        EXPECT_GE(index, 0) << line;
        return CommandAdmitted(port, index, blank == std::string::npos ? "" : line.c_str() + blank + 1);
    };
    const char *const both[] = {"DATE", "REBOOT", "DMGD 2024-03-10 10:00 5", "DHGD 2024-03-10 10 5",
                                "SAMPLE T0 2024-03-10 10:00", "SAMPLE T0", "QCPS T0", "QCPS TD",
                                "STATSENSOR nNull", "OBSAMPLE 1", "DAUSET 00000000000000000000",
                                "SAMPLESAVE 000000", "CHGVER", "ID"};
    const char *const neither[] = {"DATE 2024-03-10", "REBOOT 1", "SAMPLE XYZ", "QCPS T0 -50 50 5", "SNOWMODE 8",
                                   "SENSTDEF", "SENSTDEF T0", "RESETTOFACTORY", "RESETTOFACTORY T0", "SYSCMD P",
                                   "SYSCMD", "UPGRADE", "PUTPARAFILE", "GETPARAFILE", "CHGVER 1", "ID nNull",
                                   "SERIALNO T0", "CLIMSPEED P", "TD 60 1"};
    for (const char *line : both)
        EXPECT_TRUE(admitted(PORT_LAN, line) && admitted(COM1, line)) << line;
    for (const char *line : neither)
        EXPECT_FALSE(admitted(PORT_LAN, line) || admitted(COM1, line)) << line;
    // The type commands are admitted on the port they configure only.
    EXPECT_FALSE(admitted(PORT_LAN, "RAWMODE 8"));
    EXPECT_TRUE(admitted(COM1, "RAWMODE 8"));
    EXPECT_TRUE(admitted(COM2, "SNOWMODE 8"));
    EXPECT_TRUE(admitted(COM3, "VISITYPE 8"));
    EXPECT_TRUE(admitted(COM4, "AIRPTYPE 8"));
    EXPECT_FALSE(admitted(COM4, "VISITYPE 8"));
}

TEST_F(TerminalTest, RestrictedRefusalsAnswerOnce)
{
    EXPECT_EQ(Run(PORT_LAN, "DEBUGCOM\r\n", ACCESS_RESTRICTED), Lines{kDebugQuery});
    EXPECT_EQ(Run(PORT_LAN, "DEBUGCOM COM2\r\n", ACCESS_RESTRICTED), F);
    EXPECT_EQ(TemproraryData->DebugFlag[0], '0');
    EXPECT_EQ(Run(PORT_LAN, "SYSCMD rm -rf /\r\n", ACCESS_RESTRICTED), F);
    // Full access on COM0 keeps every command.
    EXPECT_EQ(Run(COM0, "DEBUGCOM COM2\r\n"), Lines{"T\r\n"});
    EXPECT_EQ(TemproraryData->DebugFlag[0], '1');
    EXPECT_EQ(TemproraryData->DebugFlag[3], '1');
    // A second one while the pass-through is on is silent.
    EXPECT_EQ(Run(COM0, "DEBUGCOM COM3\r\n"), Lines{});
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
    // As a rain gauge port (1), or an unknown type, nothing is parsed.
    for (int mode : {0, 8, 1, 5}) {
        defdata->RawMode = mode;
        EXPECT_EQ(routed(COM1, "BJDATA\r\n"), mode % 8 == 0 ? Lines{"log\n"} : Lines{}) << mode;
    }
    defdata->RawMode = 0;
    EXPECT_EQ(routed(COM1, "SENSTDEF\r\n"), F);
    // Instrument ports by default; COM5 never parses.
    for (int port : {COM2, COM5})
        EXPECT_EQ(routed(port, "BJDATA\r\n"), Lines{}) << port;
    defdata->AirpType = 8;
    EXPECT_EQ(routed(COM4, "BJDATA\r\n"), Lines{"log\n"});
    // A single character and its terminator is no line.
    EXPECT_EQ(routed(COM0, "X\r"), Lines{});
    EXPECT_EQ(routed(COM0, "\r\n"), Lines{});
}
