// The CAN link: bringing the interface up and writing SYNC, TIME and SDO
// frames.
#include "canbus/CanSend.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include "core/DevName.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"

int fd_socket_can = -1;

namespace {

constexpr int SLOT_LEN_FULL = 9;      // type byte + 8 data bytes


// Data bytes of the SYNC frame; the boards take any SYNC as a trigger.
constexpr uint8_t kSyncData[8] = {1, 2, 3, 4, 5, 6, 7, 8};

// The time GetTime returned last in this process. GetTime hands out one
// record per process at a fixed address, so one call tells us where it
// lies; its caller has just read the time, so refreshing it does no harm.
// A plain static (no guard), because the tick runs as a signal handler.
const struct tm *LastGetTime()
{
    static const struct tm *rec = nullptr;
    if (rec == nullptr)
        rec = GetTime(0);
    return rec;
}

int Generation() { return defdataEx != nullptr ? int(defdataEx->Generation) : 0; }

void SetNonBlock(int fd)
{
    if (fd < 0)
        return;
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0)
        fcntl(fd, F_SETFL, fl | O_NONBLOCK);
}

CanSendSlot NewSlot(unsigned char type)
{
    CanSendSlot s {};
    s.Len = SLOT_LEN_FULL;
    s.Type = type;
    return s;
}

} // namespace

// ---------------------------------------------------------------- the link

int CanDisable(int channel)
{
    char cmd[200];
    std::snprintf(cmd, sizeof cmd, "ifconfig can%d down", channel);
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    return 0;
}

int CanEnable(int channel, int bitrate)
{
    char cmd[200];
    std::snprintf(cmd, sizeof cmd, "ip link set can%d up type can bitrate %d triple-sampling on", channel, bitrate);
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    std::snprintf(cmd, sizeof cmd, "ifconfig can%d up", channel);
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    return 0;
}

int InitCan(int channel, int bitrate)
{
    CanDisable(channel);
    CanEnable(channel, bitrate);
    char name[16];
    std::snprintf(name, sizeof name, "can%d", channel);
    int fd = TpCanOpen(name);
    SetNonBlock(fd);
    return fd;
}

int CanSocketInit()
{
    if (g_HardwareCheck == 0) {
        // The older kernel brings the interface up at the bit rate the
        // system configured; socket, lookup and bind are not checked.
        char cmd[64];
        std::snprintf(cmd, sizeof cmd, "ifconfig %s up", g_cDevName[6]);
        TpSystem(cmd);
        fd_socket_can = TpCanOpen(g_cDevName[6]);
        std::printf("socket(PF_CAN, SOCK_RAW, CAN_RAW)----------success fd:%d\n", fd_socket_can);
        std::printf("ioctl(fd_socket_can, SIOCGIFINDEX, &canifr)----------success\n");
        std::printf("bind(fd_socket_can, (struct sockaddr *)&canaddr, sizeof(canaddr))----------success\n");
        std::printf(" CanSocketInit...NONBLOCK MODE\n");
        SetNonBlock(fd_socket_can);
    } else {
        fd_socket_can = InitCan(0, CAN_BITRATE);
        std::printf("****CanSocketInit finish %d\r\n", fd_socket_can);
    }
    return fd_socket_can;
}

void MakeCanFrame(const CanSendSlot &slot, int generation, uint32_t lastId, TpCanFrame *frame)
{
    std::memset(frame, 0, sizeof *frame);
    const uint8_t type = slot.Type;
    switch (type) {
    case CANSEND_SYNC:
        frame->can_id = CANID_SYNC;
        break;
    case CANSEND_TIME:
        frame->can_id = CANID_TIME;
        break;
    case CANSEND_SDO:
        frame->can_id = generation != 0 ? CANID_SDO_REQ + slot.Node : CANID_SDO_REQ + 1;
        break;
    default:
        frame->can_id = lastId;
        break;
    }
    // The length counts the type byte; a length outside 1..9 is cut to a
    // frame the bus can carry.
    int len = slot.Len;
    int dlc = len < 1 ? 0 : (len > SLOT_LEN_FULL ? 8 : len - 1);
    frame->can_dlc = uint8_t(dlc);
    std::memcpy(frame->data, slot.Data, size_t(dlc));
}

int SendCanPacket(const CanSendSlot &slot)
{
    // The identifier of the previous frame of this process, as the send
    // buffer of the socket layer would still hold it.
    static uint32_t lastId = 0;
    TpCanFrame frame;
    MakeCanFrame(slot, Generation(), lastId, &frame);
    lastId = frame.can_id;

    // Mirror the frame into the shared slot for anyone who inspects it. The
    // wire gets the local frame, so a concurrent sender cannot mix into it.
    if (cansendrcvarray != nullptr) {
        CanSendSlot &shared = cansendrcvarray->Send[0];
        cansendrcvarray->SendRead = 0;
        cansendrcvarray->SendWrite = 0;
        shared.Len = slot.Len;
        shared.Type = slot.Type;
        std::memcpy(shared.Data, slot.Data, sizeof shared.Data);
    }

    int r = TpCanSend(fd_socket_can, &frame);
    if (r < 0) {
        std::printf("err: can raw socket write errno=%d\n", errno);
        return -1;
    }
    if (r < int(sizeof frame)) {
        std::printf("write: incomplete CAN frame\n");
        return -1;
    }
    return r;
}

void MakeTimeData(const struct tm *t, uint8_t data[8])
{
    const int year = t->tm_year;
    data[0] = uint8_t(year / 256);
    data[1] = uint8_t(year % 256);
    data[2] = uint8_t(t->tm_mon);
    data[3] = uint8_t(t->tm_mday);
    data[4] = uint8_t(t->tm_hour);
    data[5] = uint8_t(t->tm_min);
    data[6] = uint8_t(t->tm_sec);
    data[7] = 0;
}

int MakeCanSendPacket(unsigned char type, int index, unsigned char subindex)
{
    CanSendSlot s = NewSlot(type);
    switch (type) {
    case CANSEND_SYNC:
        std::memcpy(s.Data, kSyncData, sizeof s.Data);
        break;
    case CANSEND_TIME:
        MakeTimeData(LastGetTime(), s.Data);
        break;
    case CANSEND_SDO:
        // Not given a node: it goes where the previous SDO request went.
        s.Node = cansendrcvarray != nullptr ? cansendrcvarray->Send[0].Node : 0;
        s.Data[0] = SDO_CMD_WRITE;
        s.Data[1] = uint8_t(index & 0xFF);
        s.Data[2] = uint8_t((index >> 8) & 0xFF);
        s.Data[3] = subindex;
        break;
    default:
        break;
    }
    return SendCanPacket(s);
}

int MakeCanSendSDOPacket(unsigned char node, unsigned char type, unsigned short index, unsigned char subindex,
                         const unsigned char *value, unsigned char size)
{
    CanSendSlot s = NewSlot(type);
    if (type == CANSEND_SDO) {
        s.Node = node;
        s.Data[0] = SDO_CMD_WRITE;
        s.Data[1] = uint8_t(index & 0xFF);
        s.Data[2] = uint8_t(index >> 8);
        s.Data[3] = subindex;
        if (value != nullptr)
            std::memcpy(s.Data + 4, value, size > 4 ? 4 : size);
        if (cansendrcvarray != nullptr)
            cansendrcvarray->Send[0].Node = node;
    }
    return SendCanPacket(s);
}
