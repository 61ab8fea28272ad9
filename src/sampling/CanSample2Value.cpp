#include "sampling/CanSample2Value.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/CanRing.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"

namespace {

// Status ageing: after this many calls (about 1000 s without traffic, far
// less with it) the boards fall back to "no data" unless packets refresh them.
constexpr int RUNFLAG_LIMIT = 2000;

uint8_t candatabuff[11];   // node, type, 8 data bytes of the entry in hand
uint8_t cTerminalType;
uint8_t cPacketType;
int RunFlag;
float infrared_diffvalue = -1.0f;
int RadiDegree[RADI_COUNT];   // last converted radiation values

// ---- payload access ------------------------------------------------------

uint8_t D(int i) { return candatabuff[2 + i]; }
int Word(int i) { return D(2 * i) + 256 * D(2 * i + 1); }
int Signed(int w) { return w > 32768 ? w - 65536 : w; }
// 32767 marks a dead channel; deadMark replaces it.
int SignedDead(int w, int deadMark)
{
    if (w == 32767)
        return deadMark;
    return w >= 32769 ? w - 65536 : w;
}
char QcDigit(uint8_t code) { return code <= 9 ? char('0' + code) : '9'; }

// ---- board status helpers ------------------------------------------------

bool Enabled(int node) { return defdata->ObValid[node] == '1'; }

// Supply voltage with the clamp of the boards that report nonsense while
// their converter settles.
float ClampVoltage(float v) { return (v > 20.0f || v < 10.0f) ? 12.3f : v; }
char LowFlag(float v) { return v < 13.0f ? '1' : '0'; }

SubCollectorStat &Sub(int which) { return TemproraryData->SubStat[which]; }

void SetSubSupply(int which, int raw)
{
    float v = ClampVoltage(raw / 1000.0f);
    Sub(which).Reading1 = v;
    Sub(which).State2 = LowFlag(v);
}

// ---- element writers -----------------------------------------------------

void AddRain1(int n)
{
    std::printf("clim rainfall %d\n", n);
    AddRainCount(n, RAIN_COUNTER_2);
    Sub(SUB_CLIM).Flag2 = '0';
}

int Humidity(int raw)
{
    if (raw < 1)
        raw = 0;
    if (raw > 99)
        raw = 100;
    return raw * 10;
}

// ---- node 18: main sampling board ----------------------------------------

void Evaporation(int i)
{
    std::printf("LE current:%d\n", i);
    float level10 = 0.0f;
    if (i >= 360 && i <= 2100) {
        level10 = (125000.0f - 62.5f * i) / 100.0f;
        std::printf("LE level:%f\n", level10);
        level10 *= 0.981f;
        std::printf("LE level:%f\n", level10);
        if (level10 < 0.0f) level10 = 0.0f;
        if (level10 > 1000.0f) level10 = 1000.0f;
    }
    int32_t t = TruncToInt32(level10 * 10.0f);
    WriteElementSample(sampledata->LE, 60, EL_LE, t / 10, t / 100.0f, 2);
    TemproraryData->MainOptReading[0] = t / 100.0f;
}

void MainBoard()
{
    TemproraryDataRec &td = *TemproraryData;
    td.MainBoardCommState = '0';
    MainCollectorStat &m = td.MainStat;
    switch (cPacketType) {
    case CANPKT_TPDO1:
        // While the temperature/humidity board reports, it owns T0 and U.
        if (td.Terh.State1 != '0') {
            int t0 = Signed(Word(0));
            WriteElementSample(sampledata->T0, 30, EL_T0, t0, t0 / 100.0f, 2);
            int u = Signed(Word(1)) / 10;
            if (u > 999)
                u = 1000;
            WriteElementSample(sampledata->U, 30, EL_U, u, u / 10.0f);
        }
        Evaporation(Signed(Word(3)));
        m.TerhState = '0';
        break;
    case CANPKT_TPDO2: {
        int32_t ws = TruncToInt32(WindSpeed(Signed(Word(0)), 0) * 100.0f);
        WriteElementSample(sampledata->WS, 240, EL_WS, ws, ws / 100.0f);
        m.WindState = '0';
        break;
    }
    case CANPKT_TPDO3: {
        int n = Signed(Word(0));
        int wd = n;
        if (D(2) == 0) {
            // The vane reports 0-2500 for a full turn; round to whole degrees.
            int deg10 = n * 3600 / 2500;
            wd = deg10 / 10 + (deg10 % 10 >= 5 ? 1 : 0);
        }
        WriteElementSample(sampledata->WD, 60, EL_WD, wd, float(wd));
        m.DoorState = D(3) == 0 ? '0' : '1';
        m.TerhState = '0';
        break;
    }
    case CANPKT_TPDO4: {
        AddRainCount(Signed(Word(0)), RAIN_COUNTER_1);
        AddRain1(Signed(Word(1)));
        m.Mact = Signed(Word(2)) / 100.0f;
        float v = ClampVoltage(Signed(Word(3)) / 1000.0f);
        m.SupplyVoltage = v;
        m.PowerKind = LowFlag(v);
        break;
    }
    default:
        break;
    }
}

// ---- node 15: temperature/humidity board ---------------------------------

void TerhBoard()
{
    TemproraryDataRec &td = *TemproraryData;
    TerhStat &s = td.Terh;
    g_ChkTmrTARH = 0;
    if (cPacketType == CANPKT_TPDO1) {
        int t0 = Signed(Word(0));
        int qcIndex = defdataEx->Generation != 0 ? EL_T01 : EL_T0;
        float disp = t0 / 100.0f;
        StoreElementSample(sampledata->T0, 30, EL_T0, t0, disp, iQCPS_Code(qcIndex, disp), 2);
        int v = TruncToInt32(Signed(Word(1)) / 1000.0f);
        if (v > 20 || v < 10)
            v = 12;
        s.Reading1 = uint8_t(v);
        s.State2 = v < 13 ? '1' : '0';
        s.Reading2 = uint8_t(TruncToInt32(Signed(Word(2)) / 100.0f));
        s.State3 = '0';
        s.Flag = 'N';
        td.TerhTempCount = td.TerhTempCount + 1;
    } else if (cPacketType == CANPKT_TPDO2) {
        int u = Humidity(Signed(Word(2)));
        WriteElementSample(sampledata->U, 30, EL_U, u, u / 10.0f);
        td.TerhHumiCount = td.TerhHumiCount + 1;
    }
}

// ---- node 3: climate board -----------------------------------------------

void ClimFrequency(int ch, int raw)
{
    char qc = (raw < 1001 || raw > 2999) ? '2' : '0';
    const DefDataRec &d = *defdata;
    float k1 = d.Chrod[ch][0], k2 = d.Chrod[ch][1], zero = d.Chrod[ch][2];
    float x = raw - zero;
    if (x < 0.0f)
        x = 0.0f;
    int32_t v = TruncToInt32((k1 * x + k2 * x * x) / 1.57f * 100.0f + 0.5f);
    sampledata->ClimFreq[ch] = v;
    sampledata->ClimFreqQc[ch] = qc;
    TemproraryDataRec &td = *TemproraryData;
    td.ClimFreqDelta[ch] = int32_t(int64_t(v) - td.ClimFreq[ch]);
    td.ClimFreq[ch] = v;
    if (ch == 0)
        td.MainOptReading[1] = v / 10.0f;
}

void ClimBoard()
{
    switch (cPacketType) {
    case CANPKT_TPDO1: {
        SampleRing<60> *rings[3] = {&sampledata->T1, &sampledata->T2, &sampledata->T3};
        for (int k = 0; k < 3; ++k) {
            int t = Signed(Word(k));
            WriteElementSample(*rings[k], T123_WRAP, EL_T1 + k, t, t / 100.0f);
        }
        Sub(SUB_CLIM).Flag1 = '0';
        infrared_diffvalue = float(Word(3));
        break;
    }
    case CANPKT_TPDO2:
        for (int k = 0; k < 3; ++k)
            ClimFrequency(k, Word(k));
        AddRain1(Word(3));
        break;
    case CANPKT_TPDO3: {
        int32_t ws1 = TruncToInt32(WindSpeed(Word(0), 1) * 10.0f);
        WriteElementSample(sampledata->WS1, 30, EL_WS1, ws1, ws1 / 10.0f);
        SetSubSupply(SUB_CLIM, Signed(Word(2)));
        Sub(SUB_CLIM).Reading2 = Signed(Word(3)) / 100.0f;
        break;
    }
    case CANPKT_TPDO4: {
        SampleRing<30> *rings[3] = {&sampledata->SV1, &sampledata->SV2, &sampledata->SV3};
        for (int k = 0; k < 3; ++k) {
            int raw = Word(k);
            int32_t sv = 31;
            if (defdata->ClimSpeed == '1')
                sv = raw < 10 ? -MISSING_VALUE : TruncToInt32((raw * 0.0443f - 0.9565f) * 10.0f);
            // The missing marker stays the missing marker for the check.
            float disp = sv == -MISSING_VALUE ? -MISSING_FLOAT : sv / 10.0f;
            WriteElementSample(*rings[k], 30, EL_SV1 + k, sv, disp, 1, false);
        }
        if (infrared_diffvalue != -1.0f) {
            int ir = DisposeInfraredData(float(Word(3)), infrared_diffvalue);
            float disp = ir == MISSING_VALUE ? MISSING_FLOAT : ir / 100.0f;
            WriteElementSample(sampledata->IR, 30, EL_IR, ir, disp);
            infrared_diffvalue = -1.0f;
        }
        break;
    }
    default:
        break;
    }
}

// ---- node 5: radiation board ---------------------------------------------

struct RadiChannel {
    int8_t ring;     // RadiRing, -1 none
    int8_t index;    // element index
    int8_t sensi;    // entry of the sensitivities
};
// Per packet type 4, 6, 8: the channel of each word.
constexpr RadiChannel kRadi[3][4] = {
    {{RADI_GR, EL_GR, 0}, {RADI_DR, EL_DR, 3}, {RADI_SR, EL_SR, 4}, {RADI_RR, EL_RR, 5}},
    {{RADI_UVA, EL_UVA, 7}, {RADI_UVB, EL_UVB, 8}, {RADI_AR, EL_AR, 9}, {RADI_TR, EL_TR, 10}},
    {{RADI_PR, EL_PR, 11}, {-1, 0, 0}, {-1, 0, 0}, {RADI_NR, EL_NR, 2}},
};

void RadiChannelWrite(const RadiChannel &c, int r)
{
    float s = defdata->Sensi[c.sensi];
    int32_t v;
    if (c.index == EL_NR) {
        // Net radiation is signed: a word of 32768 or more is negative.
        if (r >= 32768)
            r -= 65536;
        v = TruncToInt32(r * 1000.0f / s + 5.0f);
    } else {
        v = r < 32768 ? TruncToInt32(r * 1000.0f / s + 5.0f) : 0;
    }
    RadiDegree[c.ring] = v;
    float disp = v / 100.0f;
    StoreElementSample(sampledata->Radi[c.ring], 30, c.index, v, disp,
                       iQCPS_Code(c.index, std::fabs(disp)), 1);
}

void RadiBoard()
{
    g_ChkTmrRADI = 0;
    int t = cPacketType;
    if (t == CANPKT_TPDO1 || t == CANPKT_TPDO2 || t == CANPKT_TPDO3) {
        const RadiChannel *row = kRadi[(t - CANPKT_TPDO1) / 2];
        for (int k = 0; k < 4; ++k)
            if (row[k].ring >= 0)
                RadiChannelWrite(row[k], Word(k));
        if (t == CANPKT_TPDO1) {
            Sub(SUB_RADI).Flag1 = '0';
            Sub(SUB_RADI).Flag2 = 'N';
        }
    } else if (t == CANPKT_TPDO4) {
        SetSubSupply(SUB_RADI, Signed(Word(0)));
        Sub(SUB_RADI).Reading2 = Signed(Word(1)) / 100.0f;
        TemproraryDataRec &td = *TemproraryData;
        int idx = td.SunshineIdx;
        if (idx > SUNSHINE_FLAGS - 1 || idx < 0)
            idx = 0;
        td.SunshineFlag[idx] = Word(2) > 1000 ? 1 : 0;
        td.SunshineIdx = idx + 1;
    }
}

// ---- node 6: earth-temperature board -------------------------------------

void EarthChannel(int ring, int index, int w)
{
    int raw = SignedDead(w, MISSING_VALUE);
    float disp = MISSING_FLOAT;
    if (raw != MISSING_VALUE) {
        const ModiPamRec &mp = *modipam;
        float a = mp.Pam[index][0], b = mp.Pam[index][1], c = mp.Pam[index][2];
        float t = raw / 100.0f;
        disp = a * t * t + b * t + c;
    }
    char qc = iQCPS_Code(index, disp);
    int32_t v = qc == '8' ? MISSING_VALUE : TruncToInt32(disp * 100.0f);
    StoreElementSample(sampledata->Earth[ring], 30, index, v, disp, qc, 1, false);
}

void EarthBoard()
{
    g_ChkTmrEATH = 0;
    Sub(SUB_EATH).Flag1 = '0';
    Sub(SUB_EATH).Flag2 = 'N';
    switch (cPacketType) {
    case CANPKT_TPDO1:
        EarthChannel(EARTH_TG, EL_TG, Word(0));
        EarthChannel(EARTH_ST0, EL_ST0, Word(1));
        break;
    case CANPKT_TPDO2:
    case CANPKT_TPDO3: {
        int first = cPacketType == CANPKT_TPDO2 ? 0 : 4;   // ST1-ST4, ST5-ST8
        for (int k = 0; k < 4; ++k)
            EarthChannel(EARTH_ST1 + first + k, EL_ST1 + first + k, Word(k));
        break;
    }
    case CANPKT_TPDO4:
        SetSubSupply(SUB_EATH, Signed(Word(0)));
        Sub(SUB_EATH).Reading2 = Signed(Word(1)) / 100.0f;
        break;
    default:
        break;
    }
}

// ---- nodes 9 and 12: soil and sea boards ---------------------------------

void SoilSeaBoard(int which)
{
    Sub(which).Flag1 = '0';
    if (which == SUB_SOIL && cPacketType == CANPKT_TPDO3) {
        SetSubSupply(SUB_SOIL, Signed(Word(0)));
        Sub(SUB_SOIL).Reading2 = Signed(Word(1)) / 100.0f;
    }
}

// ---- node 16: air-temperature board --------------------------------------

constexpr int TAIR_DEAD = 999999;
constexpr int STATUS_DEAD = 9999;

float TairLive(int raw) { return raw == TAIR_DEAD ? 9999.0f : raw / 100.0f; }
float TairStore(int raw) { return raw == TAIR_DEAD ? 99999.9f : raw / 10.0f; }

void TairBoard()
{
    g_ChkTmrTAIR = 0;
    TemproraryDataRec &td = *TemproraryData;
    TairBlock &b = td.Tair;
    td.TairStat.Ch1 = '0';
    switch (cPacketType) {
    case CANPKT_TPDO1:
        for (int k = 0; k < 4; ++k) {
            int raw = SignedDead(Word(k), TAIR_DEAD);
            float live = TairLive(raw);
            b.ChanTemp[k] = live;
            sampledata->TairLatest[k] = TairStore(raw);
            if (k < 3) {
                // The board checks these itself; its QC codes come in type 10.
                WriteRingQc(sampledata->T0x[k], 30, raw / 10, '0');
                td.CurrentValue[EL_T01 + k] = live;
            }
        }
        break;
    case CANPKT_TPDO2: {
        int raw = SignedDead(Word(0), TAIR_DEAD);
        int u = Humidity(raw);
        WriteElementSample(sampledata->U, 30, EL_U, u, u / 10.0f);
        b.Humidity = u / 10.0f;
        float v = SignedDead(Word(2), STATUS_DEAD) / 1000.0f;
        td.TairStat.SupplyVoltage = v;
        td.TairStat.VoltageLow = LowFlag(v);
        td.TairStat.BoardTemp = SignedDead(Word(3), STATUS_DEAD) / 100.0f;
        break;
    }
    case CANPKT_TPDO3:
        for (int k = 0; k < 4; ++k) {
            int raw = SignedDead(Word(k), TAIR_DEAD);
            b.FurtherTemp[k] = TairLive(raw);
            sampledata->TairFurther[k] = TairStore(raw);
        }
        break;
    case CANPKT_TPDO4: {
        int raw = SignedDead(Word(0), TAIR_DEAD);
        bool dead = raw == TAIR_DEAD;
        b.ExtraTemp = TairLive(raw);
        sampledata->TairExtra = dead ? 9999.0f : raw / 10.0f;
        sampledata->TairExtraQc = dead ? '8' : '0';
        td.TairStat.Status1 = D(2);
        td.TairStat.Status2 = D(3);
        for (int k = 0; k < 3; ++k) {
            char qc = QcDigit(D(4 + k));
            b.ChanQc[k] = qc;
            td.CurrentQc[EL_T01 + k] = qc;
            if (g_ucpSampleDataQc != nullptr)
                g_ucpSampleDataQc[EL_T01 + k] = uint8_t(qc);
        }
        b.ChanQc[3] = QcDigit(D(7));
        break;
    }
    default:
        break;
    }
}

// ---- node 17: rain board -------------------------------------------------

void RainBoard()
{
    g_ChkTmrTRAIN = 0;
    TemproraryDataRec &td = *TemproraryData;
    RainBlock &b = td.Rain;
    td.RainStat.Ch1 = '0';
    switch (cPacketType) {
    case CANPKT_TPDO1:
        for (int k = 0; k < 6; ++k) {
            b.Reading[k] = D(k);
            sampledata->RainBoard[k] = D(k);
        }
        for (int k = 0; k < 3; ++k)
            td.CurrentValue[EL_RAT1 + k] = D(k);
        b.Status = D(6);
        break;
    case CANPKT_TPDO2:
        for (int k = 0; k < 5; ++k)
            b.Qc[k] = QcDigit(D(k));
        for (int k = 0; k < 3; ++k)
            td.CurrentQc[EL_RAT1 + k] = b.Qc[k];
        td.CurrentQc[EL_RAT] = b.Qc[3];
        if (g_ucpSampleDataQc != nullptr)
            g_ucpSampleDataQc[EL_RAT] = uint8_t(b.Qc[3]);
        b.HourCount = Word(3);
        std::printf("RainHourLj:%d\n", Word(3));
        break;
    case CANPKT_TPDO3: {
        float v = SignedDead(Word(2), STATUS_DEAD) / 1000.0f;
        td.RainStat.SupplyVoltage = v;
        td.RainStat.VoltageLow = LowFlag(v);
        td.RainStat.BoardTemp = SignedDead(Word(3), STATUS_DEAD) / 100.0f;
        break;
    }
    default:
        break;
    }
}

// ---- dispatch ------------------------------------------------------------

// Acceptance by node; an accepted packet marks the bus and the board alive.
void Dispatch()
{
    TemproraryDataRec &td = *TemproraryData;
    int node = cTerminalType;
    bool accepted;
    switch (node) {
    case NODE_MAIN: accepted = true; break;
    case NODE_TERH: accepted = Enabled(NODE_TERH) && !Enabled(NODE_TAIR); break;
    case NODE_CLIM: case NODE_RADI: case NODE_EATH: case NODE_SOIL: case NODE_SEAA:
    case NODE_TAIR: case NODE_RAIN: accepted = Enabled(node); break;
    default: accepted = false; break;
    }
    if (!accepted)
        return;
    td.MainStat.CanBusState = '0';
    switch (node) {
    case NODE_MAIN: MainBoard(); break;
    case NODE_TERH: td.Terh.State1 = '0'; TerhBoard(); break;
    case NODE_CLIM: Sub(SUB_CLIM).State = '0'; ClimBoard(); break;
    case NODE_RADI: Sub(SUB_RADI).State = '0'; RadiBoard(); break;
    case NODE_EATH: Sub(SUB_EATH).State = '0'; EarthBoard(); break;
    case NODE_SOIL: Sub(SUB_SOIL).State = '0'; SoilSeaBoard(SUB_SOIL); break;
    case NODE_SEAA: Sub(SUB_SEAA).State = '0'; SoilSeaBoard(SUB_SEAA); break;
    case NODE_TAIR: td.TairStat.State = '0'; TairBoard(); break;
    case NODE_RAIN: td.RainStat.State = '0'; RainBoard(); break;
    default: break;
    }
}

int NextSlot(int i) { return (i >= 0 && i < CAN_RCV_SLOTS - 1) ? i + 1 : 0; }

} // namespace

