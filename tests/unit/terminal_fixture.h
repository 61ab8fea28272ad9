// A terminal service without a station around it: the segments it uses as
// plain memory in a fresh sandbox, and a look at the reply ring.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <memory>
#include <string>
#include <vector>

#include "core/ShareMem.h"
#include "support/Sandbox.h"
#include "terminal/ListenToPc.h"

namespace terminal_test {

template <typename T>
std::unique_ptr<T> Zeroed()
{
    auto p = std::make_unique<T>();
    std::memset(static_cast<void *>(p.get()), 0, sizeof(T));
    return p;
}

// Both ends of a socket pair standing in for a serial port or the LAN link.
struct Link {
    int ours = -1, theirs = -1;
    Link()
    {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0) {
            ours = sv[0];
            theirs = sv[1];
            fcntl(theirs, F_SETFL, O_NONBLOCK);
        }
    }
    ~Link()
    {
        close(ours);
        close(theirs);
    }
    std::string Received()
    {
        std::string s;
        char b[4096];
        for (ssize_t n; (n = read(theirs, b, sizeof b)) > 0;)
            s.append(b, std::size_t(n));
        return s;
    }
};

struct Reply {
    int dest;
    std::string text;
};

using Lines = std::vector<std::string>;

class TerminalTest : public ::testing::Test {
protected:
    explicit TerminalTest(const std::string &clock = "2024-03-10 10:00:00")
        : sandbox_(clock), temp_(Zeroed<TemproraryDataRec>()), def_(Zeroed<DefDataRec>()),
          defEx_(Zeroed<DefDataExRec>()), uart_(Zeroed<UartDevRec>()), ring_(Zeroed<Send2PcRec>())
    {
        for (auto &p : uart_->Port)
            p.fd = -1;
        std::memcpy(def_->StationId, "54511", 5);
        defEx_->Generation = 1;
        std::memset(temp_->DebugFlag, '0', sizeof temp_->DebugFlag);
        TemproraryData = temp_.get();
        defdata = def_.get();
        defdataEx = defEx_.get();
        UartDev = uart_.get();
        send2PCarray = ring_.get();
        SetCurrentReplyPort(PORT_NONE);
    }
    ~TerminalTest() override
    {
        TemproraryData = nullptr;
        defdata = nullptr;
        defdataEx = nullptr;
        UartDev = nullptr;
        send2PCarray = nullptr;
    }

    // Takes every text queued since the last call, oldest first.
    std::vector<Reply> Take()
    {
        std::vector<Reply> out;
        Send2PcRec &r = *send2PCarray;
        while (r.ReadIdx != r.WriteIdx) {
            r.ReadIdx = (r.ReadIdx + 1) % SEND2PC_SLOTS;
            int s = r.ReadIdx;
            if (r.Ready[s] == 1)
                out.push_back({r.Dest[s], std::string(r.Text[s], std::size_t(r.Len[s]))});
            r.Ready[s] = 0;
        }
        return out;
    }
    Lines Texts()
    {
        Lines t;
        for (auto &r : Take())
            t.push_back(r.text);
        return t;
    }
    // Bytes as they arrive from a port.
    void Feed(int port, const std::string &bytes)
    {
        SetCurrentReplyPort(port);
        UartRcvBytes(port, bytes.data(), int(bytes.size()));
    }
    // Runs produce with the ring drained to link as a writer thread would,
    // and returns what arrived once both are done.
    template <typename F>
    std::string Drained(Link &link, F produce)
    {
        std::atomic<bool> done{false};
        std::string got;
        std::thread drain([&] {
            while (!done || Send2PcPending() > 0) {
                Send2Pc();
                got += link.Received();
                usleep(500);
            }
        });
        produce();
        done = true;
        drain.join();
        return got + link.Received();
    }
    // Runs one command line as it arrives on port.
    Lines Run(int port, const std::string &line, int access = ACCESS_FULL)
    {
        SetCurrentReplyPort(port);
        ProcessRxData(port, line.c_str(), access);
        return Texts();
    }

    komain_test::Sandbox sandbox_;
    std::unique_ptr<TemproraryDataRec> temp_;
    std::unique_ptr<DefDataRec> def_;
    std::unique_ptr<DefDataExRec> defEx_;
    std::unique_ptr<UartDevRec> uart_;
    std::unique_ptr<Send2PcRec> ring_;
};

} // namespace terminal_test
