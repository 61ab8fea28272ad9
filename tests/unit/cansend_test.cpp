// Outbound CAN frames, the polling tick's SYNC rule, the configuration
// download to the sub-collectors and the serial sampling board, and the
// simulator's frame text form.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <functional>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "../../tools/stationsim/CanFrames.h"
#include "canbus/CanSend.h"
#include "station/BoardDownload.h"
#include "core/Main.h"
#include "station/Polling.h"
#include "station/Station.h"
#include "core/ShareMem.h"
#include "serial/UartSet.h"
#include "support/Sandbox.h"

using komain_test::Sandbox;

namespace {

using Bytes = std::array<uint8_t, 8>;

Bytes DataOf(const TpCanFrame &f)
{
    Bytes b {};
    std::memcpy(b.data(), f.data, 8);
    return b;
}

// The bus side of the simulated can0: bound where komain sends its frames.
class BusPeer {
public:
    explicit BusPeer(const std::string &root)
    {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a {};
        a.sun_family = AF_UNIX;
        const std::string p = root + "/run/can0.bus";
        std::memcpy(a.sun_path, p.c_str(), p.size() + 1);
        EXPECT_EQ(0, bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a));
    }
    ~BusPeer() { close(fd_); }
    bool Recv(TpCanFrame *f, int timeoutMs = 500) const
    {
        pollfd p {fd_, POLLIN, 0};
        // MSG_TRUNC: a datagram of any other size is refused, not cut.
        return poll(&p, 1, timeoutMs) > 0 && recv(fd_, f, sizeof *f, MSG_TRUNC) == ssize_t(sizeof *f);
    }
    // Collects frames until the bus is quiet for quietMs.
    std::vector<TpCanFrame> Drain(int quietMs = 100) const
    {
        std::vector<TpCanFrame> v;
        TpCanFrame f;
        while (Recv(&f, quietMs))
            v.push_back(f);
        return v;
    }

private:
    int fd_ = -1;
};

// A station's shared state in a fresh sandbox: the segments (removed with
// the test process), the CAN socket and the bus peer.
class CanSendTest : public ::testing::Test {
protected:
    CanSendTest() : sb_("2020-03-05 14:07:20"), peer_(sb_.Root())
    {
        ShareMemory();
        defdataEx->Generation = 1;
        std::memset(defdata->ObValid, '0', sizeof defdata->ObValid);
        CanSocketInit();
    }
    ~CanSendTest() override
    {
        TpCanClose(fd_socket_can);
        fd_socket_can = -1;
    }
    Sandbox sb_;
    BusPeer peer_;
};

TEST(CanFrame, LengthsFromTheSlotAndYearRollover)
{
    CanSendSlot s {};
    s.Type = CANSEND_SDO;
    TpCanFrame f;
    // Data length = slot length - 1, cut to what a frame can carry.
    for (auto [len, dlc] : {std::pair {9, 8}, {1, 0}, {5, 4}, {0, 0}, {-3, 0}, {200, 8}}) {
        s.Len = len;
        std::memset(s.Data, 0xAB, sizeof s.Data);
        MakeCanFrame(s, 1, 0, &f);
        EXPECT_EQ(dlc, f.can_dlc) << "length " << len;
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(i < dlc ? 0xAB : 0, f.data[i]);
    }
    // SYNC and TIME bytes on the wire: CanBusE2E.SyncEveryQuarterSecondAndTimeAtSecond23.
    struct tm t {};
    t.tm_year = 2255;   // low byte rolls, high byte follows
    uint8_t d[8];
    MakeTimeData(&t, d);
    EXPECT_EQ(0x08, d[0]);
    EXPECT_EQ(0xCF, d[1]);
}

