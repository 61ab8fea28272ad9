// Arbitrary blocks as read from the LAN socket: framed into a command or
// kept, never more.
#include "FuzzWorld.h"
#include "terminal/ListenToPc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::World();
    // A read never returns more than the block buffer holds.
    int n = size < size_t(LINE_BUF) ? int(size) : LINE_BUF;
    SetCurrentReplyPort(PORT_LAN);
    try {
        LanCommand(reinterpret_cast<const char *>(data), n);
    } catch (const fuzz::Rebooted &) {
    }
    return 0;
}
