// Configuration download to the serial sampling board and the CAN
// sub-collectors, and the start-up reset of the sub-collector state.
#include "station/BoardDownload.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "canbus/CanReceive.h"
#include "canbus/CanSend.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "serial/UartSet.h"

namespace {

// ---------------------------------------------------------------- serial board

// The serial board's configuration, by wind sensor (gray code, voltage) and
// door contact (not used, used). The board defines the fields; we send the
// texts as they stand.
constexpr const char *kParaDown[2][2] = {
    {"PARADOWN09023600020400020A00021A00021900021E00023900023B00023C000302810002C00002C9000A0400000001020A00010001"
     "021900020001021E0003000102C000040001023C0005000102C900060005028100070005023900080001023B0009000102!",
     "PARADOWN09023600020400020A00021A00021900021E00023900023B00023C000302810002C00002CB000A0400000001020A00010001"
     "021900020001021E0003000102C000040001023C0005000102CB00060001028100070005023900080001023B0009000102!"},
    {"PARADOWN09023600020400020A00021A00021900021E00023900023B00023D000302810002C00002C9000A0400000001020A00010001"
     "021900020001021E0003000102C000040001023D0005000102C900060005028100070005023900080001023B0009000102!",
     "PARADOWN09023600020400020A00021A00021900021E00023900023B00023D000302810002C00002CB000A0400000001020A00010001"
     "021900020001021E0003000102C000040001023D0005000102CB00060001028100070005023900080001023B0009000102!"},
};
constexpr const char kExtOutput[] = "EXTOUTPUT!";
constexpr const char kParaDownOk[] = "PARADOWN OK!";
constexpr const char kExtOutputOk[] = "EXTOUTPUT OK!";
// "cannot download the parameters to the sampling board", in the board
// console's GBK encoding.
constexpr const char kNoDownloadGbk[] =
    "\xce\xde\xb7\xa8\xb8\xf8\xb2\xc9\xbc\xaf\xb0\xe5\xcf\xc2\xd4\xd8\xb2\xce\xca\xfd";

constexpr int DOWNLOAD_TRIES = 5;
constexpr int RETRY_PAUSE_US = 100000;
constexpr int REPLY_BUF = 256;
constexpr int REPLY_WRAP = 200;   // a reply longer than this is stored from the start again

int SampBoardFd() { return UartDev != nullptr ? int(UartDev->Port[SLOT_SAMPBOARD].fd) : -1; }

void WriteAll(int fd, const char *text, std::size_t len)
{
    if (fd < 0)
        return;
    ssize_t n = write(fd, text, len);
    (void)n;   // the board's reply tells whether it arrived
}

// ---------------------------------------------------------------- CAN download

// QC rows of the three elements of each sub-collector (subindex 1, 2, 3).
constexpr int kTairRows[3] = {3, 4, 5};     // T01, T02, T03
constexpr int kRainRows[3] = {19, 20, 21};  // RAT1, RAT2, RAT3

// Calibration constants of the SCV elements 0 to 17.
constexpr int g_iaScvCalCoe[SCV_ELEMENTS] = {10, 100, 10, 100, 100, 100, 100, 100, 100,
                                             100, 100, 100, 100, 100, 10, 10, 10, 10};
constexpr int kScvTairElements[3] = {15, 16, 17};

constexpr uint16_t IDX_QCPS = 0x3900;
constexpr uint16_t IDX_QCPM = 0x3910;
constexpr uint16_t IDX_RSENCO = 0x3920;
constexpr uint16_t IDX_SCV_FIRST = 0x3A00;
constexpr uint16_t IDX_SCV_SECOND = 0x3A40;

// Rain thresholds: where each of the five goes and its factor.
struct RainThresholdTarget {
    unsigned char node;
    uint16_t index;
    unsigned char subindex;
    float factor;
};
constexpr RainThresholdTarget kRainTargets[5] = {
    {SUBCOLLECTOR_TAIR, 0x3A80, 3, 10.0f}, {SUBCOLLECTOR_TAIR, 0x3A80, 4, 10.0f},
    {SUBCOLLECTOR_TAIR, 0x3A81, 0, 10.0f}, {SUBCOLLECTOR_RAIN, 0x3A82, 2, 10.0f},
    {SUBCOLLECTOR_RAIN, 0x3A82, 3, 100.0f},
};

constexpr int16_t SDO_NO_LIMIT = 0x7FFF;

// A scaled value as the 16-bit word the boards take: truncated toward zero,
// kept within 32 bits first (as the board's converter would), then cut to
// 16 bits.
int16_t ToWord(double scaled)
{
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 2147483647.0)
        scaled = 2147483647.0;
    if (scaled <= -2147483648.0)
        scaled = -2147483648.0;
    return int16_t(uint16_t(uint32_t(int32_t(scaled)) & 0xFFFF));
}

