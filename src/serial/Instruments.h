// The readers of the serial instruments: the terminal service hands them the
// lines that arrive on the instrument ports.
#pragma once

int ProcessSampboard(const char *line);
int ProcessSampboardFloat(const char *line);
int ReadGps(const char *line);
int ReadVisibility(const char *line);
int ReadAirpress(const char *line);
int ReadRainWeight(const char *line);
int ProcessUltData(int type, const char *line, int length);
