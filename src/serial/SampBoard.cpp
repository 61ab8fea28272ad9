// The serial sampling board on COM5: its integer text frames and its
// hexadecimal float frames, the conversions of the ten readings into samples
// and live values, the per-minute reception log and the re-initialisation of
// the port after a silence.
#include "serial/Instruments.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/BRISQ1110Assist.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "sampling/CanSample2Value.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"
#include "serial/SerialCommon.h"
#include "serial/UartSet.h"

volatile uint32_t g_uiChkTmr = 0;

namespace {

constexpr int FRAME_COUNT_WRAP = 10000;
constexpr int DECODE_FAILS_TOLERATED = 2;   // the third in a row is refused
constexpr int REINIT_LIMIT = 15;            // the 16th silence in a row reboots
constexpr std::size_t FLOAT_FRAME_LEN = 178;   // terminator included
constexpr std::size_t RCVLOG_CLEAR_AT = 480;
constexpr float POWER_DC_BELOW = 13.0f;        // V: below it the station runs on battery
constexpr float T0_SCALED_ABOVE = 150.0f;      // a larger reading is already in 0.01 degC

// Positions of the values in the float frame.
constexpr int FLOAT_FIRST_BLOCK = 10;
constexpr int FLOAT_SECOND_BLOCK = 97;
constexpr int FLOAT_HEX_DIGITS = 8;
constexpr int FLOAT_VALUES = 20;

int g_iFrameCount;       // every frame, wraps at FRAME_COUNT_WRAP
int g_iDecodeFails;      // undecodable integer frames in a row
int g_iReinitCount;      // re-initialisations since the last decoded frame
bool g_bDownloadPending; // the board restarted and its download failed
int g_iLogCount;         // frames of the minute in g_iLogHour:g_iLogMin
int g_iLogHour;
int g_iLogMin = -1;

// The readings of one frame; NaN stands for "not available".
struct Readings {
    float t0, u, gr, le, in7, rat, volt, mact;
    float ws[8];
    int nWs;
    float wd[2];
    int nWd;
};

bool NotAvailable(float v) { return !std::isfinite(v); }
bool SubUnitOn(int pos) { return defdata->ObValid[pos] == '1'; }
int Count(float v) { return int(TruncToInt32(v)); }

MainCollectorStat &Main() { return TemproraryData->MainStat; }

// '0' while the latest T0, U or WD sample was usable.
void ThStatus(char qc) { Main().TerhState = (qc == '0' || qc == '1') ? '0' : '2'; }

template <int N>
char StoreMissing(SampleRing<N> &r, int index)
{
    return StoreElementSample(r, N, index, MISSING_VALUE, MISSING_FLOAT, '8');
}

void AirTemperature(float v, int qcIndex)
{
    if (NotAvailable(v)) {
        ThStatus(StoreMissing(sampledata->T0, EL_T0));
        return;
    }
    int32_t s = std::fabs(v) <= T0_SCALED_ABOVE ? TruncToInt32(v * 100.0f) : TruncToInt32(v);
    char qc = iQCPS_Code(qcIndex, s / 100.0f);
    ThStatus(StoreElementSample(sampledata->T0, 30, EL_T0, s, s / 100.0f, qc));
}

void Humidity(float v)
{
    if (NotAvailable(v)) {
        ThStatus(StoreMissing(sampledata->U, EL_U));
        return;
    }
    int32_t s = TruncToInt32(v);
    s = s < 0 ? 0 : (s > 1000 ? 1000 : s);
    ThStatus(WriteElementSample(sampledata->U, 30, EL_U, s, s / 10.0f));
}

void GlobalRadiation(float v)
{
    SampleRing<30> &r = sampledata->Radi[RADI_GR];
    if (NotAvailable(v)) {
        StoreMissing(r, EL_GR);
        return;
    }
    float sensitivity = defdata->Sensi[0];
    int32_t s = v < 0.0f ? 0 : TruncToInt32(v * 1000.0f * 100.0f / sensitivity + 5.0f);
    WriteElementSample(r, 30, EL_GR, s, s / 100.0f);
}

// Evaporation level from the sensor's loop current (0.01 mA); the two
// sensor models differ in span.
void Evaporation(float v)
{
    if (NotAvailable(v)) {
        StoreMissing(sampledata->LE, EL_LE);
        return;
    }
    struct Span {
        float full, perStep, top;
    };
    static constexpr Span kSpans[2] = {{125000.0f, 62.5f, 1000.0f}, {122625.0f, 61.3125f, 981.0f}};
    const Span &sp = kSpans[defdata->LESensorMode == 1 ? 1 : 0];
    int32_t n = TruncToInt32(v * 100.0f);
    float level = 0.0f;
    if (n >= 360 && n <= 2100) {
        level = (sp.full - float(n) * sp.perStep) / 100.0f;
        level = level < 0.0f ? 0.0f : (level > sp.top ? sp.top : level);
    }
    int32_t figure = TruncToInt32(level * 10.0f);
    WriteElementSample(sampledata->LE, 60, EL_LE, figure / 10, figure / 100.0f);
    TemproraryData->MainOptReading[0] = figure / 100.0f;
}

// Speed in 0.01 m/s of a pulse count; -1 when not available.
int32_t Speed(float v)
{
    if (NotAvailable(v))
        return -1;
    return TruncToInt32(WindSpeed(Count(v), 0) * 100.0f);
}

void WindSpeedSample(int32_t ws)
{
    if (ws < 0)
        StoreMissing(sampledata->WS, EL_WS);
    else
        WriteElementSample(sampledata->WS, 240, EL_WS, ws, ws / 100.0f);
}

// The integer frame carries one count a second; the ring wants four
// quarter-second samples, spread a little so that gusts are not flattened.
void WindSpeedQuarters(float v)
{
    int32_t ws = Speed(v);
    if (ws < 0) {
        for (int i = 0; i < 4; ++i)
            StoreMissing(sampledata->WS, EL_WS);
        return;
    }
    char qc = iQCPS_Code(EL_WS, ws / 100.0f);
    const int32_t spread[4] = {0, -1, 1, 0};
    for (int32_t d : spread)
        StoreElementSample(sampledata->WS, 240, EL_WS, ws >= 120 ? ws + d : ws, ws / 100.0f, qc);
}

void WindDirection(float v)
{
    if (NotAvailable(v)) {
        ThStatus(StoreMissing(sampledata->WD, EL_WD));
        return;
    }
    int32_t wd = defdata->MainWindType == 1 ? TruncToInt32(v * 360.0f / 2500.0f) : TruncToInt32(v);
    ThStatus(WriteElementSample(sampledata->WD, 60, EL_WD, wd, float(wd)));
}

void Input7(float v)
{
    if (NotAvailable(v))
        return;   // neither rain nor a door movement
    if (defdata->DoorValid != 0)
        Main().DoorState = v == 0.0f ? '0' : '1';
    else
        AddRainCount(Count(v), RAIN_COUNTER_2);
}

void Supply(float mv)
{
    if (NotAvailable(mv))
        return;
    float volt = mv / 1000.0f;
    Main().SupplyVoltage = volt;
    Main().PowerKind = volt < POWER_DC_BELOW ? '1' : '0';
}

void Apply(const Readings &r, int t0QcIndex)
{
    // The board sends T0, U and GR twice as often as the store takes them;
    // and a CAN board that measures them owns them.
    bool odd = g_iFrameCount % 2 == 1;
    if (odd && !SubUnitOn(OB_TERH) && !SubUnitOn(OB_TAIR)) {
        AirTemperature(r.t0, t0QcIndex);
        Humidity(r.u);
    }
    if (odd && !SubUnitOn(OB_RADI))
        GlobalRadiation(r.gr);
    Evaporation(r.le);
    if (r.nWs == 1) {
        WindSpeedQuarters(r.ws[0]);
    } else {
        for (int i = 0; i < r.nWs; ++i)
            WindSpeedSample(Speed(r.ws[i]));
    }
    Main().WindState = '0';
    for (int i = 0; i < r.nWd; ++i)
        WindDirection(r.wd[i]);
    if (defdata->ObValid[OB_RAIN] == '0' && !NotAvailable(r.rat))
        AddRainCount(Count(r.rat), RAIN_COUNTER_1);
    Input7(r.in7);
    Supply(r.volt);
    if (!NotAvailable(r.mact))
        Main().Mact = r.mact;
}

void NextFrame() { g_iFrameCount = (g_iFrameCount + 1) % FRAME_COUNT_WRAP; }

void DownloadConfiguration()
{
    int (*download)() = SerialUpcall().sampBoardInit;
    g_bDownloadPending = download == nullptr || download() != 0;
    if (g_bDownloadPending)
        std::printf("sampboard download failed, retry at the next reinit\n");
}

// A line that is no frame: the board announces its restart, or noise.
int OtherLine(const char *line)
{
    if (std::strstr(line, "UPBOARD RESET") != nullptr) {
        // Without its configuration the board sends nothing useful, but a
        // reboot would not bring it back either: the download is retried
        // with the port's next re-initialisation.
        DownloadConfiguration();
        return 0;
    }
    std::printf("%s\n", line);
    return -1;
}

void FrameDecoded()
{
    g_iDecodeFails = 0;
    g_iReinitCount = 0;
}

// "2000" and ten numbers, or a single non-numeric character for an air
// temperature the board could not measure and the other nine.
bool DecodeIntegerFrame(const char *line, Readings &r)
{
    char word[16];
    float f[11];
    int n = std::sscanf(line, "%15s %f %f %f %f %f %f %f %f %f %f %f", word, &f[0], &f[1], &f[2], &f[3], &f[4],
                        &f[5], &f[6], &f[7], &f[8], &f[9], &f[10]);
    const float *rest = f + 1;
    if (n == 11) {
        r.t0 = f[0];
    } else {
        char c = 0;
        int after = -1;
        n = std::sscanf(line, "%15s %c%n %f %f %f %f %f %f %f %f %f %f", word, &c, &after, &f[1], &f[2], &f[3],
                        &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10]);
        // The character must stand alone: "2000 21.5 ..." with a reading
        // missing further on is not a marked temperature.
        bool alone = after > 0 && (line[after] == ' ' || line[after] == '\t');
        if (n != 11 || !alone || std::strchr("0123456789+-.", c) != nullptr)
            return false;
        r.t0 = NAN;
    }
    r.u = rest[0];
    r.gr = rest[1];
    r.le = rest[2];
    r.ws[0] = rest[3];
    r.nWs = 1;
    r.wd[0] = rest[4];
    r.nWd = 1;
    r.in7 = rest[5];
    r.rat = rest[6];
    r.volt = rest[7];
    r.mact = rest[8];
    return true;
}

