// The CAN sampling boards of a station: the main sampling board and the
// extension boards, each with the payloads and rhythm of its conversions.
// The boards answer the logger's SYNC with their transmit PDOs (the main
// board's wind speed with every SYNC, its other readings every fourth or
// eighth; an extension board's PDOs every eighth SYNC, two seconds), and
// send their heartbeats once a second on their own.
#pragma once

#include <cstdint>

#include "CanFrames.h"
#include "Weather.h"

namespace stationsim {

enum class Board : uint8_t { Main, Climate, Radiation, Earth, Soil, Sea, TempHum, AirTemp, Rain, Count };
constexpr int kBoardCount = int(Board::Count);

struct BoardInfo {
    Board board;
    uint8_t node;
    const char *name;   // as the console and the fault switches call it
};
constexpr BoardInfo kBoards[kBoardCount] = {
    {Board::Main, 18, "main"},     {Board::Climate, 3, "clim"},  {Board::Radiation, 5, "radi"},
    {Board::Earth, 6, "eath"},     {Board::Soil, 9, "soil"},     {Board::Sea, 12, "sea"},
    {Board::TempHum, 15, "tarh"},  {Board::AirTemp, 16, "tair"}, {Board::Rain, 17, "rain"},
};
// The board of a name; false when there is none.
bool BoardByName(const char *name, Board *out);

class CanBoards {
public:
    static constexpr int kMaxFrames = 48;

    // Which boards are fitted: the main board always; the others by the
    // sub-collector enable characters of the station parameters (position
    // = node number).
    void SetFitted(const char *obValid, int len);
    bool Fitted(Board b) const { return fitted_[int(b)]; }
    void SetSilent(Board b, bool silent) { silent_[int(b)] = silent; }
    bool Silent(Board b) const { return silent_[int(b)]; }
    bool Playing(Board b) const { return fitted_[int(b)] && !silent_[int(b)]; }

    // Radiation sensor sensitivities (24 entries, as the parameters hold
    // them), so the radiation board's raw words give the modelled W/m2.
    void SetSensitivities(const float *s24);
    // The main board's wind direction as whole degrees instead of the
    // 0..2500 scale.
    void SetDirectionInDegrees(bool on) { degrees_ = on; }

    // Frames after one SYNC; dt = seconds since the previous one (for the
    // rain counters). Returns the number written to out.
    int OnSync(const Sky &sky, double dt, TpCanFrame *out, int max);
    // Heartbeats of the playing boards.
    int Heartbeats(TpCanFrame *out, int max) const;

private:
    uint32_t syncs_ = 0;
    bool fitted_[kBoardCount] = {true};
    bool silent_[kBoardCount] = {};
    bool degrees_ = false;
    float sensi_[24] = {16.69f, 10.0f, -10.0f, 13.438f, 10, 10, 10, 10, 10, 10, 10, 10,
                        10,     10,    10,     10,      10, 10, 10, 10, 10, 10, 10, 10};
    double tips_ = 0;        // fractional bucket tips of the main board's counters
    double hourTips_ = 0;    // rain board: tips of the hour
    double recentMm_[60] = {};   // rain board: rain of the last 60 seconds, per second
    double secondAcc_ = 0;
    int recentPos_ = 0;
    uint32_t rng_ = 2024;
};

} // namespace stationsim
