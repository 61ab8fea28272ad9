// Device names by board generation: the kernel release tells the older
// board (before 3.2) from the newer one.
#include "core/DevName.h"

#include <cstdio>
#include <cstdlib>

#include "core/Main.h"
#include "platform/Transplant.h"

namespace {

constexpr int DEV_NAME_LEN = 30;

// The older board's names are the table's initial contents; the newer
// board (kernel 3.2 and later) has the i.MX port names.
constexpr char kOldDevNames[8][DEV_NAME_LEN] = {"/dev/ttyS2", "/dev/ttyS3", "/dev/ttym2", "/dev/ttym0",
                                                "/dev/ttym1", "/dev/ttym3", "can0",      "/mnt/cf"};
constexpr char kNewDevNames[8][DEV_NAME_LEN] = {"/dev/ttymxc4", "/dev/ttymxc5", "/dev/ttymxc3",
                                                "/dev/ttymxc1", "/dev/ttymxc2", "/dev/ttymxc6",
                                                "can0",         "/mnt/cf"};

// Converts a version number text as atoi would, kept to 0-255 as the
// release fields are stored in a byte. Never overflows on long digit runs.
unsigned char VersionField(const char *text)
{
    return static_cast<unsigned char>(std::strtol(text, nullptr, 10));
}

} // namespace

char g_cDevName[8][30] = {"/dev/ttyS2", "/dev/ttyS3", "/dev/ttym2", "/dev/ttym0",
                          "/dev/ttym1", "/dev/ttym3", "can0",      "/mnt/cf"};

void UartDefaultDevNames(char names[8][30])
{
    for (int i = 0; i < 8; ++i)
        std::snprintf(names[i], DEV_NAME_LEN, "%.29s", kOldDevNames[i]);
}

int CheckKernelVerLoadDevName(char names[8][30])
{
    // Release texts are at most 64 characters ("4.1.15-1-g1234abc ...").
    char release[65] = {};
    if (TpKernelRelease(release, sizeof release) != 0)
        release[0] = '\0';

    // Each part is cut to its buffer; a text without dots leaves the later
    // parts empty, which reads as 0 and so as the older board.
    char major[16] = {};
    char minor[16] = {};
    char patch[32] = {};
    std::sscanf(release, "%15[^.].%15[^.].%31[^-]", major, minor, patch);
    unsigned char vMajor = VersionField(major);
    unsigned char vMinor = VersionField(minor);

    if (vMajor > 3 || (vMajor == 3 && vMinor >= 2)) {
        for (int i = 0; i < 8; ++i)
            std::snprintf(names[i], DEV_NAME_LEN, "%.29s", kNewDevNames[i]);
        g_HardwareCheck = 1;
    } else {
        g_HardwareCheck = 0;
    }
    std::printf("Version:%s.%s.%s %s\n", major, minor, patch, release);
    return 0;
}