// Eight hexadecimal digits: the four bytes of a float, least significant
// first. Anything but hexadecimal digits is not available.
float HexFloat(const char *p)
{
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        int hi = asc_to_hex(p[2 * i]);
        int lo = asc_to_hex(p[2 * i + 1]);
        if (hi > 15 || lo > 15)
            return NAN;
        bits |= uint32_t(hi * 16 + lo) << (8 * i);
    }
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void DecodeFloatFrame(const char *line, Readings &r)
{
    float v[FLOAT_VALUES];
    for (int i = 0; i < FLOAT_VALUES; ++i) {
        int at = i < 10 ? FLOAT_FIRST_BLOCK + FLOAT_HEX_DIGITS * i : FLOAT_SECOND_BLOCK + FLOAT_HEX_DIGITS * (i - 10);
        v[i] = HexFloat(line + at);
    }
    r.t0 = v[0];
    r.u = v[1];
    r.gr = v[2];
    r.le = v[3];
    r.in7 = v[6];
    r.rat = v[7];
    r.volt = v[8];
    r.mact = v[9];
    std::memcpy(r.ws, v + 10, sizeof r.ws);
    r.nWs = 8;
    std::memcpy(r.wd, v + 18, sizeof r.wd);
    r.nWd = 2;
}

// Two upper-case hexadecimal digits; -1 otherwise.
int UpperHexByte(const char *p)
{
    auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1); };
    int hi = digit(p[0]);
    int lo = hi < 0 ? -1 : digit(p[1]);
    return lo < 0 ? -1 : hi * 16 + lo;
}

} // namespace

