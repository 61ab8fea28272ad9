// The QC limits, sensor coefficients, calibration correction tables,
// thresholds and modification parameters, set and shown from the terminal.
//
// The R-forms exist only with the current record generation (with the older
// one they stay silent). Those that concern the redundant sensors T01-T03
// and RAT1-RAT3 also hand the new values to the TAIR or RAIN sub-collector;
// the values are saved here whatever the bus does, and the units get the
// whole set again at the next start.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "canbus/SubCollectorPara.h"
#include "core/BRISQ1110Assist.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "processing/Calibration.h"
#include "sampling/SampleQc.h"
#include "sampling/Sensortable.h"
#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"
#include "terminal/ParamText.h"

namespace {

// ---------------------------------------------------------------- QC limits

// The two QC tables as the commands see them.
struct QcForm {
    const char *usage;
    int values;          // per element
    bool minute;         // QCPM table, else QCPS
    int (*send)(int element, int pauseUs);   // the sub-collector's copy
};
const QcForm kQcps = {"QCPS XX [MIN MAX DD]\r\n", 3, false, SendQcpsToSubCollector};
const QcForm kQcpm = {"QCPM XX [DD DD DD DD DD]\r\n", 5, true, SendQcpmToSubCollector};

// The element a QC command names. The plain forms leave the redundant
// sensors to the R-forms; in the older generation the plain RAT1 is the
// second rain counter RAT1_C.
int QcElement(std::string_view code, bool remoteForm)
{
    const int e = CommandElement(code);
    if (remoteForm || e < 0)
        return e;
    switch (e) {
    case EL_T01: case EL_T02: case EL_T03: case EL_RAT2: case EL_RAT3:
        return -1;
    case EL_RAT1:
        return NewGeneration() ? -1 : EL_RAT1_C;
    default:
        return e;
    }
}

// The sample table has 80 rows: RAT1_C is checked against RAT1's row (see
// QcpsRow), so that is where its limits go; the minute table has a row of
// its own for it.
int QcRow(const QcForm &f, int element) { return f.minute ? element : QcpsRow(element); }

float QcGet(const QcForm &f, int row, int k) { return f.minute ? defdata->Qcpm[row][k] : defdata->Qcps[row][k]; }

void QcSet(const QcForm &f, int row, int k, float v)
{
    if (f.minute)
        defdata->Qcpm[row][k] = v;
    else
        defdata->Qcps[row][k] = v;
}

// A limit word: a number, or a word holding '/' (no limit) or '-' (minus
// no limit).
bool ParseLimit(std::string_view w, float &v, bool &number)
{
    number = ParseNumber(w, v);
    if (number)
        return true;
    if (w.find('/') != std::string_view::npos)
        v = QC_NONE;
    else if (w.find('-') != std::string_view::npos)
        v = -QC_NONE;
    else
        return false;
    return true;
}

// Appends one limit as the commands write it.
void PutLimit(ReplyText &r, float v)
{
    if (v == QC_NONE)
        r.Add("/");
    else if (v == -QC_NONE)
        r.Add("-");
    else
        r.Add("%0.1f", double(v));
}

int QcCommand(const char *param, const QcForm &f, bool remoteForm)
{
    if (remoteForm && !NewGeneration())
        return 0;
    if (AsksUsage(param)) {
        PrePareSend2Pc(f.usage);
        return 0;
    }
    if (param[0] == '\0' || !DigitsOr(param, 4, ".- /"))
        return ReplyFalse();
    if (remoteForm) {
        const int blanks = CountChar(param, ' ');
        if (blanks != 0 && blanks != f.values)
            return ReplyFalse();
    }
    const ParamWords w = SplitWords(param);
    const int element = QcElement(w.w[0], remoteForm);
    if (w.n == 1) {
        if (element < 0)
            return ReplyFalse();
        const int row = QcRow(f, element);
        ReplyText r;
        for (int k = 0; k < f.values; ++k) {
            PutLimit(r, QcGet(f, row, k));
            // The sample limits end with a blank before the line end.
            if (k + 1 < f.values || !f.minute)
                r.Add(" ");
        }
        r.Add("\r\n");
        r.Send();
        return 0;
    }
    if (w.n != f.values + 1 || element < 0)
        return ReplyFalse();
    float v[5] = {};
    bool number[5] = {};
    for (int k = 0; k < f.values; ++k)
        if (!ParseLimit(w.w[k + 1], v[k], number[k]))
            return ReplyFalse();
    if (number[0] && number[1] && v[0] > v[1])
        return ReplyFalse();
    const int row = QcRow(f, element);
    for (int k = 0; k < f.values; ++k)
        QcSet(f, row, k, v[k]);
    SaveParam();
    if (remoteForm)
        f.send(element, 0);
    return ReplyTrue();
}

// ---------------------------------------------------------------- coefficients

// SENCO rows: WS, WS1, RAT, RAT1_C.
int SencoRow(std::string_view code)
{
    if (code == "WS")
        return 0;
    if (code == "WS1")
        return 1;
    if (code == "RAT")
        return 2;
    if (code == "RAT1_C" || (code == "RAT1" && !NewGeneration()))
        return 3;
    return -1;
}

// The redundant sensor an RSENCO command names.
bool RSencoSensor(std::string_view code, SubCollectorSensor &s)
{
    return FindSubCollectorSensor(CommandElement(code), s);
}

// ---------------------------------------------------------------- calibration tables

constexpr double SCV_UNUSED = 99.9;   // reference value of a pair not in use
constexpr int SCV_TEXT_MAX = 15;      // longest code

int ScvCommand(const char *param, bool remoteForm)
{
    if (remoteForm && !NewGeneration())
        return 0;
    const std::string_view p(param);
    const std::size_t blank = p.find_first_of(" \t");
    const std::string_view codeText = p.substr(0, blank);
    if (codeText.empty() || codeText.size() > SCV_TEXT_MAX)
        return ReplyFalse();
    char code[SCV_TEXT_MAX + 1] = {};
    std::memcpy(code, codeText.data(), codeText.size());
    const int s = GetScvSensorIndex(code);
    if (s < 0)
        return ReplyFalse();
    const double scale = GetScvSensorCalCoe(code);
    const int decimals = scale > 10 ? 2 : 1;
    if (SplitWords(p).n == 1) {
        ReplyText r;
        for (int k = 0; k < SCV_ENTRIES; ++k)
            r.Add("%0.*f,%0.*f/", decimals, defdata->Scv[s][k][0] / scale, decimals, defdata->Scv[s][k][1] / scale);
        r.Add("\r\n");
        r.Send();
        return 0;
    }
    if (p.back() != '/' || !DigitsOr(param, 3, "./ ,-"))
        return ReplyFalse();
    // Six "reference,corrected/" pairs and nothing else.
    const ParamWords pairs = SplitWords(p.substr(blank), "/");
    if (pairs.n != SCV_ENTRIES)
        return ReplyFalse();
    double ref[SCV_ENTRIES], cor[SCV_ENTRIES];
    double last = 0;
    bool any = false;
    for (int k = 0; k < SCV_ENTRIES; ++k) {
        const ParamWords two = SplitWords(pairs.w[k], ",");
        if (two.n != 2 || std::count(pairs.w[k].begin(), pairs.w[k].end(), ',') != 1)
            return ReplyFalse();
        const ParamWords a = SplitWords(two.w[0]), b = SplitWords(two.w[1]);
        if (a.n != 1 || b.n != 1 || !ParseNumber(a.w[0], ref[k]) || !ParseNumber(b.w[0], cor[k]))
            return ReplyFalse();
        if (ref[k] == SCV_UNUSED)
            continue;
        // The intervals are looked up from the first upwards: their
        // upper bounds must rise.
        if (any && ref[k] <= last)
            return ReplyFalse();
        last = ref[k];
        any = true;
    }
    for (int k = 0; k < SCV_ENTRIES; ++k) {
        defdata->Scv[s][k][0] = ref[k] == SCV_UNUSED ? ScvUnsetBound(s) : ref[k] * scale;
        defdata->Scv[s][k][1] = cor[k] * scale;
    }
    SaveParam();
    if (remoteForm)
        SendScvToSubCollector(s, 0);
    return ReplyTrue();
}

// ---------------------------------------------------------------- rain thresholds

// Splits "a,b" (blanks around either allowed) into its two numbers; at
// most one ','. A trailing '%' of the second is dropped when asked.
bool ParsePair(const char *param, float &a, float &b, bool percent)
{
    if (CountChar(param, ',') != 1)
        return false;
    std::string_view p(param);
    const std::size_t comma = p.find(',');
    ParamWords left = SplitWords(p.substr(0, comma));
    std::string_view rest = p.substr(comma + 1);
    if (percent) {
        const std::size_t pc = rest.find('%');
        if (pc != std::string_view::npos) {
            if (SplitWords(rest.substr(pc + 1)).n != 0)
                return false;
            rest = rest.substr(0, pc);
        }
    }
    ParamWords right = SplitWords(rest);
    return left.n == 1 && right.n == 1 && ParseNumber(left.w[0], a) && ParseNumber(right.w[0], b);
}

// ---------------------------------------------------------------- single thresholds

struct Threshold {
    const char *usage;
    std::size_t offset;   // int32 field of the main record
};
constexpr Threshold kGale = {"GALE [DD]\r\n", offsetof(DefDataRec, Gale)};
constexpr Threshold kTmax = {"TMAX [DD]\r\n", offsetof(DefDataRec, Tmax)};
constexpr Threshold kTmin = {"TMIN [DD]\r\n", offsetof(DefDataRec, Tmin)};
constexpr Threshold kRmax = {"RMAX [DD]\r\n", offsetof(DefDataRec, Rmax)};
constexpr Threshold kDtlt = {"DTLT [DD]\r\n", offsetof(DefDataRec, Dtlt)};
constexpr Threshold kDtlv = {"DTLV [DD]\r\n", offsetof(DefDataRec, Dtlv)};

int ThresholdCommand(const char *param, const Threshold &t)
{
    if (AsksUsage(param)) {
        PrePareSend2Pc(t.usage);
        return 0;
    }
    // The fields are unaligned in the packed record: copied, not pointed at.
    char *field = reinterpret_cast<char *>(defdata) + t.offset;
    int32_t stored;
    std::memcpy(&stored, field, sizeof stored);
    const ParamWords w = SplitWords(param);
    if (w.n == 0) {
        Reply("%d\r\n", int(stored));
        return 0;
    }
    int32_t v;
    if (w.n != 1 || !ParseInt(w.w[0], v))
        return ReplyFalse();
    if (v != stored) {
        std::memcpy(field, &v, sizeof v);
        SaveParam();
    }
    return ReplyTrue();
}

// CHROD1 to CHROD3: three coefficients each.
int ChrodCommand(const char *param, int set)
{
    const ParamWords w = SplitWords(param);
    if (w.n == 0) {
        Reply("%f %f %f\r\n", double(defdata->Chrod[set][0]), double(defdata->Chrod[set][1]),
              double(defdata->Chrod[set][2]));
        return 0;
    }
    float v[3];
    if (w.n != 3 || !ParseNumbers(w, 0, 3, v))
        return ReplyFalse();
    for (int k = 0; k < 3; ++k)
        defdata->Chrod[set][k] = v[k];
    SaveParam();
    return ReplyTrue();
}

} // namespace

