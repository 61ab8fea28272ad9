// The other serial instruments: visibility (COM3), pressure (COM4), the
// weighing rain gauge (COM1), the snow-depth sensor (COM2 or through the
// gauge) and the ultrasonic wind sensor (COM2 or COM3); the type-switch
// lines they may send; and the re-opening of a port after its type changed.
#include "serial/Instruments.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "core/BRISQ1110Assist.h"
#include "core/ShareMem.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"
#include "serial/SerialCommon.h"
#include "serial/UartSet.h"

volatile uint32_t g_uiChkTmrP = 0;
volatile uint32_t g_uiChkTmrVI = 0;

namespace {

constexpr int VIS_MISSING = -99999;
constexpr int VIS10_MISSING = -9999;
constexpr double PRESSURE_SCALED_FROM = 1500.0;   // hPa: a larger reading is already x 10
constexpr int PRESSURE_ERRORS = 6;
constexpr std::size_t RAIN_LINE_MIN = 60;
constexpr std::size_t SNOW_VALUE_AT = 34;
constexpr std::size_t SNOW_VALUE_LEN = 5;
constexpr std::size_t SNOW_STATUS_AT = 40;
constexpr unsigned REINIT_SETTLE_S = 2;

SerialUpcalls g_upcalls{};
int g_iPressCalls;
int g_iPressErrors;
int g_iUltLastSec = -1;

std::size_t Len(const char *line) { return strnlen(line, UART_RCV_BUF); }
bool Starts(const char *line, const char *word) { return std::strncmp(line, word, std::strlen(word)) == 0; }

// ---- visibility -------------------------------------------------------------

// The sensor's "VV" part follows a line end, so it arrives as a line of its
// own: "VV" and five digits.
bool VisibilityVV(const char *line, int &vi, int &vi10)
{
    const char *vv = std::strstr(line, "VV");
    if (vv == nullptr)
        return false;
    std::size_t n = std::strcspn(vv, "\r\n");
    if (vv[n] == '\0')
        return false;
    vi = VIS_MISSING;
    vi10 = VIS10_MISSING;
    if (n == 7 && CheckBlankNumberStr(vv, 2, 6, 1) == 1)
        vi = std::atoi(vv + 2) % 100000;
    return true;
}

bool VisibilityReading(const char *line, int &vi, int &vi10)
{
    vi10 = VIS10_MISSING;
    switch (defdata->VisiType) {
    case 1: {
        const char *p = std::strstr(line, "CJY");
        return p != nullptr && std::sscanf(p + 3, "%d %d", &vi, &vi10) >= 1;
    }
    case 2:
        return VisibilityVV(line, vi, vi10);
    case 3: {
        const char *p = std::strchr(line, '#');
        if (p == nullptr)
            return false;
        char skip[4][32];
        int n = std::sscanf(p, "%31s %31s %31s %31s %d %d", skip[0], skip[1], skip[2], skip[3], &vi, &vi10);
        if (n < 5)
            vi = VIS_MISSING;
        if (n < 6)
            vi10 = VIS10_MISSING;
        return true;
    }
    default: {
        const char *p = std::strstr(line, "PW");
        return p != nullptr && strnlen(p, 8) == 8 && std::sscanf(p + 8, "%d %d", &vi, &vi10) >= 1;
    }
    }
}

// ---- ultrasonic wind --------------------------------------------------------

// A decimal field as an integer of 10^decimals units, truncated; false for
// an empty field, "///" or anything that is no number.
bool ScaledField(const char *text, int decimals, int32_t &out)
{
    const char *p = text;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    int64_t v = 0;
    int digits = 0;
    int frac = -1;
    for (; *p != '\0'; ++p) {
        if (*p == '.' && frac < 0) {
            frac = 0;
            continue;
        }
        if (*p < '0' || *p > '9')
            break;
        ++digits;
        if (frac >= 0 && frac == decimals)
            continue;
        if (v < 100000000000LL)
            v = v * 10 + (*p - '0');
        if (frac >= 0)
            ++frac;
    }
    if (digits == 0 || (*p != '\0' && *p != '*'))
        return false;
    for (int f = frac < 0 ? 0 : frac; f < decimals; ++f)
        v *= 10;
    if (v > MISSING_VALUE * 1000LL)
        v = MISSING_VALUE * 1000LL;
    out = int32_t(negative ? -v : v);
    return true;
}

int32_t SpeedField(const char *text)
{
    int32_t v;
    return ScaledField(text, 2, v) ? v : MISSING_VALUE;
}

// Whole degrees, rounded half up.
int32_t DirectionField(const char *text)
{
    int32_t v;
    return ScaledField(text, 1, v) ? (v + 5) / 10 : MISSING_VALUE;
}

bool HexPair(const char *p, unsigned &value)
{
    int hi = asc_to_hex(p[0]);
    int lo = hi > 15 ? 32 : asc_to_hex(p[1]);
    value = unsigned(hi * 16 + lo);
    return hi <= 15 && lo <= 15;
}

// "$WIMWV,angle,R,speed,unit,status*hh" with the XOR check byte.
bool UltNmea(const char *line, int32_t &speed, int32_t &dir)
{
    if (line[0] != '$' || std::strchr(line, '\r') == nullptr || std::strstr(line, "WIMWV") == nullptr)
        return false;
    const char *star = std::strchr(line, '*');
    unsigned want;
    if (star == nullptr || !HexPair(star + 1, want))
        return false;
    unsigned x = 0;
    for (const char *p = line + 1; p < star; ++p)
        x ^= uint8_t(*p);
    if (x != want)
        return false;
    int n = DividGpsItem(line + 1, ',');
    if (n < 6)
        return false;
    // Status 'V': the sensor itself says the reading is invalid.
    if (gpstemp[5][0] == 'V')
        return true;
    dir = DirectionField(gpstemp[1]);
    speed = SpeedField(gpstemp[3]);
    return true;
}

bool EndsWithCr(const char *line, int length) { return length > 0 && line[length - 1] == '\r'; }

// ">speed,direction,...".
bool UltPlain(const char *line, int length, int32_t &speed, int32_t &dir)
{
    if (line[0] != '>' || !EndsWithCr(line, length))
        return false;
    DividGpsItem(line + 1, ',');
    speed = SpeedField(gpstemp[0]);
    dir = DirectionField(gpstemp[1]);
    return true;
}

// ":addr;direction;speed;...HH\r" with the LRC of everything before HH.
bool UltLrc(const char *line, int length, int32_t &speed, int32_t &dir)
{
    unsigned want;
    if (line[0] != ':' || length < 4 || !EndsWithCr(line, length) || !HexPair(line + length - 3, want))
        return false;
    if (LRCCheck(reinterpret_cast<const unsigned char *>(line), length - 3) != want)
        return false;
    DividGpsItem(line, ';');
    dir = DirectionField(gpstemp[1]);
    speed = SpeedField(gpstemp[2]);
    return true;
}

} // namespace

