// What the instrument readers share among themselves (not for other layers).
#pragma once

#include <cstddef>

#include "serial/Instruments.h"

// The routines start-up installed (members may be null).
const SerialUpcalls &SerialUpcall();

// An instrument's own type-switch line ("AIRPTYPE 4"): the character at
// position at is handed to the device-type command as "d\n" when it is one
// of the accepted digits; anything else is ignored.
void SerialTypeSwitch(int (*command)(const char *), const char *line, std::size_t at, const char *accepted);

// Process-start state of each reader module.
void SampBoardReset();
void GpsReset();
void InstrumentsReset();
