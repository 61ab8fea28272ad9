#include "canbus/CanReceive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <sys/time.h>

#include "canbus/CanSend.h"
#include "core/Main.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/CanSample2Value.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"



namespace {

// Packet type of each identifier function (identifier & 0xFF80); 0 = none.
struct FunctionType {
    uint32_t function;
    uint8_t type;
};
constexpr FunctionType kFunctions[] = {
    {0x080, CANPKT_SYNC},  {0x180, CANPKT_TPDO1},  {0x280, CANPKT_TPDO2},
    {0x380, CANPKT_TPDO3}, {0x480, CANPKT_TPDO4},  {0x580, CANPKT_SDORSP},
    {0x700, CANPKT_HEARTBEAT},
};

bool Enabled(int node) { return defdata->ObValid[node] == '1'; }
char StateByEnable(int node) { return Enabled(node) ? '2' : 'N'; }

void MarkMissing(int index)
{
    SetLiveElement(index, MISSING_FLOAT, '8');
}

void SubReset(int which, int node, char ch1, char ch2)
{
    SubCollectorStat &s = TemproraryData->SubStat[which];
    s.State = StateByEnable(node);
    s.Reading1 = 0.0f;
    s.State2 = '1';
    s.Reading2 = 0.0f;
    s.Flag1 = ch1;
    s.Flag2 = ch2;
}

void ExtStatReset(ExtBoardStat &s, int node)
{
    s.State = StateByEnable(node);
    s.SupplyVoltage = 0.0f;
    s.VoltageLow = '1';
    s.BoardTemp = 0.0f;
    s.Ch1 = '9';
    s.Ch2 = 'N';
    s.Status1 = 0;
    s.Status2 = 0;
}

// What a silent (or switched off) board leaves behind: its elements and
// readings read as missing.
void MarkBoardMissing(int node)
{
    TemproraryDataRec &td = *TemproraryData;
    switch (node) {
    case NODE_TERH:
        MarkMissing(EL_T0);
        MarkMissing(EL_U);
        break;
    case NODE_RADI: {
        static constexpr int kRadi[] = {EL_GR, EL_NR, EL_DR, EL_SR, EL_RR,
                                        EL_UVA, EL_UVB, EL_AR, EL_TR, EL_PR};
        for (int index : kRadi)
            MarkMissing(index);
        td.SubStat[SUB_RADI].Reading1 = 9999.0f;
        td.SubStat[SUB_RADI].Reading2 = 9999.0f;
        break;
    }
    case NODE_EATH:
        MarkMissing(EL_TG);
        for (int index = EL_ST0; index <= EL_ST8; ++index)
            MarkMissing(index);
        td.SubStat[SUB_EATH].Reading1 = 9999.0f;
        td.SubStat[SUB_EATH].Reading2 = 9999.0f;
        break;
    case NODE_TAIR: {
        TairBlock &b = td.Tair;
        for (int k = 0; k < 4; ++k) {
            b.ChanTemp[k] = 9999.0f;
            b.FurtherTemp[k] = 9999.0f;
            b.ChanQc[k] = '8';
        }
        b.ExtraTemp = 9999.0f;
        b.Humidity = 9999.0f;
        for (int k = 0; k < 3; ++k)
            MarkMissing(EL_T01 + k);
        td.TairStat.SupplyVoltage = 9999.0f;
        td.TairStat.BoardTemp = 9999.0f;
        break;
    }
    case NODE_RAIN: {
        RainBlock &b = td.Rain;
        for (char &qc : b.Qc)
            qc = '8';
        b.HourCount = 9999;
        td.RainStat.SupplyVoltage = 9999.0f;
        td.RainStat.BoardTemp = 9999.0f;
        break;
    }
    default:
        break;
    }
}

void OnAlarm(int signo) { OnCheckExtSmpTimer(signo); }

} // namespace

int CanRcvInit(int node)
{
    TemproraryDataRec &td = *TemproraryData;
    switch (node) {
    case NODE_MAIN: {
        MainCollectorStat &m = td.MainStat;
        td.MainBoardCommState = '2';
        m.PowerKind = '1';
        m.TerhState = '9';
        m.WindState = '9';
        m.DoorState = '0';
        m.CanExtState = '0';
        m.CanBusState = '2';
        m.SupplyVoltage = 0.0f;
        m.Mact = 0.0f;
        td.MainOptReading[0] = 0.0f;
        td.MainOptReading[1] = 0.0f;
        break;
    }
    case NODE_CLIM: SubReset(SUB_CLIM, node, '9', '9'); break;
    case NODE_RADI: SubReset(SUB_RADI, node, '9', 'N'); break;
    case NODE_EATH: SubReset(SUB_EATH, node, '9', 'N'); break;
    case NODE_SOIL: SubReset(SUB_SOIL, node, '9', 'N'); break;
    case NODE_SEAA: SubReset(SUB_SEAA, node, '9', '9'); break;
    case NODE_TERH: {
        TerhStat &s = td.Terh;
        s.State1 = StateByEnable(node);
        s.Reading1 = 0;
        s.State2 = '1';
        s.Reading2 = 0;
        s.State3 = '9';
        s.Flag = 'N';
        break;
    }
    case NODE_TAIR:
        ExtStatReset(td.TairStat, node);
        td.Tair = TairBlock{};
        break;
    case NODE_RAIN:
        ExtStatReset(td.RainStat, node);
        td.Rain = RainBlock{};
        td.Rain.Flag = 1;
        break;
    default:
        return -1;
    }
    return 0;
}