int SetQcps(const char *param) { return QcCommand(param, kQcps, false); }
int SetQcpm(const char *param) { return QcCommand(param, kQcpm, false); }
int SetRQcps(const char *param) { return QcCommand(param, kQcps, true); }
int SetRQcpm(const char *param) { return QcCommand(param, kQcpm, true); }

int SetSenco(const char *param)
{
    const ParamWords w = SplitWords(param);
    if (w.n == 0)
        return ReplyFalse();
    const int row = SencoRow(w.w[0]);
    if (row < 0)
        return ReplyFalse();
    if (w.n == 1) {
        Reply("%0.4f %0.4f %0.4f %0.4f\r\n", double(defdata->Senco[row * 4]), double(defdata->Senco[row * 4 + 1]),
              double(defdata->Senco[row * 4 + 2]), double(defdata->Senco[row * 4 + 3]));
        return 0;
    }
    float v[4];
    if (w.n != 5 || !ParseNumbers(w, 1, 4, v))
        return ReplyFalse();
    for (int k = 0; k < 4; ++k)
        defdata->Senco[row * 4 + k] = v[k];
    SaveParam();
    return ReplyTrue();
}

int SetRSenco(const char *param)
{
    if (!NewGeneration())
        return 0;
    const int blanks = CountChar(param, ' ');
    if (param[0] == '\0' || (blanks != 0 && blanks != 4))
        return ReplyFalse();
    const ParamWords w = SplitWords(param);
    SubCollectorSensor s;
    if (!RSencoSensor(w.w[0], s))
        return ReplyFalse();
    const int k = s.subindex - 1;
    if (w.n == 1) {
        Reply("%0.7f %0.7f %0.3E %0.7f\r\n", double(defdata->RSenco[s.block][k][0]),
              double(defdata->RSenco[s.block][k][1]), double(defdata->RSenco[s.block][k][2]),
              double(defdata->RSenco[s.block][k][3]));
        return 0;
    }
    float v[4];
    if (w.n != 5 || !ParseNumbers(w, 1, 4, v))
        return ReplyFalse();
    for (int j = 0; j < 4; ++j)
        defdata->RSenco[s.block][k][j] = v[j];
    SaveParam();
    SendRSencoToSubCollector(CommandElement(w.w[0]), 0);
    return ReplyTrue();
}

