// The command table, the parser of a command line with its two access
// levels, and the dispatch to the handlers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"

namespace {

#pragma pack(push, 1)
struct CommandRow {
    char Name[17];
    int32_t Index;
    char Pad[3];
};
#pragma pack(pop)
static_assert(sizeof(CommandRow) == 24, "a command row is 24 bytes");
static_assert(offsetof(CommandRow, Index) == 17);

constexpr int COMMAND_ROWS = 115;

// The rows of STATSOIL and STATEATH carry each other's numbers; the handler
// table below is numbered to match.
constexpr CommandRow CommandTable[COMMAND_ROWS] = {
    {"REBOOT", 0, {}},          {"SETCOM", 1, {}},          {"BASEINFO", 2, {}},
    {"AUTOCHECK", 3, {}},       {"DATE", 4, {}},            {"TIME", 5, {}},
    {"ID", 6, {}},              {"LAT", 7, {}},             {"LONG", 8, {}},
    {"TD", 9, {}},              {"ALTP", 10, {}},           {"SENSI", 11, {}},
    {"SMC", 12, {}},            {"DOOR", 13, {}},           {"MACT", 14, {}},
    {"PSS", 15, {}},            {"SENST", 16, {}},          {"RSTA", 17, {}},
    {"HELP", 18, {}},           {"QCPS", 19, {}},           {"QCPM", 20, {}},
    {"DMGD", 21, {}},           {"DMCD", 22, {}},           {"DMRD", 23, {}},
    {"DMSD", 24, {}},           {"DMOD", 25, {}},           {"DHGD", 26, {}},
    {"DHCD", 27, {}},           {"DHRD", 28, {}},           {"DHSD", 29, {}},
    {"DHOD", 30, {}},           {"GALE", 31, {}},           {"TMAX", 32, {}},
    {"TMIN", 33, {}},           {"RMAX", 34, {}},           {"DTLT", 35, {}},
    {"DTLV", 36, {}},           {"RESETTOFACTORY", 37, {}}, {"VERSION", 38, {}},
    {"PSD", 39, {}},            {"CHROD1", 40, {}},         {"CHROD2", 41, {}},
    {"CHROD3", 42, {}},         {"SAMPLE", 43, {}},         {"UPGRADE", 44, {}},
    {"DOWNLOAD", 45, {}},       {"DELTFILE", 46, {}},       {"IP", 47, {}},
    {"SERIALNO", 48, {}},       {"ALT", 49, {}},            {"SCV", 50, {}},
    {"SPACE", 51, {}},          {"SUNARCH", 52, {}},        {"UPTIME", 53, {}},
    {"GETPARAFILE", 54, {}},    {"PUTPARAFILE", 55, {}},    {"SYSCMD", 56, {}},
    {"PLATFOM2GROUND", 57, {}}, {"WSPLATFOM2GROUND", 58, {}}, {"OBSAMPLE", 59, {}},
    {"MODIWD", 60, {}},         {"DEBUGCOM", 61, {}},       {"RELAYOUT", 62, {}},
    {"SAMPLESAVE", 63, {}},     {"FILETIMEOUT", 64, {}},    {"DAUSET", 65, {}},
    {"WARNSET", 66, {}},        {"SENCO", 67, {}},          {"DEVMODE", 68, {}},
    {"GPSSET", 69, {}},         {"CFSET", 70, {}},          {"STATMAIN", 71, {}},
    {"STATCLIM", 72, {}},       {"STATRADI", 73, {}},       {"STATSOIL", 76, {}},
    {"STATSEAA", 75, {}},       {"STATEATH", 74, {}},       {"STATTARH", 77, {}},
    {"STATINTL", 78, {}},       {"STATSENSOR", 79, {}},     {"STAT", 80, {}},
    {"INFRAREDPARA", 81, {}},   {"CLIMSPEED", 82, {}},      {"MODIFY", 83, {}},
    {"SNOWMODE", 84, {}},       {"AIRPTYPE", 85, {}},       {"VISITYPE", 86, {}},
    {"COMMTYPE", 87, {}},       {"MAINBOARDSAVE", 88, {}},  {"WINDTYPE", 89, {}},
    {"SUNSHINESET", 90, {}},    {"OPENCOM", 91, {}},        {"BJDATA", 92, {}},
    {"RAWMODE", 93, {}},        {"SAMPLEQ", 94, {}},        {"SENSTDEF", 95, {}},
    {"DOORVALID", 96, {}},      {"LESENSORMODE", 97, {}},   {"LESENSORCALIB", 98, {}},
    {"STATTAIR", 99, {}},       {"STATRAIN", 100, {}},      {"RQCPS", 101, {}},
    {"RQCPM", 102, {}},         {"RSCV", 103, {}},          {"RSENCO", 104, {}},
    {"RTFTH", 105, {}},         {"RTDTH", 106, {}},         {"RPDTH", 107, {}},
    {"RSENCOKO", 108, {}},      {"DHGDNZ", 109, {}},        {"GW", 110, {}},
    {"DEST", 111, {}},          {"CHGVER", 112, {}},        {"QCCTRL", 113, {}},
    {"STLX", 114, {}},
};

// Handler of each command index.
constexpr CommandHandler kHandlers[COMMAND_ROWS] = {
    SystemReboot, SetCom, GetBaseinfo, AutoCheck, SetDate, SetTime, SetId, SetLat, SetLong, SetTd,
    SetAltp, SetSensi, GetSmc, GetDoorState, GetMact, GetPss, SetSenst, SetRsta, GetHelp, SetQcps,
    SetQcpm, GetDmgd, GetDmcd, GetDmrd, GetDmsd, GetDmod, GetDhgd, GetDhcd, GetDhrd, GetDhsd,
    GetDhod, GetGale, SetTmax, SetTmin, SetRmax, SetDtlt, SetDtlv, RestToFactory, GetVersion, GetPss,
    SetChrod1, SetChrod2, SetChrod3, GetSample, UpGradeCode, DownLoaddata, Deletoldfile, SetIp,
    SetSerialNo, SetAlt, SetScv, TestFreeSpace, GetSunArch, GetUptime, GetParameterfile,
    PutParameterfile, SystemCommandExecute, SetPlatfom2Ground, SetWsPlatfom2Ground, GetOBSample,
    SetModifyWdPam, DebugCom, RelayControl, SetSampleSaveFlag, SetFileTimeOut, SetObVaild, SetWarnSet,
    SetSenco, SetDevMode, GpsValidSet, CFValidSet, GetMainStat, GetClimStat, GetRadiStat,
    GetEathStat /* 74 */, GetSeaaStat, GetSoilStat /* 76 */, GetTerhStat, GetIntlStat, GetSensorState,
    GetState, SetInfraredPara, SetClimSpeed, ModifyPam, SetConfigType, SetAirpType, SetVisiType,
    SetCommType, SetMainBoardSave, SetMainWindType, Setsunshinemode, DebugCom, GetBjData, SetRawMode,
    GetSampleQ, SetSenstDef, SetDoorValid, SetLESensorMode, SetLESensorCalibration, GetTAirStat,
    GetTRainStat, SetRQcps, SetRQcpm, SetRScv, SetRSenco, SetRtfth, SetRtdth, SetRpdth, SetRSencoko,
    GetDhgdnz, SetGw, SetDestIPAndPort, SetChgVer, SetQcCtrl, SetSTLX,
};

// Codes of the element rows 0-79 that a command may name.
constexpr std::array<std::string_view, 80> kElementCodes = {
    "nNull", "P",    "T0",   "T01",  "T02",  "T03", "T1",  "T2",  "T3",  "TW",  "U",   "TDTD", "SV1", "SV2",
    "SV3",   "WD",   "WS",   "WS1",  "RAT",  "RAT1", "RAT2", "RAT3", "RAT5", "RAW", "TG",  "IR",  "ST0", "ST1",
    "ST2",   "ST3",  "ST4",  "ST5",  "ST6",  "ST7", "ST8", "LE",  "VI",  "CH",  "TCA", "LCA", "WW",  "SD",
    "FR",    "WI",   "FSD",  "LNF",  "GR",   "NR",  "DR",  "SR",  "RR",  "UR",  "UVA", "UVB", "AR",  "ART",
    "TR",    "TRT",  "PR",   "SSD",  "SM1",  "SM2", "SM3", "SM4", "SM5", "SM6", "SM7", "SM8", "WT",  "BA",
    "OT",    "OS",   "OC",   "OH",   "OP",   "OD",  "OV",  "TL",  "OTU", "OCC",
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\0' || c == '\r' || c == '\n'; }

bool Is(int index, const char *name)
{
    for (const CommandRow &row : CommandTable)
        if (row.Index == index)
            return std::strncmp(row.Name, name, sizeof row.Name) == 0;
    return false;
}

// The device-type command of each port that may serve as a terminal.
const char *DeviceTypeCommand(int port)
{
    switch (port) {
    case COM1: return "RAWMODE";
    case COM2: return "SNOWMODE";
    case COM3: return "VISITYPE";
    case COM4: return "AIRPTYPE";
    default: return nullptr;
    }
}

// Restricted access (the LAN link and the second terminals): queries, the
// retrievals and the commands whose parameter names an element pass;
// nothing that can destroy the station's settings or reach its shell does.
} // namespace

bool CommandAdmitted(int port, int index, const char *param)
{
    static constexpr const char *kNever[] = {"RESETTOFACTORY", "SENSTDEF", "SYSCMD",
                                             "UPGRADE",        "PUTPARAFILE", "GETPARAFILE"};
    for (const char *n : kNever)
        if (Is(index, n))
            return false;
    if (param[0] == '\0')
        return true;
    if (Is(index, "CHGVER"))
        return false;
    if (std::strchr(param, ' ') == nullptr) {
        static constexpr const char *kElementCommands[] = {
            "QCPS",  "QCPM", "RQCPS",   "RQCPM",      "SENST",  "SENSI",   "SENCO",      "RSENCO",  "RSENCOKO",
            "SCV",   "RSCV", "SMC",     "MODIFY",     "DEVMODE", "STATSENSOR", "SAMPLE", "SAMPLEQ", "SAMPLESAVE"};
        if (Is(index, "OBSAMPLE") || Is(index, "SAMPLESAVE") || Is(index, "DAUSET"))
            return true;
        for (const char *n : kElementCommands)
            if (Is(index, n))
                return FindElementCode(param) >= 0 || std::strcmp(param, "TD") == 0;
        const char *own = DeviceTypeCommand(port);
        return own != nullptr && Is(index, own);
    }
    static constexpr const char *kRetrievals[] = {"DMGD", "DMCD", "DMRD", "DMSD", "DMOD",   "DHGD",
                                                  "DHCD", "DHRD", "DHSD", "DHOD", "DHGDNZ", "SAMPLE"};
    for (const char *n : kRetrievals)
        if (Is(index, n))
            return true;
    return false;
}

int FindElementCode(const char *code)
{
    if (code == nullptr)
        return -1;
    std::string_view c(code, strnlen(code, 9));
    for (std::size_t i = 0; i < kElementCodes.size(); ++i)
        if (kElementCodes[i] == c)
            return int(i);
    return -1;
}

int ProcessCommand(const char *word)
{
    if (word == nullptr)
        return -1;
    for (const CommandRow &row : CommandTable)
        if (std::strncmp(row.Name, word, sizeof row.Name) == 0 && strnlen(word, sizeof row.Name + 1) < sizeof row.Name)
            return row.Index;
    return -1;
}

int ExecutCommand(int index, const char *parameter)
{
    if (index < 0 || index >= COMMAND_ROWS)
        return -1;
    return kHandlers[index](parameter != nullptr ? parameter : "");
}

int ProcessRxData(int port, const char *line, int access)
{
    char word[CMD_WORD_MAX + 1] = {};
    char param[CMD_PARAM_MAX + 2] = {};
    const char *p = line;
    while (IsBlank(*p))
        ++p;
    int n = 0;
    while (!IsLineEnd(*p) && !IsBlank(*p)) {
        if (n >= CMD_WORD_MAX - 1) {
            PrePareSend2Pc("F\r\n");
            return 0;
        }
        word[n++] = *p++;
    }
    if (*p != '\0' && *p != '\r' && *p != '\n') {
        while (IsBlank(*p))
            ++p;
        n = 0;
        while (!IsLineEnd(*p)) {
            if (n >= CMD_PARAM_MAX) {
                PrePareSend2Pc("F\r\n");
                return 0;
            }
            param[n++] = *p++;
        }
    }
    std::printf("ID: %d Command  is:%s ,Pamrameter is :%s \r\n", port, word, param);
    int index = ProcessCommand(word);
    if (index < 0) {
        std::printf("command is inavailable!!\n");
        PrePareSend2Pc("F\r\n");
        return 0;
    }
    if (access != ACCESS_FULL && !CommandAdmitted(port, index, param)) {
        PrePareSend2Pc("F\r\n");
        return 0;
    }
    if (ExecutCommand(index, param) == -1)
        std::printf("execute command fail\n");
    return 0;
}
