// The CAN link: socket set-up and the writing of one frame (SYNC, TIME and
// SDO requests). Process B's tick that sends them lives with the processes.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/Transplant.h"
#include "canbus/CanReceive.h"

// The raw CAN socket, opened once before the split; A reads, B, C, D write.
extern int fd_socket_can;

// Outbound packet types (type byte of a send slot).
enum CanSendType : uint8_t { CANSEND_SYNC = 1, CANSEND_TIME = 2, CANSEND_SDO = 13 };

// Identifiers of the outbound frames.
constexpr uint32_t CANID_SYNC = 0x080;
constexpr uint32_t CANID_TIME = 0x100;
constexpr uint32_t CANID_SDO_REQ = 0x600;   // + node; the older generation always uses node 1
constexpr uint8_t SDO_CMD_WRITE = 0x40;     // command byte of every SDO request we send
constexpr int CAN_BITRATE = 125000;

// Brings the interface up and opens the socket (both board generations).
int CanSocketInit();
// Newer board: takes channel canN down, configures it and opens the socket.
// Returns the descriptor.
int InitCan(int channel, int bitrate);
int CanEnable(int channel, int bitrate);
int CanDisable(int channel);

// The frame a send slot stands for. `generation` is the format-generation
// value (SDO identifiers), `lastId` the identifier of the previous frame of
// this process (used for a type byte that names no frame).
void MakeCanFrame(const CanSendSlot &slot, int generation, uint32_t lastId, TpCanFrame *frame);
// Writes the frame of `slot` to the CAN socket. Every sender builds its slot
// on its own stack, so frames of concurrent senders (B's tick, C's commands,
// D's clock correction) never mix; the shared slot only mirrors the last
// one. Returns 16, or -1 when the write failed or was short.
int SendCanPacket(const CanSendSlot &slot);

// Builds and sends a frame of type 1 (SYNC), 2 (TIME, from this process's
// last GetTime result) or 13 (SDO request with value 0, to the node of the
// previous SDO request). Returns SendCanPacket's result.
int MakeCanSendPacket(unsigned char type, int index, unsigned char subindex);
// SDO request to `node` carrying `size` (1, 2 or 4) little-endian value
// bytes. Any type other than 13 sends a cleared slot.
int MakeCanSendSDOPacket(unsigned char node, unsigned char type, unsigned short index, unsigned char subindex,
                         const unsigned char *value, unsigned char size);
// The 8 data bytes of a TIME frame for the broken-down time t (full year,
// month 1-12).
void MakeTimeData(const struct tm *t, uint8_t data[8]);
