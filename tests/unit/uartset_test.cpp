// Serial port layer: device names by kernel release, the port roles and
// their line settings on pseudo-terminals, and the refusals of the
// speed and parity routines.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <string>
#include <termios.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/ShareMem.h"
#include "serial/UartSet.h"
#include "support/Sandbox.h"

using komain_test::Sandbox;

namespace {

// Device names of slots 0 to 5 per board generation.
const char *const kOldSlotNames[UART_SLOTS] = {"/dev/ttym2", "/dev/ttym3", "/dev/ttyS3",
                                               "/dev/ttyS2", "/dev/ttym0", "/dev/ttym1"};
const char *const kNewSlotNames[UART_SLOTS] = {"/dev/ttymxc3", "/dev/ttymxc6", "/dev/ttymxc5",
                                               "/dev/ttymxc4", "/dev/ttymxc1", "/dev/ttymxc2"};

// A sandbox with a zeroed port table and parameter record standing in for
// the shared segments, and pseudo-terminals behind the device names.
class UartTest : public ::testing::Test {
protected:
    void Start(const char *kernel)
    {
        box_ = std::make_unique<Sandbox>("", kernel);
        savedDefdata_ = defdata;
        savedUartDev_ = UartDev;
        def_ = {};
        dev_ = {};
        defdata = &def_;
        UartDev = &dev_;
        UartDefaultDevNames(g_cDevName);
        g_HardwareCheck = 0;
        testing::internal::CaptureStdout();
        CheckKernelVerLoadDevName(g_cDevName);
        testing::internal::GetCapturedStdout();
    }

    void TearDown() override
    {
        for (int i = 0; i < UART_SLOTS; ++i)
            if (dev_.Port[i].DevName[0] != '\0' && dev_.Port[i].fd > 2)
                close(dev_.Port[i].fd);
        dev_ = {};
        for (int fd : masters_)
            close(fd);
        masters_.clear();
        defdata = savedDefdata_;
        UartDev = savedUartDev_;
        UartDefaultDevNames(g_cDevName);
        g_HardwareCheck = 0;
        box_.reset();
    }

    // Links DIR + devName to a new pseudo-terminal's slave side.
    void AddPty(const char *devName)
    {
        int master = -1;
        int slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        char name[64];
        ASSERT_EQ(ptsname_r(master, name, sizeof name), 0);
        close(slave);
        masters_.push_back(master);
        ASSERT_EQ(symlink(name, box_->Path(devName).c_str()), 0);
    }

    // Opens a spare pseudo-terminal for the routine-level tests.
    int SparePty()
    {
        int master = -1;
        int slave = -1;
        EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        masters_.push_back(master);
        masters_.push_back(slave);
        return slave;
    }

    std::unique_ptr<Sandbox> box_;
    DefDataRec def_{};
    UartDevRec dev_{};
    DefDataRec *savedDefdata_ = nullptr;
    UartDevRec *savedUartDev_ = nullptr;
    std::vector<int> masters_;
};

struct Line {
    speed_t speed;
    char parity;   // 'N', 'E', 'O'
    bool twoStop;
};

// The raw-mode flags and read time-outs every configured port has.
void ExpectRaw(const struct termios &t)
{
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | IGNCR | INLCR), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

// The port's attributes as the driver holds them. A pseudo-terminal always
// reports 8 data bits and no parity generation whatever it was asked for,
// so parity shows here through input parity checking and the odd flag;
// character size and parity enable are checked on the record itself
// (SetParityAttrsBuildsTheRecord).
void ExpectLine(int fd, const Line &want, const char *what)
{
    SCOPED_TRACE(what);
    struct termios t {};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetispeed(&t), want.speed);
    EXPECT_EQ(cfgetospeed(&t), want.speed);
    EXPECT_EQ((t.c_iflag & INPCK) != 0, want.parity == 'E' || want.parity == 'O');
    if (want.parity != 'N') {
        EXPECT_EQ((t.c_cflag & PARODD) != 0, want.parity == 'O');
    }
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, want.twoStop);
    ExpectRaw(t);
}

