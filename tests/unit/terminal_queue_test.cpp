// The reply ring and the line assembly of the serial ports.
#include "terminal_fixture.h"

#include <atomic>
#include <string>
#include <thread>
#include <unistd.h>

using terminal_test::Lines;
using terminal_test::Link;
using terminal_test::Reply;
using terminal_test::TerminalTest;

extern std::atomic<int> g_iLanSocket;


TEST_F(TerminalTest, EachReplyGoesToItsOwnPort)
{
    Link com0, lan;
    UartDev->Port[PortSlot(COM0)].fd = com0.ours;
    g_iLanSocket = lan.ours;
    SetLanOwner();
    // Two threads queue at the same time, as the listener and the LAN
    // thread do.
    auto producer = [](int port, char tag) {
        SetCurrentReplyPort(port);
        for (int i = 0; i < 30; ++i)
            PrePareSend2Pc(std::string(1, tag).append(std::to_string(i)).append("\r\n").c_str());
    };
    std::thread a(producer, COM0, 'S');
    std::thread b(producer, PORT_LAN, 'L');
    a.join();
    b.join();
    EXPECT_EQ(Send2PcPending(), 60);
    for (int i = 0; i < 60; ++i)
        Send2Pc();
    EXPECT_EQ(Send2PcPending(), 0);
    std::string serial = com0.Received(), net = lan.Received();
    EXPECT_EQ(serial.find('L'), std::string::npos);
    EXPECT_EQ(net.find('S'), std::string::npos);
    EXPECT_EQ(serial.substr(0, 8), "S0\r\nS1\r\n");
    EXPECT_EQ(net.size(), serial.size());
    g_iLanSocket = -1;
}

TEST_F(TerminalTest, RingSlotsAndTheirLimits)
{
    SetCurrentReplyPort(COM0);
    std::string big(3000, 'x');
    PrePareSend2Pc(big.c_str());
    EXPECT_EQ(Texts(), Lines{std::string(SEND2PC_LEN, 'x')});
    // The first text lands in slot 1; slot 0 is used after slot 63.
    EXPECT_EQ(int(send2PCarray->WriteIdx), 1);
    for (int i = 0; i < 63; ++i)
        PrePareSend2Pc("y");
    EXPECT_EQ(int(send2PCarray->WriteIdx), 0);
    // Destinations that no port serves are consumed without a write.
    SetCurrentReplyPort(COM5);
    PrePareSend2Pc("to the board");
    SetCurrentReplyPort(PORT_NONE);
    PrePareSend2Pc("to nobody");
    for (int i = 0; i < 70; ++i)
        Send2Pc();
    EXPECT_EQ(Send2PcPending(), 0);
}

TEST_F(TerminalTest, LongAnswersWaitForTheDrain)
{
    Link com0;
    UartDev->Port[PortSlot(COM0)].fd = com0.ours;
    SetCurrentReplyPort(COM0);
    std::string got = Drained(com0, [] {
        for (int i = 0; i < 65; ++i) {
            Send2PcWaitRoom();
            PrePareSend2Pc(("R" + std::to_string(i) + "\n").c_str());
        }
    });
    std::string want;
    for (int i = 0; i < 65; ++i)
        want += "R" + std::to_string(i) + "\n";
    EXPECT_EQ(got, want);
}

TEST_F(TerminalTest, ReplyForTheLanWaitsForItsOwner)
{
    extern std::atomic<bool> g_bLanOwner;
    g_bLanOwner = false;   // as in the housekeeping process
    SetCurrentReplyPort(PORT_LAN);
    PrePareSend2Pc("L\r\n");
    Send2Pc();
    EXPECT_EQ(Send2PcPending(), 1);
    g_bLanOwner = true;
    EXPECT_EQ(Send2PcLanDrain(), 1);
    EXPECT_EQ(Send2PcPending(), 0);
}

