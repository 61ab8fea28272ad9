// Frames of the sampling boards as they travel on the simulated CAN bus, and
// the one text form of a frame used everywhere (logs, scripts, golden
// files): the candump log line
//     (1712345678.123456) can0 192#0102030405060708
// so that a bus recorded on a station with "candump -l" replays unchanged.
//
// Header only, so the tests build the same frames as the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <sys/time.h>

#include "platform/Transplant.h"

namespace stationsim {

// CANopen function codes (identifier bits 7-10) and broadcast identifiers.
constexpr uint32_t FN_TPDO1 = 0x180;
constexpr uint32_t FN_TPDO2 = 0x280;
constexpr uint32_t FN_TPDO3 = 0x380;
constexpr uint32_t FN_TPDO4 = 0x480;
constexpr uint32_t FN_HEARTBEAT = 0x700;
constexpr uint32_t ID_SYNC = 0x080;
constexpr uint32_t ID_TIME = 0x100;
constexpr uint8_t NODE_MAIN_BOARD = 18;

// A frame of dlc bytes from an identifier and up to eight data bytes.
inline TpCanFrame Frame(uint32_t id, const uint8_t *data, int dlc)
{
    TpCanFrame f {};
    if (dlc < 0)
        dlc = 0;
    if (dlc > 8)
        dlc = 8;
    f.can_id = id;
    f.can_dlc = uint8_t(dlc);
    if (data != nullptr)
        std::memcpy(f.data, data, size_t(dlc));
    return f;
}

// A full frame of four little-endian 16-bit words (negative values in two's
// complement, as the boards send them).
inline TpCanFrame Words(uint32_t id, int w0, int w1, int w2, int w3)
{
    const int w[4] = {w0, w1, w2, w3};
    uint8_t d[8];
    for (int i = 0; i < 4; ++i) {
        const auto u = uint16_t(w[i] & 0xFFFF);
        d[2 * i] = uint8_t(u & 0xFF);
        d[2 * i + 1] = uint8_t(u >> 8);
    }
    return Frame(id, d, 8);
}

// ---- the main sampling board (node 18)

// Air temperature in 0.01 degC, humidity in 0.01 %, evaporation pan loop
// current in 0.01 mA (3.60 to 21.00 mA is the sensor's range).
inline TpCanFrame MainTempHum(int tempCenti, int humCenti, int leCurrentCenti)
{
    return Words(FN_TPDO1 + NODE_MAIN_BOARD, tempCenti, humCenti, 0, leCurrentCenti);
}

// Wind speed as the sensor's pulse count of a quarter second.
inline TpCanFrame MainWindSpeed(int count) { return Words(FN_TPDO2 + NODE_MAIN_BOARD, count, 0, 0, 0); }

// Wind direction: a gray-code reading on the 0-2500 scale, or whole degrees
// when `degrees` is set; the door contact in the next byte.
inline TpCanFrame MainWindDir(int raw, bool degrees, bool doorOpen)
{
    return Words(FN_TPDO3 + NODE_MAIN_BOARD, raw, (degrees ? 1 : 0) | (doorOpen ? 0x100 : 0), 0, 0);
}

// Rain bucket tips of both counters since the last frame, board temperature
// in 0.01 degC, supply in mV.
inline TpCanFrame MainRain(int tips, int tips2, int boardTempCenti, int supplyMilliVolt)
{
    return Words(FN_TPDO4 + NODE_MAIN_BOARD, tips, tips2, boardTempCenti, supplyMilliVolt);
}

// ---- text form

// Writes "(sec.usec) IFACE ID#DATA" (no line end). Returns the length as
// snprintf does.
inline int FormatCandump(char *out, std::size_t len, const struct timeval &tv, const char *ifname,
                         const TpCanFrame &f)
{
    char data[17] = {};
    const int dlc = f.can_dlc > 8 ? 8 : f.can_dlc;
    for (int i = 0; i < dlc; ++i)
        std::snprintf(data + 2 * i, 3, "%02X", f.data[i]);
    return std::snprintf(out, len, "(%010ld.%06ld) %s %03X#%s", long(tv.tv_sec), long(tv.tv_usec), ifname,
                         unsigned(f.can_id & 0x7FF), data);
}

namespace detail {
inline int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace detail

// Parses one candump log line. The interface name is copied into ifname
// (cut to ifLen). Returns false for anything that is not such a line.
inline bool ParseCandump(std::string_view line, struct timeval *tv, char *ifname, std::size_t ifLen,
                         TpCanFrame *f)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.size() < 4 || line[0] != '(')
        return false;
    const std::size_t close = line.find(") ");
    const std::size_t dot = line.find('.');
    if (close == std::string_view::npos || dot == std::string_view::npos || dot > close)
        return false;
    // 64 bits whatever the target: long and time_t are 32 bits on the
    // older board.
    int64_t sec = 0, usec = 0;
    for (std::size_t i = 1; i < dot; ++i) {
        if (line[i] < '0' || line[i] > '9' || sec > 100000000000)
            return false;
        sec = sec * 10 + (line[i] - '0');
    }
    if (close - dot - 1 != 6)
        return false;
    for (std::size_t i = dot + 1; i < close; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
        usec = usec * 10 + (line[i] - '0');
    }
    std::string_view rest = line.substr(close + 2);
    const std::size_t sp = rest.find(' ');
    if (sp == 0 || sp == std::string_view::npos)
        return false;
    if (ifname != nullptr && ifLen > 0) {
        const std::size_t n = sp < ifLen - 1 ? sp : ifLen - 1;
        std::memcpy(ifname, rest.data(), n);
        ifname[n] = '\0';
    }
    rest = rest.substr(sp + 1);
    const std::size_t hash = rest.find('#');
    if (hash == 0 || hash == std::string_view::npos || hash > 3)
        return false;
    uint32_t id = 0;
    for (std::size_t i = 0; i < hash; ++i) {
        const int h = detail::HexDigit(rest[i]);
        if (h < 0)
            return false;
        id = id * 16 + uint32_t(h);
    }
    if (id > 0x7FF)
        return false;
    std::string_view hex = rest.substr(hash + 1);
    if (hex.size() % 2 != 0 || hex.size() > 16)
        return false;
    uint8_t data[8] = {};
    for (std::size_t i = 0; i < hex.size() / 2; ++i) {
        const int hi = detail::HexDigit(hex[2 * i]);
        const int lo = detail::HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        data[i] = uint8_t(hi * 16 + lo);
    }
    if (int64_t(time_t(sec)) != sec)
        return false;   // beyond this target's clock
    *f = Frame(id, data, int(hex.size() / 2));
    if (tv != nullptr) {
        tv->tv_sec = time_t(sec);
        tv->tv_usec = suseconds_t(usec);
    }
    return true;
}

} // namespace stationsim
