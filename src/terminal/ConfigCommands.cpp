// Which sub-units and sensors the station uses and the constants of single
// sensors, set and shown from the terminal. Every accepted change is saved
// with the whole parameter record, except the maintenance modes, which last
// only for their countdown.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/BRISQ1110Assist.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/Sensortable.h"
#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"
#include "terminal/ParamText.h"

namespace {

// ---------------------------------------------------------------- sub-units

constexpr int OB_MAIN = 18;   // the main board's flag, at its node number

// DAUSET's sub-units in the order of its reply; `stored` in each generation
// says whether DAUSET may change the flag (TARH, TAIR and RAIN follow the
// station type in the current generation).
struct SubUnit {
    const char *name;
    int pos;
    bool newOnly;
    bool storedOld;
    bool storedNew;
};
constexpr SubUnit kSubUnits[] = {
    {"MAIN", OB_MAIN, false, true, true},  {"CLIM", OB_CLIM, false, false, false},
    {"RADI", OB_RADI, false, true, true},  {"SOIL", OB_SOIL, false, false, false},
    {"EATH", OB_EATH, false, true, true},  {"SEAA", OB_SEAA, false, false, false},
    {"TARH", OB_TERH, false, true, false}, {"TAIR", OB_TAIR, true, false, false},
    {"RAIN", OB_RAIN, true, false, false},
};

const SubUnit *FindSubUnit(std::string_view name)
{
    if (name.size() < 4)
        return nullptr;
    for (const SubUnit &u : kSubUnits)
        if (name.substr(0, 4) == u.name)
            return &u;
    return nullptr;
}

// The status record state of a sub-unit that DAUSET switches off, so that
// its status line reads "not enabled" at once.
void MarkDisabled(int pos)
{
    TemproraryDataRec &t = *TemproraryData;
    if (pos == OB_RADI)
        t.SubStat[SUB_RADI].State = 'N';
    else if (pos == OB_EATH)
        t.SubStat[SUB_EATH].State = 'N';
    else if (pos == OB_TERH)
        t.Terh.State1 = 'N';
}

// A flag value: exactly one character '0' or '1'.
bool FlagChar(std::string_view w, char &c)
{
    if (w.size() != 1 || (w[0] != '0' && w[0] != '1'))
        return false;
    c = w[0];
    return true;
}

// ---------------------------------------------------------------- element enable

// The SENST string of the older generation: elements 1-2, 6-18, RAT1_C,
// 23-79.
constexpr int SENST_OLD_LEN = 73;
constexpr int SENST_NEW_LEN = 79;
int SenstElement(int i, bool newGen)
{
    if (newGen)
        return i + 1;
    if (i < 2)
        return i + 1;
    if (i < 15)
        return i + 4;
    if (i == 15)
        return EL_RAT1_C;
    return i + 7;
}

// The element a SENST or SAMPLESAVE command names; the older generation
// knows RAT1 only as its second rain counter.
int EnableElement(std::string_view code)
{
    const int e = CommandElement(code);
    return e == EL_RAT1 && !NewGeneration() ? EL_RAT1_C : e;
}

// ---------------------------------------------------------------- sensitivities

struct Sensitivity {
    const char *code;
    int entry;
};
constexpr Sensitivity kSensi[] = {{"GR", 0}, {"DR", 3},  {"SR", 4},  {"RR", 5},  {"UR", 6},
                                  {"UVA", 7}, {"UVB", 8}, {"AR", 9}, {"TR", 10}, {"PR", 11}};
constexpr int SENSI_NR_FIRST = 1;   // NR has two entries, 1 and 2
constexpr int32_t SENSI_INT_MAX = 21474836;

int SensiEntry(std::string_view code)
{
    for (const Sensitivity &s : kSensi)
        if (code == s.code)
            return s.entry;
    return -1;
}

float Round2(float v) { return RoundData4To5(v, 2); }

// A sensitivity value text: a number other than 0 whose whole part is at
// most 21474836.
bool SensiValue(std::string_view w, float &v)
{
    if (w.size() >= 8 || !ParseNumber(w, v) || v == 0.0f)
        return false;
    int32_t whole;
    const std::size_t point = w.find('.');
    const std::string_view head = w.substr(0, point);
    return head.empty() || head == "-" || head == "+" || (ParseInt(head, whole) && whole <= SENSI_INT_MAX);
}

// ---------------------------------------------------------------- single values

enum class Kind { Int, Float, Byte };
struct Setting {
    std::size_t offset;     // field of the main record
    Kind kind;
    const char *query;      // reply format of the value
    int32_t min, max;       // accepted range of an integer
    int maxLen;             // longest value text (0: any)
};

void Load(std::size_t off, void *v, std::size_t n) { std::memcpy(v, reinterpret_cast<char *>(defdata) + off, n); }
void Store(std::size_t off, const void *v, std::size_t n)
{
    std::memcpy(reinterpret_cast<char *>(defdata) + off, v, n);
}

// Query with an empty parameter, else one value word checked and stored.
int SettingCommand(const char *param, const Setting &s)
{
    const ParamWords w = SplitWords(param);
    if (w.n == 0) {
        if (s.kind == Kind::Float) {
            float v;
            Load(s.offset, &v, sizeof v);
            Reply(s.query, double(v));
        } else if (s.kind == Kind::Byte) {
            uint8_t v;
            Load(s.offset, &v, sizeof v);
            Reply(s.query, int(v));
        } else {
            int32_t v;
            Load(s.offset, &v, sizeof v);
            Reply(s.query, int(v));
        }
        return 0;
    }
    if (s.maxLen > 0 && int(w.w[0].size()) > s.maxLen)
        return ReplyFalse();
    if (s.kind == Kind::Float) {
        float v;
        if (w.n != 1 || !ParseNumber(w.w[0], v))
            return ReplyFalse();
        Store(s.offset, &v, sizeof v);
    } else {
        int32_t v;
        if (w.n != 1 || !ParseInt(w.w[0], v) || v < s.min || v > s.max)
            return ReplyFalse();
        if (s.kind == Kind::Byte) {
            const auto b = uint8_t(v);
            Store(s.offset, &b, 1);
        } else {
            Store(s.offset, &v, sizeof v);
        }
    }
    SaveParam();
    return ReplyTrue();
}

constexpr int32_t ANY_MIN = INT32_MIN, ANY_MAX = INT32_MAX;
constexpr Setting kLeMode = {offsetof(DefDataRec, LESensorMode), Kind::Byte, "%d\r\n", 0, 1, 1};
constexpr Setting kLeCalib = {offsetof(DefDataRec, LESensorCalib), Kind::Float, "%.1f\r\n", 0, 0, 0};
constexpr Setting kPlatform = {offsetof(DefDataRec, Platform2Ground), Kind::Float, "%0.1f\r\n", 0, 0, 0};
constexpr Setting kWsPlatform = {offsetof(DefDataRec, WsPlatform2Ground), Kind::Float, "%f\r\n", 0, 0, 7};
constexpr Setting kModiWd = {offsetof(DefDataRec, WdModify), Kind::Int, "%d\r\n", ANY_MIN, ANY_MAX, 0};
constexpr Setting kMainBoardSave = {offsetof(DefDataRec, SampleSaveFlag) + COM5, Kind::Byte, "%d\r\n", ANY_MIN,
                                    ANY_MAX, 0};
constexpr Setting kFileTimeOut = {offsetof(DefDataRec, FileTimeOut), Kind::Int, "%d\r\n", 1, 4, 0};
constexpr Setting kQcCtrl = {offsetof(DefDataRec, QcCtrl), Kind::Int, "%d\r\n", 0, 1, 0};
constexpr Setting kDoorValid = {offsetof(DefDataRec, DoorValid), Kind::Int, "%d\r\n", 0, 1, 0};

// ---------------------------------------------------------------- maintenance modes

constexpr int32_t MAINT_MINUTES_MAX = 65535;

// The ultrasonic wind's sample-save flags follow the 80 element rows.
constexpr int SAMPLE_UWD = 80;
constexpr int SAMPLE_UWS = 81;

int (*g_pfnSampBoardInit)() = nullptr;

} // namespace

