// Recorded instrument sessions, replayed through a pseudo-terminal into the
// listener's line assembly and routing: what the readers leave in the store
// and the live state must match the reviewed view beside each recording
// (tests/data/serial/NAME.in and NAME.out). The first line of a recording
// names its port and the settings of the session ("# COM5 door=1"). A
// reader change that alters any value shows up as a diff of an .out file;
// KOMAIN_UPDATE_GOLDEN=1 rewrites them.
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "serial_fixture.h"

using serial_test::SerialTest;

namespace {

const char *const kSessions[] = {
    "sampboard_int", "sampboard_opts", "sampboard_float", "pressure",      "pressure_errors", "visibility",
    "visibility_vv", "visibility_hash", "ultrasonic",     "ultrasonic_10", "ultrasonic_11",   "raingauge",
};

// The port's own device-type parameter.
void SetDeviceType(int port, uint8_t v)
{
    DefDataRec &d = *defdata;
    switch (port) {
    case COM1: d.RawMode = v; break;
    case COM2: d.GpsPortType = v; break;
    case COM3: d.VisiType = v; break;
    case COM4: d.AirpType = v; break;
    default: break;
    }
}

// "# COMn key=value ...": returns the port, -1 for a header it cannot read.
int ApplyHeader(const std::string &header)
{
    std::istringstream in(header);
    std::string hash, com;
    in >> hash >> com;
    if (hash != "#" || com.size() != 4 || com.compare(0, 3, "COM") != 0)
        return -1;
    int port = com[3] - '0';
    DefDataRec &d = *defdata;
    for (std::string kv; in >> kv;) {
        std::size_t eq = kv.find('=');
        std::string key = kv.substr(0, eq);
        double v = std::atof(kv.c_str() + eq + 1);
        char flag = char('0' + int(v));
        if (key == "type") SetDeviceType(port, uint8_t(v));
        else if (key == "ext") TemproraryData->SampBoardExtOutput = int(v);
        else if (key == "windtype") d.MainWindType = uint8_t(v);
        else if (key == "door") d.DoorValid = int(v);
        else if (key == "lemode") d.LESensorMode = uint8_t(v);
        else if (key == "rain") d.ObValid[OB_RAIN] = flag;
        else if (key == "wsa") d.Senco[0] = float(v);
        else if (key == "wsb") d.Senco[1] = float(v);
        else if (key == "sd") d.ElementEnable[EL_SD] = flag;
        else if (key == "sdgain") modipam->Pam[EL_SD][3] = float(v);
        else if (key == "sdoffset") modipam->Pam[EL_SD][4] = float(v);
        else if (key == "pmax") d.Qcps[EL_P][1] = float(v);
        else return -1;
    }
    return port;
}

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Writes the recording into the terminal's master side and hands what the
// port side reads, 256 bytes at most per read as the listener does, to the
// line assembly of port.
void Replay(const std::string &bytes, int port)
{
    int master, slave;
    ASSERT_EQ(0, openpty(&master, &slave, nullptr, nullptr, nullptr));
    struct termios t {};
    ASSERT_EQ(0, tcgetattr(slave, &t));
    cfmakeraw(&t);
    ASSERT_EQ(0, tcsetattr(slave, TCSANOW, &t));
    fcntl(slave, F_SETFL, O_NONBLOCK);
    std::size_t sent = 0, got = 0;
    while (got < bytes.size()) {
        if (sent < bytes.size()) {
            ssize_t n = write(master, bytes.data() + sent, std::min<std::size_t>(64, bytes.size() - sent));
            ASSERT_GT(n, 0);
            sent += std::size_t(n);
        }
        char b[256];
        ssize_t n = read(slave, b, sizeof b);
        if (n > 0) {
            got += std::size_t(n);
            UartRcvBytes(port, b, int(n));
        } else {
            usleep(1000);
        }
    }
    close(slave);
    close(master);
}

TEST_F(SerialTest, RecordedSessionsGiveTheirGoldenRecords)
{
    const bool update = std::getenv("KOMAIN_UPDATE_GOLDEN") != nullptr;
    for (const char *name : kSessions) {
        SCOPED_TRACE(name);
        Fresh();
        const std::string base = std::string(KOMAIN_TESTDATA) + "/serial/" + name;
        std::string in = ReadAll(base + ".in");
        std::size_t eol = in.find('\n');
        ASSERT_NE(std::string::npos, eol);
        int port = ApplyHeader(in.substr(0, eol));
        ASSERT_GE(port, 0) << in.substr(0, eol);
        testing::internal::CaptureStdout();
        Replay(in.substr(eol + 1), port);
        testing::internal::GetCapturedStdout();
        std::string view = Dump();
        if (update)
            std::ofstream(base + ".out", std::ios::binary) << view;
        EXPECT_EQ(ReadAll(base + ".out"), view);
    }
}

} // namespace