const SerialUpcalls &SerialUpcall() { return g_upcalls; }
void SerialInstallUpcalls(const SerialUpcalls &calls) { g_upcalls = calls; }

void SerialTypeSwitch(int (*command)(const char *), const char *line, std::size_t at, const char *accepted)
{
    if (command == nullptr || Len(line) <= at)
        return;
    char c = line[at];
    if (c == '\0' || std::strchr(accepted, c) == nullptr)
        return;
    const char param[3] = {c, '\n', '\0'};
    command(param);
}

int ReadVisibility(const char *line)
{
    if (line == nullptr)
        return -1;
    if (Starts(line, "VISITYPE")) {
        SerialTypeSwitch(g_upcalls.visiType, line, 9, "01238");
        return 0;
    }
    g_uiChkTmrVI = 0;
    int vi = VIS_MISSING;
    int vi10 = VIS10_MISSING;
    if (!VisibilityReading(line, vi, vi10))
        return -1;
    char qc = iQCPS_Code(EL_VI, float(vi));
    sampledata->VI = vi;
    sampledata->VIQc = qc;
    SetLiveElement(EL_VI, float(vi), qc);
    float top = defdata->Qcpm[EL_VI][1];
    char qc10 = vi10 > 0 && float(vi10) <= top ? '0' : '2';
    TemproraryData->VisDevice10 = vi10;
    TemproraryData->VisDeviceQc = qc10;
    std::printf("VISIBILITY:%d,qc(%c) visi10mindatafromDevice:%d,qc(%c)\n", vi, qc, vi10, qc10);
    return 0;
}

