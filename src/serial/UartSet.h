// The serial port layer: device names by board generation, the port roles
// and line settings, and the routines that open and configure a port.
#pragma once

// Device name table: indexes 0-5 the serial ports, 6 the CAN interface,
// 7 the CF card mount point.
extern char g_cDevName[8][30];

// Port slots of UartDev.
enum UartSlot { SLOT_GPS = 0, SLOT_SAMPBOARD = 1, SLOT_COM1 = 2, SLOT_COM0 = 3,
                SLOT_VISIBILITY = 4, SLOT_AIRPRESS = 5 };

int CheckKernelVerLoadDevName(char names[8][30]);
int UartInit();
int OpenDev(const char *path);
int set_speed(int fd, int speed);
int set_Parity(int fd, int databits, int stopbits, int parity);