TEST_F(CanSendTest, SdoPayloadsAndIdentifiersOfBothGenerations)
{
    // In order: the identifier of a request may depend on the one before.
    const struct {
        uint8_t node;
        int type, generation;
        uint16_t index;
        uint8_t sub;
        std::vector<uint8_t> value;   // empty: the interrupt exit's plain request
        uint32_t id;
        Bytes data;
    } cases[] = {
        {0x10, CANSEND_SDO, 1, 0x3900, 1, {0x6B, 0xFE}, 0x610, {0x40, 0x00, 0x39, 0x01, 0x6B, 0xFE, 0, 0}},
        // 1.5f, as the float's own bytes.
        {0x11, CANSEND_SDO, 1, 0x3923, 3, {0, 0, 0xC0, 0x3F}, 0x611, {0x40, 0x23, 0x39, 0x03, 0, 0, 0xC0, 0x3F}},
        {0x10, CANSEND_SDO, 1, 0x3A81, 0, {0x5A}, 0x610, {0x40, 0x81, 0x3A, 0x00, 0x5A, 0, 0, 0}},
        // An oversized value is cut to the four bytes a request carries.
        {0x10, CANSEND_SDO, 1, 0x1234, 9, {1, 2, 3, 4, 5, 6, 7, 8}, 0x610, {0x40, 0x34, 0x12, 0x09, 1, 2, 3, 4}},
        // The interrupt exit's request goes where the previous SDO request went.
        {0, CANSEND_SDO, 1, 0, 0, {}, 0x610, {0x40, 0, 0, 0, 0, 0, 0, 0}},
        // Any other type sends a cleared slot under the previous identifier.
        {0x11, 5, 1, 0x3900, 1, {0x6B, 0xFE}, 0x610, {}},
        {0x11, CANSEND_SDO, 0, 0x3900, 1, {0x6B, 0xFE}, 0x601, {0x40, 0x00, 0x39, 0x01, 0x6B, 0xFE, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.index) + " node " + std::to_string(c.node));
        defdataEx->Generation = c.generation;
        if (c.value.empty())
            EXPECT_EQ(16, MakeCanSendPacket(c.type, 0, 0));   // the whole frame went out
        else
            MakeCanSendSDOPacket(c.node, c.type, c.index, c.sub, c.value.data(), int(c.value.size()));
        TpCanFrame f;
        ASSERT_TRUE(peer_.Recv(&f));
        EXPECT_EQ(c.id, f.can_id);
        EXPECT_EQ(c.data, DataOf(f));
    }
}

TEST_F(CanSendTest, SyncOnlyWhileASubCollectorIsEnabled)
{
    unsigned char dog[8];
    g_pSoftDog = dog;
    auto tick = [&] {
        std::memset(dog, 'a', sizeof dog);   // every process alive: no reboot
        OnTimer(SIGALRM);
    };
    for (int i = 0; i < 6; ++i)
        tick();
    for (const TpCanFrame &f : peer_.Drain())
        EXPECT_NE(0x080u, f.can_id) << "SYNC with all eight flags off";
    EXPECT_EQ(0, int(TemproraryData->SyncCount));

    for (int pos : {3, 5, 6, 9, 12, 15, 16, 17}) {
        std::memset(defdata->ObValid, '0', sizeof defdata->ObValid);
        defdata->ObValid[pos] = '1';
        tick();
        TpCanFrame f;
        ASSERT_TRUE(peer_.Recv(&f)) << "flag " << pos;
        EXPECT_EQ(0x080u, f.can_id);
    }
    EXPECT_EQ(8, int(TemproraryData->SyncCount));
    // Flags outside the eight do not count.
    std::memset(defdata->ObValid, '0', sizeof defdata->ObValid);
    defdata->ObValid[0] = defdata->ObValid[4] = defdata->ObValid[18] = '1';
    EXPECT_EQ(0, AnySubCollectorEnabled());
    g_pSoftDog = nullptr;
}

