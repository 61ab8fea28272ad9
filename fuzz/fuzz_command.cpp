// Arbitrary command lines through the parser and every handler they reach,
// on a full link (COM0) and on a restricted one (the LAN link).
#include "FuzzWorld.h"
#include "terminal/ListenToPc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::World();
    bool full = (data[0] & 1) != 0;
    std::string line = fuzz::Line(data + 1, size - 1, LINE_BUF);
    int port = full ? COM0 : PORT_LAN;
    SetCurrentReplyPort(port);
    try {
        ProcessRxData(port, line.c_str(), full ? ACCESS_FULL : ACCESS_RESTRICTED);
    } catch (const fuzz::Rebooted &) {
    }
    return 0;
}