// The rain counters: the increment joins the minute sum, which is checked.
void AddRainCount(int n, RainCounter which)
{
    const bool first = which == RAIN_COUNTER_1;
    const int row = first ? 2 : 3;   // SENCO rows of RAT and RAT1
    float k0 = defdata->Senco[row * 4];
    float k1 = defdata->Senco[row * 4 + 1];
    int32_t inc = TruncToInt32((n * k1 + k0) * 10.0f);
    int64_t total = int64_t(first ? sampledata->RainSum : sampledata->Rain1Sum) + inc;
    if (total > INT32_MAX) total = INT32_MAX;
    if (total < INT32_MIN) total = INT32_MIN;
    int32_t sum = int32_t(total);
    int index = first ? EL_RAT : EL_RAT1_C;
    char qc = iQCPS_Code(index, sum / 10.0f);
    if (first) {
        sampledata->RainSum = sum;
        sampledata->RainSumQc = qc;
    } else {
        sampledata->Rain1Sum = sum;
        sampledata->Rain1SumQc = qc;
    }
    SetLiveElement(index, sum / 10.0f, qc);
}

float WindSpeed(int n, int sencoRow)
{
    if (n == 0)
        return 0.0f;
    const DefDataRec &d = *defdata;
    float k0 = d.Senco[sencoRow * 4], k1 = d.Senco[sencoRow * 4 + 1];
    float k2 = d.Senco[sencoRow * 4 + 2], k3 = d.Senco[sencoRow * 4 + 3];
    return k0 + k1 * n + k2 * k2 * n + k3 * k3 * k3 * n;
}

