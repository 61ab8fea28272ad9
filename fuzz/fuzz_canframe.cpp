// Arbitrary frames through the receive ring and the converter: whatever the
// bus carries, process A neither crashes nor reads or writes outside a
// buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "canbus/CanReceive.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/CanSample2Value.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"

namespace {

struct Records {
    DefDataRec def{};
    DefDataExRec ex{};
    ModiPamRec modi{};
    TemproraryDataRec live{};
    SampleDataRec store{};
    CanSendRcvRec can{};
    unsigned char qc[ELEMENT_COUNT]{};
};

Records *Setup()
{
    static auto *r = new Records;
    defdata = &r->def;
    defdataEx = &r->ex;
    modipam = &r->modi;
    TemproraryData = &r->live;
    sampledata = &r->store;
    cansendrcvarray = &r->can;
    g_ucpSampleDataQc = r->qc;
    r->def.QcCtrl = 1;
    std::memset(r->def.ObValid, '1', sizeof r->def.ObValid);
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Records *r = Setup();
    // The first bytes choose the configuration, the rest are frames.
    if (size < 2)
        return 0;
    r->ex.Generation = data[0] & 1;
    r->def.MainWindType = data[1] & 3;
    data += 2;
    size -= 2;
    while (size >= sizeof(TpCanFrame)) {
        std::memcpy(&canframeRev, data, sizeof canframeRev);
        ProcessCanPkg();
        CanSample2Value();
        data += sizeof(TpCanFrame);
        size -= sizeof(TpCanFrame);
    }
    return 0;
}