std::string KernelNames(const char *release, int &hardware, std::string &printed)
{
    setenv("KOMAIN_KERNEL", release, 1);
    EXPECT_EQ(TransplantInit(), 0);
    char names[8][30];
    UartDefaultDevNames(names);
    g_HardwareCheck = 0;
    testing::internal::CaptureStdout();
    CheckKernelVerLoadDevName(names);
    printed = testing::internal::GetCapturedStdout();
    hardware = g_HardwareCheck;
    EXPECT_STREQ(names[6], "can0");
    EXPECT_STREQ(names[7], "/mnt/cf");
    return names[0];
}

} // namespace

TEST_F(UartTest, KernelReleaseChoosesBoardGeneration)
{
    Start("2.6.39");
    const std::string longRun(64, '7');
    const std::string longDots = std::string(40, '9') + "." + std::string(20, '9');
    // A null name: garbage, for which any name of the two tables and one
    // "Version:" line will do.
    const struct {
        const char *release, *com0, *printed;
    } cases[] = {
        {"3.1.10", "/dev/ttyS2", "Version:3.1.10 3.1.10\n"},
        {"3.2.0", "/dev/ttymxc4", "Version:3.2.0 3.2.0\n"},
        {"4.1.15-1", "/dev/ttymxc4", "Version:4.1.15 4.1.15-1\n"},
        {"2.6.39", "/dev/ttyS2", "Version:2.6.39 2.6.39\n"},
        {"3.2", "/dev/ttymxc4", "Version:3.2. 3.2\n"},
        {"10.0.0-rt", "/dev/ttymxc4", "Version:10.0.0 10.0.0-rt\n"},
        {"abc", "/dev/ttyS2", "Version:abc.. abc\n"},
        {"...", nullptr, nullptr}, {"3", nullptr, nullptr}, {".3.2", nullptr, nullptr}, {"-", nullptr, nullptr},
        {"x.y.z", nullptr, nullptr}, {longRun.c_str(), nullptr, nullptr}, {longDots.c_str(), nullptr, nullptr},
        {"\xff\xfe.\x01", nullptr, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.release);
        int hw = -1;
        std::string out;
        const std::string com0 = KernelNames(c.release, hw, out);
        EXPECT_TRUE(com0 == "/dev/ttyS2" || com0 == "/dev/ttymxc4");
        EXPECT_EQ(hw, com0 == "/dev/ttymxc4" ? 1 : 0);
        if (c.com0) {
            EXPECT_EQ(com0, c.com0);
            EXPECT_EQ(out, c.printed);
        } else {
            EXPECT_EQ(out.rfind("Version:", 0), 0u);
            EXPECT_EQ(out.back(), '\n');
        }
    }
}

// Each slot opens under its board's name with its role's line settings.
TEST_F(UartTest, UartInitOpensAndConfiguresEveryPortOnBothBoards)
{
    for (const char *kernel : {"2.6.39", "4.1.15-1"}) {
        SCOPED_TRACE(kernel);
        Start(kernel);
        const bool newer = std::strcmp(kernel, "2.6.39") != 0;
        const char *const *names = newer ? kNewSlotNames : kOldSlotNames;
        for (int i = 0; i < UART_SLOTS; ++i)
            AddPty(names[i]);
        def_.GpsPortType = 11;   // 9600-8-E-1
        def_.VisiType = 1;       // 9600-7-O-1
        def_.AirpType = 2;       // 2400-8-N-1

        testing::internal::CaptureStdout();
        EXPECT_EQ(UartInit(), 0);
        std::string out = testing::internal::GetCapturedStdout();

        const Line lines[UART_SLOTS] = {
            {B9600, 'E', false}, {B9600, 'N', false}, {B9600, 'N', false},
            {B9600, 'N', false}, {B9600, 'O', false}, {B2400, 'N', false},
        };
        const char *const summary[UART_SLOTS] = {"9600-8-E-1", "9600-8-N-1", "9600-8-N-1",
                                                 "9600-8-N-1", "9600-7-O-1", "2400-8-N-1"};
        // Header and one summary line per slot, in slot order.
        std::string want = "Open Com:\n";
        for (int i = 0; i < UART_SLOTS; ++i) {
            SCOPED_TRACE(i);
            const UartDevEntry e = dev_.Port[i];
            EXPECT_GT(int32_t(e.fd), 2);
            EXPECT_STREQ(e.DevName, names[i]);
            EXPECT_STREQ(e.DispName, names[i]);
            EXPECT_EQ(char(e.Parity), lines[i].parity);
            EXPECT_EQ(int32_t(e.StopBits), 1);
            ExpectLine(int32_t(e.fd), lines[i], names[i]);
            want += std::string(names[i]) + ":fd(" + std::to_string(int32_t(e.fd)) + ") " + summary[i] + "\n";
        }
        EXPECT_EQ(out, want);
        EXPECT_EQ(fdgps, int32_t(dev_.Port[0].fd));
        EXPECT_EQ(fdlistenpc_1, int32_t(dev_.Port[3].fd));
        EXPECT_EQ(fdairpress, int32_t(dev_.Port[5].fd));
        EXPECT_EQ(int32_t(dev_.Port[5].Speed), 2400);
        EXPECT_EQ(int32_t(dev_.Port[4].DataBits), 7);
        TearDown();
    }
}

