// A weather model of one station, reproducible from a seed: the same seed,
// position and time always give the same weather, whatever else the
// simulator does in between. Time is the logger's local standard time
// (UTC + 8 h) as seconds since the epoch.
//
// The steady model gives fixed, round values for golden tests.
#pragma once

#include <cstdint>

namespace stationsim {

struct Sky {
    double tempC = 0;        // air temperature
    double humidity = 0;     // relative humidity, %
    double pressure = 0;     // station pressure, hPa
    double windMs = 0;       // wind speed at this second, gusts included
    double windDeg = 0;      // wind direction, 0..360
    double rainMmH = 0;      // rain rate, mm per hour
    double global = 0;       // global radiation, W/m2
    double direct = 0;       // direct radiation on a normal plane, W/m2
    double diffuse = 0;      // diffuse (scattered) radiation, W/m2
    double reflected = 0;    // reflected radiation, W/m2
    double net = 0;          // net radiation, W/m2 (negative at night)
    double uva = 0, uvb = 0; // ultraviolet, W/m2
    double sunElevation = 0; // degrees above the horizon
    bool sunshine = false;   // direct radiation above 120 W/m2
    double grassC = 0;       // grass (surface) temperature
    double soilC[9] = {};    // surface and soil temperatures ST0..ST8, deeper ones lag
    double visibilityM = 0;
    double snowCm = 0;
    double panMm = 0;        // evaporation pan water level, mm
};

class Weather {
public:
    // Latitude and longitude in degrees (north and east positive).
    Weather(uint32_t seed, double latitude, double longitude, bool steady);

    Sky At(double localSeconds) const;

    // Degrees from the "DD.MM.SS" text of the station parameters; 0 when the
    // text is not such a value.
    static double Degrees(const char *dms);

    bool Steady() const { return steady_; }

private:
    // Smooth noise in -1..1 along t (in units of its time scale), one
    // independent curve per channel.
    double Noise(int channel, double t) const;

    uint32_t seed_;
    double lat_, lon_;
    bool steady_;
};

} // namespace stationsim
