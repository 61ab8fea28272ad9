// Arbitrary command lines through the parser and every handler they reach.
// First byte: bit 0 chooses a full link (COM0) or a restricted one (the LAN
// link); with bit 1 set the rest goes in as raw bytes from serial port
// (first byte / 4) % 6 instead, through the line assembly and the routing
// to the parser or the instrument readers.
#include "FuzzWorld.h"
#include "terminal/ListenToPc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::World();
    try {
        if (data[0] & 2) {
            int port = COM0 + (data[0] / 4) % COM_PORTS;
            SetCurrentReplyPort(port);
            UartRcvBytes(port, reinterpret_cast<const char *>(data + 1), int(size - 1));
            return 0;
        }
        bool full = (data[0] & 1) != 0;
        std::string line = fuzz::Line(data + 1, size - 1, LINE_BUF);
        int port = full ? COM0 : PORT_LAN;
        SetCurrentReplyPort(port);
        ProcessRxData(port, line.c_str(), full ? ACCESS_FULL : ACCESS_RESTRICTED);
    } catch (const fuzz::Rebooted &) {
    }
    return 0;
}
