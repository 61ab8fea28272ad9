// The readers of the serial instruments: the terminal service hands them the
// lines that arrive on the instrument ports. The serial sampling board on
// COM5, the GPS on COM2, and the visibility, pressure, weighing rain gauge,
// snow-depth and ultrasonic wind sensors; plus the re-opening of a port
// whose instrument type changed.
#pragma once

#include <cstdint>
#include <ctime>

// ---- instrument watchdogs ---------------------------------------------------
// Seconds since the last good reading of the serial sampling board, the
// pressure sensor and the visibility sensor. The listener's one-second timer
// counts them up, the readers clear them.
extern volatile uint32_t g_uiChkTmr;
extern volatile uint32_t g_uiChkTmrP;
extern volatile uint32_t g_uiChkTmrVI;

// ---- what the readers need from the layers above -----------------------------
// An instrument may switch its own port to another device type, exactly as
// the matching terminal command would; and the serial sampling board asks
// for its configuration after a restart. Those routines live above this
// layer: start-up installs them. A missing one makes the request a no-op.
struct SerialUpcalls {
    int (*snowMode)(const char *param);   // SNOWMODE, device type of COM2
    int (*visiType)(const char *param);   // VISITYPE, COM3
    int (*airpType)(const char *param);   // AIRPTYPE, COM4
    int (*rawMode)(const char *param);    // RAWMODE, COM1
    int (*sampBoardInit)();               // configuration download to the serial sampling board
};
void SerialInstallUpcalls(const SerialUpcalls &calls);

// ---- serial sampling board (COM5) -----------------------------------------
// Integer text frames ("2000 ..."), 0 or -1.
int ProcessSampboard(const char *line);
// Hexadecimal float frames ("GETSFDATA ..."), 0 or -1.
int ProcessSampboardFloat(const char *line);
// Counts the frames of each minute into the reception log text (BJDATA).
void rcvlog();
// Reopens COM5 after a silence; retries a configuration download that
// failed; reboots after 16 silences in a row of a board once seen.
int ReinitSampBoard();

// ---- GPS (COM2) ---------------------------------------------------------------
constexpr int GPS_FIELDS = 36;
constexpr int GPS_FIELD_LEN = 24;
extern char gpstemp[GPS_FIELDS][GPS_FIELD_LEN];
// Splits text at separator (and ends at CR or LF) into gpstemp; returns the
// number of fields. A field over 23 characters ends the splitting, and so
// does the table's 36th field.
int DividGpsItem(const char *text, char separator);
// One line of the GPS port: a type switch, a snow-depth reply or a NMEA
// sentence that may correct the clock. 0 or -1.
int ReadGps(const char *line);
// Sets the system clock to t (seconds), then the shared copy of the time and
// the hardware clock, and tells the sampling boards while the CAN link is
// up. 0, or -1 when the clock could not be set.
int SetStationClock(time_t t);

// ---- other instruments ----------------------------------------------------------
// Visibility (COM3): 0 when a reading was stored, else -1.
int ReadVisibility(const char *line);
// Pressure (COM4): the sample, or -1 at every sixth error.
int ReadAirpress(const char *line);
// Weighing rain gauge (COM1): 0 or -1.
int ReadRainWeight(const char *line);
// Snow depth (via COM2 or COM1): 0 or -1.
int ReadSnowDepth(const char *line);
// Ultrasonic wind, device type 9, 10 or 11; length counts the terminator.
// 0 when stored, -1 when the line was refused.
int ProcessUltData(int type, const char *line, int length);

// Reopen a port with the line settings its device type now gives it.
int ReinitVisibility();
int ReinitAirp();
int ReinitSnowDepth();
int ReinitCom0();

// Back to the state of process start (counters, logs, pending download).
void SerialReadersReset();
