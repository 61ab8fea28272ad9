// Shared set-up of the sampling tests: the records the converters use live
// in this process (no System V objects), QC on with no limits set, every
// board switched off.
//
// Fields of the packed records are read through unary plus in the checks:
// they take their arguments by reference, and a reference to a packed field
// may be misaligned.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "canbus/CanReceive.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/CanSample2Value.h"
#include "sampling/SampleQc.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"

#include "qc_fixture.h"

// Groups of fields checked in one comparison: status characters as one
// string, numbers as one list.
inline std::string Chars(std::initializer_list<int> c) { return std::string(c.begin(), c.end()); }
using Ints = std::vector<int>;

class SamplingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        def_ = std::make_unique<DefDataRec>();
        ex_ = std::make_unique<DefDataExRec>();
        modi_ = std::make_unique<ModiPamRec>();
        td_ = std::make_unique<TemproraryDataRec>();
        sd_ = std::make_unique<SampleDataRec>();
        can_ = std::make_unique<CanSendRcvRec>();
        std::memset(qc_, 0, sizeof qc_);
        defdata = def_.get();
        defdataEx = ex_.get();
        modipam = modi_.get();
        TemproraryData = td_.get();
        sampledata = sd_.get();
        cansendrcvarray = can_.get();
        g_ucpSampleDataQc = qc_;

        DefDataRec &d = *defdata;
        NoLimits(d);
        std::memset(d.ObValid, '0', sizeof d.ObValid);
        defdataEx->Generation = 1;
        td_->Terh.State1 = '9';
        SampleQcReset();
        CanSample2ValueReset();
        g_ChkTmrTARH = 0;
        g_ChkTmrEATH = 0;
        g_ChkTmrRADI = 0;
        g_ChkTmrTAIR = 0;
        g_ChkTmrTRAIN = 0;
    }

    void TearDown() override
    {
        defdata = nullptr;
        defdataEx = nullptr;
        modipam = nullptr;
        TemproraryData = nullptr;
        sampledata = nullptr;
        cansendrcvarray = nullptr;
        g_ucpSampleDataQc = nullptr;
    }

    static void SetQcps(int row, float mn, float mx, float step)
    {
        const float v[3] = {mn, mx, step};
        std::memcpy(defdata->Qcps[row], v, sizeof v);
    }
    static void SetQcpm(int row, float mn, float mx, float s, float w, float v)
    {
        const float r[5] = {mn, mx, s, w, v};
        std::memcpy(defdata->Qcpm[row], r, sizeof r);
    }
    static void Enable(int node) { defdata->ObValid[node] = '1'; }

    // Puts one frame through the receive ring and the converter, as one
    // step of process A does.
    static void Feed(uint32_t id, std::initializer_list<int> bytes, uint8_t dlc = 8)
    {
        TpCanFrame f{};
        f.can_id = id;
        f.can_dlc = dlc;
        int i = 0;
        for (int b : bytes)
            if (i < 8)
                f.data[i++] = uint8_t(b);
        canframeRev = f;
        ProcessCanPkg();
        CanSample2Value();
    }
    // Four little-endian words.
    static void FeedWords(uint32_t id, int w0, int w1 = 0, int w2 = 0, int w3 = 0)
    {
        Feed(id, {w0 & 0xFF, (w0 >> 8) & 0xFF, w1 & 0xFF, (w1 >> 8) & 0xFF, w2 & 0xFF,
                  (w2 >> 8) & 0xFF, w3 & 0xFF, (w3 >> 8) & 0xFF});
    }

    std::unique_ptr<DefDataRec> def_;
    std::unique_ptr<DefDataExRec> ex_;
    std::unique_ptr<ModiPamRec> modi_;
    std::unique_ptr<TemproraryDataRec> td_;
    std::unique_ptr<SampleDataRec> sd_;
    std::unique_ptr<CanSendRcvRec> can_;
    unsigned char qc_[ELEMENT_COUNT];
};
