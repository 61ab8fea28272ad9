// Instrument readers without a station around them: the records they write
// as plain memory in a fresh sandbox, and one text view of everything a
// reader may have changed, so that a test compares whole results.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/ShareMem.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"
#include "serial/Instruments.h"
#include "support/Sandbox.h"
#include "terminal/ListenToPc.h"

#include "terminal_fixture.h"

#include "qc_fixture.h"

namespace serial_test {

using terminal_test::Zeroed;

class SerialTest : public ::testing::Test {
protected:
    explicit SerialTest(const std::string &clock = "2024-03-10 10:00:41")
        : sandbox_(clock), td_(Zeroed<TemproraryDataRec>()), def_(Zeroed<DefDataRec>()), ex_(Zeroed<DefDataExRec>()),
          modi_(Zeroed<ModiPamRec>()), sd_(Zeroed<SampleDataRec>()), uart_(Zeroed<UartDevRec>()),
          ring_(Zeroed<Send2PcRec>())
    {
        Fresh();
    }

    // Zeroed records, QC on without limits, the factory's wind and rain
    // coefficients, a GR sensor of 10, every reader at process start.
    void Fresh()
    {
        std::memset(static_cast<void *>(td_.get()), 0, sizeof(TemproraryDataRec));
        std::memset(static_cast<void *>(def_.get()), 0, sizeof(DefDataRec));
        std::memset(static_cast<void *>(modi_.get()), 0, sizeof(ModiPamRec));
        std::memset(static_cast<void *>(sd_.get()), 0, sizeof(SampleDataRec));
        for (auto &p : uart_->Port)
            p.fd = -1;
        TemproraryData = td_.get();
        defdata = def_.get();
        defdataEx = ex_.get();
        modipam = modi_.get();
        sampledata = sd_.get();
        UartDev = uart_.get();
        send2PCarray = ring_.get();
        std::memset(qc_, 0, sizeof qc_);
        g_ucpSampleDataQc = qc_;

        DefDataRec &d = *defdata;
        NoLimits(d);
        std::memset(d.ObValid, '0', sizeof d.ObValid);
        std::memset(d.ElementEnable, '0', sizeof d.ElementEnable);
        const float senco[16] = {0.3f, 0.049f, 0, 0, 0.3f, 0.049f, 0, 0, 0, 0.1f, 0, 0, 0, 0.5f, 0, 0};
        std::memcpy(d.Senco, senco, sizeof senco);
        d.Sensi[0] = 10.0f;
        ex_->Generation = 1;
        td_->MainStat.GpsState = '2';
        SampleQcReset();
        SerialReadersReset();
        SerialInstallUpcalls(SerialUpcalls{});
    }
    ~SerialTest() override
    {
        SerialInstallUpcalls(SerialUpcalls{});
        TemproraryData = nullptr;
        defdata = nullptr;
        defdataEx = nullptr;
        modipam = nullptr;
        sampledata = nullptr;
        UartDev = nullptr;
        send2PCarray = nullptr;
        g_ucpSampleDataQc = nullptr;
    }

    // Every ring slot, sum, live value and status a reader wrote, one line
    // per item; untouched items (QC still NUL) are left out.
    static std::string Dump()
    {
        std::string out;
        auto add = [&out](const char *fmt, auto... args) {
            char b[128];
            std::snprintf(b, sizeof b, fmt, args...);
            out += b;
        };
        auto ring = [&](const std::string &name, const auto &r) {
            std::string items;
            for (int i = 0; i < r.Capacity; ++i)
                if (r.Qc[i] != 0) {
                    char b[40];
                    std::snprintf(b, sizeof b, " %d:%d/%c", i, int(r.Value[i]), r.Qc[i]);
                    items += b;
                }
            if (!items.empty())
                out += name + items + "\n";
        };
        const SampleDataRec &s = *sampledata;
        ring("T0", s.T0);
        ring("U", s.U);
        ring("GR", s.Radi[RADI_GR]);
        ring("LE", s.LE);
        ring("WS", s.WS);
        ring("WD", s.WD);
        ring("P", s.P);
        ring("UWS", s.UWS);
        ring("UWD", s.UWD);
        if (s.RainSumQc != 0)
            add("RAT %d/%c\n", int(s.RainSum), s.RainSumQc);
        if (s.Rain1SumQc != 0)
            add("RAT1_C %d/%c\n", int(s.Rain1Sum), s.Rain1SumQc);
        if (s.VIQc != 0)
            add("VI %d/%c\n", int(s.VI), s.VIQc);
        const TemproraryDataRec &t = *TemproraryData;
        for (int e : {EL_P, EL_T0, EL_U, EL_WD, EL_WS, EL_RAT, EL_LE, EL_VI, EL_SD, EL_GR, EL_RAT1_C})
            if (t.CurrentQc[e] != 0)
                add("live %s %.2f/%c\n", Sensortable[e < 82 ? e : 82].Code, double(t.CurrentValue[e]), t.CurrentQc[e]);
        const MainCollectorStat &m = t.MainStat;
        auto ch = [](char c) { return c != 0 ? c : '-'; };
        if (m.PowerKind != 0 || m.TerhState != 0 || m.WindState != 0 || m.DoorState != 0)
            add("main volt %.3f power %c mact %.1f th %c wind %c door %c le %.2f\n", double(+m.SupplyVoltage), ch(m.PowerKind),
                double(+m.Mact), ch(m.TerhState), ch(m.WindState), ch(m.DoorState), double(+t.MainOptReading[0]));
        if (t.VisDeviceQc != 0)
            add("vis10 %d/%c\n", int(t.VisDevice10), t.VisDeviceQc);
        if (t.SnowDepthQc != 0)
            add("snow %d/%c\n", int(t.SnowDepth), t.SnowDepthQc);
        if (t.RawWeightState[0] != 0)
            add("raw %d %d %c%c freq %d %d %d qc %c\n", int(t.RawWeight[0]), int(t.RawWeight[1]), t.RawWeightState[0],
                t.RawWeightState[1], int(t.RawFreq[0]), int(t.RawFreq[1]), int(t.RawFreq[2]), char(g_ucpSampleDataQc[23]));
        if (t.PressReadErr == -1)
            out += "pressure read error\n";
        if (t.UltWindSpeedQc != 0)
            add("ult %.2f/%c %.0f/%c\n", double(+t.UltWindSpeed), t.UltWindSpeedQc, double(+t.UltWindDir),
                t.UltWindDirQc);
        return out;
    }

    komain_test::Sandbox sandbox_;
    std::unique_ptr<TemproraryDataRec> td_;
    std::unique_ptr<DefDataRec> def_;
    std::unique_ptr<DefDataExRec> ex_;
    std::unique_ptr<ModiPamRec> modi_;
    std::unique_ptr<SampleDataRec> sd_;
    std::unique_ptr<UartDevRec> uart_;
    std::unique_ptr<Send2PcRec> ring_;
    unsigned char qc_[ELEMENT_COUNT];
};

} // namespace serial_test