void SetSampBoardInitHook(int (*download)()) { g_pfnSampBoardInit = download; }
int RunSampBoardInit() { return g_pfnSampBoardInit != nullptr ? g_pfnSampBoardInit() : 0; }

int SetObVaild(const char *param)
{
    const ParamWords w = SplitWords(param);
    const bool newGen = NewGeneration();
    if (param[0] == '\0') {
        const char *o = defdata->ObValid;
        if (newGen)
            Reply("MAIN:%c CLIM:%c RADI:%c SOIL:%c EATH:%c SEAA:%c TARH:%c TAIR:%c RAIN:%c\r\n", o[OB_MAIN],
                  o[OB_CLIM], o[OB_RADI], o[OB_SOIL], o[OB_EATH], o[OB_SEAA], o[OB_TERH], o[OB_TAIR], o[OB_RAIN]);
        else
            Reply("MAIN:%c CLIM:%c RADI:%c SOIL:%c EATH:%c SEAA:%c TARH:%c\r\n", o[OB_MAIN], o[OB_CLIM],
                  o[OB_RADI], o[OB_SOIL], o[OB_EATH], o[OB_SEAA], o[OB_TERH]);
        return 0;
    }
    if (w.n == 0)
        return 0;   // not even one word: no reply
    const SubUnit *u = FindSubUnit(w.w[0]);
    if (w.n == 1) {
        if (u == nullptr || (u->newOnly && !newGen))
            return ReplyFalse();
        Reply("%c\r\n", defdata->ObValid[u->pos]);
        return 0;
    }
    char c;
    if (w.n != 2 || !FlagChar(w.w[1], c))
        return ReplyFalse();
    const bool stored = u != nullptr && (newGen ? u->storedNew : u->storedOld);
    if (!stored) {
        // The older generation has always taken other names without a
        // change; a unit it has but does not switch from here is refused.
        const bool known = u != nullptr && !u->newOnly;
        return newGen || known ? ReplyFalse() : ReplyTrue();
    }
    defdata->ObValid[u->pos] = c;
    if (c == '0')
        MarkDisabled(u->pos);
    SaveParam();
    return ReplyTrue();
}

