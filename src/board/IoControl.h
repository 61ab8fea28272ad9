// Board signals: run and CF LEDs, CF card and Ethernet power, the mode and
// direction of the two switchable serial ports, the beeper. The older board
// drives them through the "/dev/at91_led" device, the newer one through GPIO
// lines; callers see one set of operations.
#pragma once

int IoControlInit();
int LedRunOn();
int LedRunOff();
int LedCfOn();
int LedCfOff();
int LanPowerOn();
int LanPowerOff();
int NetPowerOn();
int NetPowerOff();
int Rs485SendEnable(unsigned char port);
int Rs485RecvEnable(unsigned char port);
int CfCardPowerOn();
int CfCardPowerOff();
int LedUnInit();
// Older board: the device's answer to the CF card detection request, 0 card
// inserted, 1 card out, anything else when the device did not answer.
int CfDetectRequest();
int LPC2368PowerOn();
int LPC2368PowerOff();
int RelayIoOutHigh();
int RelayIoOutLow();
int ReadDoorStatus();

// The older board's device descriptor (-1 while not open).
extern int fdLed;

// Newer-board primitives.
extern const int g_arriPin[10];
int InitGpio();
int ExportGpio(int line);
int UnExportGpio(int line);
int SetDirection(int line, const char *dir);
int SetGpioHigh(int line);
int SetGpioLow(int line);

// Newer-board signal operations, one GPIO line each.
int EnableRS232_1();
int DisableRS232_1();
int EnableRS485_1();
int DisableRS485_1();
int EnableRS232_2();
int DisableRS232_2();
int EnableRS485_2();
int DisableRS485_2();
int EnableRS485_1Recv();
int DisableRS485_1Recv();
int EnableRS485_2Recv();
int DisableRS485_2Recv();
int CpuLedPowerOn();
int CpuLedPowerOff();
int CfLedPowerOn();
int CfLedPowerOff();
int BeepPowerOn();
int BeepPowerOff();
int CfPowerOn();
int CfPowerOff();

// 1 once the housekeeping process runs its 250 ms timer (a plain sleep
// would then be cut short by the timer signal).
extern volatile int g_SignalAlarmUsedFlag;
