// Shared state of the four processes: the System V segments created before
// the process split and the records they hold.
//
// Records are packed, so every field keeps its declared width whatever the
// compiler. Never take the address of a packed field (it may be unaligned on
// ARM): copy it to a local first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "core/Param.h"

constexpr int ELEMENT_COUNT = 85;   // element indexes 0 to 84
constexpr int UART_SLOTS = 6;       // serial port slots 0 to 5
constexpr int UART_RCV_BUF = 512;   // bytes of one port's receive buffer

// Kinds of record whose latest text the live state keeps (for the retrieval
// commands with an empty parameter).
enum RecordKind { REC_DMGD = 0, REC_DMCD, REC_DMRD, REC_DMSD, REC_DMOD, REC_DHGD, REC_DHGDNZ,
                  REC_DHCD, REC_DHRD, REC_DHSD, REC_DHOD, REC_KINDS };
constexpr int LAST_RECORD_LEN = 1024;   // the longest record (DHGDNZ)
// Live per-second sample texts: one area per element row 0-79, then the
// wind texts that have no row of their own.
enum SampleTextExtra { SAMPTEXT_WS3 = 80, SAMPTEXT_UWS, SAMPTEXT_UWS3, SAMPTEXT_UWD, SAMPTEXT_AREAS };
constexpr int SAMPLE_TEXT_LEN = 2048;
constexpr int STATE_TEXT_LEN = 336;   // a status-file line (331 bytes) and its end

// Keys of the segments that outlive the program (mapped through TpIpcKey).
constexpr int KEY_CPY_CF_FLAG = 1234;
constexpr int KEY_SAMPLE_QC = 5678;
constexpr int KEY_LAN = 2134;

#pragma pack(push, 1)

// The shared copy of the time, ticked once a second by the housekeeping
// process. Month 1-12, full year.
struct ShareClockRec {
    struct tm *pTm;
    int32_t Sec;
    int32_t Min;
    int32_t Hour;
    int32_t Day;
    int32_t Mon;
    int32_t Year;
};

// Main collector status block, in the order the STATMAIN reply lists it.
struct MainCollectorStat {
    float SupplyVoltage;   // V
    char PowerKind;        // '0' AC, '1' DC (below 13.0 V)
    float Mact;            // the main board's MACT reading
    char TerhState;        // temperature-humidity status
    char WindState;        // wind status
    char CfState;          // '0' the CF card is usable
    int32_t CFSpace;       // free CF megabytes
    char GpsState;         // '0' a valid GPS time was read, '2' not
    char DoorState;        // cabinet door
    char CanExtState;      // further status of the CAN path, kept at '0'
    char ListenState;      // '0' on every pass of the listener loop
    char CanBusState;      // '0' sampling units answering, '2' not
};

// One sub-collector status record (STATCLIM ... STATSEAA).
struct SubCollectorStat {
    char State;
    float Reading1;
    char State2;
    float Reading2;
    char Flag1;
    char Flag2;
};

// STATTARH block.
struct TerhStat {
    char State1;
    uint8_t Reading1;   // reading x 10
    char State2;
    uint8_t Reading2;   // reading x 10
    char State3;
    char Flag;
};

enum SubCollector { SUB_CLIM = 0, SUB_RADI, SUB_EATH, SUB_SOIL, SUB_SEAA, SUB_COUNT };

// Status block of the air-temperature and rain boards, in the order the
// STATTAIR and STATRAIN replies list it.
struct ExtBoardStat {
    char State;            // '0' talking, '2' silent since reset, '9' not heard, 'N' off
    float SupplyVoltage;   // V
    char VoltageLow;       // '1' below 13.0 V
    float BoardTemp;       // deg C
    char Ch1;
    char Ch2;
    uint8_t Status1;       // board status bytes
    uint8_t Status2;
};

// Readings of the air-temperature board (node 16). Temperatures in deg C,
// 9999.0 for a dead channel.
struct TairBlock {
    float ChanTemp[4];     // the four channel temperatures
    float FurtherTemp[4];  // four further channels
    float ExtraTemp;       // one more temperature
    float Humidity;        // percent
    char ChanQc[4];        // QC characters sent by the board: T01, T02, T03, ExtraTemp
};

// Readings of the rain board (node 17).
struct RainBlock {
    uint8_t Reading[6];    // d0-d5; 0-2 are RAT1-RAT3
    uint8_t Status;
    char Qc[5];            // RAT1, RAT2, RAT3, RAT, fifth reading
    int32_t HourCount;     // hourly accumulated rain count
    uint8_t Flag;
};

constexpr int SUNSHINE_FLAGS = 30;
constexpr int QCPM_MEMORY = 100;   // minute check indexes 0-99