int SetSenst(const char *param)
{
    if (AsksUsage(param)) {
        PrePareSend2Pc("SENST XX [0/1]\r\n");
        return 0;
    }
    const bool newGen = NewGeneration();
    const int len = newGen ? SENST_NEW_LEN : SENST_OLD_LEN;
    const ParamWords w = SplitWords(param);
    if (w.n == 0) {
        char text[SENST_NEW_LEN + 3];
        for (int i = 0; i < len; ++i)
            text[i] = defdata->ElementEnable[SenstElement(i, newGen)];
        std::memcpy(text + len, "\r\n", 3);
        PrePareSend2Pc(text);
        return 0;
    }
    if (w.n == 1 && int(w.w[0].size()) == len) {
        const std::string_view s = w.w[0];
        if (s.find_first_not_of("01") != std::string_view::npos)
            return ReplyFalse();
        for (int i = 0; i < len; ++i)
            defdata->ElementEnable[SenstElement(i, newGen)] = s[std::size_t(i)];
        SaveParam();
        return ReplyTrue();
    }
    const int e = EnableElement(w.w[0]);
    if (w.n == 1) {
        if (e < 0)
            return ReplyFalse();
        Reply("%c \r\n", defdata->ElementEnable[e]);
        return 0;
    }
    int32_t v;
    const std::string_view value = w.n == 2 ? w.w[1] : std::string_view();
    if (w.n != 2 || e < 0 || value.find_first_not_of("0123456789") != std::string_view::npos ||
        !ParseInt(value, v) || (v != 0 && v != 1))
        return ReplyFalse();
    defdata->ElementEnable[e] = char('0' + v);
    SaveParam();
    return ReplyTrue();
}

int SetSenstDef(const char *param)
{
    if (param[0] != '\0')
        return ReplyFalse();
    static constexpr int kDefaultOn[] = {1, 2, 9, 10, 15, 16, 18, 24, 26, 27, 28, 29, 30, 31, 32, 33, 34};
    for (int i = 0; i <= 73; ++i)
        defdata->ElementEnable[i] = '0';
    for (int e : kDefaultOn)
        defdata->ElementEnable[e] = '1';
    SaveParam();
    return ReplyTrue();
}