int ReadAirpress(const char *line)
{
    if (line == nullptr)
        return -1;
    if (Starts(line, "AIRPTYPE")) {
        SerialTypeSwitch(g_upcalls.airpType, line, 9, "0123458");
        return 0;
    }
    if (++g_iPressCalls % 3 == 0)
        std::printf("Read AirPress:%s\r\n", line);
    g_uiChkTmrP = 0;
    TemproraryData->CurrentQc[EL_P] = '2';
    double hpa;
    char qc;
    int32_t sample;
    if (std::sscanf(line, "%lf", &hpa) == 1 && std::isfinite(hpa)) {
        sample = TruncToInt32(hpa < PRESSURE_SCALED_FROM ? hpa * 10.0 : hpa);
        qc = WriteElementSample(sampledata->P, 30, EL_P, sample, sample / 10.0f);
    } else {
        // Unreadable: a missing sample, not a pressure of 9999.9 hPa.
        ++g_iPressErrors;
        sample = MISSING_VALUE;
        qc = StoreElementSample(sampledata->P, 30, EL_P, sample, MISSING_FLOAT, '8');
    }
    if (qc == '2')
        ++g_iPressErrors;
    if (g_iPressErrors >= PRESSURE_ERRORS) {
        g_iPressErrors = 0;
        return -1;
    }
    return sample;
}

int ReadSnowDepth(const char *line)
{
    if (line == nullptr || !Starts(line, "SD"))
        return -1;
    // The reading sits at fixed positions: a shorter line does not hold it.
    if (Len(line) <= SNOW_STATUS_AT)
        return -1;
    char field[SNOW_VALUE_LEN + 1] = {};
    std::memcpy(field, line + SNOW_VALUE_AT, SNOW_VALUE_LEN);
    float d;
    if (std::sscanf(field, "%8f", &d) != 1 || !std::isfinite(d))
        return -1;
    int32_t depth = 0;
    if (d > 0.0f) {
        const float *m = modipam->Pam[EL_SD];
        float gain = m[3] == 0.0f ? 1.0f : m[3];
        depth = TruncToInt32(gain * d + m[4] + 0.5f);
        if (depth < 0)
            depth = 0;
    }
    char status = line[SNOW_STATUS_AT];
    TemproraryData->SnowDepth = depth;
    TemproraryData->SnowDepthQc = status;
    SetLiveElement(EL_SD, float(depth), status);
    return 0;
}

