// The LAN link as the central computer sees it: the station connects once a
// listener appears, takes a block as a command only with its line end, and
// connects again after the central computer closed the link. The link's
// thread runs in a child process; the live state it writes is shared, so
// the test waits for what it has read instead of for time to pass.
#include "terminal_fixture.h"

#include <chrono>
#include <csignal>
#include <sys/mman.h>
#include <sys/wait.h>

#include "support/Central.h"
#include "support/Station.h"

using komain_test::Central;
using komain_test::ReadUntil;
using komain_test::Station;
using namespace std::chrono_literals;

void *CheckLanState(void *);

namespace {

class LanLinkTest : public terminal_test::TerminalTest {
protected:
    LanLinkTest()
    {
        void *p = mmap(nullptr, sizeof(TemproraryDataRec) + 8, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        shared_ = static_cast<unsigned char *>(p);
        std::memcpy(shared_, TemproraryData, sizeof(TemproraryDataRec));
        TemproraryData = reinterpret_cast<TemproraryDataRec *>(shared_);
        g_ucpLan = shared_ + sizeof(TemproraryDataRec);
        g_ucpLan[0] = 0x7f;   // until the link's thread has started
        std::memcpy(defdata->DestIp, "127.0.0.1", 10);
    }
    ~LanLinkTest() override
    {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        TemproraryData = temp_.get();
        g_ucpLan = nullptr;
        munmap(shared_, sizeof(TemproraryDataRec) + 8);
    }
    void StartLink(int port)
    {
        defdata->DestPort = port;
        child_ = fork();
        if (child_ == 0) {
            CheckLanState(nullptr);
            _exit(0);
        }
    }
    bool Received(const char *block)
    {
        return Station::WaitFor([&] { return std::strcmp(TemproraryData->LanRcvBuf, block) == 0; }, 5s);
    }

    unsigned char *shared_ = nullptr;
    pid_t child_ = -1;
};

const std::string kDebugCom = "COM0:0 COM1:0 COM2:0 COM3:0 COM4:0 COM5:0\r\n";

} // namespace

TEST_F(LanLinkTest, LateListenerSplitBlockAndReconnect)
{
    // Nobody listens at first: the link keeps trying.
    int port = Central().port;
    StartLink(port);
    ASSERT_TRUE(Station::WaitFor([&] { return g_ucpLan[0] == LAN_DOWN; }, 5s));
    Central central(port);
    ASSERT_TRUE(central.Accept(5000));

    // A command split over two reads: the first block lacks its line end
    // and is dropped, the second is a word of its own, refused.
    ASSERT_EQ(write(central.conn, "DEBUGC", 6), 6);
    ASSERT_TRUE(Received("DEBUGC"));
    ASSERT_EQ(write(central.conn, "OM\r\n", 4), 4);
    ASSERT_TRUE(Received("OM\r\n"));
    ASSERT_EQ(write(central.conn, "DEBUGCOM\r\n", 10), 10);
    EXPECT_EQ(ReadUntil(central.conn, kDebugCom, 5s), "F\r\n" + kDebugCom);

    // The central computer closes the link; the station connects again and
    // answers on the new connection.
    ASSERT_TRUE(central.Accept(5000));
    ASSERT_EQ(write(central.conn, "DEBUGCOM\r\n", 10), 10);
    EXPECT_EQ(ReadUntil(central.conn, kDebugCom, 5s), kDebugCom);
}