// A parameter times its factor; the "no limit" value travels as 0x7FFF.
int16_t ScaleParam(float value, float factor)
{
    if (value == QC_NONE || value == -QC_NONE)
        return SDO_NO_LIMIT;
    return ToWord(double(value * factor));
}

struct SdoDownload {
    int pauseUs;
    int sent;

    void Send(unsigned char node, uint16_t index, unsigned char subindex, const unsigned char *value,
              unsigned char size)
    {
        MakeCanSendSDOPacket(node, CANSEND_SDO, index, subindex, value, size);
        ++sent;
        if (pauseUs > 0)
            usleep(useconds_t(pauseUs));
    }
    void SendWord(unsigned char node, uint16_t index, unsigned char subindex, int16_t word)
    {
        const auto u = uint16_t(word);
        const unsigned char b[2] = {uint8_t(u & 0xFF), uint8_t(u >> 8)};
        Send(node, index, subindex, b, 2);
    }
    void SendFloat(unsigned char node, uint16_t index, unsigned char subindex, float f)
    {
        unsigned char b[4];
        std::memcpy(b, &f, sizeof b);
        Send(node, index, subindex, b, 4);
    }
};

struct SubCollectorRows {
    unsigned char node;
    const int *rows;
};
constexpr SubCollectorRows kSubCollectors[2] = {{SUBCOLLECTOR_TAIR, kTairRows}, {SUBCOLLECTOR_RAIN, kRainRows}};

// A state of '2' (no packet since the reset) reads as "not heard since
// start-up" after a start.
char NotHeardYet(char state) { return state == '2' ? '9' : state; }

} // namespace

// ---------------------------------------------------------------- start-up reset

int SlaveColletorParaInit()
{
    TemproraryDataRec *t = TemproraryData;
    CanRcvInit(NODE_MAIN);
    CanRcvInit(NODE_CLIM);
    t->SubStat[SUB_CLIM].State = NotHeardYet(t->SubStat[SUB_CLIM].State);
    // The soil and sea boards stay switched off until a command enables
    // them; not saved, so the file keeps what the operator set.
    defdata->ObValid[OB_SOIL] = '0';

    CanRcvInit(NODE_SOIL);
    CanRcvInit(NODE_RADI);
    t->SubStat[SUB_RADI].State = NotHeardYet(t->SubStat[SUB_RADI].State);

    CanRcvInit(NODE_EATH);
    t->SubStat[SUB_EATH].State = NotHeardYet(t->SubStat[SUB_EATH].State);
    defdata->ObValid[OB_SEAA] = '0';

    CanRcvInit(NODE_SEAA);
    CanRcvInit(NODE_TERH);
    t->Terh.State1 = NotHeardYet(t->Terh.State1);

    CanRcvInit(NODE_TAIR);
    t->TairStat.State = NotHeardYet(t->TairStat.State);
    CanRcvInit(NODE_RAIN);
    t->RainStat.State = NotHeardYet(t->RainStat.State);
    return 0;
}

// ---------------------------------------------------------------- CAN download

