#include "support/Central.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace komain_test {

Central::Central(int listenPort)
{
    lfd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(listenPort));
    socklen_t len = sizeof a;
    if (bind(lfd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && listen(lfd, 1) == 0 &&
        getsockname(lfd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
}

Central::~Central()
{
    if (conn >= 0)
        close(conn);
    close(lfd);
}

bool Central::Accept(int ms)
{
    if (conn >= 0)
        close(conn);
    conn = -1;
    pollfd p{lfd, POLLIN, 0};
    if (poll(&p, 1, ms) != 1)
        return false;
    conn = accept(lfd, nullptr, nullptr);
    return conn >= 0;
}

std::string ReadUntil(int fd, const std::string &want, std::chrono::milliseconds limit)
{
    std::string got;
    auto end = std::chrono::steady_clock::now() + limit;
    while (got.find(want) == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) == 1) {
            char b[4096];
            ssize_t n = read(fd, b, sizeof b);
            if (n > 0)
                got.append(b, std::size_t(n));
        }
    }
    return got;
}

} // namespace komain_test
