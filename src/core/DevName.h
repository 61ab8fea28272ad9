// Device names by board generation: the serial ports, the CAN interface and
// the CF card mount point.
#pragma once

// Device name table: indexes 0-5 the serial ports, 6 the CAN interface,
// 7 the CF card mount point.
extern char g_cDevName[8][30];

// Chooses the names (and g_HardwareCheck) by the kernel release.
int CheckKernelVerLoadDevName(char names[8][30]);
// Fills a name table with the older board's names, the table's contents
// before CheckKernelVerLoadDevName.
void UartDefaultDevNames(char names[8][30]);
