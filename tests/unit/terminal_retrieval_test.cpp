// The retrieval commands against day, month and sample files written here.
#include "terminal_fixture.h"

#include <cstdio>
#include <atomic>
#include <string>
#include <thread>

#include "terminal/CommandHandlers.h"

using terminal_test::Lines;
using terminal_test::Link;
using terminal_test::TerminalTest;

namespace {

const Lines F = {"F\r\n"};

std::string Hm(int slot)
{
    char b[32];
    std::snprintf(b, sizeof b, "%02d:%02d", slot / 60, slot % 60);
    return b;
}

// A file of empty slots as the record savers create it.
std::string EmptyMinuteFile(const char *tag, const char *date)
{
    std::string f;
    for (int s = 0; s < 1440; ++s) {
        std::string slot = std::string(tag) + " 54511 " + date + " " + Hm(s);
        slot += std::string(510 - slot.size(), '-') + "\r\n";
        f += slot;
    }
    return f;
}

std::string Record(const char *tag, const char *date, const std::string &time, int size = 512)
{
    std::string r = std::string(tag) + " 54511 " + date + " " + time + " 11 00 123 \r\n";
    r.resize(std::size_t(size), '\0');
    return r;
}

void Put(std::string &file, int slot, const std::string &rec, int size = 512)
{
    file.replace(std::size_t(slot) * std::size_t(size), std::size_t(size), rec);
}

std::string Text(const std::string &rec) { return rec.substr(0, rec.find('\0')); }

} // namespace

TEST_F(TerminalTest, MinuteRecordsCountAndRange)
{
    std::string day = EmptyMinuteFile("DMGD", "2024-03-10");
    for (int s : {600, 601, 603, 604, 605, 1438, 1439})
        Put(day, s, Record("DMGD", "2024-03-10", Hm(s)));
    sandbox_.Write("/mnt/nand3/tempdata/DMGD/240310.DAT", day);

    // Five minutes from 10:00: the empty 10:02 is skipped, 10:05 is outside.
    Lines got = Run(COM0, "DMGD 2024-03-10 10:00 5\r\n");
    Lines want;
    for (int s : {600, 601, 603, 604})
        want.push_back(Text(Record("DMGD", "2024-03-10", Hm(s))));
    EXPECT_EQ(got, want);
    // The same by range, and on the LAN with restricted access.
    EXPECT_EQ(Run(PORT_LAN, "DMGD 2024-03-10 10:00 2024-03-10 10:04\r\n", ACCESS_RESTRICTED), want);
    // From 23:58 with N 10 only two slots exist.
    EXPECT_EQ(Run(COM0, "DMGD 2024-03-10 23:58 10\r\n").size(), 2u);
    // A range into the next day stops at the end of the start day, and the
    // time of day test then lets nothing after the end's time of day pass.
    EXPECT_EQ(Run(COM0, "DMGD 2024-03-10 23:58 2024-03-11 00:10\r\n"), Lines{});
    // Malformed, out of range, reversed, missing file.
    for (const char *bad : {"DMGD 2024-03-1a 10:00 5\r\n", "DMGD 2024-02-30 10:00 5\r\n",
                            "DMGD 2024-03-10 24:00 5\r\n", "DMGD 2024-03-10 10:00 0\r\n",
                            "DMGD 2024-03-10 10:00 101\r\n", "DMGD 2024-03-10 10:05 2024-03-10 10:00\r\n",
                            "DMGD 2024-03-11 10:00 5\r\n", "DMGD 2024-03-10\r\n"})
        EXPECT_EQ(Run(COM0, bad), F) << bad;
    EXPECT_EQ(Run(COM0, "DMGD /?\r\n"),
              (Lines{"DMGD [YYYY-MM-DD HH:MM N]\r\n", "DMGD [YYYY1-MM1-DD1 HH1:MM1 YYYY2-MM2-DD2 HH2:MM2]\r\n"}));
    // Empty parameter: the live copy.
    std::snprintf(TemproraryData->LastRecord[REC_DMGD], LAST_RECORD_LEN, "DMGD live\r\n");
    EXPECT_EQ(Run(COM0, "DMGD\r\n"), Lines{"DMGD live\r\n"});
}

