// The software watchdog with its error record, the hardware watchdog hooks,
// the reboot and the board generation.
#include "core/Main.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Mutex.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"

int g_HardwareCheck = 0;
volatile unsigned char *g_pSoftDog = nullptr;
int fd_watchdog = -1;

struct tm g_tmB;

namespace {

constexpr int SOFTDOG_SIZE = 8;

} // namespace

[[noreturn]] void RunReboot()
{
    TpSystem("reboot");
    // On the board the command ends us; a simulated reboot never returns
    // either. Should the command fail, wait for the end all the same.
    TpReboot();
}

// ---------------------------------------------------------------- watchdog

int SoftDogInit()
{
    int id = shmget(IPC_PRIVATE, SOFTDOG_SIZE, IPC_CREAT | 0666);
    void *p = id < 0 ? reinterpret_cast<void *>(-1) : shmat(id, nullptr, 0);
    if (id >= 0)
        TpReleasePrivateSegment(id);
    if (p == reinterpret_cast<void *>(-1)) {
        std::perror("shmget");
        std::printf("SoftDogINIT ERROR,errortime:%d\n", 1);
        RunReboot();
    }
    g_pSoftDog = static_cast<volatile unsigned char *>(p);
    for (int i = 0; i < SOFTDOG_SIZE; ++i)
        g_pSoftDog[i] = '1';
    return 0;
}

void SoftDogFeed(int slot)
{
    if (g_pSoftDog != nullptr && slot >= 0 && slot < SOFTDOG_SIZE)
        g_pSoftDog[slot] = 'a';
}

int CheckSoftDogFeed()
{
    for (int i = 0; i <= DOG_A; ++i)
        if (g_pSoftDog[i] != 'a')
            return -1;
    for (int i = 0; i < SOFTDOG_SIZE; ++i)
        g_pSoftDog[i] = 'b';
    return 0;
}

void RecordErrorReason()
{
    TpSystem("mkdir -p /mnt/cf/tempdata");
    char line[96];
    std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d %c %c %c\r\n", g_tmB.tm_year, g_tmB.tm_mon,
                  g_tmB.tm_mday, g_tmB.tm_hour, g_tmB.tm_min, g_tmB.tm_sec, g_pSoftDog[0], g_pSoftDog[1],
                  g_pSoftDog[2]);
    std::printf("%s", line);
    if (FILE *fp = TpFopen("/mnt/cf/tempdata/ErrorRec.TXT", "a+")) {
        std::fputs(line, fp);
        std::fclose(fp);
    }
    sync();
}


