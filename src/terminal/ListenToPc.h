// Process C: the terminal service. The listener assembles lines from the six
// serial ports and routes them to the command parser or to the instrument
// readers; the LAN thread keeps the TCP link to the central computer. Every
// command handler answers through the reply ring, which the housekeeping
// tick and the LAN thread drain to the port the command came from.
#pragma once

#include <cstddef>
#include <cstdint>

// Port numbers: COM0-COM5 name the serial ports everywhere, 8 the LAN link.
enum TermPort { PORT_NONE = -1, COM0 = 0, COM1, COM2, COM3, COM4, COM5, PORT_LAN = 8 };
constexpr int COM_PORTS = 6;
// Access levels of ProcessRxData.
enum TermAccess { ACCESS_RESTRICTED = 8, ACCESS_FULL = 9 };
// LAN link states (first word of the Lan segment).
enum LanState { LAN_DOWN = 0, LAN_CLOSE = 1, LAN_UP = 2 };

constexpr int SEND2PC_SLOTS = 64;
constexpr int SEND2PC_LEN = 2048;
constexpr int CMD_WORD_MAX = 27;     // a command word this long is refused
constexpr int CMD_PARAM_MAX = 99;    // longest parameter text
constexpr int LINE_BUF = 512;        // serial line buffer and LAN block

#pragma pack(push, 1)
// The reply ring (shared segment send2PCarray). Zero at creation: both
// indexes start at 0, so slot 0 is filled last of the first round.
struct Send2PcRec {
    char Text[SEND2PC_SLOTS][SEND2PC_LEN];
    int32_t Len[SEND2PC_SLOTS];
    int32_t WriteIdx;                    // slot last filled
    int32_t ReadIdx;                     // slot last sent
    int32_t Ready[SEND2PC_SLOTS];        // 1 = waiting to be sent
    int32_t Dest[SEND2PC_SLOTS];         // reply port of the command
};
#pragma pack(pop)
static_assert(sizeof(Send2PcRec) == SEND2PC_SLOTS * SEND2PC_LEN + 3 * 4 * SEND2PC_SLOTS + 8);
static_assert(offsetof(Send2PcRec, WriteIdx) == SEND2PC_SLOTS * SEND2PC_LEN + 4 * SEND2PC_SLOTS);

extern Send2PcRec *send2PCarray;

// ---- listener
int ListenToPc();
int ProcessRcvString(const char *line, int length, int port);
int UartDataSave(int port, const char *line);
int PWD10_Mode_Set();
// Appends the bytes of one read from a port to its line buffer and hands
// on each completed line.
void UartRcvBytes(int port, const char *bytes, int n);
// UartDev slot of a port number, -1 for none.
int PortSlot(int port);
// Descriptor of a serial port in this process, -1 when closed.
int PortFd(int port);

// ---- parser and dispatch
int ProcessRxData(int port, const char *line, int access);
int ProcessCommand(const char *word);
int ExecutCommand(int index, const char *parameter);
// The access rule of the LAN link and the second terminals: whether the
// command of this index may run with this parameter on the port.
bool CommandAdmitted(int port, int index, const char *param);
// Element row 0-79 whose code is exactly code, else -1.
int FindElementCode(const char *code);

// The fixed reply texts: accepted, refused, and the frame of a value in the
// newer replies (an empty start, the line end).
inline constexpr char g_cTrueStr[] = "T\r\n";
inline constexpr char g_cFalseStr[] = "F\r\n";
inline constexpr char g_cStartStr[] = "";
inline constexpr char g_cEndStr[] = "\r\n";

// ---- reply ring
int PrePareSend2Pc(const char *text);
// Queues len bytes (cut at SEND2PC_LEN).
int PrePareSend2PcLen(const char *text, int len);
int Send2Pc();
// The reply port of the command this thread is executing (-1 none).
int CurrentReplyPort();
void SetCurrentReplyPort(int port);
// For long answers: returns once the ring has room for one more text,
// draining it from this process when the regular drain falls behind.
void Send2PcWaitRoom();
// Texts queued and not yet sent.
int Send2PcPending();
// Sends the texts at the head of the ring that are for the LAN link (only
// the process that owns the link can); returns how many.
int Send2PcLanDrain();

// ---- LAN link
void *CheckLanState(void *);
int ClinetCreateAndConnect(const char *ip, int port);
int MakeSocketNonBlocking(int fd);
// Handles one block of n bytes read from the link: kept for the status
// commands, and run as a restricted command once it ends a line.
void LanCommand(const char *block, int n);
// The LAN socket of this process (-1 when none).
int LanSocket();
// Marks this process as the owner of the LAN link: it sends (or, without a
// connection, drops) the LAN replies; other processes leave them.
void SetLanOwner();