struct TemproraryDataRec {
    ShareClockRec ShareClock;
    int32_t TimeNow;
    char MainBoardCommState;
    MainCollectorStat MainStat;          // holds CfState, CFSpace, DoorState, CanBusState
    int32_t SampBoardExtOutput;
    int32_t VisDeviceQc;
    char ComSetting[32];
    SubCollectorStat SubStat[SUB_COUNT];
    TerhStat Terh;
    float CurrentValue[ELEMENT_COUNT];
    char CurrentQc[ELEMENT_COUNT];
    char SensorState[ELEMENT_COUNT];
    char UartRcvBuf[UART_SLOTS][UART_RCV_BUF];
    int32_t UartRcvLen[UART_SLOTS];
    char CopyRequest;                    // 1 = the terminal asked for a data copy
    char CopyRequestPath[128];
    char CfKeyPressed;
    char DebugEcho[2];
    // CAN sampling boards (process A writes, the minute process resets).
    float MainOptReading[2];             // evaporation level (mm), climate channel 1 / 10
    ExtBoardStat TairStat;
    ExtBoardStat RainStat;
    TairBlock Tair;
    RainBlock Rain;
    int32_t SyncCount;                   // SYNC frames sent
    int32_t TerhTempCount;               // temperature packets of node 15
    int32_t TerhHumiCount;               // humidity packets of node 15
    int32_t SunshineFlag[SUNSHINE_FLAGS];
    int32_t SunshineIdx;
    int32_t ClimFreq[3];                 // latest value of the climate frequency channels
    int32_t ClimFreqDelta[3];            // change since the previous value
    // Minutes without variation per minute-check index and for the
    // 10-minute visibility (minute process only).
    uint8_t NoVarCount[QCPM_MEMORY];
    uint8_t NoVarCountVI10;

    // Terminal service.
    char DebugFlag[7];                   // pass-through: master flag, then COM0-COM5 ('0'/'1')
    int32_t PressReadErr;                // -1 for one listener pass after a failed pressure read
    int32_t SampBoardSeen;               // 1 once the serial sampling board sent a frame
    char LanRcvBuf[512];                 // last block read from the LAN link
    char RcvLogText[512];                // serial-board reception log (BJDATA)
    char LastRecord[REC_KINDS][LAST_RECORD_LEN];        // latest record text of each kind
    char SampleText[SAMPTEXT_AREAS][SAMPLE_TEXT_LEN];   // current plain sample texts
    char SampleTextQ[SAMPTEXT_AREAS][SAMPLE_TEXT_LEN];  // current QC sample texts
    // The station state text of the latest minute: the status line the
    // status-file cycle builds, with its own line end (STAT).
    char StationStateText[STATE_TEXT_LEN];
    int32_t SunshineMinutes;             // sunshine minutes of the radiation hour (minute process)
    // Instrument readings taken once by the minute record (the minute
    // process resets them after use).
    int32_t RawMinute;                   // weighing-gauge precipitation of the minute, 0.1 mm
    // The weighing gauge as its reader last decoded it: the two amounts
    // (0.1 mm, 0 when their status is not '0') and their status characters.
    int32_t RawWeight[2];
    char RawWeightState[2];
    int32_t SnowDepth;                   // latest snow depth
    char SnowDepthQc;
    int32_t VisDevice10;                 // the visibility sensor's own 10-minute value (VisDeviceQc)
    // Sensor maintenance (DEVMODE): mode '0' or '2' and the minutes left.
    char RawMaintMode;
    int32_t RawMaintMinutes;
    char LeMaintMode;
    int32_t LeMaintMinutes;
    char LeMaintReset;                   // 1: maintenance ended, restart the evaporation
    // Serial instruments (terminal process).
    uint8_t SnowSensorState[4];          // snow-depth sensor state bytes
    int32_t RawFreq[3];                  // its three vibrating-wire frequencies
    float UltWindSpeed;                  // ultrasonic wind, m/s
    char UltWindSpeedQc;
    float UltWindDir;                    // degrees
    char UltWindDirQc;
};

// Serial port table, one entry per port slot.
struct UartDevEntry {
    int32_t fd;            // -1 when the open failed
    char DevName[30];
    int32_t Speed;
    int32_t DataBits;
    char Parity;           // 'N', 'E', 'O' or 'M'
    int32_t StopBits;
    char DispName[30];
};
struct UartDevRec {
    UartDevEntry Port[UART_SLOTS];
};

#pragma pack(pop)

// Private segments (created by ShareMemory, attached before the split).
// Each subsystem that owns a segment declares its pointer in its own header
// and ShareMemory creates it in its place of the list.
extern TemproraryDataRec *TemproraryData;
extern DefDataRec *defdata;
extern DefDataExRec *defdataEx;
extern ModiPamRec *modipam;
extern UartDevRec *UartDev;

// Keyed segments.
extern int shmid;        // CF-copy flag
extern int SamQcShmid;   // SampleQc
extern int LanShmid;     // Lan state
extern volatile unsigned char *g_pCpyCfDataFlag;
extern unsigned char *g_ucpSampleDataQc;
extern unsigned char *g_ucpLan;

int InitCpyCfDataFlagShareMem();
int InitShareMem(int key, int size, int flags);
volatile unsigned char *GetCpyCfDataFlagShareMem(int id);
unsigned char *GetShareMem(int id);

// One private segment: where its address goes and its size.
struct PrivateSegment {
    void **where;
    std::size_t size;
};
// Creates, attaches and clears the private segments in the order given,
// then initialises TemproraryData. Each subsystem that owns a segment
// declares its pointer in its own header; start-up lists them. Returns the
// number of failed creations (0 on success); on failure it has already
// asked for a reboot.
int CreatePrivateSegments(const PrivateSegment *segments, int count);
