// The LAN link: a TCP client connection to the central computer. One block
// received is one command; its replies go back over the same socket.
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/ShareMem.h"
#include "terminal/ListenToPc.h"

extern std::atomic<int> g_iLanSocket;

namespace {

int32_t GetLanState()
{
    int32_t s = LAN_DOWN;
    if (g_ucpLan != nullptr)
        std::memcpy(&s, g_ucpLan, sizeof s);
    return s;
}

void SetLanState(int32_t s)
{
    if (g_ucpLan != nullptr)
        std::memcpy(g_ucpLan, &s, sizeof s);
}

// A block is one command when it ends in CR LF (last byte LF or the one
// before it CR).
bool EndsCommand(const char *b, int n) { return (n >= 1 && b[n - 1] == '\n') || (n >= 2 && b[n - 2] == '\r'); }

} // namespace

int ClinetCreateAndConnect(const char *ip, int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    struct sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    if (port <= 0 || port > 65535 || inet_pton(AF_INET, ip, &a.sin_addr) != 1 ||
        TpConnect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int MakeSocketNonBlocking(int fd)
{
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags == -1)
        return -1;
    return fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1 ? -1 : 0;
}

void LanCommand(const char *block, int n)
{
    // One byte more than the largest block, so its NUL always fits.
    char cmd[LINE_BUF + 1];
    if (n > LINE_BUF)
        n = LINE_BUF;
    std::memcpy(cmd, block, std::size_t(n));
    cmd[n] = '\0';
    std::size_t keep = std::size_t(n) < sizeof TemproraryData->LanRcvBuf ? std::size_t(n)
                                                                        : sizeof TemproraryData->LanRcvBuf - 1;
    std::memcpy(TemproraryData->LanRcvBuf, cmd, keep);
    TemproraryData->LanRcvBuf[keep] = '\0';
    if (!EndsCommand(cmd, n))
        return;
    ProcessRxData(PORT_LAN, cmd, ACCESS_RESTRICTED);
    Send2Pc();
}

void *CheckLanState(void *)
{
    SetLanOwner();
    SetLanState(LAN_DOWN);
    int sock = -1;
    for (;;) {
        int32_t state = GetLanState();
        if (state == LAN_DOWN) {
            char ip[sizeof defdata->DestIp + 1] = {};
            std::memcpy(ip, defdata->DestIp, sizeof defdata->DestIp);
            int32_t port = defdata->DestPort;
            sock = ClinetCreateAndConnect(ip, port);
            if (sock >= 0 && MakeSocketNonBlocking(sock) == 0) {
                g_iLanSocket = sock;
                SetLanState(LAN_UP);
            } else if (sock >= 0) {
                close(sock);
                sock = -1;
            }
        } else if (state == LAN_UP && sock >= 0 && sock < FD_SETSIZE) {
            fd_set rd;
            FD_ZERO(&rd);
            FD_SET(sock, &rd);
            struct timeval tv {0, 10000};
            if (select(sock + 1, &rd, nullptr, nullptr, &tv) > 0) {
                SetCurrentReplyPort(PORT_LAN);
                char block[LINE_BUF];
                ssize_t n = read(sock, block, sizeof block);
                if (n == 0)
                    SetLanState(LAN_CLOSE);
                else if (n > 0)
                    LanCommand(block, int(n));
            }
        } else {
            // To be closed, or a state this thread cannot have set.
            g_iLanSocket = -1;
            if (sock >= 0)
                close(sock);
            sock = -1;
            SetLanState(LAN_DOWN);
        }
        // Replies to the LAN that the housekeeping tick cannot send.
        Send2PcLanDrain();
        usleep(100 * 1000);
    }
    return nullptr;
}