int SetRSencoko(const char *param)
{
    if (!NewGeneration())
        return 0;
    SubCollectorSensor s;
    if (param[0] == '\0' || !RSencoSensor(param, s))
        return ReplyFalse();
    const int k = s.subindex - 1;
    Reply("a0=%0.7f a1=%0.7f a2=%0.3E a3=%0.7f\r\n", double(defdata->RSenco[s.block][k][0]),
          double(defdata->RSenco[s.block][k][1]), double(defdata->RSenco[s.block][k][2]),
          double(defdata->RSenco[s.block][k][3]));
    return 0;
}

int SetScv(const char *param) { return ScvCommand(param, false); }
int SetRScv(const char *param) { return ScvCommand(param, true); }

int SetRtfth(const char *param)
{
    if (!NewGeneration())
        return 0;
    if (param[0] == '\0') {
        Reply("%s%.1f,%.1f%s", g_cStartStr, double(defdata->RainTh[0]), double(defdata->RainTh[1]), g_cEndStr);
        return 0;
    }
    float a, b;
    if (!ParsePair(param, a, b, false) || (a < 0 && b < 0))
        return ReplyFalse();
    defdata->RainTh[0] = a;
    defdata->RainTh[1] = b;
    SaveParam();
    SendRainThToSubCollector(0, 0);
    SendRainThToSubCollector(1, 0);
    return ReplyTrue();
}

