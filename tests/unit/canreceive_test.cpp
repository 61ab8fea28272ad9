// The receive ring, frame acceptance, board status records and their
// ageing.
#include "sampling_fixture.h"

#include <random>

namespace {

using CanReceive = SamplingTest;

void Store(uint32_t id, uint8_t first, uint8_t dlc = 8)
{
    TpCanFrame f{};
    f.can_id = id;
    f.can_dlc = dlc;
    f.data[0] = first;
    canframeRev = f;
    ProcessCanPkg();
}

TEST_F(CanReceive, RingOverwritesTheOldestWhenFull)
{
    for (int i = 1; i <= 100; ++i)
        Store(0x192, uint8_t(i));
    const CanSendRcvRec &r = *cansendrcvarray;
    EXPECT_EQ(+r.RcvWrite, 0);
    EXPECT_EQ(+r.Rcv[1].Data[0], 1);
    EXPECT_EQ(+r.Rcv[0].Data[0], 100);
    Store(0x192, 101);
    // Write index, data, valid, slot length, node, type.
    EXPECT_EQ((Ints {1, 101, 1, 10, 0x12, CANPKT_TPDO1}),
              (Ints {+r.RcvWrite, +r.Rcv[1].Data[0], +r.Rcv[1].Valid, +r.Rcv[1].Len, +r.Rcv[1].Node, +r.Rcv[1].Type}));
}

TEST_F(CanReceive, ConverterConsumesOneEntryPerCall)
{
    Store(0x192, 1);
    Store(0x292, 1);
    CanSample2Value();
    EXPECT_EQ(+cansendrcvarray->RcvRead, 1);
    EXPECT_EQ(+cansendrcvarray->Rcv[1].Valid, 0);
    EXPECT_EQ(+cansendrcvarray->Rcv[2].Valid, 1);
    CanSample2Value();
    CanSample2Value();   // nothing pending: harmless
    EXPECT_EQ(+cansendrcvarray->RcvRead, 2);
    EXPECT_EQ(+sampledata->WS.pos, 1);
    // Indexes out of range (the segment is shared) restart at 0.
    cansendrcvarray->RcvRead = 1000;
    cansendrcvarray->RcvWrite = -5;
    CanSample2Value();
    Store(0x192, 1);
    EXPECT_EQ(+cansendrcvarray->RcvWrite, 0);
}

TEST_F(CanReceive, FunctionTable)
{
    for (auto [id, type] : {std::pair {0x092u, 3}, {0x192u, 4}, {0x292u, 6}, {0x392u, 8}, {0x492u, 10}, {0x592u, 12}, {0x712u, 14}}) {
        Store(id, 0);
        EXPECT_EQ(+cansendrcvarray->Rcv[cansendrcvarray->RcvWrite].Type, type) << std::hex << id;
    }
}

TEST_F(CanReceive, UnknownFunctionKeepsTheStaleType)
{
    for (int i = 0; i < 99; ++i)
        Store(0x392, 0);
    // The next entry (slot 0) is fresh; 0x601 and an identifier with bit 11
    // set match no function.
    cansendrcvarray->Rcv[0].Type = 6;
    Store(0x601, 0);
    EXPECT_EQ(+cansendrcvarray->Rcv[0].Type, 6);
    EXPECT_EQ(+cansendrcvarray->Rcv[0].Node, 1);
    Store(0x992, 0);
    EXPECT_EQ(+cansendrcvarray->Rcv[1].Type, 8);
}

TEST_F(CanReceive, DataLengthCodeBounds)
{
    TpCanFrame f{};
    f.can_id = 0x192;
    f.can_dlc = 2;
    f.data[0] = 0xAA;
    f.data[1] = 0xBB;
    f.data[2] = 0xCC;
    cansendrcvarray->Rcv[1].Data[2] = 0x11;
    canframeRev = f;
    ProcessCanPkg();
    EXPECT_EQ(+cansendrcvarray->Rcv[1].Data[1], 0xBB);
    EXPECT_EQ(+cansendrcvarray->Rcv[1].Data[2], 0x11);   // beyond the DLC: kept
    f.can_dlc = 15;
    canframeRev = f;
    ProcessCanPkg();   // copies at most 8 bytes
    EXPECT_EQ(+cansendrcvarray->Rcv[2].Data[2], 0xCC);
    EXPECT_EQ(+cansendrcvarray->Rcv[2].Spare[0], 0);
}

TEST_F(CanReceive, ArbitraryFramesNeverLeaveTheirBuffers)
{
    std::mt19937 rng(1234);
    std::memset(defdata->ObValid, '1', sizeof defdata->ObValid);
    for (int k = 0; k < 16; ++k)
        defdata->Senco[k] = float(int(rng() % 2000) - 1000);
    for (int k = 0; k < 24; ++k)
        defdata->Sensi[k] = float(int(rng() % 3)) - 1.0f;   // includes 0
    for (int i = 0; i < 20000; ++i) {
        TpCanFrame f{};
        f.can_id = rng();
        if (i % 2)
            f.can_id = (rng() % 0x800 & 0x780) | (3 + rng() % 16);
        f.can_dlc = uint8_t(rng());
        for (auto &b : f.data)
            b = uint8_t(rng());
        canframeRev = f;
        ProcessCanPkg();
        CanSample2Value();
    }
    EXPECT_GE(+cansendrcvarray->RcvWrite, 0);
    EXPECT_LT(+cansendrcvarray->RcvWrite, CAN_RCV_SLOTS);
    EXPECT_LE(+sampledata->WS.pos, 239);
}

TEST_F(CanReceive, BoardResets)
{
    Enable(NODE_CLIM);
    CanRcvInit(NODE_MAIN);
    const TemproraryDataRec &t = *TemproraryData;
    EXPECT_EQ("22190", Chars({t.MainBoardCommState, t.MainStat.CanBusState, t.MainStat.PowerKind, t.MainStat.TerhState,
                              t.MainStat.DoorState}));
    CanRcvInit(NODE_CLIM);
    CanRcvInit(NODE_SOIL);
    EXPECT_EQ("29NN", Chars({t.SubStat[SUB_CLIM].State, t.SubStat[SUB_CLIM].Flag2, t.SubStat[SUB_SOIL].State,
                            t.SubStat[SUB_SOIL].Flag2}));
    CanRcvInit(NODE_RAIN);
    EXPECT_EQ("19", Chars({t.RainStat.VoltageLow, t.RainStat.Ch1}));
    EXPECT_EQ(+t.Rain.Flag, 1);
    EXPECT_EQ(+CanRcvInit(7), -1);
}

TEST_F(CanReceive, SilentBoardTurnsMissingAfterTheLimit)
{
    Enable(NODE_RADI);
    defdata->Sensi[0] = 10.0f;
    FeedWords(0x185, 100);
    EXPECT_EQ(+TemproraryData->SubStat[SUB_RADI].State, '0');
    for (int s = 0; s < 8; ++s)
        OnCheckExtSmpTimer(SIGALRM);
    EXPECT_EQ(+ChkExtSmpStatus(g_ChkTmrRADI, NODE_RADI, CAN_SILENCE_LIMIT), 0);
    EXPECT_EQ(+TemproraryData->CurrentQc[EL_GR], '0');
    OnCheckExtSmpTimer(SIGALRM);   // 9 s of silence
    EXPECT_EQ(+ChkExtSmpStatus(g_ChkTmrRADI, NODE_RADI, CAN_SILENCE_LIMIT), 1);
    EXPECT_EQ(+g_ChkTmrRADI, 0);
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_GR], 99999.0f);
    EXPECT_EQ("288", Chars({TemproraryData->SubStat[SUB_RADI].State, TemproraryData->CurrentQc[EL_PR],
                            g_ucpSampleDataQc[EL_NR]}));
    EXPECT_FLOAT_EQ(+TemproraryData->SubStat[SUB_RADI].Reading1, 9999.0f);
}

