// The simulated main sampling board (CAN node 18) on its own: answers each
// SYNC with its transmit PDOs from the weather model, as the whole
// simulator's boards do. For tests that play the bus themselves.
#pragma once

#include <cstring>

#include "Boards.h"
#include "Weather.h"

namespace stationsim {

class MainBoard {
public:
    static constexpr int kMaxReply = 4;

    MainBoard() { boards_.SetFitted("", 0); }

    // Fills out[] with the frames the board sends after one SYNC; `now` is
    // the logger's local time in seconds since the epoch. Returns the
    // number of frames.
    int OnSync(double now, TpCanFrame out[kMaxReply])
    {
        const double dt = last_ > 0 ? now - last_ : 0.25;
        last_ = now;
        return boards_.OnSync(weather_.At(now), dt, out, kMaxReply);
    }

private:
    Weather weather_{12345, 39.1675, 116.3739, false};
    CanBoards boards_;
    double last_ = 0;
};

} // namespace stationsim