int SetRtdth(const char *param)
{
    if (!NewGeneration())
        return 0;
    const ParamWords w = SplitWords(param);
    if (w.n == 0) {
        Reply("%s%.1f%s", g_cStartStr, double(defdata->RainTh[2]), g_cEndStr);
        return 0;
    }
    float v;
    if (w.n != 1 || !ParseNumber(w.w[0], v) || v < 0)
        return ReplyFalse();
    defdata->RainTh[2] = v;
    SaveParam();
    SendRainThToSubCollector(2, 0);
    return ReplyTrue();
}

int SetRpdth(const char *param)
{
    if (!NewGeneration())
        return 0;
    if (param[0] == '\0') {
        Reply("%s%.1f,%d%%%s", g_cStartStr, double(defdata->RainTh[3]), int(std::lround(defdata->RainTh[4] * 100.0f)),
              g_cEndStr);
        return 0;
    }
    float v, percent;
    if (!ParsePair(param, v, percent, true) || v < 0 || percent < 0)
        return ReplyFalse();
    defdata->RainTh[3] = v;
    defdata->RainTh[4] = percent / 100.0f;
    SaveParam();
    SendRainThToSubCollector(3, 0);
    SendRainThToSubCollector(4, 0);
    return ReplyTrue();
}

int SetChrod1(const char *param) { return ChrodCommand(param, 0); }
int SetChrod2(const char *param) { return ChrodCommand(param, 1); }
int SetChrod3(const char *param) { return ChrodCommand(param, 2); }

int GetGale(const char *param) { return ThresholdCommand(param, kGale); }
int SetTmax(const char *param) { return ThresholdCommand(param, kTmax); }
int SetTmin(const char *param) { return ThresholdCommand(param, kTmin); }
int SetRmax(const char *param) { return ThresholdCommand(param, kRmax); }
int SetDtlt(const char *param) { return ThresholdCommand(param, kDtlt); }
int SetDtlv(const char *param) { return ThresholdCommand(param, kDtlv); }

int ModifyPam(const char *param)
{
    const ParamWords w = SplitWords(param);
    if (w.n == 0)
        return ReplyFalse();
    const int e = CommandElement(w.w[0]);
    if (e < 0 || modipam == nullptr)
        return ReplyFalse();
    if (w.n == 1) {
        const ModiPamRec &m = *modipam;
        Reply("%0.1f %0.1f %0.1f %0.1f %0.1f\r\n", double(m.Pam[e][0]), double(m.Pam[e][1]), double(m.Pam[e][2]),
              double(m.Pam[e][3]), double(m.Pam[e][4]));
        return 0;
    }
    // Five values, or the first three; nothing in between.
    const int count = w.n - 1;
    float v[5] = {};
    if ((count != 5 && count != 3) || !ParseNumbers(w, 1, count, v))
        return ReplyFalse();
    for (int k = 0; k < count; ++k)
        modipam->Pam[e][k] = RoundData4To5(v[k], 1);
    SaveModiParaFile();
    return ReplyTrue();
}