void CanSample2Value()
{
    CanSendRcvRec &ring = *cansendrcvarray;
    int read = ring.RcvRead;
    if (read < 0 || read >= CAN_RCV_SLOTS)
        read = 0;
    if (read != ring.RcvWrite) {
        read = NextSlot(read);
        ring.RcvRead = read;
        CanRcvEntry &e = ring.Rcv[read];
        if (e.Valid == 1) {
            candatabuff[0] = e.Node;
            candatabuff[1] = e.Type;
            std::memcpy(candatabuff + 2, e.Data, 8);
            cTerminalType = candatabuff[0];
            cPacketType = candatabuff[1];
            Dispatch();
        }
    }
    if (++RunFlag > RUNFLAG_LIMIT) {
        RunFlag = 0;
        TemproraryData->MainBoardCommState = '9';
        const int nodes[SUB_COUNT] = {NODE_CLIM, NODE_RADI, NODE_EATH, NODE_SOIL, NODE_SEAA};
        for (int s = 0; s < SUB_COUNT; ++s)
            Sub(s).State = Enabled(nodes[s]) ? '2' : 'N';
    }
    ring.Rcv[read].Valid = 0;
}

int DisposeInfraredData(float thermistor, float thermopile)
{
    const DefDataRec &d = *defdata;
    double m0 = d.Infrared[0], m1 = d.Infrared[1], m2 = d.Infrared[2];
    double b0 = d.Infrared[3], b1 = d.Infrared[4], b2 = d.Infrared[5];
    double v = thermistor / 10.0;
    double r = (2500.0 / v - 1.0) * 24900.0;
    // A thermistor reading outside the divider's range gives no temperature.
    if (!std::isfinite(r) || r <= 0.0)
        return MISSING_VALUE;
    double l = std::log(r);
    double tb = 100000.0 / (23.41077 * l + 112.9241 + 8.775468 * l * l * l / 1000.0);
    double tc = tb - 273.15;
    double m = m2 * tc * tc + m1 * tc + m0;
    double k = b2 * tc * tc + b1 * tc + b0;
    double s = thermopile / 1000.0;
    double result = (std::sqrt(std::sqrt(tb * tb * tb * tb + m * s + k)) - 273.15) * 100.0;
    if (!std::isfinite(result) || std::fabs(result) >= MISSING_VALUE)
        return MISSING_VALUE;
    return int(result);
}

void CanSample2ValueReset()
{
    RunFlag = 0;
    infrared_diffvalue = -1.0f;
    std::memset(candatabuff, 0, sizeof candatabuff);
    std::memset(RadiDegree, 0, sizeof RadiDegree);
}
