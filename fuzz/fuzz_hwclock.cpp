// Arbitrary hardware clock text: parsed or refused, never more.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "core/MyTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The logger reads at most 127 characters of the line.
    char line[128];
    size_t n = size < sizeof line - 1 ? size : sizeof line - 1;
    std::memcpy(line, data, n);
    line[n] = '\0';
    struct tm hw;
    ParseHwclockText(line, 1, &hw);
    return 0;
}
