// The terminal service of a running station: commands on the COM0
// pseudo-terminal and on the LAN link that komain opens to a listener here.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <unistd.h>

#include "core/Param.h"
#include "support/Central.h"
#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Central;
using komain_test::ReadUntil;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

void Send(int fd, const std::string &s) { ASSERT_EQ(write(fd, s.data(), s.size()), ssize_t(s.size())); }

std::string Hm(int slot)
{
    char b[32];
    std::snprintf(b, sizeof b, "%02d:%02d", slot / 60, slot % 60);
    return b;
}

// A DMGD day file with records at the given minutes.
std::string DayFile(std::initializer_list<int> minutes)
{
    std::string f;
    for (int s = 0; s < 1440; ++s) {
        std::string slot = "DMGD 54511 2024-03-10 " + Hm(s);
        f += slot + std::string(510 - slot.size(), '-') + "\r\n";
    }
    for (int s : minutes) {
        std::string r = "DMGD 54511 2024-03-10 " + Hm(s) + " 1 0 42 \r\n";
        r.resize(512, '\0');
        f.replace(std::size_t(s) * 512, 512, r);
    }
    return f;
}

// Starts a station with the factory parameters, its LAN link pointed at the
// central listener and COM1 a terminal; returns once it has split into its
// four processes with its serial ports open.
void StartStation(Station &st, const Central &central, int ports[6], const char *const names[6], int missing = -1)
{
    for (int i = 0; i < 6; ++i)
        ports[i] = i == missing ? -1 : st.AddPty(names[i]);
    static DefDataRec d;
    FillDefaultParam(d, 0);
    std::memset(d.DestIp, 0, sizeof d.DestIp);
    std::memcpy(d.DestIp, "127.0.0.1", 9);
    int32_t port = central.port;
    std::memcpy(reinterpret_cast<char *>(&d) + offsetof(DefDataRec, DestPort), &port, sizeof port);
    std::memcpy(d.StationId, "54511", 5);
    d.RawMode = 0;
    st.WriteFile("/mnt/nand2/para.bin", std::string(reinterpret_cast<const char *>(&d), sizeof d));
    ASSERT_GT(st.Start(), 0);
    // Start-up takes about 8 s with a silent serial sampling board.
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() >= 4; }, 30s)) << st.Output();
    ASSERT_NE(st.Output().find("Open Com:"), std::string::npos) << st.Output();
}

} // namespace

TEST(TerminalE2E, ComAndLanGetTheirOwnReplies)
{
    Station st(StationOptions{"2024-03-10 10:00:00", "", "", false});
    st.WriteFile("/mnt/nand3/tempdata/DMGD/240310.DAT", DayFile({600, 601, 700}));
    Central central;
    int ports[6];
    ASSERT_NO_FATAL_FAILURE(StartStation(st, central, ports, komain_test::kNewBoardPorts));
    ASSERT_TRUE(central.Accept(10000)) << st.Output();
    int com0 = ports[3];

    // Both at once: a retrieval on COM0 and a query and refusals on the LAN.
    Send(com0, "DMGD 2024-03-10 10:00 3\r\n");
    Send(central.conn, "DEBUGCOM\r\n");
    std::string lan = ReadUntil(central.conn, "COM5:0\r\n", 5s);
    // The pseudo-terminal adds its CR before each LF: compare the records
    // without their line ends.
    std::string serial = ReadUntil(com0, "10:01 1 0 42 ", 5s);
    EXPECT_NE(lan.find("COM0:0 COM1:0 COM2:0 COM3:0 COM4:0 COM5:0\r\n"), std::string::npos) << lan;
    EXPECT_EQ(lan.find("DMGD"), std::string::npos) << lan;
    EXPECT_NE(serial.find("DMGD 54511 2024-03-10 10:00 1 0 42 "), std::string::npos) << serial;
    EXPECT_EQ(serial.find("11:40"), std::string::npos) << serial;
    EXPECT_EQ(serial.find("COM0:"), std::string::npos) << serial;

    // Restricted access on the LAN refuses the shell; a retrieval over the
    // LAN comes back over it.
    Send(central.conn, "SYSCMD ls /\r\n");
    EXPECT_EQ(ReadUntil(central.conn, "F\r\n", 3s), "F\r\n");
    Send(central.conn, "DMGD 2024-03-10 11:40 1\r\n");
    EXPECT_EQ(ReadUntil(central.conn, "11:40 1 0 42 \r\n", 5s), "DMGD 54511 2024-03-10 11:40 1 0 42 \r\n");
}

// The serial sampling board's port is reopened under the name it has on the
// running board generation; a missing port does not stop the others.
class TerminalReinit : public ::testing::TestWithParam<bool> {};

TEST_P(TerminalReinit, SilentBoardPortIsReopened)
{
    bool older = GetParam();
    Station st(StationOptions{"2024-03-10 10:00:00", older ? "2.6.39" : "", "", false});
    Central central;
    int ports[6];
    const char *const *names = older ? komain_test::kOldBoardPorts : komain_test::kNewBoardPorts;
    ASSERT_NO_FATAL_FAILURE(StartStation(st, central, ports, names, /*missing visibility port*/ 4));
    std::string dev = std::string("/dev/") + names[1];
    std::string mark = "reinit uart " + dev + ":";
    // Start-up offers the silent serial board its configuration five times
    // first; then 11 silent seconds.
    ASSERT_TRUE(Station::WaitFor([&] { return st.Output().find(mark) != std::string::npos; }, 25s)) << st.Output();
    std::string out = st.Output();
    std::size_t at = out.find(mark) + mark.size();
    EXPECT_NE(out[at], '-') << out.substr(at - mark.size(), 80);   // a descriptor, not -1
    Send(ports[3], "DEBUGCOM\r\n");
    EXPECT_NE(ReadUntil(ports[3], "COM5:0\r\n", 3s).find("COM5:0"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothBoards, TerminalReinit, ::testing::Values(false, true));
