// Start-up, the process split, the software watchdog and the housekeeping
// loop of process B.
#pragma once

// The program: start-up, then the split into the four processes.
int KomainMain(int argc, char **argv);
int SystemInit();

// Software watchdog. Slot 0 is fed by process D, 1 by C, 2 by A.
enum SoftDogSlot { DOG_D = 0, DOG_C = 1, DOG_A = 2 };
int SoftDogInit();
void SoftDogFeed(int slot);
int CheckSoftDogFeed();
int IsNeedReboot();
void RecordErrorReason();
int HardDogInit();
int HardDogStart();
int HardDogFeed();
int HardDogStop();
extern volatile unsigned char *g_pSoftDog;
extern int fd_watchdog;

void sig_exit(int signo);
int RecordBootTime();
int SystemIpSet();
int Change2WorkSpace();
int CheckUpgrade();

// The housekeeping loop of process B (never returns) and one pass of it.
// The memories start at -1, so a start inside a window acts at once.
struct HousekeepingState {
    int lastSec = -1;
    int lastMin = -1;
    int lastDay = -1;
    int lastHour = -1;
};
void HousekeepingLoop();
void HousekeepingPass(HousekeepingState &st);
// The minimal loop of a process whose subsystem is not built yet: feeds its
// watchdog slot once a second.
[[noreturn]] void IdleProcessLoop(int slot);

// Asks for a reboot: runs the board's "reboot" command.
[[noreturn]] void RunReboot();

// Hardware generation: 0 older board, 1 newer board.
extern int g_HardwareCheck;
