#include "MainBoard.h"

#include <cmath>

#include "CanFrames.h"

namespace stationsim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDay = 86400.0;

// Which PDOs follow which SYNC: wind speed every SYNC (four a second), wind
// direction and rain once a second, temperature, humidity and evaporation
// every two seconds.
constexpr uint32_t kDirEvery = 4;
constexpr uint32_t kRainEvery = 4;
constexpr uint32_t kTempEvery = 8;

} // namespace

uint32_t MainBoard::Noise()
{
    rng_ = rng_ * 1103515245u + 12345u;
    return (rng_ >> 16) & 0x7FFF;
}

int MainBoard::OnSync(double now, TpCanFrame out[kMaxReply])
{
    const uint32_t n = syncs_++;
    const double day = std::fmod(now, kDay) / kDay;           // 0..1 through the day
    const double warm = std::sin(2 * kPi * (day - 0.375));    // warmest in the afternoon
    int count = 0;

    // Gusty wind around 3 m/s: the pulse count of a quarter second.
    const double gust = 1.0 + 0.3 * std::sin(2 * kPi * now / 37.0);
    out[count++] = MainWindSpeed(int(25 * gust) + int(Noise() % 5));

    if (n % kDirEvery == 0) {
        // Direction wanders slowly around south-west (0-2500 scale).
        const double deg = 225.0 + 30.0 * std::sin(2 * kPi * now / 600.0) + double(Noise() % 9) - 4.0;
        out[count++] = MainWindDir(int(deg * 2500.0 / 360.0), false, false);
    }
    if (n % kTempEvery == 0) {
        temp_ = int(1500 + 600 * warm) + int(Noise() % 5) - 2;
        hum_ = int(6500 - 2000 * warm) + int(Noise() % 11) - 5;
        // Evaporation pan: about 50 mm of water, a loop current near 12 mA.
        const int le = 1200 + int(Noise() % 3);
        out[count++] = MainTempHum(temp_, hum_, le);
    }
    if (n % kRainEvery == 0) {
        // An occasional tip of the bucket (about one in two minutes).
        const int tip = (Noise() % 120) == 0 ? 1 : 0;
        out[count++] = MainRain(tip, 0, temp_ + 300, 13500 + int(Noise() % 50));
    }
    return count;
}

} // namespace stationsim
