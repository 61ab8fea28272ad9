// Board I/O on both board generations, observed through the simulated
// board: GPIO levels in sys/class/gpio/gpioN/value (newer board) and the
// LED device's recorded levels in sim/at91_led/<request> (older board).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "board/IoControl.h"
#include "core/Main.h"
#include "core/ShareMem.h"
#include "support/Sandbox.h"

using komain_test::Sandbox;

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
    for (int line : g_arriPin)
        EXPECT_EQ(Gpio(line, "direction"), "out") << line;
    // Ports 1 and 2 RS-232, port 1 transceiver receiving, CF card power off.
    for (int line : {15, 11, 14, 92})
        EXPECT_EQ(Gpio(line), "0") << line;
    EXPECT_EQ(initOut_.rfind("UnExportGpio\r\necho 15 > /sys/class/gpio/unexport\r\n", 0), 0u) << initOut_;
    EXPECT_NE(initOut_.find("echo 92 > /sys/class/gpio/unexport\r\nExportGpio\r\n"), std::string::npos);
    // No LED device on this board.
    EXPECT_EQ(Commands().find("mknod"), std::string::npos);
}

TEST_F(IoTest, NewerBoardRs485LedsAndEthernet)
{
    Start(1);
    EXPECT_EQ(Rs485SendEnable(0), 0);
    EXPECT_EQ(Gpio(14), "1");
    Rs485SendEnable(1);
    EXPECT_EQ(Gpio(12), "1");
    EXPECT_EQ(Rs485RecvEnable(1), 0);
    EXPECT_EQ(Gpio(12), "0");
    EXPECT_EQ(Gpio(14), "1");

    auto before = Levels();
    EXPECT_EQ(Rs485SendEnable(2), 0);
    EXPECT_EQ(Rs485RecvEnable(2), 0);
    EXPECT_EQ(Rs485SendEnable(255), 0);
    EXPECT_EQ(Levels(), before);

    // The run LED changes every 250 ms: no command may run for it.
    const std::string commands = Commands();
    LedRunOn();
    EXPECT_EQ(Gpio(136), "0");   // low is on
    LedRunOff();
    EXPECT_EQ(Gpio(136), "1");
    LedCfOn();
    EXPECT_EQ(Gpio(137), "0");
    LedCfOff();
    EXPECT_EQ(Gpio(137), "1");
    EXPECT_EQ(Commands(), commands);

    // Ethernet power by ifconfig.
    testing::internal::CaptureStdout();
    LanPowerOff();
    LanPowerOn();
    NetPowerOff();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "ifconfig eth1 down\r\nifconfig eth1 up\r\nifconfig eth1 down\r\n");
    EXPECT_NE(Commands().find("ifconfig eth1 down\nifconfig eth1 up\nifconfig eth1 down\n"), std::string::npos);
}

// With the 250 ms timer running the wait counts shared seconds, which a
// thread ticks quickly here; it ends after the fourth change.
TEST_F(IoTest, CfPowerOnWaitsForSharedSecondsUnderTimer)
{
    Start(1);
    TemproraryDataRec temp{};
    TemproraryDataRec *saved = TemproraryData;
    TemproraryData = &temp;
    g_SignalAlarmUsedFlag = 1;
    std::atomic<bool> stop{false};
    std::atomic<int> ticks{0};
    std::thread ticker([&] {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            // Each store is one aligned word, as the housekeeping tick writes it.
            int32_t s = temp.ShareClock.Sec;
            temp.ShareClock.Sec = (s + 1) % 60;
            ++ticks;
        }
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(CfCardPowerOn(), 0);
    int ticksAtReturn = ticks;
    std::string out = testing::internal::GetCapturedStdout();
    stop = true;
    ticker.join();
    TemproraryData = saved;
    EXPECT_EQ(out, "waiting 3s for CF enable\r\n");
    EXPECT_EQ(Gpio(92), "1");
    EXPECT_GE(ticksAtReturn, 4);
    EXPECT_LE(ticksAtReturn, 6);
}

TEST_F(IoTest, CfPowerOnSleepsThreeSecondsBeforeTimer)
{
    Start(1);
    auto t0 = std::chrono::steady_clock::now();
    testing::internal::CaptureStdout();
    CfPowerOn();
    testing::internal::GetCapturedStdout();
    auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::seconds(3));
    EXPECT_LT(waited, std::chrono::milliseconds(3500));
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

TEST_F(IoTest, OlderBoardRequestsCarryTheTabledLevels)
{
    Start(0);
    // In order: the RS-485 receive request of port 1 must leave its send line.
    const struct {
        void (*action)();
        int request;
        const char *level;
    } steps[] = {
        {[] { LedRunOn(); }, 3, "1"}, {[] { LedRunOff(); }, 3, "0"},
        {[] { LedCfOn(); }, 4, "0"}, {[] { LedCfOff(); }, 4, "1"},
        {[] { Rs485SendEnable(0); }, 8, "1"}, {[] { Rs485SendEnable(1); }, 9, "1"},
        {[] { Rs485RecvEnable(1); }, 9, "0"}, {[] {}, 8, "1"},
        {[] { LanPowerOff(); }, 11, "1"}, {[] { LanPowerOn(); }, 11, "0"},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].action();
        EXPECT_EQ(Led(steps[i].request), steps[i].level) << "step " << i;
    }

    // Port 2, the newer board's own switches and the CF power change nothing.
    const std::string commands = Commands();
    auto before = Levels();
    Rs485SendEnable(2);
    Rs485RecvEnable(2);
    NetPowerOff();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(CfCardPowerOn(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    CfCardPowerOff();
    EXPECT_EQ(Levels(), before);
    EXPECT_EQ(Commands(), commands);
}
