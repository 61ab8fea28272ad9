// The simulated board's devices: GPIO and LED files, CAN datagrams, reboot,
// IPC keys, the loopback-only network and the refusal to run outside a sandbox.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "seam_fixture.h"

namespace {

using SimDevices = SeamTest;

// The same life of a line, written directly and by the shell's echo.
TEST_F(SimDevices, GpioExportValueUnexport)
{
    for (bool shell : {false, true}) {
        SCOPED_TRACE(shell ? "echo" : "TpWriteAttr");
        auto write = [shell](const std::string &attr, const char *value) {
            std::string path = "/sys/class/gpio/" + attr;
            return shell ? TpSystem(("echo " + std::string(value) + " > " + path).c_str())
                         : TpWriteAttr(path.c_str(), value);
        };
        EXPECT_EQ(write("export", "136"), 0);
        EXPECT_EQ(Read("/sys/class/gpio/gpio136/direction"), "in");
        EXPECT_EQ(Read("/sys/class/gpio/gpio136/value"), "0");
        EXPECT_EQ(write("gpio136/direction", "out"), 0);
        EXPECT_EQ(write("gpio136/value", "1"), 0);
        EXPECT_EQ(Read("/sys/class/gpio/gpio136/direction"), "out");
        EXPECT_EQ(Read("/sys/class/gpio/gpio136/value"), "1");
        EXPECT_EQ(write("gpio136/value", "0"), 0);
        EXPECT_EQ(Read("/sys/class/gpio/gpio136/value"), "0");
        EXPECT_EQ(write("unexport", "136"), 0);
        EXPECT_FALSE(Exists("/sys/class/gpio/gpio136"));
        EXPECT_NE(write("gpio136/value", "1"), 0) << "line not exported";
    }
    EXPECT_EQ(TpWriteAttr("/sys/class/gpio/export", "136"), 0);
    EXPECT_EQ(TpWriteAttr("/sys/class/gpio/export", "136"), -1) << "a line is exported once";
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(TpWriteAttr("/sys/class/gpio/export", "abc"), -1);
}

// The levels an LED request leaves are observed through the board layer.
TEST_F(SimDevices, CfDetectionAndClosedLedDevice)
{
    int fd = TpLedOpen();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(TpLedIoctl(fd, 5, 0), 1) << "no card";
    EXPECT_EQ(TpCfCardPresent(0), 0);
    Touch("/dev/hda1");
    EXPECT_EQ(TpLedIoctl(fd, 5, 0), 0) << "card inserted";
    EXPECT_EQ(TpCfCardPresent(0), 1);
    EXPECT_EQ(TpCfCardPresent(1), 0) << "the newer board looks at sdd1";
    EXPECT_EQ(TpLedClose(fd), 0);
    EXPECT_EQ(TpLedIoctl(fd, 3, 1), -1) << "closed descriptor";
}

TEST_F(SimDevices, CanFramesBothWays)
{
    int fd = TpCanOpen("can0");
    ASSERT_GE(fd, 0);
    TpCanFrame f{};
    f.can_id = 0x192;
    f.can_dlc = 8;
    for (int i = 0; i < 8; ++i)
        f.data[i] = uint8_t(i + 1);
    EXPECT_EQ(TpCanSend(fd, &f), -1) << "nobody on the bus";

    // A peer on the simulated bus, bound at can0.bus, sending to can0.
    sockaddr_un bus{}, komain{};
    bus.sun_family = komain.sun_family = AF_UNIX;
    std::snprintf(bus.sun_path, sizeof bus.sun_path, "%s/run/can0.bus", root_.c_str());
    std::snprintf(komain.sun_path, sizeof komain.sun_path, "%s/run/can0", root_.c_str());
    const int peer = socket(AF_UNIX, SOCK_DGRAM, 0);
    ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr *>(&bus), sizeof bus), 0);
    auto send = [&](const void *p, std::size_t n) {
        return sendto(peer, p, n, 0, reinterpret_cast<sockaddr *>(&komain), sizeof komain);
    };
    ASSERT_EQ(TpCanSend(fd, &f), 16);
    unsigned char wire[32];
    ASSERT_EQ(recv(peer, wire, sizeof wire, MSG_DONTWAIT), 16);
    const unsigned char expect[16] = {0x92, 0x01, 0, 0, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(wire, expect, 16), 0);

    const unsigned char in[16] = {0x85, 0x07, 0, 0, 1, 0, 0, 0, 0x05, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(send(in, 16), 16);
    TpCanFrame r{};
    EXPECT_EQ(TpCanRecv(fd, &r, 1000), 16);
    EXPECT_EQ(r.can_id, 0x785u);
    EXPECT_EQ(r.can_dlc, 1);
    EXPECT_EQ(r.data[0], 5);

    EXPECT_EQ(TpCanRecv(fd, &r, 20), 0) << "quiet bus";
    unsigned char big[17] = {};
    for (std::size_t n : {15, 17}) {   // short and long datagrams
        ASSERT_EQ(send(big, n), ssize_t(n));
        EXPECT_EQ(TpCanRecv(fd, &r, 1000), -1) << n;
    }
    ASSERT_EQ(send(in, 16), 16);
    EXPECT_EQ(TpCanRecv(fd, &r, 1000), 16) << "bad datagrams were consumed";
    TpCanClose(fd);
    close(peer);

    // A stale socket file of an earlier run does not stop the next open.
    int again = TpCanOpen("can0");
    EXPECT_GE(again, 0);
    TpCanClose(again);
    EXPECT_EQ(TpCanOpen("eth0"), -1);
    EXPECT_EQ(TpCanOpen("can0/../x"), -1);
}

