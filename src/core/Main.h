// The software watchdog, the hardware watchdog hooks, the reboot and the
// board generation: what every process and layer may need of the runtime.
#pragma once

#include <ctime>

// Software watchdog. Slot 0 is fed by process D, 1 by C, 2 by A.
enum SoftDogSlot { DOG_D = 0, DOG_C = 1, DOG_A = 2 };
int SoftDogInit();
void SoftDogFeed(int slot);
int CheckSoftDogFeed();
void RecordErrorReason();
extern volatile unsigned char *g_pSoftDog;
extern int fd_watchdog;

// The time as last read by process B's housekeeping loop; the watchdog's
// error record carries it.
extern struct tm g_tmB;

// Asks for a reboot: runs the board's "reboot" command.
[[noreturn]] void RunReboot();

// Hardware generation: 0 older board, 1 newer board.
extern int g_HardwareCheck;
