#include "Boards.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Instruments.h"

namespace stationsim {

namespace {

int Centi(double v) { return int(std::lround(std::clamp(v * 100.0, -32767.0, 32766.0))); }

TpCanFrame Bytes(uint32_t id, const uint8_t (&d)[8]) { return Frame(id, d, 8); }

} // namespace

bool BoardByName(const char *name, Board *out)
{
    for (const BoardInfo &b : kBoards)
        if (std::strcmp(b.name, name) == 0) {
            *out = b.board;
            return true;
        }
    return false;
}

void CanBoards::SetFitted(const char *obValid, int len)
{
    for (const BoardInfo &b : kBoards)
        fitted_[int(b.board)] = b.board == Board::Main || (b.node < len && obValid[b.node] == '1');
}

void CanBoards::SetSensitivities(const float *s24)
{
    for (int i = 0; i < 24; ++i)
        sensi_[i] = s24[i];
}

int CanBoards::OnSync(const Sky &sky, double dt, TpCanFrame *out, int max)
{
    const uint32_t n = syncs_++;
    dt = std::clamp(dt, 0.0, 1.0);
    int count = 0;
    auto put = [&](const TpCanFrame &f) {
        if (count < max)
            out[count++] = f;
    };
    auto noise = [this](int spread) {
        rng_ = rng_ * 1103515245u + 12345u;
        return int((rng_ >> 16) % uint32_t(2 * spread + 1)) - spread;
    };
    const double rainMm = sky.rainMmH * dt / 3600.0;
    tips_ += rainMm / 0.1;   // one tip is 0.1 mm
    hourTips_ += rainMm / 0.1;
    secondAcc_ += rainMm;
    if (n % 4 == 0) {
        recentPos_ = (recentPos_ + 1) % 60;
        recentMm_[recentPos_] = secondAcc_;
        secondAcc_ = 0;
    }
    const int tempC = Centi(sky.tempC);
    const int boardTemp = Centi(sky.tempC + 5.0);

    // Main sampling board (node 18).
    if (Playing(Board::Main)) {
        put(MainWindSpeed(WindPulses(sky.windMs)));
        if (n % 4 == 0) {
            const int raw = degrees_ ? int(std::lround(sky.windDeg)) % 360
                                     : int(std::lround(sky.windDeg * 2500.0 / 360.0)) % 2500;
            put(MainWindDir(raw, degrees_, false));
            const int tips = int(tips_);
            tips_ -= tips;
            put(MainRain(tips, tips, boardTemp, 13600));
        }
        if (n % 8 == 0)
            put(MainTempHum(tempC, int(std::lround(sky.humidity * 100.0)),
                            int(std::lround(PanCurrentMa(sky.panMm) * 100.0))));
    }
    if (n % 8 != 2)
        return count;

    const auto id = [](uint32_t fn, Board b) { return fn + kBoards[int(b)].node; };
    if (Playing(Board::TempHum)) {
        put(Words(id(FN_TPDO1, Board::TempHum), tempC, 13600, boardTemp, 0));
        put(Words(id(FN_TPDO2, Board::TempHum), 0, 0, int(std::lround(sky.humidity)), 0));
    }
    if (Playing(Board::AirTemp)) {
        const int ch[4] = {tempC, tempC + 4, tempC - 3, tempC + 2};
        put(Words(id(FN_TPDO1, Board::AirTemp), ch[0], ch[1], ch[2], ch[3]));
        put(Words(id(FN_TPDO2, Board::AirTemp), int(std::lround(sky.humidity)), 0, 13600, boardTemp));
        put(Words(id(FN_TPDO3, Board::AirTemp), ch[0], ch[1], ch[2], ch[0]));
        const uint8_t d[8] = {uint8_t(tempC & 0xFF), uint8_t((tempC >> 8) & 0xFF), 1, 0, 0, 0, 0, 0};
        put(Bytes(id(FN_TPDO4, Board::AirTemp), d));
    }
    if (Playing(Board::Rain)) {
        double minute = 0;
        for (double mm : recentMm_)
            minute += mm;
        const auto tenths = uint8_t(std::min(255L, std::lround(minute * 10.0)));
        const uint8_t amounts[8] = {tenths, tenths, tenths, tenths, tenths, 0, 0, 0};
        put(Bytes(id(FN_TPDO1, Board::Rain), amounts));
        const auto hour = int(hourTips_) & 0x7FFF;
        const uint8_t qc[8] = {0, 0, 0, 0, 0, 0, uint8_t(hour & 0xFF), uint8_t(hour >> 8)};
        put(Bytes(id(FN_TPDO2, Board::Rain), qc));
        put(Words(id(FN_TPDO3, Board::Rain), 0, 0, 13600, boardTemp));
    }
    if (Playing(Board::Radiation)) {
        // A radiation word is W/m2 times the sensitivity over 10.
        auto raw = [this](double w, int s) { return int(std::lround(std::clamp(w * sensi_[s] / 10.0, -32767.0, 32767.0))); };
        const double longwaveIn = 300.0, longwaveOut = 380.0;
        put(Words(id(FN_TPDO1, Board::Radiation), raw(sky.global, 0), raw(sky.direct, 3), raw(sky.diffuse, 4),
                  raw(sky.reflected, 5)));
        put(Words(id(FN_TPDO2, Board::Radiation), raw(sky.uva, 7), raw(sky.uvb, 8), raw(longwaveIn, 9),
                  raw(longwaveOut, 10)));
        put(Words(id(FN_TPDO3, Board::Radiation), raw(sky.global * 0.45, 11), 0, 0, raw(sky.net, 2)));
        put(Words(id(FN_TPDO4, Board::Radiation), 13600, boardTemp, sky.sunshine ? 2000 : 0, 0));
    }
    if (Playing(Board::Earth)) {
        const double *st = sky.soilC;
        put(Words(id(FN_TPDO1, Board::Earth), Centi(sky.grassC), Centi(st[0]), 0, 0));
        put(Words(id(FN_TPDO2, Board::Earth), Centi(st[1]), Centi(st[2]), Centi(st[3]), Centi(st[4])));
        put(Words(id(FN_TPDO3, Board::Earth), Centi(st[5]), Centi(st[6]), Centi(st[7]), Centi(st[8])));
        put(Words(id(FN_TPDO4, Board::Earth), 13600, boardTemp, 0, 0));
    }
    if (Playing(Board::Climate)) {
        put(Words(id(FN_TPDO1, Board::Climate), tempC, tempC + 3, tempC - 2, 500 + noise(3)));
        put(Words(id(FN_TPDO2, Board::Climate), 1500 + noise(5), 1600 + noise(5), 1700 + noise(5), 0));
        put(Words(id(FN_TPDO3, Board::Climate), WindPulses(sky.windMs * 0.8), 0, 13600, boardTemp));
        put(Words(id(FN_TPDO4, Board::Climate), 100, 110, 120, 12500));
    }
    if (Playing(Board::Soil))
        put(Words(id(FN_TPDO3, Board::Soil), 13600, boardTemp, 0, 0));
    if (Playing(Board::Sea))
        put(Words(id(FN_TPDO1, Board::Sea), 0, 0, 0, 0));
    return count;
}

int CanBoards::Heartbeats(TpCanFrame *out, int max) const
{
    int count = 0;
    const uint8_t operational = 0x05;
    for (const BoardInfo &b : kBoards)
        if (Playing(b.board) && count < max)
            out[count++] = Frame(FN_HEARTBEAT + b.node, &operational, 1);
    return count;
}

} // namespace stationsim
