// A terminal service without a station around it: the segments it uses as
// plain memory in a fresh sandbox, and a look at the reply ring.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/ShareMem.h"
#include "support/Sandbox.h"
#include "terminal/ListenToPc.h"

namespace terminal_test {

struct Reply {
    int dest;
    std::string text;
};

using Lines = std::vector<std::string>;

class TerminalTest : public ::testing::Test {
protected:
    explicit TerminalTest(const std::string &clock = "2024-03-10 10:00:00") : sandbox_(clock)
    {
        temp_ = std::make_unique<TemproraryDataRec>();
        def_ = std::make_unique<DefDataRec>();
        defEx_ = std::make_unique<DefDataExRec>();
        uart_ = std::make_unique<UartDevRec>();
        ring_ = std::make_unique<Send2PcRec>();
        std::memset(temp_.get(), 0, sizeof *temp_);
        std::memset(def_.get(), 0, sizeof *def_);
        std::memset(defEx_.get(), 0, sizeof *defEx_);
        std::memset(uart_.get(), 0, sizeof *uart_);
        std::memset(ring_.get(), 0, sizeof *ring_);
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
    // Runs one command line as it arrives on port.
    Lines Run(int port, const std::string &line, int access)
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
