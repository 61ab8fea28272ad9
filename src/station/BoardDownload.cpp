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
#include "canbus/SubCollectorPara.h"
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
    // The elements of the TAIR unit (sensors 1-3), then those of the RAIN unit.
    static constexpr int kElements[6] = {3, 4, 5, 19, 20, 21};   // T01-T03, RAT1-RAT3
    int sent = 0;
    for (int e : kElements)
        sent += SendQcpsToSubCollector(e, pauseUs);
    for (int e : kElements)
        sent += SendQcpmToSubCollector(e, pauseUs);
    for (int e : kElements)
        sent += SendRSencoToSubCollector(e, pauseUs);
    for (int s = 15; s <= 17; ++s)   // calibration tables of T01-T03
        sent += SendScvToSubCollector(s, pauseUs);
    for (int k = 0; k < RAIN_THRESHOLDS; ++k)
        sent += SendRainThToSubCollector(k, pauseUs);
    return sent;
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
