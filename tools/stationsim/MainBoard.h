// The simulated main sampling board (CAN node 18): answers each SYNC with
// its transmit PDOs, carrying slowly varying, plausible readings.
//
// Header only, so the tests drive the same board as the simulator.
#pragma once

#include <cmath>
#include <cstdint>

#include "CanFrames.h"

namespace stationsim {

class MainBoard {
public:
    static constexpr int kMaxReply = 4;

    // Fills out[] with the frames the board sends after one SYNC; `now` is
    // seconds since the epoch (the readings follow the time of day).
    // Returns the number of frames.
    int OnSync(double now, TpCanFrame out[kMaxReply])
    {
        const uint32_t n = syncs_++;
        const double day = std::fmod(now, kDay) / kDay;          // 0..1 through the day
        const double warm = std::sin(2 * kPi * (day - 0.375));   // warmest in the afternoon
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
            out[count++] = MainTempHum(temp_, hum_, 1200 + int(Noise() % 3));
        }
        if (n % kRainEvery == 0) {
            // An occasional tip of the bucket (about one in two minutes).
            const int tip = (Noise() % 120) == 0 ? 1 : 0;
            out[count++] = MainRain(tip, 0, temp_ + 300, 13500 + int(Noise() % 50));
        }
        return count;
    }

    // Readings of the last temperature frame (0.01 degC, 0.01 %).
    int TempCenti() const { return temp_; }
    int HumCenti() const { return hum_; }

private:
    static constexpr double kPi = 3.14159265358979323846;
    static constexpr double kDay = 86400.0;
    // Wind speed follows every SYNC (four a second), wind direction and rain
    // once a second, temperature, humidity and evaporation every two seconds.
    static constexpr uint32_t kDirEvery = 4;
    static constexpr uint32_t kRainEvery = 4;
    static constexpr uint32_t kTempEvery = 8;

    // Small deterministic jitter.
    uint32_t Noise()
    {
        rng_ = rng_ * 1103515245u + 12345u;
        return (rng_ >> 16) & 0x7FFF;
    }

    uint32_t syncs_ = 0;
    uint32_t rng_ = 12345;
    int temp_ = 0;
    int hum_ = 0;
};

} // namespace stationsim
