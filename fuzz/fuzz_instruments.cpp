// Arbitrary lines from the instrument ports through each reader; the first
// byte chooses the reader (and the ultrasonic type). The sampling board's
// reply to a configuration download is read from its port, so that case
// hands the bytes over through a pipe standing in for COM5.
#include <fcntl.h>
#include <unistd.h>

#include "FuzzWorld.h"
#include "core/ShareMem.h"
#include "serial/Instruments.h"
#include "serial/UartSet.h"
#include "station/BoardDownload.h"
#include "terminal/ListenToPc.h"

namespace {

// The board's reply, closed behind the bytes so that the reader sees the end
// at once instead of waiting out its second.
int SampBoardReply(const uint8_t *data, size_t size)
{
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0)
        return -1;
    if (size > 4096)   // within a pipe's buffer, written without blocking
        size = 4096;
    if (size > 0 && write(p[1], data, size) != ssize_t(size)) {
        close(p[0]);
        close(p[1]);
        return -1;
    }
    close(p[1]);
    UartDev->Port[SLOT_SAMPBOARD].fd = p[0];
    int r = CheckSampBoardInit();
    UartDev->Port[SLOT_SAMPBOARD].fd = -1;
    close(p[0]);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::World();
    std::string line = fuzz::Line(data + 1, size - 1, LINE_BUF);
    const char *s = line.c_str();
    try {
        switch (data[0] % 9) {
        case 0: ProcessSampboard(s); break;
        case 1: ProcessSampboardFloat(s); break;
        case 2: ReadGps(s); break;
        case 3: ReadVisibility(s); break;
        case 4: ReadAirpress(s); break;
        case 5: ReadRainWeight(s); break;
        case 6: ReadSnowDepth(s); break;
        case 7: SampBoardReply(data + 1, size - 1); break;
        // The ultrasonic sensor's device types are 9, 10 and 11.
        default: ProcessUltData(9 + data[0] / 9 % 3, s, int(line.size())); break;
        }
    } catch (const fuzz::Rebooted &) {
    }
    return 0;
}
