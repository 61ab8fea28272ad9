#include "canbus/SubCollectorPara.h"

#include <cmath>
#include <cstring>
#include <unistd.h>

#include "canbus/CanSend.h"
#include "core/Param.h"
#include "core/ShareMem.h"

namespace {

constexpr uint16_t IDX_QCPS = 0x3900;
constexpr uint16_t IDX_QCPM = 0x3910;
constexpr uint16_t IDX_RSENCO = 0x3920;
constexpr uint16_t IDX_SCV_BOUND = 0x3A00;
constexpr uint16_t IDX_SCV_CORRECTION = 0x3A40;
constexpr int SCV_FIRST_REMOTE = 15;   // T01; T02 and T03 follow

constexpr int16_t SDO_NO_LIMIT = 0x7FFF;

// Where each rain threshold goes and its factor.
struct RainThresholdTarget {
    unsigned char node;
    uint16_t index;
    unsigned char subindex;
    float factor;
};
constexpr RainThresholdTarget kRainTargets[RAIN_THRESHOLDS] = {
    {SUBCOLLECTOR_TAIR, 0x3A80, 3, 10.0f}, {SUBCOLLECTOR_TAIR, 0x3A80, 4, 10.0f},
    {SUBCOLLECTOR_TAIR, 0x3A81, 0, 10.0f}, {SUBCOLLECTOR_RAIN, 0x3A82, 2, 10.0f},
    {SUBCOLLECTOR_RAIN, 0x3A82, 3, 100.0f},
};

// A limit times its factor; "no limit" travels as 0x7FFF.
int16_t ScaleParam(float value, float factor)
{
    if (value == QC_NONE || value == -QC_NONE)
        return SDO_NO_LIMIT;
    return SdoWord(double(value * factor));
}

int Send(unsigned char node, uint16_t index, unsigned char subindex, const unsigned char *value,
         unsigned char size, int pauseUs)
{
    MakeCanSendSDOPacket(node, CANSEND_SDO, index, subindex, value, size);
    if (pauseUs > 0)
        usleep(useconds_t(pauseUs));
    return 1;
}

int SendWord(unsigned char node, uint16_t index, unsigned char subindex, int16_t word, int pauseUs)
{
    const auto u = uint16_t(word);
    const unsigned char b[2] = {uint8_t(u & 0xFF), uint8_t(u >> 8)};
    return Send(node, index, subindex, b, 2, pauseUs);
}

int SendFloat(unsigned char node, uint16_t index, unsigned char subindex, float f, int pauseUs)
{
    unsigned char b[4];
    std::memcpy(b, &f, sizeof b);
    return Send(node, index, subindex, b, 4, pauseUs);
}

// The sample (3) or minute (5) QC limits of a redundant sensor.
int SendLimits(int element, bool minute, int pauseUs)
{
    SubCollectorSensor s;
    if (defdata == nullptr || !FindSubCollectorSensor(element, s))
        return 0;
    const uint16_t index = minute ? IDX_QCPM : IDX_QCPS;
    int sent = 0;
    for (int j = 0; j < (minute ? 5 : 3); ++j) {
        const float limit = minute ? defdata->Qcpm[element][j] : defdata->Qcps[element][j];
        sent += SendWord(s.node, uint16_t(index + j), s.subindex, ScaleParam(limit, 10.0f), pauseUs);
    }
    return sent;
}

} // namespace

bool FindSubCollectorSensor(int element, SubCollectorSensor &s)
{
    // T01-T03 are rows 3-5, RAT1-RAT3 rows 19-21 of the element table.
    if (element >= 3 && element <= 5) {
        s = {SUBCOLLECTOR_TAIR, uint8_t(element - 2), 0};
        return true;
    }
    if (element >= 19 && element <= 21) {
        s = {SUBCOLLECTOR_RAIN, uint8_t(element - 18), 1};
        return true;
    }
    return false;
}

int16_t SdoWord(double scaled)
{
    if (std::isnan(scaled))
        return 0;
    if (scaled >= 2147483647.0)
        scaled = 2147483647.0;
    if (scaled <= -2147483648.0)
        scaled = -2147483648.0;
    return int16_t(uint16_t(uint32_t(int32_t(scaled)) & 0xFFFF));
}

int SendQcpsToSubCollector(int element, int pauseUs) { return SendLimits(element, false, pauseUs); }

int SendQcpmToSubCollector(int element, int pauseUs) { return SendLimits(element, true, pauseUs); }

int SendRSencoToSubCollector(int element, int pauseUs)
{
    SubCollectorSensor s;
    if (defdata == nullptr || !FindSubCollectorSensor(element, s))
        return 0;
    int sent = 0;
    for (int j = 0; j < 4; ++j)
        sent += SendFloat(s.node, uint16_t(IDX_RSENCO + j), s.subindex, defdata->RSenco[s.block][s.subindex - 1][j],
                          pauseUs);
    return sent;
}

int SendScvToSubCollector(int scvIndex, int pauseUs)
{
    if (defdata == nullptr || scvIndex < SCV_FIRST_REMOTE || scvIndex >= SCV_ELEMENTS)
        return 0;
    const auto subindex = uint8_t(scvIndex - SCV_FIRST_REMOTE + 1);
    const double coe = SCV_CONSTANT[scvIndex];
    int sent = 0;
    for (int j = 0; j < SCV_ENTRIES; ++j) {
        const double bound = defdata->Scv[scvIndex][j][0];
        const double correction = defdata->Scv[scvIndex][j][1];
        sent += SendWord(SUBCOLLECTOR_TAIR, uint16_t(IDX_SCV_BOUND + j), subindex, SdoWord(bound / coe * 100), pauseUs);
        sent += SendWord(SUBCOLLECTOR_TAIR, uint16_t(IDX_SCV_CORRECTION + j), subindex,
                         SdoWord(correction / coe * 100), pauseUs);
    }
    return sent;
}

int SendRainThToSubCollector(int k, int pauseUs)
{
    if (defdata == nullptr || k < 0 || k >= RAIN_THRESHOLDS)
        return 0;
    const RainThresholdTarget &r = kRainTargets[k];
    return SendWord(r.node, r.index, r.subindex, ScaleParam(defdata->RainTh[k], r.factor), pauseUs);
}