int SendSubCollectorPara(int pauseUs)
{
    if (defdataEx == nullptr || defdata == nullptr || defdataEx->Generation == 0)
        return 0;
    SdoDownload d {pauseUs, 0};

    for (const SubCollectorRows &sc : kSubCollectors)
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 3; ++j)
                d.SendWord(sc.node, uint16_t(IDX_QCPS + j), uint8_t(k + 1),
                           ScaleParam(defdata->Qcps[sc.rows[k]][j], 10.0f));

    for (const SubCollectorRows &sc : kSubCollectors)
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 5; ++j)
                d.SendWord(sc.node, uint16_t(IDX_QCPM + j), uint8_t(k + 1),
                           ScaleParam(defdata->Qcpm[sc.rows[k]][j], 10.0f));

    for (int b = 0; b < 2; ++b)
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 4; ++j)
                d.SendFloat(kSubCollectors[b].node, uint16_t(IDX_RSENCO + j), uint8_t(k + 1),
                            defdata->RSenco[b][k][j]);

    for (int k = 0; k < 3; ++k) {
        const int e = kScvTairElements[k];
        const double coe = g_iaScvCalCoe[e];
        for (int j = 0; j < SCV_ENTRIES; ++j) {
            const double first = defdata->Scv[e][j][0];
            const double second = defdata->Scv[e][j][1];
            d.SendWord(SUBCOLLECTOR_TAIR, uint16_t(IDX_SCV_FIRST + j), uint8_t(k + 1), ToWord(first / coe * 100));
            d.SendWord(SUBCOLLECTOR_TAIR, uint16_t(IDX_SCV_SECOND + j), uint8_t(k + 1), ToWord(second / coe * 100));
        }
    }

    for (int i = 0; i < 5; ++i) {
        const RainThresholdTarget &r = kRainTargets[i];
        d.SendWord(r.node, r.index, r.subindex, ScaleParam(defdata->RainTh[i], r.factor));
    }
    return d.sent;
}

int SyncParaToSubCollector() { return SendSubCollectorPara(RETRY_PAUSE_US); }

// ---------------------------------------------------------------- serial board

int CheckSampBoardInit()
{
    const int fd = SampBoardFd();
    char buff[REPLY_BUF] = {};
    if (fd >= 0 && fd < FD_SETSIZE) {
        tcflush(fd, TCIFLUSH);
        // One second for the whole reply: select leaves the time not slept
        // in tv, so every wait takes from the same allowance.
        struct timeval tv {1, 0};
        int n = 0;
        for (;;) {
            fd_set rd;
            FD_ZERO(&rd);
            FD_SET(fd, &rd);
            int r = select(fd + 1, &rd, nullptr, nullptr, &tv);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            unsigned char c;
            if (read(fd, &c, 1) != 1)
                break;
            if (c <= 5)
                continue;
            if (n >= REPLY_WRAP)
                n = 0;
            buff[n++] = char(c);
            if (c == '\n' || c == '!')
                break;
        }
    }
    std::printf("buffcom1:%s\n", buff);
    if (std::strstr(buff, kParaDownOk) != nullptr)
        return 0;
    if (std::strstr(buff, kExtOutputOk) != nullptr)
        return 1;
    return -1;
}

int SampBoardInit()
{
    const int fd = SampBoardFd();
    const int voltage = !(defdata->MainWindType == '0' || defdata->MainWindType == 0);
    const int door = defdata->DoorValid != 0;
    const char *text = kParaDown[voltage][door];

    int accepted = 0;
    for (int i = 0; i < DOWNLOAD_TRIES; ++i) {
        WriteAll(fd, text, std::strlen(text));
        if (CheckSampBoardInit() == 0) {
            accepted = 1;
            break;
        }
        usleep(RETRY_PAUSE_US);
    }
    if (!accepted) {
        std::printf("sampboard ERROR:.........%s...............\r\n", kNoDownloadGbk);
        return -1;
    }
    std::printf(voltage ? "Updata SampBoard Para success(voltage)\r\n" : "Updata SampBoard Para success(graycode)\r\n");
    sleep(1);

    int ext = 0;
    for (int i = 0; i < DOWNLOAD_TRIES; ++i) {
        WriteAll(fd, kExtOutput, sizeof kExtOutput - 1);
        if (CheckSampBoardInit() == 1) {
            ext = 1;
            break;
        }
        usleep(RETRY_PAUSE_US);
    }
    if (ext) {
        std::printf("EXTOUTPUT TRUE\r\n");
        TemproraryData->SampBoardExtOutput = 1;
    } else {
        std::printf("EXTOUTPUT FALSE\r\n");
        TemproraryData->SampBoardExtOutput = 0;
    }
    sleep(1);
    if (fd >= 0)
        tcflush(fd, TCIFLUSH);
    return 0;
}