int ProcessSampboard(const char *line)
{
    if (line == nullptr)
        return -1;
    g_uiChkTmr = 0;
    NextFrame();
    if (std::strncmp(line, "2000", 4) != 0)
        return OtherLine(line);
    TemproraryData->SampBoardSeen = 1;
    Readings r{};
    if (DecodeIntegerFrame(line, r)) {
        FrameDecoded();
        Apply(r, EL_T0);
    } else if (++g_iDecodeFails > DECODE_FAILS_TOLERATED) {
        g_iDecodeFails = 0;
        return -1;
    }
    rcvlog();
    return 0;
}

int ProcessSampboardFloat(const char *line)
{
    if (line == nullptr)
        return -1;
    g_uiChkTmr = 0;
    if (std::strncmp(line, "GETSFDATA", 9) != 0)
        return OtherLine(line);
    const char *star = std::strchr(line, '*');
    if (star == nullptr) {
        std::printf("%s(%d)...\n", __func__, __LINE__);
        return -1;
    }
    unsigned sum = 0;
    for (const char *p = line; p < star; ++p)
        sum += uint8_t(*p);
    sum &= 0xFF;
    int got = UpperHexByte(star + 1);
    if (got != int(sum)) {
        std::printf("%s(%d)..0x%02x != 0x%02x\r\n", __func__, __LINE__, sum, unsigned(got) & 0x1FF);
        return -1;
    }
    std::size_t len = std::strlen(line);
    if (len != FLOAT_FRAME_LEN) {
        std::printf("%s(%d)..length %d != 179\r\n", __func__, __LINE__, int(len + 1));
        return -1;
    }
    Readings r{};
    DecodeFloatFrame(line, r);
    NextFrame();
    FrameDecoded();
    Main().DoorState = '0';
    bool current = defdataEx != nullptr && defdataEx->Generation != 0;
    Apply(r, current ? EL_T01 : EL_T0);
    return 0;
}