TEST_F(TerminalTest, MinuteRecordsFromTheCardSlotBySlot)
{
    std::string nand = EmptyMinuteFile("DMGD", "2024-03-10");
    std::string cf = EmptyMinuteFile("DMGD", "2024-03-10");
    Put(nand, 600, Record("DMGD", "2024-03-10", "10:00"));
    Put(cf, 601, Record("DMGD", "2024-03-10", "10:01"));
    Put(cf, 602, Record("DMGD", "2024-03-10", "10:30"));   // fails the time test
    sandbox_.Write("/mnt/nand3/tempdata/DMGD/240310.DAT", nand);
    sandbox_.Write("/mnt/cf/tempdata/DMGD/240310.DAT", cf);
    EXPECT_EQ(Run(COM0, "DMGD 2024-03-10 10:00 3\r\n"),
              (Lines{Text(Record("DMGD", "2024-03-10", "10:00")), Text(Record("DMGD", "2024-03-10", "10:01"))}));
}

TEST_F(TerminalTest, DmcdSendsAtMost24)
{
    std::string day = EmptyMinuteFile("DMCD", "2024-03-10");
    for (int s = 600; s < 720; ++s)
        Put(day, s, Record("DMCD", "2024-03-10", Hm(s)));
    sandbox_.Write("/mnt/nand3/tempdata/DMCD/240310.DAT", day);
    EXPECT_EQ(Run(COM0, "DMCD 2024-03-10 10:00 2024-03-10 12:00\r\n").size(), 24u);
    // DMSD reads the whole request from its one file.
    std::string dmsd = day;
    for (int s = 600; s < 720; ++s)
        Put(dmsd, s, Record("DMSD", "2024-03-10", Hm(s)));
    sandbox_.Write("/mnt/nand3/tempdata/DMSD/240310.DAT", dmsd);
    // More than the ring holds: the answer waits for the drain.
    Link com0;
    UartDev->Port[PortSlot(COM0)].fd = com0.ours;
    SetCurrentReplyPort(COM0);
    std::string got = Drained(com0, [] { GetDmsd("2024-03-10 10:00 100"); });
    UartDev->Port[PortSlot(COM0)].fd = -1;
    std::size_t records = 0;
    for (std::size_t p = got.find("DMSD 54511"); p != std::string::npos; p = got.find("DMSD 54511", p + 1))
        ++records;
    EXPECT_EQ(records, 100u);
    EXPECT_EQ(Run(COM0, "DMOD 2024-03-10 10:00 10\r\n"), F);   // no file, card disabled
    // Only DMGD checks the calendar; for the others a date that does not
    // exist names a file that does not either.
    for (const char *kind : {"DMCD", "DMRD", "DMSD", "DMOD"})
        EXPECT_EQ(Run(COM0, std::string(kind) + " 2024-02-30 10:00 5\r\n"), F) << kind;
}

TEST_F(TerminalTest, HourRecords)
{
    std::string month;
    for (int s = 0; s < 744; ++s) {
        char h[40];
        std::snprintf(h, sizeof h, "DHGD 54511 2024-03-%02d %02d", s / 24 + 1, s % 24);
        std::string slot = h;
        month += slot + std::string(538 - slot.size(), '-') + "\r\n";
    }
    for (int s = 0; s < 100; ++s) {
        char t[40];
        std::snprintf(t, sizeof t, "2024-03-%02d", s / 24 + 1);
        std::string r = "DHGD 54511 " + std::string(t) + " " + std::to_string(s % 24) + " 1 0 5 \r\n";
        r.resize(540, '\0');
        Put(month, s, r, 540);
    }
    sandbox_.Write("/mnt/nand3/tempdata/DHGD/2403.DAT", month);
    EXPECT_EQ(Run(COM0, "DHGD 2024-03-01 0 100\r\n").size(), 24u);
    EXPECT_EQ(Run(COM0, "DHGD 2024-03-01 5 2024-03-01 7\r\n").size(), 3u);
    EXPECT_EQ(Run(COM0, "DHGD 2024-03-01 5:00 2\r\n"), F);
    EXPECT_EQ(Run(COM0, "DHGD 2024-03-01 24 2\r\n"), F);
    EXPECT_EQ(Run(COM0, "DHGD 2024-03-31 23 5\r\n"), Lines{});   // the last slot, empty
    // A range across the month's end stays in the start's file and ends at
    // its last slot (31 days of 24 hours whatever the month).
    std::string jan;
    for (int s = 0; s < 744; ++s)
        jan += Record("DHSD", "2024-01-xx", std::to_string(s));
    sandbox_.Write("/mnt/nand3/tempdata/DHSD/2401.DAT", jan);
    EXPECT_EQ(Run(COM0, "DHSD 2024-01-31 20 2024-02-01 03\r\n"),
              (Lines{Text(Record("DHSD", "2024-01-xx", "740")), Text(Record("DHSD", "2024-01-xx", "741")),
                     Text(Record("DHSD", "2024-01-xx", "742")), Text(Record("DHSD", "2024-01-xx", "743"))}));
    // DHGDNZ exists in the older generation only.
    EXPECT_EQ(Run(COM0, "DHGDNZ 2024-03-01 0 5\r\n"), Lines{});
    // The hour's query is refused while its record is being completed.
    std::snprintf(TemproraryData->LastRecord[REC_DHGD], LAST_RECORD_LEN, "DHGD live\r\n");
    TemproraryData->ShareClock.Min = 59;
    EXPECT_EQ(Run(COM0, "DHGD\r\n"), F);
    TemproraryData->ShareClock.Min = 10;
    EXPECT_EQ(Run(COM0, "DHGD\r\n"), Lines{"DHGD live\r\n"});
}

