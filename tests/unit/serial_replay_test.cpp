// Recorded instrument sessions, replayed through a pseudo-terminal into the
// listener's line assembly and routing: what the readers leave in the store
// and the live state must match the reviewed golden view beside each
// recording (tests/data/serial/NAME.in and NAME.out). A reader change that
// alters any value shows up as a diff of the .out file; KOMAIN_UPDATE_GOLDEN=1
// rewrites them.
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <pty.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "serial_fixture.h"

using serial_test::SerialTest;

namespace {

struct Session {
    const char *name;
    int port;
    std::function<void()> setup;
};

const Session kSessions[] = {
    {"sampboard_int", COM5, [] {}},
    {"sampboard_float", COM5, [] { TemproraryData->SampBoardExtOutput = 1; }},
    {"pressure", COM4, [] {}},
    {"visibility", COM3, [] {}},
    {"ultrasonic", COM2, [] { defdata->GpsPortType = 9; }},
    {"raingauge", COM1, [] {
         defdata->RawMode = 1;
         defdata->ElementEnable[EL_SD] = '1';
     }},
};

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
    for (const Session &s : kSessions) {
        SCOPED_TRACE(s.name);
        Fresh();
        s.setup();
        const std::string base = std::string(KOMAIN_TESTDATA) + "/serial/" + s.name;
        std::string in = ReadAll(base + ".in");
        ASSERT_FALSE(in.empty());
        testing::internal::CaptureStdout();
        Replay(in, s.port);
        testing::internal::GetCapturedStdout();
        std::string view = Dump();
        if (update)
            std::ofstream(base + ".out", std::ios::binary) << view;
        EXPECT_EQ(ReadAll(base + ".out"), view);
    }
}

} // namespace
