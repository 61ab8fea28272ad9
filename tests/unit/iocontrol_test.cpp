// Board I/O on both board generations, observed through the simulated
// board: GPIO levels in sys/class/gpio/gpioN/value (newer board) and the
// LED device's recorded levels in sim/at91_led/<request> (older board).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>

#include "board/IoControl.h"
#include "core/Main.h"
#include "core/ShareMem.h"
#include "support/Sandbox.h"
#include "support/Station.h"

using komain_test::Sandbox;
using komain_test::Station;

namespace {

std::string Trimmed(std::string s)
{
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

class IoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The board generation is chosen by g_HardwareCheck below; the
        // kernel release plays no part in the I/O layer.
        box_ = std::make_unique<Sandbox>("", "4.1.15-1");
    }

    void Start(int hardware)
    {
        g_HardwareCheck = hardware;
        fdLed = -1;
        testing::internal::CaptureStdout();
        initResult_ = IoControlInit();
        initOut_ = testing::internal::GetCapturedStdout();
    }

    void TearDown() override
    {
        testing::internal::CaptureStdout();
        LedUnInit();
        testing::internal::GetCapturedStdout();
        g_HardwareCheck = 0;
        g_SignalAlarmUsedFlag = 0;
        box_.reset();
    }

    std::string Gpio(int line, const char *attr = "value") const
    {
        return Trimmed(box_->Read("/sys/class/gpio/gpio" + std::to_string(line) + "/" + attr));
    }
    std::string Led(int request) const { return Trimmed(box_->Read("/sim/at91_led/" + std::to_string(request))); }

    // Every recorded level of the board: GPIO values or LED requests.
    std::map<std::string, std::string> Levels() const
    {
        std::map<std::string, std::string> m;
        namespace fs = std::filesystem;
        for (const char *dir : {"/sys/class/gpio", "/sim/at91_led"}) {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(box_->Path(dir), ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                if (it->is_regular_file())
                    m[it->path().string()] = Trimmed(box_->Read(it->path().string().substr(box_->Root().size())));
        }
        return m;
    }

    std::string Commands() const { return box_->Read("/sim/commands.log"); }

    std::unique_ptr<Sandbox> box_;
    int initResult_ = -2;
    std::string initOut_;
};

} // namespace

TEST_F(IoTest, NewerBoardInitExportsLinesAsOutputsInSafeState)
{
    Start(1);
    EXPECT_EQ(initResult_, 0);
    for (int line : {15, 14, 11, 137, 13, 136, 12, 123, 124, 92})
        EXPECT_EQ(Gpio(line, "direction"), "out") << line;
    // Ports 1 and 2 RS-232, port 1 transceiver receiving, CF card power off.
    for (int line : {15, 11, 14, 92})
        EXPECT_EQ(Gpio(line), "0") << line;
    EXPECT_EQ(initOut_.rfind("UnExportGpio\r\necho 15 > /sys/class/gpio/unexport\r\n", 0), 0u) << initOut_;
    EXPECT_NE(initOut_.find("echo 92 > /sys/class/gpio/unexport\r\nExportGpio\r\n"), std::string::npos);
    // No LED device on this board.
    EXPECT_EQ(Commands().find("mknod"), std::string::npos);
}

// The same calls in order on both boards: the newer board's GPIO line (low
// lights an LED; Ethernet goes by ifconfig, line 0) and the older board's LED
// request. The RS-485 receive request of port 1 must leave its send line.
const struct {
    int (*action)();
    int line;
    const char *gpio;
    int request;
    const char *led;
} kSteps[] = {
    {LedRunOn, 136, "0", 3, "1"}, {LedRunOff, 136, "1", 3, "0"}, {LedCfOn, 137, "0", 4, "0"},
    {LedCfOff, 137, "1", 4, "1"}, {[] { return Rs485SendEnable(0); }, 14, "1", 8, "1"},
    {[] { return Rs485SendEnable(1); }, 12, "1", 9, "1"}, {[] { return Rs485RecvEnable(1); }, 12, "0", 9, "0"},
    {[] { return 0; }, 14, "1", 8, "1"}, {LanPowerOff, 0, "", 11, "1"}, {LanPowerOn, 0, "", 11, "0"},
};