TEST_F(UartTest, SpeedAndParityRefuseWithoutChange)
{
    Start("4.1.15-1");
    int fd = SparePty();
    ASSERT_EQ(set_speed(fd, 9600), 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(set_speed(fd, 57600), -1);
    EXPECT_EQ(set_speed(fd, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    struct termios t {};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);

    for (auto [name, constant] : {std::pair{115200, B115200}, {600, B600}, {300, B300}, {4800, B4800}}) {
        EXPECT_EQ(set_speed(fd, name), 1);
        ASSERT_EQ(tcgetattr(fd, &t), 0);
        EXPECT_EQ(cfgetispeed(&t), constant) << name;
    }

    testing::internal::CaptureStderr();
    EXPECT_EQ(set_speed(-1, 9600), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("tcsetattr fd: "), std::string::npos);

    ASSERT_EQ(set_Parity(fd, 8, 1, 'N'), 1);
    struct termios before {};
    ASSERT_EQ(tcgetattr(fd, &before), 0);

    struct Bad {
        int data, stop, parity;
        const char *message;
    } bad[] = {
        {6, 1, 'N', "Unsupported data size\n"},
        {8, 1, 'X', "Unsupported parity\n"},
        {8, 3, 'N', "Unsupported stop bits\n"},
        {7, 0, 'e', "Unsupported stop bits\n"},
        {8, 1, 0, "Unsupported parity\n"},
    };
    for (const Bad &b : bad) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(set_Parity(fd, b.data, b.stop, b.parity), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), b.message);
        struct termios after {};
        ASSERT_EQ(tcgetattr(fd, &after), 0);
        EXPECT_EQ(after.c_cflag, before.c_cflag);
    }

    testing::internal::CaptureStderr();
    EXPECT_EQ(set_Parity(-1, 8, 1, 'N'), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("SetupSerial 1: ", 0), 0u);

    // Accepted settings keep the speed.
    ASSERT_EQ(set_speed(fd, 19200), 1);
    for (auto [data, stop, parity] : {std::tuple {7, 2, 'o'}, {8, 1, 'e'}, {8, 1, 'n'}}) {
        EXPECT_EQ(set_Parity(fd, data, stop, parity), 1);
        ExpectLine(fd, {B19200, char(std::toupper(parity)), stop == 2}, std::string(1, parity).c_str());
    }
}

