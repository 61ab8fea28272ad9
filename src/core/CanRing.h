// The shared segment `cansendrcvarray`: the outbound send slots (used by the
// polling, terminal and minute processes) and the inbound receive ring
// (process A), with the packet kinds and node numbers the converter reads
// and the silence timers of the extension boards. The segment is created
// with the others before the split; CAN reception fills it, conversion
// drains it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Transplant.h"

constexpr int CAN_SEND_SLOTS = 24;
constexpr int CAN_RCV_SLOTS = 100;
constexpr int CAN_SILENCE_LIMIT = 8;   // seconds an extension board may stay silent

// Inbound packet types, taken from the identifier's function bits.
enum CanPacketType : uint8_t {
    CANPKT_SYNC = 3,    // 0x080
    CANPKT_TPDO1 = 4,   // 0x180
    CANPKT_TPDO2 = 6,   // 0x280
    CANPKT_TPDO3 = 8,   // 0x380
    CANPKT_TPDO4 = 10,  // 0x480
    CANPKT_SDORSP = 12, // 0x580
    CANPKT_HEARTBEAT = 14, // 0x700
};

// Node numbers of the sampling boards.
enum CanNode : uint8_t {
    NODE_CLIM = 3, NODE_RADI = 5, NODE_EATH = 6, NODE_SOIL = 9, NODE_SEAA = 12,
    NODE_TERH = 15, NODE_TAIR = 16, NODE_RAIN = 17, NODE_MAIN = 18
};

#pragma pack(push, 1)

// One outbound frame description. Len counts the meaningful bytes after it,
// type byte included (9 for a full frame: DLC = Len - 1).
struct CanSendSlot {
    int32_t Unused;
    int32_t Len;
    uint8_t Type;       // 1 SYNC, 2 TIME, 13 SDO request
    uint8_t Data[8];
    uint8_t Node;       // destination of an SDO request
    uint8_t Spare[2];
};

// One received frame waiting for the converter.
struct CanRcvEntry {
    int32_t Valid;      // 1 pending, 0 consumed
    int32_t Len;        // always 10
    uint8_t Node;
    uint8_t Type;       // CanPacketType
    uint8_t Data[8];
    uint8_t Spare[2];
};

struct CanSendRcvRec {
    CanSendSlot Send[CAN_SEND_SLOTS];
    int32_t SendWrite;  // always 0: one frame at a time
    int32_t SendRead;
    CanRcvEntry Rcv[CAN_RCV_SLOTS];
    int32_t RcvWrite;   // 0-99, slot of the newest frame
    int32_t RcvRead;    // 0-99, slot of the last consumed frame
};

#pragma pack(pop)

static_assert(sizeof(CanSendSlot) == 20, "a send slot is 20 bytes");
static_assert(offsetof(CanSendSlot, Len) == 4);
static_assert(offsetof(CanSendSlot, Type) == 8);
static_assert(offsetof(CanSendSlot, Data) == 9);
static_assert(offsetof(CanSendSlot, Node) == 17);
static_assert(sizeof(CanRcvEntry) == 20, "a receive entry is 20 bytes");
static_assert(offsetof(CanRcvEntry, Node) == 8);
static_assert(offsetof(CanRcvEntry, Data) == 10);
static_assert(offsetof(CanSendRcvRec, SendWrite) == CAN_SEND_SLOTS * 20);
static_assert(offsetof(CanSendRcvRec, Rcv) == CAN_SEND_SLOTS * 20 + 8);
static_assert(sizeof(CanSendRcvRec) == CAN_SEND_SLOTS * 20 + 8 + CAN_RCV_SLOTS * 20 + 8);

// Private shared segment, created by ShareMemory before the split.
extern CanSendRcvRec *cansendrcvarray;

// The frame last read by process A.
extern TpCanFrame canframeRev;

// Silence timers of the extension boards, in seconds, ticked by process A's
// one-second SIGALRM and cleared by every packet handled from the board.
extern volatile int g_ChkTmrTARH;
extern volatile int g_ChkTmrEATH;
extern volatile int g_ChkTmrRADI;
extern volatile int g_ChkTmrTAIR;
extern volatile int g_ChkTmrTRAIN;