int ReadRainWeight(const char *line)
{
    if (line == nullptr)
        return -1;
    if (Starts(line, "RAWMODE") || Starts(line, "rawmode")) {
        SerialTypeSwitch(g_upcalls.rawMode, line, 8, "01");
        return 0;
    }
    if (Starts(line, "SD") && defdata->ElementEnable[EL_SD] == '1')
        return ReadSnowDepth(line);
    if (Len(line) < RAIN_LINE_MIN || !Starts(line, "20"))
        return -1;
    int n = DividGpsItem(line, ' ');
    if (n < 7) {
        std::printf("%s", line);
        return 0;
    }
    auto number = [](const char *field) { return int32_t(TruncToInt32(double(std::strtol(field, nullptr, 10)))); };
    TemproraryDataRec &td = *TemproraryData;
    char s1 = gpstemp[4][0];
    char s2 = gpstemp[6][0];
    int32_t a1 = s1 == '0' ? number(gpstemp[3]) : 0;
    int32_t a2 = s2 == '0' ? number(gpstemp[5]) : 0;
    td.RawWeight[0] = a1;
    td.RawWeight[1] = a2;
    td.RawWeightState[0] = s1;
    td.RawWeightState[1] = s2;
    if (g_ucpSampleDataQc != nullptr)
        g_ucpSampleDataQc[EL_RAW] = uint8_t(s1);
    if (n >= 15)
        for (int i = 0; i < 3; ++i)
            td.RawFreq[i] = number(gpstemp[11 + i]);
    std::printf("ret:%d,%s(%d) freq %d %d %d,--%d  %d \n", n, __func__, __LINE__, int(td.RawFreq[0]),
                int(td.RawFreq[1]), int(td.RawFreq[2]), int(a1), int(a2));
    return 0;
}

int ProcessUltData(int type, const char *line, int length)
{
    if (line == nullptr || length <= 0)
        return -1;
    if (std::size_t(length) > Len(line))
        length = int(Len(line));
    int32_t speed = MISSING_VALUE;
    int32_t dir = MISSING_VALUE;
    bool ok = false;
    switch (type) {
    case 9: ok = UltNmea(line, speed, dir); break;
    case 10: ok = UltPlain(line, length, speed, dir); break;
    case 11: ok = UltLrc(line, length, speed, dir); break;
    default: break;
    }
    if (!ok)
        return -1;
    char qs = speed == MISSING_VALUE ? '8' : iQCPS_Code(EL_UWS_QC, speed / 100.0f);
    char qd = dir == MISSING_VALUE ? '8' : iQCPS_Code(EL_UWD_QC, float(dir));
    SampleDataRec &s = *sampledata;
    if (type == 9) {
        // The NMEA sensor talks once a second: four quarter-second speeds.
        for (int i = 0; i < 4; ++i)
            WriteRingQc(s.UWS, 240, speed, qs);
        WriteRingQc(s.UWD, 60, dir, qd);
    } else {
        // These talk faster than once a second; the direction ring holds
        // one value per second, the latest of that second.
        WriteRingQc(s.UWS, 240, speed, qs);
        int sec = TemproraryData->ShareClock.Sec;
        if (sec != g_iUltLastSec) {
            g_iUltLastSec = sec;
            RingAdvance(s.UWD);
        }
        s.UWD.Value[s.UWD.pos] = dir;
        s.UWD.Qc[s.UWD.pos] = qd;
    }
    TemproraryDataRec &td = *TemproraryData;
    td.UltWindSpeed = speed == MISSING_VALUE ? MISSING_FLOAT : speed / 100.0f;
    td.UltWindSpeedQc = qs;
    td.UltWindDir = dir == MISSING_VALUE ? MISSING_FLOAT : float(dir);
    td.UltWindDirQc = qd;
    return 0;
}

namespace {

int Reinit(int slot, unsigned settle)
{
    int fd = UartReopen(slot);
    // The instrument needs a moment on its new settings before it talks.
    if (settle > 0)
        sleep(settle);
    return fd;
}

} // namespace

int ReinitVisibility() { return Reinit(SLOT_VISIBILITY, REINIT_SETTLE_S); }
int ReinitAirp() { return Reinit(SLOT_AIRPRESS, 0); }
int ReinitSnowDepth() { return Reinit(SLOT_GPS, REINIT_SETTLE_S); }
int ReinitCom0() { return Reinit(SLOT_COM0, 0); }

void InstrumentsReset()
{
    g_iPressCalls = 0;
    g_iPressErrors = 0;
    g_iUltLastSec = -1;
}

void SerialReadersReset()
{
    SampBoardReset();
    GpsReset();
    InstrumentsReset();
    g_uiChkTmr = 0;
    g_uiChkTmrP = 0;
    g_uiChkTmrVI = 0;
}