TEST(UartAttrs, SetParityAttrsBuildsTheRecord)
{
    struct Case {
        int data, stop, parity;
        tcflag_t size;
        tcflag_t cflagSet, cflagClear;
        bool inpck;
    } cases[] = {
        {7, 1, 'E', CS7, PARENB, PARODD | CSTOPB | CMSPAR, true},
        {7, 1, 'o', CS7, PARENB | PARODD, CSTOPB | CMSPAR, true},
        {8, 2, 'n', CS8, CSTOPB, PARENB, false},
        {8, 1, 'M', CS8, PARENB | CMSPAR, CSTOPB, false},
        {7, 2, 'm', CS7, PARENB | CMSPAR | CSTOPB, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.parity);
        // Start from a cooked line with every flag the raw mode clears.
        struct termios t {};
        t.c_cflag = CS8 | CREAD | PARODD;
        if (c.parity == 'E' || c.parity == 'o')
            t.c_cflag |= CSTOPB | CMSPAR;
        if (c.parity == 'M' || c.parity == 'm')
            t.c_cflag &= ~tcflag_t(PARODD);
        t.c_iflag = IXON | IXOFF | IXANY | ICRNL | IGNCR | INLCR | INPCK;
        t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 5;
        ASSERT_EQ(SetParityAttrs(&t, c.data, c.stop, c.parity), 1);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet);
        EXPECT_EQ(t.c_cflag & c.cflagClear, 0u);
        EXPECT_NE(t.c_cflag & CREAD, 0u);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.inpck);
        ExpectRaw(t);
        // Output processing stays as the driver set it.
        EXPECT_NE(t.c_lflag & IEXTEN, 0u);
    }
}

TEST_F(UartTest, MissingDeviceUnlistedTypesAndReopenWithChangedType)
{
    Start("4.1.15-1");
    for (int i = 0; i < UART_SLOTS; ++i)
        if (i != SLOT_SAMPBOARD)
            AddPty(kNewSlotNames[i]);
    def_.VisiType = 5;   // unlisted: the slot stays untouched
    def_.AirpType = 7;   // unlisted: 9600-7-E-1
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    UartInit();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string init = testing::internal::GetCapturedStdout();
    EXPECT_EQ(init.find("/dev/ttymxc1"), std::string::npos);
    // The missing device keeps -1 and its name; the others open.
    EXPECT_EQ(int32_t(dev_.Port[SLOT_SAMPBOARD].fd), -1);
    EXPECT_EQ(fdSampBoard, -1);
    EXPECT_STREQ(dev_.Port[SLOT_SAMPBOARD].DevName, "/dev/ttymxc6");
    EXPECT_NE(init.find("/dev/ttymxc6:fd(-1) 9600-8-N-1\n"), std::string::npos) << init;
    for (const char *m : {"Can't Open Serial Port: ", "tcsetattr fd: ", "SetupSerial 1: "})
        EXPECT_NE(err.find(m), std::string::npos) << m << err;
    const UartDevEntry vis = dev_.Port[SLOT_VISIBILITY];
    EXPECT_EQ(int32_t(vis.fd), 0);
    EXPECT_EQ(vis.DevName[0], '\0');
    EXPECT_EQ(int32_t(vis.Speed), 0);
    EXPECT_GT(int32_t(dev_.Port[3].fd), 2);
    const int oldPress = int32_t(dev_.Port[SLOT_AIRPRESS].fd);
    ExpectLine(oldPress, {B9600, 'E', false}, "pressure before");

    def_.AirpType = 4;
    testing::internal::CaptureStdout();
    int fd = UartReopen(SLOT_AIRPRESS);
    EXPECT_GT(fd, 2);
    EXPECT_EQ(int32_t(dev_.Port[SLOT_AIRPRESS].fd), fd);
    EXPECT_EQ(fdairpress, fd);
    ExpectLine(fd, {B9600, 'N', false}, "pressure after");
    // The old descriptor went back (the new open may reuse its number).
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "/dev/ttymxc2:fd(" + std::to_string(fd) + ") 9600-8-N-1\n");
    if (fd != oldPress) {
        EXPECT_EQ(fcntl(oldPress, F_GETFD), -1);
    }

    EXPECT_EQ(UartReopen(SLOT_VISIBILITY), -1);
    EXPECT_EQ(int32_t(dev_.Port[SLOT_VISIBILITY].fd), -1);
    EXPECT_EQ(fdvisibility, -1);
    EXPECT_EQ(UartReopen(6), -1);
    EXPECT_EQ(UartReopen(-1), -1);
}