// Two processes sending at once, as the tick and a terminal command do:
// every frame on the bus is exactly one sender's.
TEST_F(CanSendTest, ConcurrentSendersNeverMixFrames)
{
    constexpr int N = 300;
    auto sender = [](unsigned char node, unsigned char fill) {
        const unsigned char v[4] = {fill, fill, fill, fill};
        for (int i = 0; i < N; ++i) {
            MakeCanSendSDOPacket(node, CANSEND_SDO, uint16_t(fill * 0x101), fill, v, 4);
            usleep(100);
        }
        std::fflush(stdout);
        _exit(0);
    };
    pid_t a = fork();
    if (a == 0)
        sender(0x10, 0x11);
    pid_t b = fork();
    if (b == 0)
        sender(0x11, 0xEE);
    int seen = 0;
    TpCanFrame f;
    while (peer_.Recv(&f, 300)) {
        ++seen;
        const bool fromA = f.can_id == 0x610 && DataOf(f) == Bytes {0x40, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
        const bool fromB = f.can_id == 0x611 && DataOf(f) == Bytes {0x40, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        ASSERT_TRUE(fromA || fromB) << "mixed frame " << std::hex << f.can_id;
    }
    int st;
    waitpid(a, &st, 0);
    waitpid(b, &st, 0);
    EXPECT_GT(seen, N / 3);   // a busy machine may drop some; none may be mixed
}

// ---------------------------------------------------------------- CAN download

TEST_F(CanSendTest, NoDownloadWithTheOlderGenerationAndDeadBusIsAnError)
{
    defdataEx->Generation = 0;
    EXPECT_EQ(0, SendSubCollectorPara(0));
    EXPECT_TRUE(peer_.Drain(50).empty());
    TpCanClose(fd_socket_can);
    fd_socket_can = -1;
    EXPECT_EQ(-1, MakeCanSendPacket(CANSEND_SYNC, 0, 0));
}

TEST_F(CanSendTest, DownloadSends113RequestsInOrder)
{
    for (int r : {3, 4, 5, 19, 20, 21}) {
        defdata->Qcps[r][0] = -40.5f;
        defdata->Qcps[r][1] = 99999.0f;
        defdata->Qcps[r][2] = 2.0f;
        for (int j = 0; j < 5; ++j)
            defdata->Qcpm[r][j] = j == 4 ? -99999.0f : float(j) + 0.25f;
    }
    defdata->Qcps[19][2] = 0.7f;    // scaled in float arithmetic: 7, not 6
    defdata->Qcps[20][0] = -0.05f;  // -0.5 truncates to 0
    std::memset(defdata->RSenco, 0, sizeof defdata->RSenco);
    defdata->RSenco[0][0][1] = 1.0f;
    for (int e = 0; e < SCV_ELEMENTS; ++e)
        for (int j = 0; j < SCV_ENTRIES; ++j) {
            defdata->Scv[e][j][0] = 999.0;   // /10*100 = 9990
            defdata->Scv[e][j][1] = -1.25;   // -12.5 -> -12
        }
    const float rain[5] = {0.3f, 0.6f, 0.3f, 0.4f, 0.04f};
    std::memcpy(defdata->RainTh, rain, sizeof rain);

    std::vector<TpCanFrame> got;
    std::thread reader([&] {
        TpCanFrame f;
        while (peer_.Recv(&f, 500))
            got.push_back(f);
    });
    EXPECT_EQ(SUBCOLLECTOR_SDO_COUNT, SendSubCollectorPara(5000));   // the bus queue holds 10 frames
    reader.join();
    ASSERT_EQ(113u, got.size());

    auto expect = [&](size_t i, uint32_t id, Bytes b) {
        EXPECT_EQ(id, got[i].can_id) << "request " << i;
        EXPECT_EQ(b, DataOf(got[i])) << "request " << i;
    };
    // Sample QC: node 0x10 rows 3-5, then 0x11 rows 19-21; min, max, change.
    expect(0, 0x610, {0x40, 0x00, 0x39, 0x01, 0x6B, 0xFE, 0, 0});
    expect(1, 0x610, {0x40, 0x01, 0x39, 0x01, 0xFF, 0x7F, 0, 0});
    expect(2, 0x610, {0x40, 0x02, 0x39, 0x01, 0x14, 0x00, 0, 0});
    expect(8, 0x610, {0x40, 0x02, 0x39, 0x03, 0x14, 0x00, 0, 0});
    expect(11, 0x611, {0x40, 0x02, 0x39, 0x01, 0x07, 0x00, 0, 0});
    expect(12, 0x611, {0x40, 0x00, 0x39, 0x02, 0x00, 0x00, 0, 0});
    // Minute QC: five values, the last "no limit" negative.
    expect(18, 0x610, {0x40, 0x10, 0x39, 0x01, 0x02, 0x00, 0, 0});
    expect(19, 0x610, {0x40, 0x11, 0x39, 0x01, 0x0C, 0x00, 0, 0});
    expect(22, 0x610, {0x40, 0x14, 0x39, 0x01, 0xFF, 0x7F, 0, 0});
    expect(47, 0x611, {0x40, 0x14, 0x39, 0x03, 0xFF, 0x7F, 0, 0});
    // RSENCO floats as they are.
    expect(48, 0x610, {0x40, 0x20, 0x39, 0x01, 0, 0, 0, 0});
    expect(49, 0x610, {0x40, 0x21, 0x39, 0x01, 0x00, 0x00, 0x80, 0x3F});
    expect(71, 0x611, {0x40, 0x23, 0x39, 0x03, 0, 0, 0, 0});
    // Calibration corrections, both doubles of each entry in turn.
    expect(72, 0x610, {0x40, 0x00, 0x3A, 0x01, 0x06, 0x27, 0, 0});
    expect(73, 0x610, {0x40, 0x40, 0x3A, 0x01, 0xF4, 0xFF, 0, 0});
    expect(83, 0x610, {0x40, 0x45, 0x3A, 0x01, 0xF4, 0xFF, 0, 0});
    expect(107, 0x610, {0x40, 0x45, 0x3A, 0x03, 0xF4, 0xFF, 0, 0});
    // Rain thresholds.
    expect(108, 0x610, {0x40, 0x80, 0x3A, 0x03, 0x03, 0x00, 0, 0});
    expect(109, 0x610, {0x40, 0x80, 0x3A, 0x04, 0x06, 0x00, 0, 0});
    expect(110, 0x610, {0x40, 0x81, 0x3A, 0x00, 0x03, 0x00, 0, 0});
    expect(111, 0x611, {0x40, 0x82, 0x3A, 0x02, 0x04, 0x00, 0, 0});
    expect(112, 0x611, {0x40, 0x82, 0x3A, 0x03, 0x04, 0x00, 0, 0});
}

// ---------------------------------------------------------------- serial board

// A pseudo-terminal standing in for the serial sampling board's port.
class SampBoardTest : public ::testing::Test {
protected:
    SampBoardTest() : sb_("2020-03-05 14:07:20")
    {
        ShareMemory();
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        grantpt(master_);
        unlockpt(master_);
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
        termios t {};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        UartDev->Port[SLOT_SAMPBOARD].fd = slave_;
    }
    ~SampBoardTest() override
    {
        close(slave_);
        close(master_);
    }
    // Plays the board while logger() runs: answers the latest request
    // ("" before any) every 20 ms, since the logger discards pending input
    // right before it reads an answer; returns the requests it received.
    std::vector<std::string> Play(const std::function<std::string(const std::string &)> &answer,
                                  const std::function<void()> &logger) const
    {
        std::atomic<bool> done {false};
        std::vector<std::string> requests;
        std::thread board([&] {
            std::string pending;
            while (!done) {
                char buf[512];
                ssize_t n = read(master_, buf, sizeof buf);
                if (n > 0)
                    pending.append(buf, size_t(n));
                for (size_t e; (e = pending.find('!')) != std::string::npos; pending.erase(0, e + 1))
                    requests.push_back(pending.substr(0, e + 1));
                const std::string a = answer(requests.empty() ? "" : requests.back());
                // A full pseudo-terminal refuses the write: the logger is
                // not reading, and the next round tries again.
                ssize_t w = a.empty() ? 0 : write(master_, a.data(), a.size());
                (void)w;
                usleep(20000);
            }
        });
        logger();
        done = true;
        board.join();
        return requests;
    }
    Sandbox sb_;
    int master_ = -1;
    int slave_ = -1;
};

TEST_F(SampBoardTest, RepliesAreRecognisedThroughNoise)
{
    const std::string x195(195, 'x'), x200(200, 'x');
    const struct {
        std::string reply;
        int result;
    } cases[] = {
        {std::string("\x01\x05\x02xyz PARADOWN OK!", 20) + "trailing", 0},
        {"EXTOUTPUT OK!\r\n", 1},
        {"PARADOWN OK", -1},   // no "!" and no line end: judged after the second
        // Longer than the 200 stored characters: storing starts again at
        // the beginning, so an answer cut by the wrap is not recognised.
        {x195 + "PARADOWN OK!", -1},
        {x200 + "PARADOWN OK!", 0},
        {std::string(1000, 'y'), -1},
    };
    for (const auto &c : cases) {
        int got = 2;
        Play([&](const std::string &) { return c.reply; }, [&] { got = CheckSampBoardInit(); });
        EXPECT_EQ(c.result, got) << c.reply.substr(0, 40);
    }
}

TEST_F(SampBoardTest, DownloadThenExtendedOutput)
{
    defdata->MainWindType = '0';
    defdata->DoorValid = 1;
    auto answer = [](const std::string &request) -> std::string {
        if (request.rfind("PARADOWN", 0) == 0)
            return "PARADOWN OK!";
        return request == "EXTOUTPUT!" ? "EXTOUTPUT OK!" : "";
    };
    int result = -2;
    std::vector<std::string> requests = Play(answer, [&] { result = SampBoardInit(); });
    EXPECT_EQ(0, result);
    ASSERT_GE(requests.size(), 2u);
    const std::string &first = requests[0];
    EXPECT_EQ(0, first.rfind("PARADOWN09023600020400020A", 0));
    EXPECT_NE(std::string::npos, first.find("023C0003")) << "gray-code wind sensor";
    EXPECT_NE(std::string::npos, first.find("02CB000A")) << "door contact in use";
    EXPECT_EQ(207u, first.size());
    EXPECT_EQ("EXTOUTPUT!", requests.back());
    EXPECT_EQ(1, +TemproraryData->SampBoardExtOutput);
}

// ---------------------------------------------------------------- frame text

TEST(CandumpText, FormatAndParseRoundTrip)
{
    const TpCanFrame f = stationsim::MainTempHum(-1234, 6500, 1200);
    struct timeval tv {1712345678, 123456};
    char line[96];
    stationsim::FormatCandump(line, sizeof line, tv, "can0", f);
    EXPECT_STREQ("(1712345678.123456) can0 192#2EFB64190000B004", line);

    struct timeval back {};
    char ifname[8];
    TpCanFrame g;
    ASSERT_TRUE(stationsim::ParseCandump(std::string(line) + "\n", &back, ifname, sizeof ifname, &g));
    EXPECT_EQ(0, std::memcmp(&f, &g, sizeof f));
    EXPECT_EQ(1712345678, back.tv_sec);
    EXPECT_EQ(123456, back.tv_usec);
    EXPECT_STREQ("can0", ifname);

    ASSERT_TRUE(stationsim::ParseCandump("(0000000001.000002) can1 080#", &back, ifname, sizeof ifname, &g));
    EXPECT_EQ(0x080u, g.can_id);
    EXPECT_EQ(0, g.can_dlc);
    for (const char *bad : {"", "(", "(1.5) can0 080#", "(12.123456) can0 800#00", "(12.123456) can0 080#0",
                            "(12.123456) can0 080#001122334455667788", "(12.123456) can0 08G#", "(x.123456) can0 1#",
                            "(12.123456)can0 080#", "(12.123456) can0 #00", "(12.123456) can0 0800#"})
        EXPECT_FALSE(stationsim::ParseCandump(bad, &back, ifname, sizeof ifname, &g)) << bad;
}

} // namespace

// Start-up reset: boards not heard yet read '9', switched-off boards 'N',
// and the soil and sea boards stay off until a command enables them.
TEST_F(CanSendTest, StartUpResetOfTheSubCollectors)
{
    std::memset(defdata->ObValid, '1', sizeof defdata->ObValid);
    defdata->ObValid[OB_RADI] = '0';
    SlaveColletorParaInit();
    const TemproraryDataRec &t = *TemproraryData;
    const DefDataRec &d = *defdata;
    // Climate, radiation, earth, soil, sea; T/RH, air temperature, rain;
    // soil, sea and T/RH flags; main board and bus.
    EXPECT_EQ("9N9NN999" "001" "22",
              std::string({t.SubStat[SUB_CLIM].State, t.SubStat[SUB_RADI].State, t.SubStat[SUB_EATH].State,
                           t.SubStat[SUB_SOIL].State, t.SubStat[SUB_SEAA].State, t.Terh.State1, t.TairStat.State,
                           t.RainStat.State, d.ObValid[OB_SOIL], d.ObValid[OB_SEAA], d.ObValid[OB_TERH],
                           t.MainBoardCommState, t.MainStat.CanBusState}));
}

// The serial queries of the polling process, with pipes for the ports.
class QueryTest : public ::testing::Test {
protected:
    QueryTest() : sb_("2020-03-05 14:07:20")
    {
        ShareMemory();
        for (int i = 0; i < UART_SLOTS; ++i) {
            int p[2];
            EXPECT_EQ(0, pipe2(p, O_NONBLOCK | O_CLOEXEC));
            rd_[i] = p[0];
            UartDev->Port[i].fd = p[1];
        }
    }
    ~QueryTest() override
    {
        for (int i = 0; i < UART_SLOTS; ++i) {
            close(rd_[i]);
            close(UartDev->Port[i].fd);
        }
    }
    std::string Sent(int slot) const
    {
        char buf[256];
        ssize_t n = read(rd_[slot], buf, sizeof buf);
        return n > 0 ? std::string(buf, size_t(n)) : std::string();
    }
    Sandbox sb_;
    int rd_[UART_SLOTS] = {};
};

TEST_F(QueryTest, PressureQueryByType)
{
    const char *expect[] = {".P\r\n", "P\r\n", ".P\r\n", "P\r\n", ".P\r\n", "P\r\n", "", ""};
    for (int type = 0; type < 8; ++type) {
        defdata->AirpType = uint8_t(type);
        QuerryAirP();
        EXPECT_EQ(expect[type], Sent(SLOT_AIRPRESS)) << "type " << type;
    }
}

TEST_F(QueryTest, SerialBoardAskedOnlyWhileMainBoardIsQuiet)
{
    TemproraryData->MainBoardCommState = '9';
    for (auto [ext, want] : {std::pair {0, "GETSECDATA!"}, {1, "GETSFDATA!"}, {7, ""}}) {
        TemproraryData->SampBoardExtOutput = ext;
        QuerrySampBoard();
        EXPECT_EQ(want, Sent(SLOT_SAMPBOARD)) << ext;
    }

    // Data arriving: silence, and within 100 calls the state is looked at again.
    TemproraryData->MainBoardCommState = '0';
    int calls = 0;
    while (TemproraryData->MainBoardCommState == '0' && calls < 200) {
        QuerrySampBoard();
        ++calls;
    }
    EXPECT_LE(calls, 100);
    EXPECT_EQ('9', TemproraryData->MainBoardCommState);
    EXPECT_EQ("", Sent(SLOT_SAMPBOARD));
}

TEST_F(QueryTest, RainWeightAndSnowDepthConditions)
{
    defdata->RawMode = 0;
    QuerryRainWeight();
    EXPECT_EQ("", Sent(SLOT_COM1));
    defdata->RawMode = 1;
    QuerryRainWeight();
    EXPECT_EQ("DMPR\r\n", Sent(SLOT_COM1));

    QuerrySnowDepth();
    EXPECT_EQ("", Sent(SLOT_GPS));
    defdata->ElementEnable[41] = '1';
    QuerrySnowDepth();
    EXPECT_EQ("GMSD\r\n", Sent(SLOT_GPS));
    defdata->GpsPortType = 1;
    QuerrySnowDepth();
    EXPECT_EQ("GMSD\r\n", Sent(SLOT_COM1));
}

TEST_F(QueryTest, StalledSerialMessageIsDropped)
{
    // Empty buffers are never reported; a growing one is left alone.
    CheckUartTimeOut();
    TemproraryData->UartRcvLen[3] = 5;
    CheckUartTimeOut();
    EXPECT_EQ(5, int(TemproraryData->UartRcvLen[3]));
    TemproraryData->UartRcvLen[3] = 9;
    CheckUartTimeOut();
    EXPECT_EQ(9, int(TemproraryData->UartRcvLen[3]));
    // One tick without growth: dropped.
    CheckUartTimeOut();
    EXPECT_EQ(0, int(TemproraryData->UartRcvLen[3]));
    // A length that is out of range still prints within the buffer.
    TemproraryData->UartRcvLen[4] = 100000;
    CheckUartTimeOut();
    CheckUartTimeOut();
    EXPECT_EQ(0, int(TemproraryData->UartRcvLen[4]));
}

// How each board generation brings the interface up, as logged by the
// simulated shell.
TEST(CanLink, InterfaceSetUpByBoardGeneration)
{
    for (int hw : {0, 1}) {
        Sandbox sb("2020-03-05 14:07:20");
        g_HardwareCheck = hw;
        EXPECT_GE(CanSocketInit(), 0);
        TpCanClose(fd_socket_can);
        fd_socket_can = -1;
        EXPECT_EQ(hw ? "ifconfig can0 down\nip link set can0 up type can bitrate 125000 triple-sampling on\n"
                       "ifconfig can0 up\n"
                     : "ifconfig can0 up\n",
                  sb.Read("/sim/commands.log"));
    }
    g_HardwareCheck = 0;
}
