// The LAN link as the central computer sees it: the station connects once a
// listener appears, takes a block as a command only with its line end, and
// connects again after the central computer closed the link. The link's
// thread runs in a child process; the live state it writes is shared, so
// the test waits for what it has read instead of for time to pass.
#include "terminal_fixture.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include "support/Station.h"

using komain_test::Station;
using namespace std::chrono_literals;

void *CheckLanState(void *);

namespace {

int Listen(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    EXPECT_EQ(listen(fd, 1), 0);
    return fd;
}

int PortOf(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

int Accept(int lfd)
{
    pollfd p{lfd, POLLIN, 0};
    return poll(&p, 1, 5000) == 1 ? accept(lfd, nullptr, nullptr) : -1;
}

// What arrives on fd until it ends with want, or 5 s have passed.
std::string ReadUntil(int fd, const std::string &want)
{
    std::string got;
    auto end = std::chrono::steady_clock::now() + 5s;
    while (got.size() < want.size() || got.compare(got.size() - want.size(), want.size(), want) != 0) {
        pollfd p{fd, POLLIN, 0};
        if (std::chrono::steady_clock::now() > end || poll(&p, 1, 50) < 0)
            break;
        char b[1024];
        ssize_t n = (p.revents & POLLIN) ? read(fd, b, sizeof b) : 0;
        if (n > 0)
            got.append(b, std::size_t(n));
    }
    return got;
}

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
    int lfd = Listen(0);
    const int port = PortOf(lfd);
    close(lfd);
    StartLink(port);
    ASSERT_TRUE(Station::WaitFor([&] { return g_ucpLan[0] == LAN_DOWN; }, 5s));
    lfd = Listen(port);
    int conn = Accept(lfd);
    ASSERT_GE(conn, 0);

    // A command split over two reads: the first block lacks its line end
    // and is dropped, the second is a word of its own, refused.
    ASSERT_EQ(write(conn, "DEBUGC", 6), 6);
    ASSERT_TRUE(Received("DEBUGC"));
    ASSERT_EQ(write(conn, "OM\r\n", 4), 4);
    ASSERT_TRUE(Received("OM\r\n"));
    ASSERT_EQ(write(conn, "DEBUGCOM\r\n", 10), 10);
    EXPECT_EQ(ReadUntil(conn, kDebugCom), "F\r\n" + kDebugCom);

    // The central computer closes the link; the station connects again and
    // answers on the new connection.
    close(conn);
    conn = Accept(lfd);
    ASSERT_GE(conn, 0);
    ASSERT_EQ(write(conn, "DEBUGCOM\r\n", 10), 10);
    EXPECT_EQ(ReadUntil(conn, kDebugCom), kDebugCom);
    close(conn);
    close(lfd);
}
