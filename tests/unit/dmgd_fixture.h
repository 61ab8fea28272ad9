// Shared set-up of the minute-record tests: every record the minute cycle
// touches lives in this process (no System V objects), in a fresh sandbox
// with a chosen clock; QC on with no limits set, every element switched off
// until a test switches it on.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

#include "platform/Transplant.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "station/DataProcess.h"
#include "processing/Dmgd.h"
#include "processing/LastMinData.h"
#include "processing/Statistic.h"
#include "processing/Wind.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"
#include "support/Sandbox.h"
#include "qc_fixture.h"

// A full ring of equal samples.
template <int N>
void Fill(SampleRing<N> &r, int32_t v, char qc = '0')
{
    for (int i = 0; i < N; ++i) {
        r.Value[i] = v;
        r.Qc[i] = qc;
    }
}

class MinuteTest : public ::testing::Test {
protected:
    void Start(const std::string &clock)
    {
        sb_ = std::make_unique<komain_test::Sandbox>(clock);
        def_ = std::make_unique<DefDataRec>();
        ex_ = std::make_unique<DefDataExRec>();
        td_ = std::make_unique<TemproraryDataRec>();
        live_ = std::make_unique<SampleDataRec>();
        copy_ = std::make_unique<SampleDataRec>();
        fs_ = std::make_unique<FileSaveRec>();
        std::memset(qc_, 0, sizeof qc_);
        defdata = def_.get();
        defdataEx = ex_.get();
        TemproraryData = td_.get();
        sampledata = live_.get();
        SampleDataCopy = copy_.get();
        FileSave = fs_.get();
        g_ucpSampleDataQc = qc_;
        LastMinData = lastMin_;

        DefDataRec &d = *defdata;
        NoLimits(d);
        std::memset(d.ObValid, '0', sizeof d.ObValid);
        std::memset(d.ElementEnable, '0', sizeof d.ElementEnable);
        std::memcpy(d.StationId, "12345", 5);
        d.STLX = 'N';
        defdataEx->Generation = 1;
        td_->VisDeviceQc = '2';
        SampleQcReset();
        WindReset();
        DmgdReset();
        StatisticValueSet();
    }
    void TearDown() override
    {
        defdata = nullptr;
        defdataEx = nullptr;
        TemproraryData = nullptr;
        sampledata = nullptr;
        SampleDataCopy = nullptr;
        FileSave = nullptr;
        g_ucpSampleDataQc = nullptr;
        LastMinData = nullptr;
        g_pCpyCfDataFlag = nullptr;
        sb_.reset();
    }
    void Enable(int element) { defdata->ElementEnable[element] = '1'; }
    // Record field i (value, QC, flag); VQ as "value qc" for one-line checks.
    int32_t V(int i) const { return FileSave->Dmgd.Value[i]; }
    char Q(int i) const { return FileSave->Dmgd.Qc[i]; }
    char F(int i) const { return FileSave->Dmgd.Flag[i]; }
    std::string VQ(int i) const { return std::to_string(V(i)) + ' ' + Q(i); }
    std::string Vs(std::initializer_list<int> fields) const
    {
        std::string s;
        for (int f : fields)
            s += (s.empty() ? "" : " ") + std::to_string(V(f));
        return s;
    }
    // Runs the computation with the console captured.
    void Calc()
    {
        testing::internal::CaptureStdout();
        DmgdCalculate();
        out_ = testing::internal::GetCapturedStdout();
    }

    std::unique_ptr<komain_test::Sandbox> sb_;
    std::unique_ptr<DefDataRec> def_;
    std::unique_ptr<DefDataExRec> ex_;
    std::unique_ptr<TemproraryDataRec> td_;
    std::unique_ptr<SampleDataRec> live_, copy_;
    std::unique_ptr<FileSaveRec> fs_;
    unsigned char qc_[ELEMENT_COUNT];
    unsigned char lastMin_[LASTMIN_BYTES];
    std::string out_;
};
