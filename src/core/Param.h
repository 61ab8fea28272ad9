// The three parameter records and their files on the NAND parameter
// partition:
//   /mnt/nand2/para.bin     the main parameter record (5840 bytes)
//   /mnt/nand2/modipam.bin  the modification parameters (1600 bytes)
//   /mnt/nand2/para_ex.bin  the format-generation switch (4 bytes)
// Each file is the record byte for byte: packed, little-endian, floats and
// doubles in IEEE-754. Both board generations are little-endian ARM, so the
// records are stored as they lie in memory.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the parameter and record files are little-endian byte images");

constexpr int QCPS_ROWS = 80;
constexpr int QCPM_ROWS = 87;
constexpr int SCV_ELEMENTS = 18;
constexpr int SCV_ENTRIES = 6;
constexpr int OBVALID_LEN = 20;
constexpr float QC_NONE = 99999.0f;   // "no limit" in the QC tables

// Positions of the CAN sub-collector flags in ObValid.
enum ObValidPos {
    OB_CLIM = 3, OB_RADI = 5, OB_EATH = 6, OB_SOIL = 9, OB_SEAA = 12,
    OB_TERH = 15, OB_TAIR = 16, OB_RAIN = 17
};

#pragma pack(push, 1)

struct DefDataRec {
    char Manufacturer[64];        //    0
    char Flag[16];                //   64 model flag
    char SerialNo[16];            //   80
    char Version1[8];             //   96
    char Version2[8];             //  104
    char Version3[8];             //  112
    char StationId[8];            //  120
    char Lat[16];                 //  128 degrees.minutes.seconds
    char Long[16];                //  144
    float Alt;                    //  160 station altitude, m
    int32_t Td;                   //  164 time difference, minutes
    float AltP;                   //  168 pressure sensor altitude, m
    char Ip[16];                  //  172 address of the network interface
    int32_t WdModify;             //  188 wind direction correction
    float WsPlatform2Ground;      //  192 wind sensor height above the platform
    float Platform2Ground;        //  196 platform height above ground
    float Sensi[24];              //  200 sensor sensitivities (SENSI)
    float Chrod[3][3];            //  296 sensor equation coefficients
    int32_t Smc[9][3];            //  332 soil moisture calibration
    char ObValid[OBVALID_LEN];    //  440 sub-collector enable flags
    char ElementEnable[85];       //  460 one per element row
    char GpsValid;                //  545
    char CfValid;                 //  546
    char SampleArchive[82];       //  547 sample archive flags, rows 0 to 81
    uint8_t Spare1[3];            //  629
    char SampleSaveFlag[6];       //  632
    float Qcps[QCPS_ROWS][3];     //  638 min, max, largest change between samples
    float Qcpm[QCPM_ROWS][5];     // 1598 lower, upper, doubtful step, wrong step, min variation
    int32_t Gale;                 // 3338 gale threshold
    int32_t Tmax;                 // 3342
    int32_t Tmin;                 // 3346
    int32_t Rmax;                 // 3350
    int32_t Dtlt;                 // 3354
    int32_t Dtlv;                 // 3358
    int32_t FileTimeOut;          // 3362
    int32_t DoorValid;            // 3366
    char Reserved1;               // 3370
    float Senco[16];              // 3371 sensor coefficients (SENCO)
    float RSenco[2][3][4];        // 3435 RSENCO coefficients
    float RainTh[5];              // 3531 rain thresholds
    char Reserved2;               // 3551
    float Infrared[6];            // 3552 infrared sensor parameters
    char ClimSpeed;               // 3576 climate board speed flag
    uint8_t GpsPortType;          // 3577 GPS-port device type
    uint8_t AirpType;             // 3578 pressure sensor type
    uint8_t VisiType;             // 3579 visibility sensor type
    uint8_t CommType;             // 3580
    uint8_t MainWindType;         // 3581
    uint8_t SunshineMode;         // 3582
    uint8_t RawMode;              // 3583 weighing rain gauge present (1)
    uint8_t LESensorMode;         // 3584
    float LESensorCalib;          // 3585
    double Scv[SCV_ELEMENTS][SCV_ENTRIES][2]; // 3589 calibration correction table
    uint8_t Spare2[480];          // 5317
    char Gw[16];                  // 5797 default gateway
    char DestIp[16];              // 5813 central computer, dotted decimal
    int32_t DestPort;             // 5829
    int32_t QcCtrl;               // 5833
    char STLX;                    // 5837 station type
    uint8_t Spare3[2];            // 5838
};

struct DefDataExRec {
    int32_t Generation;           // 0 older record formats, else current
};

struct ModiPamRec {
    float Pam[80][5];
};

#pragma pack(pop)

