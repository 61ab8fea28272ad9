#include "Weather.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace stationsim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDay = 86400.0;
// The logger keeps local standard time, UTC + 8 h.
constexpr double kLocalOffset = 8 * 3600.0;

uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Saturation vapour pressure over water (Magnus), hPa.
double Ew(double t) { return 6.112 * std::exp(17.62 * t / (243.12 + t)); }

} // namespace

Weather::Weather(uint32_t seed, double latitude, double longitude, bool steady)
    : seed_(seed), lat_(latitude), lon_(longitude), steady_(steady)
{
}

double Weather::Degrees(const char *dms)
{
    int d = 0, m = 0, s = 0;
    if (dms == nullptr || std::sscanf(dms, "%d.%d.%d", &d, &m, &s) < 1)
        return 0;
    const double sign = dms[0] == '-' ? -1 : 1;
    return sign * (std::abs(d) + m / 60.0 + s / 3600.0);
}

double Weather::Noise(int channel, double t) const
{
    const double f = std::floor(t);
    const auto i = int64_t(f);
    auto at = [&](int64_t k) {
        const uint64_t h = Mix(Mix(uint64_t(seed_) * 1000003u + uint64_t(channel)) ^ uint64_t(k));
        return double(h >> 11) / double(1ull << 53) * 2.0 - 1.0;
    };
    const double u = t - f;
    const double s = u * u * (3 - 2 * u);
    return at(i) + (at(i + 1) - at(i)) * s;
}

Sky Weather::At(double local) const
{
    Sky k;
    if (steady_) {
        k.tempC = 20.0;
        k.humidity = 50.0;
        k.pressure = 1000.0;
        k.windMs = 5.2;   // exactly 100 pulses a quarter second on the main board's anemometer
        k.windDeg = 180.0;
        k.global = 500.0;
        k.direct = 600.0;
        k.diffuse = 100.0;
        k.reflected = 100.0;
        k.net = 300.0;
        k.uva = 20.0;
        k.uvb = 1.0;
        k.sunElevation = 45.0;
        k.sunshine = true;
        k.grassC = 20.0;
        for (double &s : k.soilC)
            s = 15.0;
        k.visibilityM = 10000;
        k.panMm = 50.0;
        return k;
    }

    // The sun: declination by day of year, hour angle by solar time.
    const double utc = local - kLocalOffset;
    const auto secs = time_t(std::floor(utc));
    struct tm g {};
    gmtime_r(&secs, &g);
    const int yday = g.tm_yday + 1;
    const double utcHours = std::fmod(utc, kDay) / 3600.0;
    const double solarHours = std::fmod(utcHours + lon_ / 15.0 + 48.0, 24.0);
    const double decl = 23.44 * kPi / 180 * std::sin(2 * kPi * (284 + yday) / 365.0);
    const double phi = lat_ * kPi / 180;
    const double hourAngle = (solarHours - 12.0) * 15.0 * kPi / 180;
    const double sinElev = std::sin(phi) * std::sin(decl) + std::cos(phi) * std::cos(decl) * std::cos(hourAngle);
    k.sunElevation = std::asin(std::clamp(sinElev, -1.0, 1.0)) * 180 / kPi;

    // Showers come out of the cloudier spells.
    const double shower = Noise(11, local / 2400.0);
    k.rainMmH = shower > 0.45 ? (shower - 0.45) * 40.0 : 0.0;
    const double cloud = k.rainMmH > 0 ? 1.0 : std::clamp(0.45 + 0.55 * Noise(1, local / 5400.0), 0.0, 1.0);

    if (sinElev > 0.01) {
        k.direct = 950.0 * std::exp(-0.14 / sinElev) * (1.0 - 0.9 * cloud);
        k.diffuse = sinElev * (80.0 + 180.0 * cloud * (1.0 - cloud)) + 20.0 * sinElev;
        k.global = k.direct * sinElev + k.diffuse;
        k.uva = k.global * 0.045;
        k.uvb = k.global * 0.0022;
    }
    k.sunshine = k.direct > 120.0;
    k.reflected = 0.22 * k.global;

    // Temperature: a seasonal mean, a daily cycle warmest at 15 h solar
    // time and smaller under cloud, slow weather swings, rain cooling.
    const double north = lat_ >= 0 ? 1.0 : -1.0;
    const double seasonal = 25.0 - 0.45 * std::fabs(lat_) + 10.0 * north * std::cos(2 * kPi * (yday - 200) / 365.0);
    const double amplitude = 6.0 * (1.0 - 0.5 * cloud);
    const double mean = seasonal + 3.0 * Noise(2, local / (2 * kDay));
    k.tempC = mean + amplitude * std::cos(2 * kPi * (solarHours - 15.0) / 24.0) + 0.3 * Noise(3, local / 600.0) -
              (k.rainMmH > 0 ? 2.0 : 0.0);

    // Humidity follows the temperature: the dew point moves slowly, so the
    // afternoon is dry and the night humid; rain saturates the air.
    const double dew = std::min(mean - 4.0 + 2.5 * Noise(4, local / kDay) + (k.rainMmH > 0 ? 3.0 : 0.0), k.tempC);
    k.humidity = std::clamp(100.0 * Ew(dew) / Ew(k.tempC), 15.0, 100.0);

    k.pressure = 1001.0 + 8.0 * Noise(5, local / (3 * kDay)) + 0.6 * std::cos(4 * kPi * solarHours / 24.0);

    // Gusty wind: a mean that changes over hours, gusts of seconds, a
    // direction that wanders.
    const double meanWind = std::max(0.3, 3.0 + 2.0 * Noise(6, local / 10800.0) + (k.rainMmH > 0 ? 1.5 : 0.0));
    const double gust = 1.0 + 0.35 * Noise(7, local / 8.0) + 0.15 * Noise(8, local / 2.0);
    k.windMs = std::max(0.0, meanWind * gust);
    k.windDeg = std::fmod(225.0 + 70.0 * Noise(9, local / 7200.0) + 15.0 * Noise(10, local / 20.0) + 720.0, 360.0);

    // Net radiation: the absorbed sun minus the long-wave loss.
    k.net = k.global - k.reflected - (60.0 - 40.0 * cloud);

    // Ground: the grass warms in the sun and cools under a clear night sky;
    // deeper layers swing less and later.
    k.grassC = k.tempC + k.global / 120.0 - (sinElev <= 0 ? 2.5 * (1.0 - cloud) : 0.0);
    static constexpr double kDepthCm[9] = {0, 5, 10, 15, 20, 40, 80, 160, 320};
    for (int i = 0; i < 9; ++i) {
        const double d = kDepthCm[i];
        k.soilC[i] = seasonal + 1.0 + 1.5 * amplitude * std::exp(-d / 15.0) *
                                          std::cos(2 * kPi * (solarHours - 15.0 - 0.25 * d) / 24.0);
    }

    const double haze = std::max(0.0, (k.humidity - 60.0) / 40.0);
    k.visibilityM = std::max(200.0, 30000.0 * (1.0 - 0.6 * haze) / (k.rainMmH > 0 ? 3.0 : 1.0));
    k.snowCm = seasonal < 0 ? std::max(0.0, 10.0 + 2.0 * Noise(12, local / kDay)) : 0.0;

    // The observer fills the pan at 20 h; it loses about 3 mm a day.
    const double localHours = std::fmod(local, kDay) / 3600.0;
    k.panMm = 60.0 - 3.0 * std::fmod(localHours + 4.0, 24.0) / 24.0;
    return k;
}

} // namespace stationsim