int SetSensi(const char *param)
{
    if (AsksUsage(param)) {
        PrePareSend2Pc("SENSI XX [DD.DD]\r\nSENSI NR [DD.DD/DD.DD]\r\n");
        return 0;
    }
    if (param[0] == '\0' || !DigitsOr(param, 3, "./ -"))
        return ReplyFalse();
    const ParamWords w = SplitWords(param);
    const std::string_view code = w.w[0];
    const bool nr = code == "NR";
    const int entry = nr ? SENSI_NR_FIRST : SensiEntry(code);
    if (entry < 0)
        return ReplyFalse();
    if (w.n == 1) {
        if (nr)
            Reply("%0.2f/%0.2f\r\n", double(defdata->Sensi[entry]), double(defdata->Sensi[entry + 1]));
        else
            Reply("%0.2f\r\n", double(defdata->Sensi[entry]));
        return 0;
    }
    if (w.n != 2)
        return ReplyFalse();
    const ParamWords values = SplitWords(w.w[1], "/");
    const bool pair = w.w[1].find('/') != std::string_view::npos;
    if (pair != nr)
        return ReplyFalse();
    if (nr) {
        float a, b;
        if (values.n != 2 || std::count(w.w[1].begin(), w.w[1].end(), '/') != 1 || values.w[0].size() >= 8 ||
            values.w[1].size() >= 8 || !ParseNumber(values.w[0], a) || !ParseNumber(values.w[1], b))
            return ReplyFalse();
        defdata->Sensi[entry] = Round2(a);
        defdata->Sensi[entry + 1] = Round2(b);
    } else {
        float v;
        if (!SensiValue(w.w[1], v))
            return ReplyFalse();
        defdata->Sensi[entry] = Round2(v);
    }
    SaveParam();
    return ReplyTrue();
}

int GetSmc(const char *param)
{
    if (AsksUsage(param)) {
        PrePareSend2Pc("SMC SMX [DD DD DD]\r\n");
        return 0;
    }
    if (param[0] == '\0' || !DigitsOr(param, 4, " ."))
        return ReplyFalse();
    const ParamWords w = SplitWords(param);
    const std::string_view code = w.w[0];
    if (code.size() != 3 || code.substr(0, 2) != "SM" || code[2] < '1' || code[2] > '8')
        return ReplyFalse();
    const int layer = code[2] - '1';
    if (w.n == 1) {
        Reply("%d %d %d\r\n", int(defdata->Smc[layer][0]), int(defdata->Smc[layer][1]), int(defdata->Smc[layer][2]));
        return 0;
    }
    int32_t v[3];
    if (w.n != 4 || !ParseInt(w.w[1], v[0]) || !ParseInt(w.w[2], v[1]) || !ParseInt(w.w[3], v[2]))
        return ReplyFalse();
    for (int k = 0; k < 3; ++k)
        defdata->Smc[layer][k] = v[k];
    SaveParam();
    return ReplyTrue();
}

int SetDevMode(const char *param)
{
    const ParamWords w = SplitWords(param);
    if (w.n == 0 || (w.w[0] != "RAW" && w.w[0] != "LE"))
        return ReplyFalse();
    TemproraryDataRec &t = *TemproraryData;
    const bool le = w.w[0] == "LE";
    const char mode = le ? t.LeMaintMode : t.RawMaintMode;
    const int32_t minutes = le ? t.LeMaintMinutes : t.RawMaintMinutes;
    if (w.n == 1) {
        if (mode == '2')
            Reply("2 %d\r\n", int(minutes));
        else
            Reply("0\r\n");
        return 0;
    }
    if (w.w[1] == "2" && w.n == 3) {
        int32_t n;
        if (w.w[2].find_first_not_of("0123456789") != std::string_view::npos || !ParseInt(w.w[2], n) || n < 1 ||
            n > MAINT_MINUTES_MAX)
            return ReplyFalse();
        if (le) {
            t.LeMaintMinutes = n;
            t.LeMaintMode = '2';
        } else {
            t.RawMaintMinutes = n;
            t.RawMaintMode = '2';
        }
        return ReplyTrue();
    }
    if (w.w[1] == "0" && w.n == 2) {
        if (le) {
            t.LeMaintMode = '0';
            t.LeMaintMinutes = 0;
            t.LeMaintReset = 1;
        } else {
            t.RawMaintMode = '0';
        }
        return ReplyTrue();
    }
    return ReplyFalse();
}

int SetInfraredPara(const char *param)
{
    const ParamWords w = SplitWords(param);
    const DefDataRec &d = *defdata;
    if (w.n == 0) {
        Reply("%e %e %e %e %e %e\r\n", double(d.Infrared[0]), double(d.Infrared[1]), double(d.Infrared[2]),
              double(d.Infrared[3]), double(d.Infrared[4]), double(d.Infrared[5]));
        return 0;
    }
    float v[6];
    if (w.n != 6 || !ParseNumbers(w, 0, 6, v))
        return ReplyFalse();
    for (int k = 0; k < 6; ++k)
        defdata->Infrared[k] = v[k];
    SaveParam();
    return ReplyTrue();
}