// That the reboot also ends the station's other processes is seen end to end.
TEST_F(SimDevices, RebootLogsAndEndsTheCaller)
{
    TpSetTime(TpTime()); // pin the clock to a whole second
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);   // the station: its own process group
        if (TransplantInit() != 0)
            _exit(3);
        TpSystem("reboot");
        _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status));
    std::string log = Read("/sim/reboot.log");
    EXPECT_EQ(log.size(), 27u);
    EXPECT_EQ(log.substr(0, 11), "2026-12-05 ");
    EXPECT_EQ(log.substr(19), " reboot\n");
}

TEST_F(SimDevices, IpcKeysFollowTheSandbox)
{
    // The board's key in the low half, the sandbox in the upper half: two
    // stations side by side never share a segment.
    const int key = TpIpcKey(0x1234);
    EXPECT_EQ(key & 0xffff, 0x1234);
    EXPECT_GT(key, 0xffff);
    EXPECT_NE(TpIpcKeyFor("/tmp/a", 0x1234), TpIpcKeyFor("/tmp/b", 0x1234));
    // The semaphore set's key lies in the same sandbox, apart from every
    // keyed segment.
    const int sem = TpFtok("/bin", 'a');
    EXPECT_EQ(sem & 0xffff, 0xf061);
    EXPECT_EQ(sem >> 16, key >> 16);
}

TEST_F(SimDevices, ConnectsToLoopbackOnly)
{
    int lst = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(lst, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(listen(lst, 1), 0);
    socklen_t len = sizeof a;
    getsockname(lst, reinterpret_cast<sockaddr *>(&a), &len);

    int c = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(TpConnect(c, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    close(c);

    sockaddr_in far = a;
    inet_pton(AF_INET, "10.1.2.3", &far.sin_addr);
    c = socket(AF_INET, SOCK_STREAM, 0);
    errno = 0;
    EXPECT_EQ(TpConnect(c, reinterpret_cast<sockaddr *>(&far), sizeof far), -1);
    EXPECT_EQ(errno, ENETUNREACH);
    // Nothing was attempted: the socket is still unconnected.
    sockaddr_in peer{};
    len = sizeof peer;
    EXPECT_EQ(getpeername(c, reinterpret_cast<sockaddr *>(&peer), &len), -1);
    close(c);
    close(lst);
}

TEST(SimRefusal, HostBuildWithoutSandboxExits2)
{
#if defined(__arm__) || defined(__aarch64__)
    // An ARM build is the board program: outside a sandbox it would run
    // the board's real commands.
    GTEST_SKIP() << "an ARM build is the board program: no sandbox refusal to test here";
#endif
    FILE *p = popen("env -u KOMAIN_ROOT " KOMAIN_BINARY " 2>&1", "r");
    ASSERT_NE(p, nullptr);
    char buf[256] = "";
    std::size_t n = std::fread(buf, 1, sizeof buf - 1, p);
    buf[n] = '\0';
    int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_STREQ(buf, "komain: not a logger board; set KOMAIN_ROOT to run a simulated station\n");
}

} // namespace