TEST_F(TerminalTest, SampleArchives)
{
    // WS: 60 slots of 2048 bytes, slot = minute of the hour.
    std::string ws;
    for (int s = 0; s < 60; ++s)
        ws += std::string(2046, '-') + "\r\n";
    for (int s = 45; s < 60; ++s) {
        std::string r = "SAMPLE_WS 54511 2024-03-10 10:" + std::to_string(s) + " 120 / 130 \r\n";
        r.resize(2046, '\0');
        Put(ws, s, r + "\r\n", 2048);
    }
    sandbox_.Write("/mnt/nand3/tempdata/sample/WS.DAT", ws);
    EXPECT_EQ(Run(COM0, "SAMPLE WS 2024-03-10 10:50 20\r\n").size(), 10u);
    EXPECT_EQ(Run(COM0, "SAMPLE WS 2024-03-10 10:50 61\r\n"), F);
    EXPECT_EQ(Run(COM0, "SAMPLE WS 2024-03-11 10:50 5\r\n"), Lines{});   // other date
    EXPECT_EQ(Run(COM0, "SAMPLE WS 2024-03-10 10:50\r\n"),
              Lines{"SAMPLE_WS 54511 2024-03-10 10:50 120 / 130 \r\n"});
    EXPECT_EQ(Run(COM0, "SAMPLE WS 2024-03-10 10:40\r\n"), F);   // empty slot
    EXPECT_EQ(Run(COM0, "SAMPLE WS 1970-03-10 10:50 5\r\n"), F);
    // Years up to 2037 are dates like any other, in the samples and in the
    // minute records alike.
    for (auto [year, ok] : {std::pair{2030, true}, {2031, true}, {2037, true}, {2038, false}}) {
        const std::string date = std::to_string(year) + "-03-10";
        std::string day = EmptyMinuteFile("DMGD", date.c_str());
        Put(day, 600, Record("DMGD", date.c_str(), "10:00"));
        sandbox_.Write("/mnt/nand3/tempdata/DMGD/" + std::to_string(year % 100) + "0310.DAT", day);
        EXPECT_EQ(Run(COM0, "DMGD " + date + " 10:00 1\r\n"), ok ? Lines{Text(day.substr(600 * 512, 512))} : F);
        EXPECT_EQ(Run(COM0, "SAMPLE WS " + date + " 10:50 5\r\n"), ok ? Lines{} : F) << year;
    }
    // Codes that could leave the sample folder are refused.
    for (const char *bad : {"SAMPLE ../../nand2/para 2024-03-10 10:50\r\n", "SAMPLE W.S 2024-03-10 10:50\r\n",
                            "SAMPLE ABCDEFGHI\r\n", "SAMPLEQ /etc/x\r\n", "SAMPLE\r\n"})
        EXPECT_EQ(Run(COM0, bad), F) << bad;
    // Current texts.
    std::snprintf(TemproraryData->SampleText[2], SAMPLE_TEXT_LEN, "SAMPLE_T0 now\r\n");
    std::snprintf(TemproraryData->SampleTextQ[2], SAMPLE_TEXT_LEN, "SAMPLE_T0 q\r\n");
    std::snprintf(TemproraryData->SampleText[SAMPTEXT_UWD], SAMPLE_TEXT_LEN, "SAMPLE_UWD now\r\n");
    EXPECT_EQ(Run(COM0, "SAMPLE T0\r\n"), Lines{"SAMPLE_T0 now\r\n"});
    EXPECT_EQ(Run(COM0, "SAMPLEQ T0\r\n"), Lines{"SAMPLE_T0 q\r\n"});
    EXPECT_EQ(Run(COM0, "SAMPLE UWD\r\n"), Lines{"SAMPLE_UWD now\r\n"});
    EXPECT_EQ(Run(COM0, "SAMPLE XYZ\r\n"), F);
    EXPECT_EQ(Run(COM0, "SAMPLE /?\r\n"), Lines{"SAMPLE XX [YYYY-MM-DD HH:MM]\r\n"});
}