static_assert(sizeof(DefDataRec) == 5840, "para.bin is 5840 bytes");
static_assert(sizeof(DefDataExRec) == 4, "para_ex.bin is 4 bytes");
static_assert(sizeof(ModiPamRec) == 1600, "modipam.bin is 1600 bytes");
static_assert(offsetof(DefDataRec, Flag) == 64);
static_assert(offsetof(DefDataRec, SerialNo) == 80);
static_assert(offsetof(DefDataRec, Version1) == 96);
static_assert(offsetof(DefDataRec, StationId) == 120);
static_assert(offsetof(DefDataRec, Lat) == 128);
static_assert(offsetof(DefDataRec, Long) == 144);
static_assert(offsetof(DefDataRec, Alt) == 160);
static_assert(offsetof(DefDataRec, Td) == 164);
static_assert(offsetof(DefDataRec, AltP) == 168);
static_assert(offsetof(DefDataRec, Ip) == 172);
static_assert(offsetof(DefDataRec, WdModify) == 188);
static_assert(offsetof(DefDataRec, Sensi) == 200);
static_assert(offsetof(DefDataRec, Chrod) == 296);
static_assert(offsetof(DefDataRec, Smc) == 332);
static_assert(offsetof(DefDataRec, ObValid) == 440);
static_assert(offsetof(DefDataRec, ElementEnable) == 460);
static_assert(offsetof(DefDataRec, GpsValid) == 545);
static_assert(offsetof(DefDataRec, CfValid) == 546);
static_assert(offsetof(DefDataRec, SampleArchive) == 547);
static_assert(offsetof(DefDataRec, SampleSaveFlag) == 632);
static_assert(offsetof(DefDataRec, Qcps) == 638);
static_assert(offsetof(DefDataRec, Qcpm) == 1598);
static_assert(offsetof(DefDataRec, Gale) == 3338);
static_assert(offsetof(DefDataRec, Tmax) == 3342);
static_assert(offsetof(DefDataRec, FileTimeOut) == 3362);
static_assert(offsetof(DefDataRec, DoorValid) == 3366);
static_assert(offsetof(DefDataRec, Senco) == 3371);
static_assert(offsetof(DefDataRec, RSenco) == 3435);
static_assert(offsetof(DefDataRec, RainTh) == 3531);
static_assert(offsetof(DefDataRec, Infrared) == 3552);
static_assert(offsetof(DefDataRec, ClimSpeed) == 3576);
static_assert(offsetof(DefDataRec, GpsPortType) == 3577);
static_assert(offsetof(DefDataRec, AirpType) == 3578);
static_assert(offsetof(DefDataRec, MainWindType) == 3581);
static_assert(offsetof(DefDataRec, RawMode) == 3583);
static_assert(offsetof(DefDataRec, LESensorCalib) == 3585);
static_assert(offsetof(DefDataRec, Scv) == 3589);
static_assert(offsetof(DefDataRec, Spare2) == 5317);
static_assert(offsetof(DefDataRec, Gw) == 5797);
static_assert(offsetof(DefDataRec, DestIp) == 5813);
static_assert(offsetof(DefDataRec, DestPort) == 5829);
static_assert(offsetof(DefDataRec, QcCtrl) == 5833);
static_assert(offsetof(DefDataRec, STLX) == 5837);

// Calibration correction table: each element's constant. An interval whose
// upper bound equals the constant times 99.9 is unset; that is the factory
// value of every bound.
constexpr int SCV_CONSTANT[SCV_ELEMENTS] = {10, 100, 10, 100, 100, 100, 100, 100, 100,
                                            100, 100, 100, 100, 100, 10, 10, 10, 10};
constexpr double ScvUnsetBound(int element) { return SCV_CONSTANT[element] * 99.9; }

// File names (board paths).
#define PARA_FILE "/mnt/nand2/para.bin"
#define MODIPAM_FILE "/mnt/nand2/modipam.bin"
#define PARA_EX_FILE "/mnt/nand2/para_ex.bin"

// Load or create each file at start-up (order: para_ex, para, modipam).
// 0 when the record holds the file or the defaults, -1 when the file exists
// but cannot be opened (the record is then left zero).
int CheckParaExFile();
int CheckParamFile();
int CheckmodiParamFile();
// Load a file that exists.
int ReadDefaultParameEx();
int ReadDefaultParam();
int ReadMoidParam();
// The factory record of the given generation (0 older, else current),
// without saving it.
void FillDefaultParam(DefDataRec &d, int generation);
// 1 when the setting command of a para.bin field ("TD", "VISITYPE",
// "AIRPTYPE", "RAWMODE", "SUNSHINESET", "GPSSET", "CFSET", "DEST" for the
// port) accepts the value, 0 when it refuses it, -1 for another command.
int ParamValueAccepted(const char *command, int32_t value);
// Fill a record with its defaults and save it. 0, or -1 when the save failed.
int SetDefaultParamEx();
int SetDefaultParam();
int SetModiParam();
// Takes para.bin, as it now is on the flash, into the running record with
// the corrections of the start-up. 0, or -1 when the file is not one whole
// record (the running record is then unchanged).
int ReloadParamFile();
// Write the whole record; the number of records written (1 on success).
// The file is replaced atomically: a power loss leaves the old or the new.
// Writes size bytes to "<path>.tmp", forces them to the flash and renames
// the file over path, so that a power cut leaves the old file or the new
// one, never a short one. 0, -1 when the temporary file cannot be made,
// -2 when writing or renaming it failed (it is removed again).
int SaveFileWhole(const char *path, const void *data, std::size_t size);
int SaveParaFileEx(int);
int SaveParaFile(int);
int SaveModiParaFile();
// Prints the identity summary of the station (manufacturer, model, serial
// number, versions, station identifier and position), twice.
void PrintIdentity();
