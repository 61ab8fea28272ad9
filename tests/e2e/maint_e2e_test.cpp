// Parameter commands of a running station as an operator sees them: a new
// evaporation limit flags the next minute record, an operator's shell
// command stays in the sandbox, a factory reset reboots into default
// parameters, and a remote QC limit reaches the air-temperature unit.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// Node 18, transmit PDO 1: temperature, humidity and, in word 3, the
// evaporation pan's loop current (12 mA: about 49 mm of water).
TpCanFrame MainTpdo1()
{
    TpCanFrame f {};
    f.can_id = 0x180 + 18;
    f.can_dlc = 8;
    const uint16_t w[4] = {2212, 6500, 0, 1200};
    std::memcpy(f.data, w, sizeof w);
    return f;
}

// Types a command line until `expect` is among the replies: the listener
// drops what a port received before it started.
bool Ask(int fd, const std::string &command, const std::string &expect,
         std::chrono::milliseconds limit = 30s)
{
    std::string got;
    auto sent = std::chrono::steady_clock::now() - 10s;
    return Station::WaitFor(
        [&] {
            if (std::chrono::steady_clock::now() - sent > 2s) {
                if (write(fd, command.data(), command.size()) != ssize_t(command.size()))
                    return false;
                sent = std::chrono::steady_clock::now();
            }
            char buf[1024];
            for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
                got.append(buf, size_t(n));
            return got.find(expect) != std::string::npos;
        },
        limit);
}

// The QC character of field `field` of a DMGD line of the older
// generation: the QC string holds the present fields only.
char OldDmgdQc(const std::string &line, int field)
{
    std::istringstream in(line);
    std::string tag, id, date, time, flags, qcs;
    in >> tag >> id >> date >> time >> flags >> qcs;
    if (flags.size() <= size_t(field) || flags[size_t(field)] != '1')
        return '?';
    size_t at = 0;
    for (int i = 0; i < field; ++i)
        at += flags[size_t(i)] == '1';
    return at < qcs.size() ? qcs[at] : '?';
}

// Collects every frame the station sends until stopped.
struct Bus {
    std::mutex m;
    std::vector<TpCanFrame> seen;
    std::atomic<bool> stop {false};
    std::thread t;
    Bus(const Station &st, int peer, bool feed)
        : t([this, &st, peer, feed] {
              while (!stop) {
                  TpCanFrame f;
                  while (Station::CanRecv(peer, &f, 0)) {
                      std::lock_guard<std::mutex> g(m);
                      seen.push_back(f);
                  }
                  if (feed)
                      st.CanSend(peer, MainTpdo1());
                  std::this_thread::sleep_for(100ms);
              }
          })
    {
    }
    ~Bus()
    {
        stop = true;
        t.join();
    }
    // Whether the frames with these identifier and data bytes were sent one
    // after the other.
    bool SentInOrder(uint32_t id, const std::vector<std::vector<uint8_t>> &data)
    {
        std::lock_guard<std::mutex> g(m);
        size_t k = 0;
        for (const TpCanFrame &f : seen) {
            if (k == data.size())
                break;
            if (f.can_id != id)
                continue;
            k = std::memcmp(f.data, data[k].data(), 8) == 0 ? k + 1 : 0;
        }
        return k == data.size();
    }
};

} // namespace

TEST(MaintE2E, LimitsResetAndRemoteLimitsOnARunningStation)
{
    StationOptions o;
    o.clock = "2026-03-10 08:15:45";
    Station st(o);
    int peer = st.CanPeer();
    ASSERT_GE(peer, 0);
    int com0 = st.AddPty("ttymxc4");
    ASSERT_GE(com0, 0);
    ASSERT_GT(st.Start(), 0);
    {
        Bus bus(st, peer, true);
        // The factory upper level of the pan is 100 mm; 30 mm flags it.
        ASSERT_TRUE(Ask(com0, "QCPS LE 0 30 /\r\n", "T\r")) << st.Output();
        // The operator's shell works in the sandbox, board paths included.
        const std::string mark = "/tmp/maint-e2e-" + std::to_string(getpid());
        ASSERT_TRUE(Ask(com0, "SYSCMD touch " + mark + "; pwd\r\n", "/mnt/nand3")) << st.Output();
        EXPECT_TRUE(st.Exists(mark));
        EXPECT_NE(0, access(mark.c_str(), F_OK));
        const std::string day = "/mnt/nand3/tempdata/DMGD/260310.DAT";
        const size_t slot = (8 * 60 + 16) * 512;
        ASSERT_TRUE(Station::WaitFor(
            [&] {
                std::string f = st.ReadFile(day);
                return f.size() == 1440u * 512 && f.compare(slot + 22, 6, "08:16 ") == 0;
            },
            30s))
            << st.Output();
        std::string rec = st.ReadFile(day).substr(slot, 512);
        rec = rec.substr(0, rec.find('\0'));
        EXPECT_EQ('2', OldDmgdQc(rec, 28)) << rec;   // the pan's water level
    }

    // A factory reset reboots; the next start (here with the current
    // record generation) finds no parameter files and makes new ones.
    ASSERT_TRUE(Ask(com0, "RESETTOFACTORY\r\n", "T\r"));
    ASSERT_TRUE(st.WaitExit(10s));
    EXPECT_NE(st.ReadFile("/sim/reboot.log").find(" reboot\n"), std::string::npos);
    EXPECT_FALSE(st.Exists("/mnt/nand2/para.bin"));
    st.Stop();
    st.WriteFile("/mnt/nand2/para_ex.bin", std::string("\x01\x00\x00\x00", 4));
    ASSERT_GT(st.Start(), 0);
    Bus bus(st, peer, false);
    // The current generation's start sends the units their whole set first.
    ASSERT_TRUE(Ask(com0, "RQCPS T01 -50 60 5\r\n", "T\r", 60s)) << st.Output();
    const std::string para = st.ReadFile("/mnt/nand2/para.bin");
    ASSERT_EQ(5840u, para.size());
    // The LE limits are the factory ones again (0, 100, 0.3), the type M.
    EXPECT_EQ(std::string("\x00\x00\x00\x00\x00\x00\xc8\x42\x9a\x99\x99\x3e", 12), para.substr(638 + 35 * 12, 12));
    EXPECT_EQ('M', para[5837]);
    // -500, 600 and 50 for T01 (sensor 1) of the unit at node 0x10.
    EXPECT_TRUE(Station::WaitFor(
        [&] {
            return bus.SentInOrder(0x610, {{0x40, 0x00, 0x39, 1, 0x0c, 0xfe, 0, 0},
                                           {0x40, 0x01, 0x39, 1, 0x58, 0x02, 0, 0},
                                           {0x40, 0x02, 0x39, 1, 0x32, 0x00, 0, 0}});
        },
        5s));
    st.Stop();
}
