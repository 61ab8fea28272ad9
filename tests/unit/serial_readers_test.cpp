// The instrument readers, one line (or a few) at a time: each case sets the
// parameters it needs, feeds the lines to the reader and names the items
// the reader must have written, exactly as the store and the live state
// show them.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <termios.h>

#include "platform/Transplant.h"
#include "serial/UartSet.h"
#include "serial_fixture.h"

using serial_test::Sentence;
using serial_test::SerialTest;

namespace {

// A type-11 wind line: the text, its LRC in hexadecimal, CR.
std::string Lrc(const std::string &body)
{
    unsigned sum = 0;
    for (char c : body)
        sum += uint8_t(c);
    char b[4];
    std::snprintf(b, sizeof b, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return body + b + "\r";
}

// A float frame of the board from twenty hexadecimal values.
std::string FloatFrame(const std::vector<std::string> &v, bool lowerCase = false)
{
    std::string head = "GETSFDATA ";
    for (int i = 0; i < 10; ++i)
        head += v[std::size_t(i)];
    unsigned sum = 0;
    for (char c : head)
        sum += uint8_t(c);
    char mid[8];
    std::snprintf(mid, sizeof mid, lowerCase ? "*%02x    " : "*%02X    ", sum & 0xFF);
    std::string line = head + mid;
    for (int i = 10; i < 20; ++i)
        line += v[std::size_t(i)];
    return line + "\r";
}

// 1.0 is 0000803F; NaN 0000C07F.
const std::string F0 = "00000000", F1 = "0000803F", NaN = "0000C07F";

// A weighing-gauge line of total characters, its CR included.
std::string RainLine(std::size_t total)
{
    std::string pad(total - 58, 'x');
    return "20240310 100000 RW" + pad + " 0012 0 0034 1 x x x x 1500 1600 1700 y\r";
}

std::string SnowLine(const char *value, char status, std::size_t len = 42)
{
    std::string s = "SD" + std::string(32, ' ') + value + " " + status;
    s.resize(len - 1, ' ');
    return s + "\r";
}

using Reader = std::function<int(const std::string &)>;
Reader Board() { return [](const std::string &l) { return ProcessSampboard(l.c_str()); }; }
Reader BoardF() { return [](const std::string &l) { return ProcessSampboardFloat(l.c_str()); }; }
Reader Press() { return [](const std::string &l) { return ReadAirpress(l.c_str()); }; }
Reader Vis() { return [](const std::string &l) { return ReadVisibility(l.c_str()); }; }
Reader Gauge() { return [](const std::string &l) { return ReadRainWeight(l.c_str()); }; }
Reader Ult(int type)
{
    return [type](const std::string &l) { return ProcessUltData(type, l.c_str(), int(l.size())); };
}

struct Case {
    const char *name;
    std::function<void(DefDataRec &, ModiPamRec &)> setup;
    Reader reader;
    std::vector<std::string> lines;
    int result;                        // of the last line
    std::vector<std::string> expect;   // lines of the dump; empty: nothing written
};

const auto none = [](DefDataRec &, ModiPamRec &) {};
const auto windB005 = [](DefDataRec &d, ModiPamRec &) {
    d.Senco[0] = 0.0f;
    d.Senco[1] = 0.05f;
};

const Case kCases[] = {
    {"integer frame, T0 not available", none, Board(), {"2000 / 654 0.5 12.00 20 180 0 1 13600 25.5\r"}, 0,
     {"T0 1:99999/8", "U 1:654/0", "GR 1:5005/0", "LE 1:500/0", "WS 1:128/0 2:127/0 3:129/0 4:128/0", "WD 1:180/0",
      "RAT 1/0", "RAT1_C 0/0", "live T0 99999.00/8", "live U 65.40/0", "live WD 180.00/0", "live WS 1.28/0",
      "live RAT 0.10/0", "live LE 50.00/0", "live GR 50.05/0", "live RAT1_C 0.00/0",
      "main volt 13.600 power 0 mact 25.5 th 0 wind 0 door - le 50.00"}},
    {"1.25 m/s spreads over the quarter seconds", windB005, Board(), {"2000 21.5 654 0 0 25 0 0 0 13000 0\r"}, 0,
     {"WS 1:125/0 2:124/0 3:126/0 4:125/0", "T0 1:2150/0"}},
    {"1.10 m/s stays flat", windB005, Board(), {"2000 21.5 654 0 0 22 0 0 0 13000 0\r"}, 0,
     {"WS 1:110/0 2:110/0 3:110/0 4:110/0"}},
    {"count scale of the wind vane", [](DefDataRec &d, ModiPamRec &) { d.MainWindType = 1; }, Board(),
     {"2000 21.5 654 0 0 0 1250 0 0 12900 0\r"}, 0, {"WD 1:180/0", "main volt 12.900 power 1 mact 0.0 th 0 wind 0 door - le 0.00"}},
    {"T0 and U every second frame; door switch", [](DefDataRec &d, ModiPamRec &) { d.DoorValid = 1; }, Board(),
     {"2000 21.5 654 0 3.59 0 0 1 0 13000 0\r", "2000 22.5 700 0 3.60 0 0 1 0 13000 0\r"}, 0,
     {"T0 1:2150/0", "LE 1:0/0 2:1000/0", "main volt 13.000 power 0 mact 0.0 th 0 wind 0 door 1 le 100.00"}},
    {"LE sensor of the second kind", [](DefDataRec &d, ModiPamRec &) { d.LESensorMode = 1; }, Board(),
     {"2000 21.5 654 0 12.00 0 0 0 0 13000 0\r"}, 0, {"LE 1:490/0", "live LE 49.05/0"}},
    {"no rain while the rain board counts", [](DefDataRec &d, ModiPamRec &) { d.ObValid[OB_RAIN] = '1'; }, Board(),
     {"2000 21.5 654 0 0 0 0 0 5 13000 0\r"}, 0, {"RAT1_C 0/0", "!RAT "}},
    {"third bad frame in a row refused", none, Board(), {"2000 1 2\r", "2000 x y\r", "2000\r"}, -1, {}},
    {"not a frame", none, Board(), {"hello\r"}, -1, {}},
    {"float frame", none, BoardF(),
     {FloatFrame({"0000AC41", "00802344", F1, "00004041", F0, F0, F0, "00000040", "00805446", "0000CC41", F1, F1,
                  F1, F1, F1, F1, F1, F1, "00003443", "00003543"})},
     0,
     {"T0 1:2150/0", "U 1:654/0", "GR 1:10005/0", "LE 1:500/0", "WD 1:180/0 2:181/0", "RAT 2/0", "RAT1_C 0/0",
      "WS 1:34/0 2:34/0 3:34/0 4:34/0 5:34/0 6:34/0 7:34/0 8:34/0",
      "main volt 13.600 power 0 mact 25.5 th 0 wind 0 door 0 le 50.00"}},
    {"float frame, values not available", none, BoardF(),
     {FloatFrame({NaN, NaN, NaN, NaN, F0, F0, NaN, NaN, NaN, NaN, NaN, F1, F1, F1, F1, F1, F1, F1, NaN, F0})}, 0,
     {"T0 1:99999/8", "U 1:99999/8", "GR 1:99999/8", "LE 1:99999/8", "WD 1:99999/8 2:0/0",
      "WS 1:99999/8 2:34/0 3:34/0 4:34/0 5:34/0 6:34/0 7:34/0 8:34/0", "live U 99999.00/8",
      "main volt 0.000 power - mact 0.0 th 0 wind 0 door 0 le 0.00"}},
    {"float frame with lower-case check sum", none, BoardF(),
     {FloatFrame(std::vector<std::string>(20, "0000A041"), true)}, -1, {}},
    {"float frame one character short", none, BoardF(),
     {FloatFrame(std::vector<std::string>(20, F1)).erase(120, 1)}, -1, {}},
    {"pressure in hPa", none, Press(), {"1013.2\r"}, 10132, {"P 1:10132/0", "live P 1013.20/0"}},
    {"pressure in tenths", none, Press(), {"10132\r"}, 10132, {"P 1:10132/0"}},
    {"pressure unreadable", none, Press(), {"E:05\r"}, 99999, {"P 1:99999/8", "live P 99999.00/8"}},
    {"sixth pressure error", [](DefDataRec &d, ModiPamRec &) { d.Qcps[EL_P][1] = 1100.0f; }, Press(),
     {"1200\r", "1200\r", "1200\r", "1200\r", "1200\r", "1200\r"}, -1, {"live P 1200.00/2"}},
    {"visibility type 0", none, Vis(), {"\x01PW  1   01234 05678\r"}, 0, {"VI 1234/0", "vis10 5678/0"}},
    {"visibility type 2", [](DefDataRec &d, ModiPamRec &) { d.VisiType = 2; }, Vis(), {"VV12345\r"}, 0,
     {"VI 12345/0", "vis10 -9999/2"}},
    {"visibility type 2, short", [](DefDataRec &d, ModiPamRec &) { d.VisiType = 2; }, Vis(), {"VV1234\r"}, 0,
     {"VI -99999/8"}},
    {"visibility type 3", [](DefDataRec &d, ModiPamRec &) { d.VisiType = 3; }, Vis(), {"#01 a b c 15000 14000\r"}, 0,
     {"VI 15000/0", "vis10 14000/0"}},
    {"visibility type 3 without #", [](DefDataRec &d, ModiPamRec &) { d.VisiType = 3; }, Vis(),
     {"01 a b c 15000 14000\r"}, -1, {}},
    {"rain gauge", none, Gauge(), {RainLine(60)}, 0, {"raw 12 0 01 freq 1500 1600 1700 qc 0"}},
    {"rain gauge line one short", none, Gauge(), {RainLine(59)}, -1, {}},
    {"snow depth", [](DefDataRec &d, ModiPamRec &m) { d.ElementEnable[EL_SD] = '1'; m.Pam[EL_SD][3] = 2.0f; m.Pam[EL_SD][4] = 5.0f; },
     Gauge(), {SnowLine("00123", '0')}, 0, {"snow 251/0"}},
    {"snow depth zero", [](DefDataRec &d, ModiPamRec &m) { d.ElementEnable[EL_SD] = '1'; m.Pam[EL_SD][4] = 5.0f; },
     Gauge(), {SnowLine("000.0", '0')}, 0, {"snow 0/0"}},
    {"snow line too short", [](DefDataRec &d, ModiPamRec &) { d.ElementEnable[EL_SD] = '1'; }, Gauge(),
     {SnowLine("00123", '0', 40)}, -1, {}},
    {"NMEA wind", none, Ult(9), {Sentence("WIMWV,270.5,R,5.20,M,A")}, 0,
     {"UWS 1:520/0 2:520/0 3:520/0 4:520/0", "UWD 1:271/0", "ult 5.20/0 271/0"}},
    {"NMEA wind, wrong check byte", none, Ult(9), {Sentence("WIMWV,270.5,R,5.20,M,A", 1)}, -1, {}},
    {"NMEA wind, invalid", none, Ult(9), {Sentence("WIMWV,270.5,R,5.20,M,V")}, 0,
     {"UWS 1:99999/8 2:99999/8 3:99999/8 4:99999/8", "UWD 1:99999/8"}},
    {"wind type 10, one direction a second", none, Ult(10), {">5.20,271.4,0\r", ">5.30,272.6,0\r"}, 0,
     {"UWS 1:520/0 2:530/0", "UWD 1:273/0"}},
    {"wind type 11", none, Ult(11), {Lrc(":01;///;3.5;")}, 0, {"UWS 1:350/0", "UWD 1:99999/8"}},
    {"wind type 11, wrong LRC", none, Ult(11), {":01;///;3.5;00\r"}, -1, {}},
};

TEST_F(SerialTest, ReadersStoreWhatTheLinesSay)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        Fresh();
        c.setup(*defdata, *modipam);
        int r = 0;
        for (const std::string &l : c.lines)
            r = c.reader(l);
        EXPECT_EQ(c.result, r);
        std::string dump = Dump();
        for (const std::string &e : c.expect) {
            // "!ITEM": an item that must not be there.
            bool absent = e[0] == '!';
            std::string item = absent ? "\n" + e.substr(1) : "\n" + e + "\n";
            bool found = ("\n" + dump).find(item) != std::string::npos;
            EXPECT_NE(absent, found) << e << "\nin:\n" << dump;
        }
        if (c.expect.empty()) {
            EXPECT_EQ("", dump);
        }
    }
}

} // namespace
