// Arbitrary lines from the instrument ports through each reader; the first
// byte chooses the reader (and the ultrasonic type).
#include "FuzzWorld.h"
#include "serial/Instruments.h"
#include "terminal/ListenToPc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    fuzz::World();
    std::string line = fuzz::Line(data + 1, size - 1, LINE_BUF);
    const char *s = line.c_str();
    try {
        switch (data[0] % 7) {
        case 0: ProcessSampboard(s); break;
        case 1: ProcessSampboardFloat(s); break;
        case 2: ReadGps(s); break;
        case 3: ReadVisibility(s); break;
        case 4: ReadAirpress(s); break;
        case 5: ReadRainWeight(s); break;
        default: ProcessUltData(data[0] / 7 % 4, s, int(line.size())); break;
        }
    } catch (const fuzz::Rebooted &) {
    }
    return 0;
}