int SetLESensorMode(const char *param) { return SettingCommand(param, kLeMode); }
int SetLESensorCalibration(const char *param) { return SettingCommand(param, kLeCalib); }
int SetPlatfom2Ground(const char *param) { return SettingCommand(param, kPlatform); }
int SetWsPlatfom2Ground(const char *param) { return SettingCommand(param, kWsPlatform); }
int SetModifyWdPam(const char *param) { return SettingCommand(param, kModiWd); }
int SetMainBoardSave(const char *param) { return SettingCommand(param, kMainBoardSave); }
int SetFileTimeOut(const char *param) { return SettingCommand(param, kFileTimeOut); }
int SetQcCtrl(const char *param) { return SettingCommand(param, kQcCtrl); }

int SetDoorValid(const char *param)
{
    const ParamWords w = SplitWords(param);
    int32_t v;
    if (w.n == 0)
        return SettingCommand(param, kDoorValid);
    if (w.n != 1 || !ParseInt(w.w[0], v) || (v != 0 && v != 1))
        return ReplyFalse();
    defdata->DoorValid = v;
    ReplyTrue();
    // The serial board's configuration text depends on the door flag.
    if (g_pfnSampBoardInit != nullptr)
        g_pfnSampBoardInit();
    SaveParam();
    return 0;
}

int SetClimSpeed(const char *param)
{
    const std::size_t len = std::strlen(param);
    if (len == 0) {
        Reply("%c\r\n", defdata->ClimSpeed);
        return 0;
    }
    if (len != 1)
        return ReplyFalse();
    defdata->ClimSpeed = param[0];
    SaveParam();
    return ReplyTrue();
}

int SetSampleSaveFlag(const char *param)
{
    if (AsksUsage(param)) {
        PrePareSend2Pc("SAMPLESAVE XX [0/1]\r\n");
        return 0;
    }
    const ParamWords w = SplitWords(param);
    if (w.n == 0 || w.n > 2)
        return ReplyFalse();
    const std::string_view code = w.w[0];
    int e = code == "UWD" ? SAMPLE_UWD : code == "UWS" ? SAMPLE_UWS : CommandElement(code);
    const bool redundant = (e >= EL_T01 && e <= EL_T03) || (e >= EL_RAT1 && e <= EL_RAT3);
    if (redundant && !NewGeneration())
        e = -1;
    // Byte of the flag in the main record.
    std::size_t flag;
    if (e >= 0)
        flag = offsetof(DefDataRec, SampleArchive) + std::size_t(e);
    else if (code.size() == 4 && code.substr(0, 3) == "COM" && code[3] >= '0' && code[3] <= '5')
        flag = offsetof(DefDataRec, SampleSaveFlag) + std::size_t(code[3] - '0');
    else
        return ReplyFalse();
    char c;
    if (w.n == 1) {
        Load(flag, &c, 1);
        Reply("%c \r\n", c);
        return 0;
    }
    if (!FlagChar(w.w[1], c))
        return ReplyFalse();
    Store(flag, &c, 1);
    SaveParam();
    return ReplyTrue();
}

int SetSTLX(const char *param)
{
    if (!NewGeneration())
        return ReplyFalse();
    if (param[0] == '\0') {
        Reply("%s%c%s", g_cStartStr, defdata->STLX, g_cEndStr);
        return 0;
    }
    if (std::strlen(param) != 1 || (param[0] != 'M' && param[0] != 'S'))
        return ReplyFalse();
    const bool m = param[0] == 'M';
    DefDataRec &d = *defdata;
    d.ObValid[OB_TAIR] = m ? '1' : '0';
    d.ObValid[OB_RAIN] = m ? '1' : '0';
    d.ObValid[OB_TERH] = m ? '0' : '1';
    d.ElementEnable[EL_T01] = '1';
    d.ElementEnable[EL_RAT1] = '1';
    for (int e : {EL_T02, EL_T03, EL_RAT2, EL_RAT3})
        d.ElementEnable[e] = m ? '1' : '0';
    d.STLX = param[0];
    SaveParam();
    return ReplyTrue();
}
