// The serial port layer: device names by board generation, the port roles
// and line settings, and the routines that open and configure a port.
#pragma once

#include <termios.h>

#include "core/DevName.h"


// Port slots of UartDev.
enum UartSlot { SLOT_GPS = 0, SLOT_SAMPBOARD = 1, SLOT_COM1 = 2, SLOT_COM0 = 3,
                SLOT_VISIBILITY = 4, SLOT_AIRPRESS = 5 };

// Descriptors of the port roles as the listener knows them (-1 while the
// port is not open). They mirror the fd fields of UartDev in this process.
extern int fdgps;          // slot 0
extern int fdSampBoard;    // slot 1
extern int fdlistenpc;     // slot 2, COM1
extern int fdlistenpc_1;   // slot 3, COM0
extern int fdvisibility;   // slot 4
extern int fdairpress;     // slot 5

int UartInit();
int OpenDev(const char *path);
int set_speed(int fd, int speed);
int set_Parity(int fd, int databits, int stopbits, int parity);
// The attribute changes of set_Parity on a record: raw mode, character
// size, parity, stop bits, reads that return at once. Returns 1, or 0 with
// the refusal message for an unsupported value (the record is then
// partly changed and must not be applied).
int SetParityAttrs(struct termios *opt, int databits, int stopbits, int parity);

// Closes and opens one port slot again with the settings the parameters
// now give it (after a command changed an instrument type or port), using
// the device names chosen at start-up. Updates UartDev and the role
// descriptor. Returns the new descriptor, or -1 when the port could not be
// opened or the instrument type has no port settings.
int UartReopen(int slot);

