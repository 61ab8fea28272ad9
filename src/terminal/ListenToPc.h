// Process C: the terminal service.
#pragma once

int ListenToPc();
int Send2Pc();
