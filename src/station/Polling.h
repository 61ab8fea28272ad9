// Process B's 250 ms tick and the serial queries it and the housekeeping
// loop send.
#pragma once

// Process B's timer.
int CanSendInit();
int set_timer();
int my_deltimer();
void OnTimer(int signo);
int LedFlash();
int CheckUartTimeOut();

// Queries to the serial instruments.
int QuerrySampBoard();
int QuerryAirP();
int QuerryRainWeight();
int QuerrySnowDepth();

// 1 when any of the eight CAN sub-collector flags of ObValid is '1'.
int AnySubCollectorEnabled();

// The tick's watchdog check: reboots once a process has stopped feeding its
// slot for about 25 s.
int IsNeedReboot();

// Hardware watchdog hooks, fed by the tick.
int HardDogInit();
int HardDogStart();
int HardDogFeed();
int HardDogStop();