void rcvlog()
{
    struct tm *t = GetTime(0);
    if (g_iLogMin >= 0 && t->tm_min != g_iLogMin) {
        char *log = TemproraryData->RcvLogText;
        constexpr std::size_t size = sizeof TemproraryData->RcvLogText;
        std::size_t used = strnlen(log, size - 1);
        std::snprintf(log + used, size - used, "%02d:%02d,%d\n", g_iLogHour, g_iLogMin, g_iLogCount);
        if (strnlen(log, size) > RCVLOG_CLEAR_AT)
            std::memset(log, 0, size);
        g_iLogCount = 0;
    }
    g_iLogHour = t->tm_hour;
    g_iLogMin = t->tm_min;
    ++g_iLogCount;
}

int ReinitSampBoard()
{
    ++g_iReinitCount;
    if (TemproraryData->SampBoardSeen == 1) {
        std::printf("no sampboard data in,reboot TemproraryData->MainrunState:%c\n",
                    TemproraryData->MainBoardCommState);
        if (g_iReinitCount > REINIT_LIMIT)
            RunReboot();
    }
    // The port keeps the name and line settings it has on the running
    // board generation.
    int fd = UartReopen(SLOT_SAMPBOARD);
    struct tm *t = GetTime(0);
    std::printf("********************reinit uart %s:%d at:%04d-%02d-%02d %02d:%02d:%02d,flag:%d\n", g_cDevName[5], fd,
                t->tm_year, t->tm_mon, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec,
                int(TemproraryData->SampBoardSeen));
    if (g_bDownloadPending)
        DownloadConfiguration();
    return 0;
}

void SampBoardReset()
{
    g_iFrameCount = 0;
    g_iDecodeFails = 0;
    g_iReinitCount = 0;
    g_bDownloadPending = false;
    g_iLogCount = 0;
    g_iLogHour = 0;
    g_iLogMin = -1;
}
