// Factory defaults of the main parameter record (para.bin).
//
// The defaults are written when para.bin is missing or has the wrong length,
// and after a reset to factory settings removed it. The two QC tables are
// kept as row ranges, the way the station's documentation lists them, and
// expanded at compile time into the record's layout; a compile-time check
// makes sure that every row is given exactly once.
#include "core/Param.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "core/ShareMem.h"

namespace {

constexpr float NONE = QC_NONE;

// ---------------------------------------------------------------------------
// Sample QC limits: minimum, maximum, largest change between two samples.
struct QcpsRange {
    int first, last;
    float v[3];
};

constexpr QcpsRange kQcpsRanges[] = {
    {0, 0, {0, 0, 0}},                    // nNull
    {1, 1, {500, 1100, 0.3f}},            // P
    {2, 8, {-50, 50, 2}},                 // T0 T01 T02 T03 T1 T2 T3
    {9, 9, {NONE, NONE, NONE}},           // TW
    {10, 10, {5, 100, 5}},                // U
    {11, 11, {NONE, NONE, 2}},            // TDTD
    {12, 14, {NONE, NONE, NONE}},         // SV1 SV2 SV3
    {15, 15, {0, 360, NONE}},             // WD
    {16, 17, {0, 60, 20}},                // WS WS1
    {18, 22, {0, 40, NONE}},              // RAT RAT1 RAT2 RAT3 RAT5
    {23, 23, {0, 400, NONE}},             // RAW
    {24, 26, {-50, 80, 2}},               // TG IR ST0
    {27, 30, {-40, 60, 2}},               // ST1 ST2 ST3 ST4
    {31, 34, {-30, 40, 2}},               // ST5 ST6 ST7 ST8
    {35, 35, {0, 100, 0.3f}},             // LE
    {36, 36, {10, 50000, NONE}},          // VI
    {37, 37, {60, 15000, NONE}},          // CH
    {38, 40, {NONE, NONE, NONE}},         // TCA LCA WW
    {41, 41, {0, 200, NONE}},             // SD
    {42, 45, {NONE, NONE, NONE}},         // FR WI FSD LNF
    {46, 46, {0, 1400, 800}},             // GR
    {47, 47, {-200, 1400, 800}},          // NR
    {48, 50, {0, 1400, 800}},             // DR SR RR
    {51, 53, {0, 200, 800}},              // UR UVA UVB
    {54, 54, {0, 2000, 800}},             // AR
    {55, 55, {NONE, NONE, NONE}},         // ART
    {56, 56, {0, 2000, 800}},             // TR
    {57, 57, {NONE, NONE, NONE}},         // TRT
    {58, 58, {2, 2000, 800}},             // PR
    {59, 59, {NONE, NONE, NONE}},         // SSD
    {60, 67, {0, 100, NONE}},             // SM1 .. SM8
    {68, 68, {0, 2000, NONE}},            // WT
    {69, 69, {0, 360, NONE}},             // BA
    {70, 70, {0, 32, 2}},                 // OT
    {71, 71, {2.8f, 3.6f, NONE}},         // OS
    {72, 72, {NONE, NONE, NONE}},         // OC
    {73, 73, {0.2f, 25, NONE}},           // OH
    {74, 79, {NONE, NONE, NONE}},         // OP OD OV TL OTU OCC
};

// ---------------------------------------------------------------------------
// Minute QC limits: lower, upper, change that makes a value doubtful, change
// that makes it wrong, least change within 60 minutes.
struct QcpmRange {
    int first, last;
    float v[5];
};

constexpr QcpmRange kQcpmRanges[] = {
    {0, 0, {0, 0, 0, 0, 0}},                          // nNull
    {1, 1, {400, 1100, 0.5f, 2, NONE}},               // P
    {2, 2, {-75, 80, 3, 5, NONE}},                    // T0
    {3, 5, {-75, 80, 2, 5, NONE}},                    // T01 T02 T03
    {6, 8, {-75, 80, 3, 5, 0.1f}},                    // T1 T2 T3
    {9, 9, {NONE, NONE, NONE, NONE, NONE}},           // TW
    {10, 10, {0, 100, 10, 15, 1}},                    // U
    {11, 11, {-80, 50, 5, 5, 0.1f}},                  // TDTD
    {12, 14, {NONE, NONE, NONE, NONE, NONE}},         // SV1 SV2 SV3
    {15, 15, {0, 360, NONE, NONE, NONE}},             // WD
    {16, 17, {0, 150, 10, 20, NONE}},                 // WS WS1
    {18, 22, {0, 10, NONE, NONE, NONE}},              // RAT RAT1 RAT2 RAT3 RAT5
    {23, 23, {NONE, NONE, NONE, NONE, NONE}},         // RAW
    {24, 26, {-90, 90, 5, 10, NONE}},                 // TG IR ST0
    {27, 27, {-80, 80, 2, 5, NONE}},                  // ST1
    {28, 28, {-70, 70, 1, 5, NONE}},                  // ST2
    {29, 29, {-60, 60, 1, 3, NONE}},                  // ST3
    {30, 30, {-50, 50, 0.5f, 2, NONE}},               // ST4
    {31, 31, {-45, 45, 0.5f, 1, NONE}},               // ST5
    {32, 34, {-40, 40, 0.5f, 1, NONE}},               // ST6 ST7 ST8
    {35, 35, {0, 100, NONE, NONE, NONE}},             // LE
    {36, 36, {0, 70000, NONE, NONE, NONE}},           // VI
    {37, 40, {NONE, NONE, NONE, NONE, NONE}},         // CH TCA LCA WW
    {41, 41, {NONE, 300, NONE, NONE, NONE}},          // SD
    {42, 42, {NONE, NONE, NONE, NONE, NONE}},         // FR
    {43, 43, {0, 1000, NONE, NONE, NONE}},            // WI
    {44, 45, {NONE, NONE, NONE, NONE, NONE}},         // FSD LNF
    {46, 46, {0, 2000, 800, 1000, NONE}},             // GR
    {47, 47, {-NONE, NONE, NONE, NONE, NONE}},        // NR
    {48, 48, {0, 1400, 800, 1000, NONE}},             // DR
    {49, 50, {0, 1200, 800, 1000, NONE}},             // SR RR
    {51, 51, {NONE, NONE, NONE, NONE, NONE}},         // UR
    {52, 52, {0, 200, 50, 90, NONE}},                 // UVA
    {53, 53, {0, 100, 20, 30, NONE}},                 // UVB
    {54, 58, {NONE, NONE, NONE, NONE, NONE}},         // AR ART TR TRT PR
    {59, 59, {0, 1, NONE, NONE, NONE}},               // SSD
    {60, 67, {0, 100, NONE, NONE, NONE}},             // SM1 .. SM8
    {68, 69, {NONE, NONE, NONE, NONE, NONE}},         // WT BA
    {70, 70, {-NONE, NONE, NONE, NONE, NONE}},        // OT
    {71, 79, {NONE, NONE, NONE, NONE, NONE}},         // OS OC OH OP OD OV TL OTU OCC
    {80, 81, {0, 75, 10, 20, NONE}},                  // WS2 WS3
    {82, 83, {0, 0, 0, 0, 0}},                        // no element
    {84, 84, {0, 40, NONE, NONE, NONE}},              // RAT1_C
    {85, 86, {0, 75, 10, 21, NONE}},                  // 2-minute wind speed check
};

// Expands row ranges into the full table; a row given twice or not at all
// makes the expansion fail at compile time.
template <int Rows, int Cols, typename Range, std::size_t N>
constexpr std::array<std::array<float, Cols>, Rows> Expand(const Range (&ranges)[N])
{
    std::array<std::array<float, Cols>, Rows> t{};
    std::array<int, Rows> seen{};
    for (const Range &r : ranges) {
        if (r.first < 0 || r.last >= Rows || r.first > r.last)
            throw "row range outside the table";
        for (int row = r.first; row <= r.last; ++row) {
            if (seen[row]++ != 0)
                throw "row given twice";
            for (int c = 0; c < Cols; ++c)
                t[row][c] = r.v[c];
        }
    }
    for (int s : seen)
        if (s == 0)
            throw "row missing";
    return t;
}

constexpr auto kQcps = Expand<QCPS_ROWS, 3>(kQcpsRanges);
constexpr auto kQcpm = Expand<QCPM_ROWS, 5>(kQcpmRanges);
static_assert(sizeof kQcps == sizeof(DefDataRec::Qcps));
static_assert(sizeof kQcpm == sizeof(DefDataRec::Qcpm));
static_assert(kQcps[1][0] == 500.0f && kQcps[1][1] == 1100.0f);
static_assert(kQcpm[86][3] == 21.0f && kQcpm[70][0] == -NONE);

// ---------------------------------------------------------------------------
// Single-value tables of the record.
constexpr float kSensi[24] = {16.69f, 10.0f, -10.0f, 13.438f, 10, 10, 10, 10, 10, 10, 10, 10,
                              10,     10,    10,     10,      10, 10, 10, 10, 10, 10, 10, 10};
constexpr float kChrod[3][3] = {
    {0.016816f, 9.16017e-6f, 1056.3f},
    {0.016887f, 9.11538e-6f, 1063.9f},
    {0.016919f, 9.11802e-6f, 1058.2f},
};
constexpr float kSenco[16] = {0.3f, 0.049f, 0, 0, 0.3f, 0.049f, 0, 0, 0, 0.1f, 0, 0, 0, 0.5f, 0, 0};
constexpr float kRSencoRow[2][4] = {{0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.1f, 0.0f, 0.0f}};
constexpr float kRainTh[5] = {0.3f, 0.6f, 0.3f, 0.4f, 0.04f};

// Element rows whose sensors are not fitted on a factory station.
constexpr struct {
    int first, last;
} kElementsOff[] = {{22, 22}, {37, 45}, {68, 79}, {84, 84}};

// Sub-collectors that are not fitted on a factory station: climate,
// radiation, soil moisture and sea.
constexpr int kObValidOff[] = {OB_SEAA, OB_SOIL, OB_CLIM, OB_RADI};

void Text(char *field, std::size_t width, const char *text)
{
    std::snprintf(field, width, "%s", text);
}

} // namespace

