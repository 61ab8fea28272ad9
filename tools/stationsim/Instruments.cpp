#include "Instruments.h"

#include <cmath>
#include <cstdio>
#include <cstdarg>
#include <cstring>
#include <ctime>

namespace stationsim {

namespace {

std::string Format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return std::string(buf, n < 0 ? 0 : size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}

struct tm Utc(int64_t t)
{
    const auto s = time_t(t);
    struct tm g {};
    gmtime_r(&s, &g);
    return g;
}

// "DDMM.mmm" from degrees (longitude with three degree digits).
std::string NmeaAngle(double deg, int degreeDigits)
{
    deg = std::fabs(deg);
    const int d = int(deg);
    const double m = (deg - d) * 60.0;
    return Format("%0*d%06.3f", degreeDigits, d, m);
}

} // namespace

int WindPulses(double windMs)
{
    if (windMs < 0.3)
        return 0;
    return int(std::lround((windMs - 0.3) / 0.049));
}

double PanCurrentMa(double levelMm)
{
    // The logger reads level10 = (125000 - 62.5 i) / 100 * 0.981 with i in
    // 0.01 mA.
    const double i = (125000.0 - levelMm * 10.0 * 100.0 / 0.981) / 62.5;
    return i / 100.0;
}

std::string SerialBoardIntFrame(const BoardReadings &r)
{
    return Format("2000 %.2f %.0f %.3f %.2f %.0f %.0f %.0f %.0f %.0f %.0f\r\n", r.tempC, r.humidityTenths, r.grOutput,
                  r.leCurrentMa, r.windCount, r.windDir, r.input7, r.rainTips, r.supplyMv, r.mact);
}

std::string FloatHex(float v)
{
    // The board sends the bytes in little-endian order whatever the host.
    uint32_t u = 0;
    std::memcpy(&u, &v, 4);
    return Format("%02X%02X%02X%02X", unsigned(u & 0xFF), unsigned((u >> 8) & 0xFF), unsigned((u >> 16) & 0xFF),
                  unsigned(u >> 24));
}

std::string SerialBoardFloatFrame(const BoardReadings &r)
{
    const float nan = std::nanf("");
    const double v[20] = {r.tempC,      r.humidityTenths, r.grOutput,   r.leCurrentMa, nan,          nan,
                          r.input7,     r.rainTips,       r.supplyMv,   r.mact,        r.windSub[0], r.windSub[1],
                          r.windSub[2], r.windSub[3],     r.windSub[4], r.windSub[5],  r.windSub[6], r.windSub[7],
                          r.dirSub[0],  r.dirSub[1]};
    std::string line = "GETSFDATA,";
    for (int i = 0; i < 10; ++i)
        line += std::isnan(v[i]) ? std::string("0000C07F") : FloatHex(float(v[i]));
    unsigned sum = 0;
    for (unsigned char c : line)
        sum += c;
    line += Format("*%02X    ", sum & 0xFF);
    for (int i = 10; i < 20; ++i)
        line += FloatHex(float(v[i]));
    return line + "\r\n";
}

uint8_t NmeaChecksum(std::string_view body)
{
    uint8_t x = 0;
    for (char c : body)
        x ^= uint8_t(c);
    return x;
}

namespace {
std::string Sentence(const std::string &body) { return Format("$%s*%02X\r\n", body.c_str(), NmeaChecksum(body)); }
} // namespace

std::string GpsZda(int64_t utc)
{
    const struct tm g = Utc(utc);
    return Sentence(Format("GPZDA,%02d%02d%02d.00,%02d,%02d,%04d,00,00", g.tm_hour, g.tm_min, g.tm_sec, g.tm_mday,
                           g.tm_mon + 1, g.tm_year + 1900));
}

std::string GpsRmc(int64_t utc, double latitude, double longitude)
{
    const struct tm g = Utc(utc);
    return Sentence(Format("GPRMC,%02d%02d%02d.00,A,%s,%c,%s,%c,0.0,0.0,%02d%02d%02d,,,A", g.tm_hour, g.tm_min,
                           g.tm_sec, NmeaAngle(latitude, 2).c_str(), latitude < 0 ? 'S' : 'N',
                           NmeaAngle(longitude, 3).c_str(), longitude < 0 ? 'W' : 'E', g.tm_mday, g.tm_mon + 1,
                           g.tm_year % 100));
}

std::string PressureReply(double hpa) { return Format("%.1f\r\n", hpa); }

std::string VisibilityMessage(int type, int oneMinute, int tenMinute)
{
    switch (type) {
    case 0: return Format("PW  1 00 %5d %5d\r\n", oneMinute, tenMinute);
    case 1: return Format("CJY %d %d\r\n", oneMinute, tenMinute);
    case 3: return Format("#01 00 00 0 %d %d\r\n", oneMinute, tenMinute);
    default: return {};
    }
}

std::string RainGaugeReply(const struct tm &t, int amount1, int amount2)
{
    return Format("%04d-%02d-%02d %02d:%02d:%02d RW01 %d 0 %d 0 0000 0000 0000 0000 %d %d %d END\r\n",
                  t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, amount1, amount2, 1612,
                  1618, 1609);
}

std::string SnowDepthReply(double depthMm)
{
    // Column 34 holds five characters of depth, column 40 the status.
    return Format("SD %-30s %5.1f 0\r\n", "01 00000 00000 00000", depthMm > 999.9 ? 999.9 : depthMm);
}

std::string UltrasonicWind(int type, double speedMs, double dirDeg)
{
    switch (type) {
    case 9: return Sentence(Format("WIMWV,%.1f,R,%.2f,M,A", dirDeg, speedMs));
    case 10: return Format(">%.2f,%.0f\r\n", speedMs, dirDeg);
    case 11: {
        std::string body = Format(":01;%.0f;%.2f;", dirDeg, speedMs);
        unsigned sum = 0;
        for (unsigned char c : body)
            sum += c;
        return body + Format("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    }
    default: return {};
    }
}

std::string AddNoise(std::string line, uint32_t *rng)
{
    auto next = [rng] {
        *rng = *rng * 1103515245u + 12345u;
        return (*rng >> 16) & 0x7FFF;
    };
    const size_t body = line.find_first_of("\r\n");
    const size_t len = body == std::string::npos ? line.size() : body;
    const int count = 1 + int(next() % 3);
    for (int i = 0; i < count && len > 0; ++i) {
        char c;
        do
            c = char(next() & 0xFF);
        while (c == '\r' || c == '\n');
        line[next() % len] = c;
    }
    return line;
}

} // namespace stationsim