TEST_F(IoTest, BothBoardsDriveTheTabledLinesWithoutCommands)
{
    for (int board : {1, 0}) {
        SCOPED_TRACE(board ? "newer" : "older");
        TearDown();
        SetUp();
        Start(board);
        // The run LED changes every 250 ms: no command may run for it.
        const std::string commands = Commands();
        for (size_t i = 0; i < std::size(kSteps); ++i)
            if (board == 0 || kSteps[i].line != 0) {
                EXPECT_EQ(kSteps[i].action(), 0) << i;
                EXPECT_EQ(board ? Gpio(kSteps[i].line) : Led(kSteps[i].request), board ? kSteps[i].gpio : kSteps[i].led)
                    << "step " << i;
            }
        // Port 2, an unknown port and, on the older board, the newer board's
        // own switches and the CF power change nothing.
        auto before = Levels();
        EXPECT_EQ(Rs485SendEnable(2), 0);
        EXPECT_EQ(Rs485RecvEnable(2), 0);
        EXPECT_EQ(Rs485SendEnable(255), 0);
        if (board == 0) {
            NetPowerOff();
            auto t0 = std::chrono::steady_clock::now();
            EXPECT_EQ(CfCardPowerOn(), 0);
            EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
            CfCardPowerOff();
        }
        EXPECT_EQ(Levels(), before);
        EXPECT_EQ(Commands(), commands);
        if (board == 1) {   // the newer board switches Ethernet by ifconfig
            testing::internal::CaptureStdout();
            LanPowerOff();
            LanPowerOn();
            NetPowerOff();
            EXPECT_EQ(testing::internal::GetCapturedStdout(),
                      "ifconfig eth1 down\r\nifconfig eth1 up\r\nifconfig eth1 down\r\n");
            EXPECT_NE(Commands().find("ifconfig eth1 down\nifconfig eth1 up\nifconfig eth1 down\n"), std::string::npos);
        }
    }
}

// Times the process has gone to sleep of its own accord (-1 when unknown).
static long SleepsOf(pid_t pid)
{
    std::string status = komain_test::ReadHostFile("/proc/" + std::to_string(pid) + "/status");
    std::size_t at = status.find("voluntary_ctxt_switches:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 24);
}

// With the 250 ms timer running, switching the CF card on waits until the
// shared second has changed four times. The wait runs in a child process,
// as in the station; the test ticks the shared copy as the housekeeping
// process does, each time only once the waiter has looked at it again (it
// sleeps between its looks).
TEST_F(IoTest, CfPowerOnUnderTimerWaitsForFourChangesOfTheSecond)
{
    Start(1);
    void *mem = mmap(nullptr, sizeof(TemproraryDataRec), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    auto *temp = static_cast<TemproraryDataRec *>(mem);
    TemproraryDataRec *saved = TemproraryData;
    TemproraryData = temp;
    g_SignalAlarmUsedFlag = 1;
    testing::internal::CaptureStdout();
    std::fflush(stdout);
    pid_t waiter = fork();
    if (waiter == 0) {
        int rc = CfCardPowerOn();
        std::fflush(stdout);
        _exit(rc == 0 ? 0 : 1);
    }
    auto tick = [&] {
        long seen = SleepsOf(waiter);
        temp->ShareClock.Sec = (temp->ShareClock.Sec + 1) % 60;
        return Station::WaitFor([&] { return SleepsOf(waiter) >= seen + 2; }, std::chrono::seconds(5));
    };
    // The waiter has switched the power on and looks at the second.
    EXPECT_TRUE(Station::WaitFor([&] { return Gpio(92) == "1"; }, std::chrono::seconds(5)));
    long entered = SleepsOf(waiter);
    EXPECT_TRUE(Station::WaitFor([&] { return SleepsOf(waiter) > entered; }, std::chrono::seconds(5)));
    int status = -1;
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(tick()) << "change " << i + 1;
    EXPECT_EQ(waitpid(waiter, &status, WNOHANG), 0) << "returned after three changes";
    tick();
    EXPECT_TRUE(Station::WaitFor([&] { return waitpid(waiter, &status, WNOHANG) == waiter; }, std::chrono::seconds(5)));
    if (status == -1) {
        kill(waiter, SIGKILL);
        waitpid(waiter, &status, 0);
    }
    std::string out = testing::internal::GetCapturedStdout();
    TemproraryData = saved;
    munmap(mem, sizeof(TemproraryDataRec));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(out, "waiting 3s for CF enable\r\n");
    EXPECT_EQ(Gpio(92), "1");
    CfCardPowerOff();
    EXPECT_EQ(Gpio(92), "0");
}

TEST_F(IoTest, OlderBoardInitThroughLedDevice)
{
    Start(0);
    EXPECT_EQ(initResult_, 0);
    EXPECT_EQ(initOut_, "");
    EXPECT_NE(Commands().find("mknod /dev/at91_led c 242 0\n"), std::string::npos);
    EXPECT_GE(fdLed, 0);
    for (int request : {6, 7, 8})
        EXPECT_EQ(Led(request), "0") << request;
    // No GPIO lines on this board.
    EXPECT_FALSE(std::filesystem::exists(box_->Path("/sys/class/gpio/gpio15")));

    testing::internal::CaptureStdout();
    LedUnInit();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "close fdLed\n");
    EXPECT_EQ(fdLed, -1);
}
