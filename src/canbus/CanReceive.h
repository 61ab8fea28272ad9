// Process A: reception of CAN frames, the receive ring, the board status
// records and the silence timers of the extension boards.
#pragma once

#include "core/CanRing.h"

// Installs OnCheckExtSmpTimer on a 1 s interval timer (process A, once).
int SetChecExtTimer();
void OnCheckExtSmpTimer(int signo);
// One step of process A: presence checks, up to 1 s wait for a frame, store
// it, convert, feed watchdog slot 2.
int RcvCanPacket();
// Stores canframeRev in the receive ring (overwrites when full).
int ProcessCanPkg();
// Resets the status record of one board (18, 3, 5, 6, 9, 12, 15, 16, 17).
// Called at start-up, by the minute process and by the silence checks.
int CanRcvInit(int node);
// Resets a timed extension board whose timer passed the limit (or that is
// not enabled) and marks its elements missing.
int ChkExtSmpStatus(volatile int &timer, int node, int limit);
