// Test support: the central computer's side of the LAN link, a TCP
// listener on 127.0.0.1 that a station (or its link thread) connects to.
#pragma once

#include <chrono>
#include <string>

namespace komain_test {

struct Central {
    int lfd = -1, conn = -1;
    int port = 0;
    // Listens on the given port (0: any free one, kept in port).
    explicit Central(int listenPort = 0);
    ~Central();
    Central(const Central &) = delete;
    Central &operator=(const Central &) = delete;
    // Waits up to ms for the station to connect; closes an earlier connection.
    bool Accept(int ms);
};

// Reads what arrives on fd until want is in it or the time is up.
std::string ReadUntil(int fd, const std::string &want, std::chrono::milliseconds limit);

} // namespace komain_test