TEST_F(TerminalTest, LineAssemblyWithGarbage)
{
    std::strcpy(TemproraryData->RcvLogText, "log\n");
    // A command in pieces, then two in one read.
    for (const char *piece : {"BJ", "DATA\r", "\nBJDATA\nBJDATA\r\n"})
        Feed(COM0, piece);
    EXPECT_EQ(Texts(), Lines(3, "log\n"));
    // 10 KB without a line end: dropped, no reply, and the port recovers.
    Feed(COM0, std::string(10 * 1024, 'A'));
    EXPECT_EQ(Texts(), Lines{});
    EXPECT_LT(int(TemproraryData->UartRcvLen[PortSlot(COM0)]), UART_RCV_BUF);
    Feed(COM0, "\r\n");   // the end of the dropped line
    Texts();
    Feed(COM0, "BJDATA\r\n");
    EXPECT_EQ(Texts(), Lines{"log\n"});
    // Binary noise: a line of high bytes (one over-long word) and a line
    // that begins with NULs (no word) are each answered "F" on their port.
    Feed(COM0, std::string(100, '\xC8') + "\r\n" + std::string("\0\0BJDATA\r\n", 10));
    std::vector<Reply> r = Take();
    ASSERT_EQ(r.size(), 2u);
    for (const Reply &x : r)
        EXPECT_TRUE(x.dest == COM0 && x.text == "F\r\n") << x.dest << x.text;
    // A line of 511 bytes with its end fits the buffer; 512 do not.
    Feed(COM0, "BJDATA " + std::string(503, 'x') + "\r");
    EXPECT_EQ(Texts(), Lines{"F\r\n"});   // parameter too long, but parsed
    Feed(COM0, "BJDATA " + std::string(504, 'x') + "\r");
    EXPECT_EQ(Texts(), Lines{});
}

TEST_F(TerminalTest, DebugPassThroughBothWays)
{
    Link com0, com2;
    UartDev->Port[PortSlot(COM0)].fd = com0.ours;
    UartDev->Port[PortSlot(COM2)].fd = com2.ours;
    defdata->GpsPortType = 0;
    Feed(COM0, "DEBUGCOM COM2\r\n");
    EXPECT_EQ(Texts(), Lines{"T\r\n"});
    // Lines typed on COM0 go to COM2 unparsed, each as it ended (the LF
    // of the command's CR LF is a line of its own).
    Feed(COM0, "AMES 0 60\r\n");
    EXPECT_EQ(Texts(), Lines{});
    EXPECT_EQ(com2.Received(), "\nAMES 0 60\r\n");
    Feed(COM2, "$GPZDA,1\r\n");      // read by its reader and echoed
    EXPECT_EQ(com0.Received(), "$GPZDA,1\r");
    Feed(COM0, "CLOSECOM\r\n");
    EXPECT_EQ(Texts(), Lines{"T\r\n"});
    EXPECT_EQ(std::string(TemproraryData->DebugFlag, 7), "0000000");
    Feed(COM2, "$GPZDA,2\r\n");
    EXPECT_EQ(com0.Received(), "");
}

TEST_F(TerminalTest, RawLinesAreRecordedPerPortAndDay)
{
    defdata->SampleSaveFlag[COM1] = '1';
    defdata->RawMode = 1;
    TemproraryData->MainStat.CfState = '0';
    ShareClockRec &c = TemproraryData->ShareClock;
    c.Year = 2024, c.Mon = 3, c.Day = 10, c.Hour = 10, c.Min = 5, c.Sec = 7;
    UartRcvBytes(COM1, "  12.5 mm\r\n", 11);
    UartRcvBytes(COM0, "DEBUGCOM\r\n", 10);   // COM0 is not flagged
    EXPECT_EQ(sandbox_.Read("/mnt/cf/data/54511/202403/uartsave/COM1_20240310.txt"), "\n2024-03-10 10:05:07   12.5 mm\r");
    EXPECT_EQ(sandbox_.Read("/mnt/cf/data/54511/202403/uartsave/COM0_20240310.txt"), "");
}
