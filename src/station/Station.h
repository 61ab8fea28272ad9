// The program: start-up in its order, then the split into the four
// processes A (CAN receiver), B (polling and housekeeping), C (terminal
// service) and D (minute cycle).
#pragma once

int KomainMain(int argc, char **argv);
int SystemInit();

void sig_exit(int signo);
int RecordBootTime();
int SystemIpSet();
int Change2WorkSpace();
int CheckUpgrade();

// Creates, attaches and initialises the private segments of every
// subsystem, in their order. Returns the number of failed creations (0 on
// success); on failure it has already asked for a reboot.
int ShareMemory();

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
