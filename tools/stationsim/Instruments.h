// The serial instruments of a station as the texts they put on their lines:
// the serial sampling board (COM5), the GPS receiver (COM2), the pressure
// sensor (COM4), the visibility sensor (COM3), the weighing rain gauge
// (COM1), the snow-depth sensor (COM2) and the ultrasonic wind sensor
// (COM2 or COM3). Pure text builders, so tests check the exact bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Weather.h"

namespace stationsim {

// Readings of one serial-board frame, in the board's own units.
struct BoardReadings {
    double tempC = 0;        // T0
    double humidityTenths = 0;   // U in 0.1 %
    double grOutput = 0;     // global radiation sensor output, mV
    double leCurrentMa = 0;  // evaporation pan loop current, mA
    double windCount = 0;    // anemometer pulses
    double windDir = 0;      // degrees, or 0..2500 with the count scale
    double input7 = 0;       // door switch or second rain counter
    double rainTips = 0;     // bucket tips since the last frame
    double supplyMv = 0;
    double mact = 0;
    double windSub[8] = {};  // eight wind-speed sub-samples (pulses)
    double dirSub[2] = {};   // two wind-direction sub-samples
};

// The anemometer and evaporation-pan sensors turned around: the pulse count
// of a quarter second for a wind speed (the default coefficients 0.3 and
// 0.049), and the loop current in mA for a pan water level in mm.
int WindPulses(double windMs);
double PanCurrentMa(double levelMm);

// "2000 T U GR LE WS WD IN7 RAT V MACT\r\n", the board's integer frame.
std::string SerialBoardIntFrame(const BoardReadings &r);
// "GETSFDATA," twenty little-endian IEEE floats in hexadecimal, with the
// '*' and the byte-sum checksum in the middle: 177 characters and "\r\n".
std::string SerialBoardFloatFrame(const BoardReadings &r);
// The eight hexadecimal digits of a float as the board writes it.
std::string FloatHex(float v);

// NMEA sentences for a UTC time (seconds since the epoch), with checksums.
std::string GpsZda(int64_t utc);
std::string GpsRmc(int64_t utc, double latitude, double longitude);
// The XOR of the bytes between '$' and '*'.
uint8_t NmeaChecksum(std::string_view body);

// The pressure sensor's answer to its query.
std::string PressureReply(double hpa);
// The visibility sensor's message for its device type (0, 1 or 3); empty
// for types whose format this sensor does not speak.
std::string VisibilityMessage(int type, int oneMinute, int tenMinute);
// The weighing rain gauge's answer to "DMPR": date, time, the two amounts
// (0.1 mm) with status characters and three vibrating-wire frequencies.
std::string RainGaugeReply(const struct tm &local, int amount1, int amount2);
// The snow-depth sensor's answer to "GMSD": raw depth in mm at column 34,
// status at column 40.
std::string SnowDepthReply(double depthMm);
// One line of the ultrasonic wind sensor for device type 9 (NMEA), 10 or
// 11; empty for other types.
std::string UltrasonicWind(int type, double speedMs, double dirDeg);

// Mixes noise into a serial line: a few garbage bytes at random places
// (but never a line end, so the line still ends where it did).
std::string AddNoise(std::string line, uint32_t *rng);

} // namespace stationsim