void FillDefaultParam(DefDataRec &d, int generation)
{
    std::memset(&d, 0, sizeof d);

    Text(d.Manufacturer, sizeof d.Manufacturer, "QUILLMERE");
    Text(d.Flag, sizeof d.Flag, "KORV2000");
    Text(d.SerialNo, sizeof d.SerialNo, "201001080001");
    Text(d.Version1, sizeof d.Version1, "V1.00");
    Text(d.Version2, sizeof d.Version2, "V1.00");
    Text(d.Version3, sizeof d.Version3, "V2.73");
    Text(d.StationId, sizeof d.StationId, "10101");
    Text(d.Lat, sizeof d.Lat, "39.10.03");
    Text(d.Long, sizeof d.Long, "116.22.26");
    d.Alt = 102.5f;
    d.Td = -14;
    d.AltP = 104.0f;
    Text(d.Ip, sizeof d.Ip, "192.168.1.202");
    Text(d.Gw, sizeof d.Gw, "192.168.8.1");
    // The central computer sits on the station's LAN by default; the
    // operator sets the real address with the destination command.
    Text(d.DestIp, sizeof d.DestIp, "192.168.8.100");
    d.DestPort = 1800;
    d.WdModify = 0;
    d.WsPlatform2Ground = 10.0f;
    d.Platform2Ground = 0.0f;
    for (int i = 0; i < 24; ++i)
        d.Sensi[i] = kSensi[i];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            d.Chrod[i][j] = kChrod[i][j];
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 3; ++j)
            d.Smc[i][j] = 50;

    std::memset(d.ElementEnable, '1', sizeof d.ElementEnable);
    for (const auto &r : kElementsOff)
        for (int row = r.first; row <= r.last; ++row)
            d.ElementEnable[row] = '0';

    std::memset(d.ObValid, '1', sizeof d.ObValid);
    for (int pos : kObValidOff)
        d.ObValid[pos] = '0';
    if (generation == 1) {
        d.ObValid[OB_TERH] = '0';
        d.STLX = 'M';
    }

    d.GpsValid = '1';
    d.CfValid = '1';
    std::memset(d.SampleArchive, '0', sizeof d.SampleArchive);
    std::memset(d.SampleSaveFlag, '0', sizeof d.SampleSaveFlag);

    for (int i = 0; i < QCPS_ROWS; ++i)
        for (int j = 0; j < 3; ++j)
            d.Qcps[i][j] = kQcps[i][j];
    for (int i = 0; i < QCPM_ROWS; ++i)
        for (int j = 0; j < 5; ++j)
            d.Qcpm[i][j] = kQcpm[i][j];

    d.Gale = 14;
    d.Tmax = 50;
    d.Tmin = -40;
    d.Rmax = 20;
    d.Dtlt = 40;
    d.Dtlv = 20;
    d.FileTimeOut = 3;
    d.DoorValid = 0;
    d.Reserved1 = '1';
    for (int i = 0; i < 16; ++i)
        d.Senco[i] = kSenco[i];
    for (int b = 0; b < 2; ++b)
        for (int e = 0; e < 3; ++e)
            for (int k = 0; k < 4; ++k)
                d.RSenco[b][e][k] = kRSencoRow[b][k];
    for (int i = 0; i < 5; ++i)
        d.RainTh[i] = kRainTh[i];
    d.Reserved2 = '1';
    for (int i = 0; i < 6; ++i)
        d.Infrared[i] = 1.0f;
    d.ClimSpeed = '1';
    d.GpsPortType = 0;
    d.AirpType = 4;
    d.VisiType = 0;
    d.CommType = 0;
    d.MainWindType = 0;
    d.SunshineMode = 0;
    d.RawMode = 1;
    d.LESensorMode = 1;
    d.LESensorCalib = 0.0f;
    // Every calibration interval starts unset: its bound is the marker value
    // of the element, the correction 0.
    for (int s = 0; s < SCV_ELEMENTS; ++s)
        for (int k = 0; k < SCV_ENTRIES; ++k) {
            d.Scv[s][k][0] = ScvUnsetBound(s);
            d.Scv[s][k][1] = 0.0;
        }
    d.QcCtrl = 0;
}

int SetDefaultParam()
{
    if (defdata == nullptr)
        return -1;
    int generation = defdataEx != nullptr ? defdataEx->Generation : 0;
    FillDefaultParam(*defdata, generation);
    int saved = SaveParaFile(0);
    PrintIdentity();
    return saved == 1 ? 0 : -1;
}
