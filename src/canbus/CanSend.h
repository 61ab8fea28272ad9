// The CAN link and the polling process B: the 250 ms tick, outbound frames
// and the serial queries.
#pragma once

extern int fd_socket_can;

int CanSocketInit();
int CanSendInit();
int set_timer();
int my_deltimer();
void OnTimer(int signo);
int LedFlash();
int MakeCanSendPacket(unsigned char type, int index, unsigned char subindex);
int QuerrySampBoard();
int QuerryAirP();