TEST_F(CanReceive, BoardSwitchedOffIsResetAtEveryStep)
{
    TemproraryData->CurrentValue[EL_ST8] = 12.0f;
    EXPECT_EQ(+ChkExtSmpStatus(g_ChkTmrEATH, NODE_EATH, CAN_SILENCE_LIMIT), 1);
    EXPECT_EQ(+TemproraryData->SubStat[SUB_EATH].State, 'N');
    EXPECT_FLOAT_EQ(+TemproraryData->CurrentValue[EL_ST8], 99999.0f);
    // The temperature/humidity board only resets: T0 stays.
    TemproraryData->CurrentQc[EL_T0] = '0';
    ChkExtSmpStatus(g_ChkTmrTARH, NODE_TERH, CAN_SILENCE_LIMIT);
    EXPECT_EQ(+TemproraryData->Terh.State1, 'N');
    EXPECT_EQ(+TemproraryData->CurrentQc[EL_T0], '0');
    ChkExtSmpStatus(g_ChkTmrTAIR, NODE_TAIR, CAN_SILENCE_LIMIT);
    EXPECT_EQ(+TemproraryData->CurrentQc[EL_T02], '8');
    EXPECT_EQ(+TemproraryData->Tair.ChanQc[3], '8');
}

TEST_F(CanReceive, CallCountAgeing)
{
    Enable(NODE_CLIM);
    FeedWords(0x192, 0);
    FeedWords(0x183, 0);
    EXPECT_EQ(+TemproraryData->MainBoardCommState, '0');
    for (int i = 0; i < 2000; ++i)
        CanSample2Value();
    EXPECT_EQ("92N", Chars({TemproraryData->MainBoardCommState, TemproraryData->SubStat[SUB_CLIM].State,
                            TemproraryData->SubStat[SUB_SEAA].State}));
}

} // namespace
