// The CAN bus of a running station: komain's polling tick as seen from the
// bus, with the test playing the main sampling board.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "../../tools/stationsim/CanFrames.h"
#include "../../tools/stationsim/MainBoard.h"
#include "support/Station.h"

using namespace std::chrono;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

struct Seen {
    TpCanFrame frame;
    steady_clock::time_point at;
};

// Plays the main board until `until` holds or the time is up; returns every
// frame komain sent.
template <typename Pred>
std::vector<Seen> PlayMainBoard(const Station &st, int peer, milliseconds limit, Pred until)
{
    std::vector<Seen> seen;
    stationsim::MainBoard board;
    const auto end = steady_clock::now() + limit;
    while (steady_clock::now() < end && !until(seen)) {
        TpCanFrame f;
        if (!Station::CanRecv(peer, &f, 100))
            continue;
        seen.push_back({f, steady_clock::now()});
        if (f.can_id != stationsim::ID_SYNC)
            continue;
        TpCanFrame reply[stationsim::MainBoard::kMaxReply];
        const int n = board.OnSync(double(system_clock::to_time_t(system_clock::now())), reply);
        for (int i = 0; i < n; ++i)
            st.CanSend(peer, reply[i]);
    }
    return seen;
}

bool HasTime(const std::vector<Seen> &v)
{
    for (const Seen &s : v)
        if (s.frame.can_id == stationsim::ID_TIME)
            return true;
    return false;
}

TEST(CanBusE2E, SyncEveryQuarterSecondAndTimeAtSecond23)
{
    StationOptions o;
    // Start-up (the serial board is offered its configuration first) takes
    // several seconds: start early enough to see second 23.
    o.clock = "2024-04-05 10:11:08";
    Station st(o);
    const int peer = st.CanPeer(0);
    ASSERT_GE(peer, 0);
    ASSERT_GT(st.Start(), 0);

    // Keep going a little past the TIME frame to see that it is not repeated.
    steady_clock::time_point timeSeen {};
    auto seen = PlayMainBoard(st, peer, seconds(25), [&](const std::vector<Seen> &v) {
        if (timeSeen == steady_clock::time_point {} && HasTime(v))
            timeSeen = steady_clock::now();
        return timeSeen != steady_clock::time_point {} && steady_clock::now() - timeSeen > milliseconds(1500);
    });

    std::vector<steady_clock::time_point> syncs;
    int times = 0;
    for (const Seen &s : seen) {
        const uint8_t *d = s.frame.data;
        if (s.frame.can_id == stationsim::ID_SYNC) {
            EXPECT_EQ(8, s.frame.can_dlc);
            EXPECT_EQ(0, std::memcmp(d, "\x01\x02\x03\x04\x05\x06\x07\x08", 8));
            syncs.push_back(s.at);
        } else if (s.frame.can_id == stationsim::ID_TIME) {
            ++times;
            const uint8_t expect[8] = {0x07, 0xE8, 0x04, 0x05, 0x0A, 0x0B, 0x17, 0x00};   // 2024-04-05 10:11:23
            EXPECT_EQ(0, std::memcmp(d, expect, 8));
        } else {
            ADD_FAILURE() << "unexpected frame " << std::hex << s.frame.can_id;
        }
    }
    ASSERT_GE(syncs.size(), 8u) << st.Output();
    const auto span = duration_cast<milliseconds>(syncs.back() - syncs.front()).count();
    const double mean = double(span) / double(syncs.size() - 1);
    EXPECT_NEAR(250.0, mean, 25.0);
    EXPECT_EQ(1, times) << "one TIME frame at second 23, once sampling-board packets were handled";
}

// The simulator, built beside komain, plays the main board for a running
// station: its log shows komain's SYNCs and the board's four answers, all
// in the candump text form.
TEST(CanBusE2E, StationSimulatorAnswersSync)
{
    std::string sim = KOMAIN_BINARY;
    sim = sim.substr(0, sim.rfind('/') + 1) + "stationsim";
    ASSERT_EQ(access(sim.c_str(), X_OK), 0) << sim;
    StationOptions o;
    o.clock = "2024-04-05 10:11:30";
    Station st(o);
    const std::string log = st.Path("/sim/can0.log");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(sim.c_str(), sim.c_str(), "--root", st.Root().c_str(), "--log", log.c_str(), "--seconds", "20",
              static_cast<char *>(nullptr));
        _exit(127);
    }
    ASSERT_GT(st.Start(), 0);
    int status = 0;
    // komain's start-up (CF card power-up included) takes several seconds before its first SYNC.
    if (!Station::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds(30))) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "stationsim did not stop";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::istringstream in(st.ReadFile("/sim/can0.log"));
    int lines = 0, syncs = 0;
    std::map<uint32_t, int> answers;
    for (std::string l; std::getline(in, l);) {
        TpCanFrame f;
        struct timeval tv;
        char ifname[8];
        ASSERT_TRUE(stationsim::ParseCandump(l, &tv, ifname, sizeof ifname, &f)) << l;
        EXPECT_STREQ("can0", ifname);
        ++lines;
        if (f.can_id == stationsim::ID_SYNC)
            ++syncs;
        else
            ++answers[f.can_id];
    }
    EXPECT_GE(syncs, 8) << st.Output();
    for (uint32_t id : {0x192u, 0x292u, 0x392u, 0x492u})
        EXPECT_GE(answers[id], 1) << std::hex << id;
    EXPECT_NEAR(answers[0x292], syncs, 2) << "wind speed answers every SYNC";
}

} // namespace
