// The simulated main sampling board (CAN node 18): answers each SYNC with
// its transmit PDOs, carrying slowly varying, plausible readings.
#pragma once

#include <cstdint>

#include "board/Transplant.h"

namespace stationsim {

class MainBoard {
public:
    // Fills out[] with the frames the board sends after one SYNC; `now` is
    // seconds since the epoch (the readings follow the time of day).
    // Returns the number of frames (at most kMaxReply).
    static constexpr int kMaxReply = 4;
    int OnSync(double now, TpCanFrame out[kMaxReply]);

    // Readings of the last reply, in the units of the frames.
    int TempCenti() const { return temp_; }
    int HumCenti() const { return hum_; }

private:
    uint32_t Noise();   // small deterministic jitter

    uint32_t syncs_ = 0;
    uint32_t rng_ = 12345;
    int temp_ = 0;
    int hum_ = 0;
};

} // namespace stationsim