int ChkExtSmpStatus(volatile int &timer, int node, int limit)
{
    if (Enabled(node)) {
        if (timer <= limit)
            return 0;
        CanRcvInit(node);
        MarkBoardMissing(node);
    } else {
        // A board that is switched off is reset at every step, so its
        // elements stay missing.
        CanRcvInit(node);
        if (node != NODE_TERH)
            MarkBoardMissing(node);
    }
    timer = 0;
    return 1;
}

void OnCheckExtSmpTimer(int)
{
    g_ChkTmrTARH = g_ChkTmrTARH + 1;
    g_ChkTmrEATH = g_ChkTmrEATH + 1;
    g_ChkTmrRADI = g_ChkTmrRADI + 1;
    g_ChkTmrTAIR = g_ChkTmrTAIR + 1;
    g_ChkTmrTRAIN = g_ChkTmrTRAIN + 1;
}

int SetChecExtTimer()
{
    struct sigaction sa {};
    sa.sa_handler = OnAlarm;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &sa, nullptr);
    struct itimerval value {};
    value.it_value.tv_sec = 1;
    value.it_interval.tv_sec = 1;
    return setitimer(ITIMER_REAL, &value, nullptr);
}

int ProcessCanPkg()
{
    CanSendRcvRec &ring = *cansendrcvarray;
    int w = ring.RcvWrite;
    w = (w >= 0 && w < CAN_RCV_SLOTS - 1) ? w + 1 : 0;
    ring.RcvWrite = w;
    CanRcvEntry &e = ring.Rcv[w];
    const TpCanFrame &f = canframeRev;
    e.Node = uint8_t(f.can_id & 0x7F);
    uint8_t type = 0;
    for (const FunctionType &ft : kFunctions)
        if ((f.can_id & 0xFF80) == ft.function)
            type = ft.type;
    if (type != 0) {
        e.Type = type;
    } else {
        // Not a function we listen to: traced, and stored with whatever
        // type the entry held.
        std::printf("canframe.can_id:%08x,%02x%02x%02x%02x%02x%02x%02x%02x\r\n", f.can_id,
                    f.data[0], f.data[1], f.data[2], f.data[3], f.data[4], f.data[5], f.data[6],
                    f.data[7]);
    }
    int dlc = f.can_dlc > 8 ? 8 : f.can_dlc;
    std::memcpy(e.Data, f.data, std::size_t(dlc));
    e.Len = 10;
    e.Valid = 1;
    return 0;
}

int RcvCanPacket()
{
    ChkExtSmpStatus(g_ChkTmrEATH, NODE_EATH, CAN_SILENCE_LIMIT);
    ChkExtSmpStatus(g_ChkTmrTARH, NODE_TERH, CAN_SILENCE_LIMIT);
    ChkExtSmpStatus(g_ChkTmrRADI, NODE_RADI, CAN_SILENCE_LIMIT);
    ChkExtSmpStatus(g_ChkTmrTAIR, NODE_TAIR, CAN_SILENCE_LIMIT);
    ChkExtSmpStatus(g_ChkTmrTRAIN, NODE_RAIN, CAN_SILENCE_LIMIT);

    TpCanFrame frame;
    errno = 0;
    int n = TpCanRecv(fd_socket_can, &frame, 1000);
    if (n == int(sizeof frame)) {
        canframeRev = frame;
        ProcessCanPkg();
        CanSample2Value();
    } else if (n > 0 || (n < 0 && errno == EMSGSIZE)) {
        std::printf("read: incomplete CAN frame\n");
    } else if (n < 0 && errno != EINTR) {
        std::perror("err: can raw socket read \n");
        // A broken descriptor fails at once; wait out the second the step
        // would have waited so the loop neither spins nor floods the log.
        poll(nullptr, 0, 1000);
    }
    CanSample2Value();
    SoftDogFeed(DOG_A);
    return 0;
}
