// Functions of other subsystems that the terminal service calls: the
// instrument readers that take the lines of the serial ports, the calendar
// check of the setup commands and the CF card checks of the removable media.
#pragma once

int ProcessSampboard(const char *line);
int ProcessSampboardFloat(const char *line);
int ReadGps(const char *line);
int ReadVisibility(const char *line);
int ReadAirpress(const char *line);
int ReadRainWeight(const char *line);
int ProcessUltData(int type, const char *line, int length);

// 1 for a date that exists (years 1970-2030), else -1.
int CheckDateValid(int year, int month, int day);

int CheckCfMounted();
int CheckCfCardStatusAndMount();
