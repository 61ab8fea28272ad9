// The GPS as a time source on the simulated clock (local time is UTC + 8 h;
// the fixture's clock stands at 10:00:41, inside the seconds 40 to 45), the
// type-switch lines of the instruments, and the re-opening of a port with
// the settings of its new type.
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "core/Main.h"
#include "core/MyTime.h"
#include "platform/Transplant.h"
#include "serial/UartSet.h"
#include "serial_fixture.h"

using serial_test::SerialTest;

namespace {

// "$body*hh\r" with the XOR check sum of body; flip garbles it.
std::string Sentence(const std::string &body, unsigned flip = 0)
{
    unsigned x = 0;
    for (char c : body)
        x ^= uint8_t(c);
    char sum[4];
    std::snprintf(sum, sizeof sum, "%02X", (x ^ flip) & 0xFF);
    return "$" + body + "*" + sum + "\r";
}

// 2024-03-10 10:00:00 local, the fixture's minute.
time_t Minute()
{
    struct tm t {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 10;
    t.tm_hour = 10;
    return timegm(&t);
}

struct GpsCase {
    const char *name;
    int startSec;       // second of the minute when the line arrives
    std::string line;
    int result;
    long moved;         // seconds the clock was moved
};

// UTC 02:00:41 is local 10:00:41.
const GpsCase kGps[] = {
    {"3 s off", 41, Sentence("GPZDA,020044.00,10,03,2024,00,00"), 0, 0},
    {"5 min off", 41, Sentence("GPZDA,020541.00,10,03,2024,00,00"), 0, 300},
    {"5 min off, no check sum", 41, "$GPZDA,015541.00,10,03,2024,00,00\r", 0, -300},
    {"11 min off", 41, Sentence("GPZDA,021141.00,10,03,2024,00,00"), 0, 0},
    {"garbled check sum", 41, Sentence("GPZDA,020541.00,10,03,2024,00,00", 4), -1, 0},
    {"short GPZDA", 41, Sentence("GPZDA,020541.00,10,03"), -1, 0},
    {"GPZDA 30 February", 41, Sentence("GPZDA,020541.00,30,02,2024,00,00"), -1, 0},
    {"at second 30", 30, Sentence("GPZDA,020530.00,10,03,2024,00,00"), 0, 0},
    {"GPRMC an hour off", 41, Sentence("GPRMC,030041.00,A,3954.0,N,11623.0,E,0.0,0.0,100324,,,A"), 0, 3600},
    {"GPRMC in 2037", 41, Sentence("GPRMC,030041.00,A,3954.0,N,11623.0,E,0.0,0.0,100337,,,A"), 0,
     (13 * 365 + 3) * 86400L + 3600},
    {"GPRMC in 2038", 41, Sentence("GPRMC,030041.00,A,3954.0,N,11623.0,E,0.0,0.0,100338,,,A"), -1, 0},
    {"GPRMC void", 41, Sentence("GPRMC,030041.00,V,3954.0,N,11623.0,E,0.0,0.0,100324,,,A"), -1, 0},
    {"GPRMC month 00", 41, Sentence("GPRMC,030041.00,A,3954.0,N,11623.0,E,0.0,0.0,100024,,,A"), -1, 0},
    {"GPRMC 30 February", 41, Sentence("GPRMC,030041.00,A,3954.0,N,11623.0,E,0.0,0.0,300224,,,A"), -1, 0},
    {"GPRMC hour 24", 41, Sentence("GPRMC,240041.00,A,3954.0,N,11623.0,E,0.0,0.0,100324,,,A"), -1, 0},
    {"40 fields", 41, Sentence("GPRMC,030041.00,A" + std::string(38, ',')), -1, 0},
    {"over-long field", 41, Sentence("GPRMC,030041.00,A,3954.0000000000000000000000,N,11623.0,E,0.0,0.0,100324,,,A"),
     -1, 0},
    {"neither sentence", 41, Sentence("GPGGA,030041.00,3954.0,N"), -1, 0},
    {"NUL bytes and no line end", 41, std::string("GPZDA,\0\0\0", 9), -1, 0},
};

TEST_F(SerialTest, GpsSetsTheClockOnlyWithinItsLimits)
{
    const time_t base = Minute();
    for (const GpsCase &c : kGps) {
        SCOPED_TRACE(c.name);
        Fresh();
        TpSetTime(base + c.startSec);
        int r = ReadGps(c.line.c_str());
        long moved = long(TpTime() - (base + c.startSec));
        EXPECT_EQ(c.result, r);
        EXPECT_GE(moved, c.moved) << "clock moved by " << moved;
        EXPECT_LE(moved, c.moved + 1) << "clock moved by " << moved;
        if (c.moved != 0) {
            EXPECT_EQ('0', TemproraryData->MainStat.GpsState);
            EXPECT_EQ(TemproraryData->ShareClock.Min, GetTime(0)->tm_min);
        }
    }
}

// The instrument side switches its own port type with the command's
// parameter form; the digits a port does not know are ignored.
TEST_F(SerialTest, TypeSwitchLines)
{
    static std::vector<std::string> got;
    auto record = [](const char *p) {
        got.push_back(p);
        return 0;
    };
    SerialInstallUpcalls(SerialUpcalls{record, record, record, record, nullptr});
    defdata->ElementEnable[EL_SD] = '1';
    const struct {
        int (*reader)(const char *);
        const char *line;
    } lines[] = {
        {ReadGps, "SNOWMODE 8\r"},     {ReadGps, "SNOWMODE 5\r"},    {ReadAirpress, "AIRPTYPE 4\r"},
        {ReadAirpress, "AIRPTYPE 7\r"}, {ReadVisibility, "VISITYPE 3\r"}, {ReadRainWeight, "rawmode 1\r"},
        {ReadRainWeight, "RAWMODE\r"},
    };
    for (const auto &l : lines)
        EXPECT_EQ(0, l.reader(l.line)) << l.line;
    EXPECT_EQ((std::vector<std::string>{"8\n", "4\n", "3\n", "1\n"}), got);
    // None of them was taken as a reading.
    EXPECT_EQ("", Dump());
}

// A changed device type reopens its port with that type's line settings.
TEST_F(SerialTest, ReinitUsesTheSettingsOfTheNewType)
{
    CheckKernelVerLoadDevName(g_cDevName);
    int master, slave;
    ASSERT_EQ(0, openpty(&master, &slave, nullptr, nullptr, nullptr));
    std::filesystem::create_directories(sandbox_.Path("/dev"));
    ASSERT_EQ(0, symlink(ttyname(slave), sandbox_.Path(std::string(g_cDevName[4])).c_str()));
    struct Row {
        int type;
        speed_t speed;
        int bits;
        char parity;
    };
    for (Row row : {Row{4, B9600, 8, 'N'}, Row{2, B2400, 8, 'N'}, Row{0, B9600, 7, 'E'}}) {
        defdata->AirpType = uint8_t(row.type);
        int fd = ReinitAirp();
        ASSERT_GE(fd, 0);
        const UartDevEntry e = UartDev->Port[SLOT_AIRPRESS];
        EXPECT_EQ(fd, e.fd);
        EXPECT_EQ(row.bits, int(e.DataBits)) << row.type;
        EXPECT_EQ(row.parity, e.Parity) << row.type;
        struct termios t {};
        ASSERT_EQ(0, tcgetattr(fd, &t));
        EXPECT_EQ(row.speed, cfgetospeed(&t)) << row.type;
    }
    close(UartDev->Port[SLOT_AIRPRESS].fd);
    close(slave);
    close(master);
}

} // namespace
