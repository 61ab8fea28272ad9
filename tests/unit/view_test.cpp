// komain-view reads back what the logger's own writers stored, in both
// format generations: every element of the minute and hourly records with
// the QC and value that went in, and the same element in the GG, RR and ST
// lines as in the record it was printed from. Damaged files are reported
// file and slot by slot without losing the rest.
#include "dmgd_fixture.h"

#include <random>
#include <sstream>

#include "View.h"
#include "dailyfiles/DailyFiles.h"
#include "processing/HourRecords.h"
#include "processing/MinuteRecords.h"
#include "processing/RecordLayout.h"

namespace {

const ViewCell *Cell(const ViewDay &d, const std::string &name)
{
    int c = d.Column(name);
    return c < 0 || d.rows.empty() ? nullptr : &d.rows[0].cells[std::size_t(c)];
}

// Each element of the stored record comes back with its QC and, where the
// QC lets a value through, its value.
template <typename Rec>
void SameAsRecord(const ViewDay &d, const Rec &rec)
{
    ASSERT_EQ(d.rows.size(), 1u) << d.kind->tag << testing::PrintToString(d.problems);
    for (int f = 0; f < Rec::Fields; ++f) {
        const ViewCell &c = d.rows[0].cells[std::size_t(f)];
        const std::string what = std::string(d.kind->tag) + " " + d.columns[std::size_t(f)].name;
        EXPECT_EQ(c.qc, rec.Flag[f] == '1' ? rec.Qc[f] : 'N') << what;
        if (c.has) {
            EXPECT_EQ(c.value, int32_t(rec.Value[f])) << what;
        }
    }
}

// The daily file's element equals the same-named element of the records,
// modulo the field's width.
void SameAsRecords(const ViewDay &daily, std::initializer_list<const ViewDay *> records)
{
    ASSERT_EQ(daily.rows.size(), 1u) << daily.kind->tag << testing::PrintToString(daily.problems);
    int compared = 0;
    for (std::size_t i = 0; i < daily.columns.size(); ++i) {
        std::string name = daily.columns[i].name;
        if (name.size() > 2 && name.compare(name.size() - 2, 2, "_2") == 0)
            name.resize(name.size() - 2);
        for (const ViewDay *r : records) {
            const ViewCell *src = Cell(*r, name);
            if (src == nullptr)
                continue;
            const ViewCell &c = daily.rows[0].cells[i];
            if (daily.columns[i].qc) {
                EXPECT_EQ(c.qc, src->qc) << daily.kind->tag << " " << name;
            }
            if (c.has && src->has && src->qc != '2') {
                EXPECT_EQ(c.value, src->value) << daily.kind->tag << " " << name;
                ++compared;
            }
            break;
        }
    }
    EXPECT_GE(compared, 4) << daily.kind->tag;
}

} // namespace

TEST_F(MinuteTest, ViewReadsBackWhatTheWritersStoredInBothGenerations)
{
    for (int gen : {1, 0}) {
        SCOPED_TRACE(gen);
        Start("2026-06-30 23:59:10");
        defdataEx->Generation = gen;
        for (int e : {EL_T0, EL_U, EL_P, EL_T1, EL_T2, EL_SV1, EL_SV2, EL_GR, EL_NR, EL_DR, EL_RAT, EL_TG})
            Enable(e);
        defdata->ObValid[12] = '1';   // the radiation board's group
        SampleDataRec &s = *SampleDataCopy;
        Fill(s.T0, -2512);
        Fill(s.U, 655);
        Fill(s.P, 10012, '2');
        Fill(s.T1, 2000);
        Fill(s.T2, 2010);
        Fill(s.SV1, 35);
        Fill(s.SV2, 35);
        Fill(s.Earth[0], -300);   // TG
        Fill(s.Radi[RADI_GR], 50000);
        Fill(s.Radi[RADI_DR], 30000);
        Fill(s.Radi[RADI_NR], -4560);   // the one irradiance not zeroed at night
        TemproraryDataRec &t = *TemproraryData;
        t.MainStat.SupplyVoltage = 13.6f;
        t.MainStat.CanBusState = '0';
        t.SubStat[SUB_RADI].State = '2';
        t.SubStat[SUB_CLIM] = {'0', 12.5f, '0', 21.5f, '1', '1'};
        std::memset(t.SensorState, 'N', sizeof t.SensorState);
        t.SensorState[EL_T0] = '0';
        testing::internal::CaptureStdout();
        DmrdCalculate();
        Dmrd1Calculate();
        const char *dmgd = DmgdMinuteTexts();
        DmcdCalculate();
        const char *dmcd = FileSave->DmcdText;
        // In the minute cycle's order: the old hourly record's minute rain
        // comes from the GG file.
        std::vector<int> saved = {DmgdSave(), DmcdSave(), DmrdSave(), RRFileSave(FileSave->DmrdText)};
        saved.push_back(gen ? GGFileSave(dmgd, dmcd) : GGFileSave_Old(dmgd, dmcd));
        saved.push_back(gen ? STFileSave() : STFileSave_Old());
        saved.push_back(gen ? DhgdSave() : DhgdSave_Old());
        saved.push_back(gen ? DhcdSave() : DhgdnzSave());
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(saved, std::vector<int>(8, 0));

        std::string root = ViewStationRoot(sb_->Path("/mnt"));
        ASSERT_EQ(root, sb_->Path("/mnt/nand3"));
        auto Read = [&](const char *tag, int mon, int day) {
            ViewDay d = ViewReadDay(root, *ViewKindByTag(tag), 2026, mon, day);
            EXPECT_TRUE(d.problems.empty()) << tag << testing::PrintToString(d.problems);
            const ViewKind *k = ViewKindByTag(tag);
            EXPECT_EQ(d.old, gen == 0 && (k->old != nullptr || k->source == ViewKind::GG || k->source == ViewKind::ST))
                << tag;
            return d;
        };
        ViewDay g = Read("DMGD", 6, 30), c = Read("DMCD", 6, 30), r = Read("DMRD", 6, 30);
        if (gen)
            SameAsRecord(g, FileSave->Dmgd);
        else
            SameAsRecord(g, FileSave->DmgdOld);
        SameAsRecord(c, DmcdRecord());
        SameAsRecord(r, DmrdRecord());
        EXPECT_EQ(g.rows[0].time, "2026-06-30T23:59:00");
        ViewDay h = Read("DHGD", 7, 1);
        ASSERT_EQ(h.rows.size(), 1u);
        EXPECT_EQ(h.rows[0].time, "2026-07-01T00:00:00");
        SameAsRecords(h, {&g});
        // Every element printed as a time of day is named as one.
        const RecordTextLayout &hl = gen ? kDhgdLayout.text : kDhgdOldLayout.text;
        for (int k = 0; k < hl.fourDigitCount; ++k)
            EXPECT_EQ(h.columns[std::size_t(hl.fourDigitFields[k])].unit, "hhmm") << k;
        // GG and ST of the observation day (20:01 the day before to 20:00),
        // RR of the radiation day.
        ViewDay gg = Read("GG", 7, 1), rr = Read("RR", 6, 30), st = Read("ST", 7, 1);
        SameAsRecords(gg, {&g, &c});
        SameAsRecords(rr, {&r});
        EXPECT_EQ(gg.rows[0].slot, 238);
        EXPECT_EQ(rr.rows[0].slot, 1438);
        EXPECT_EQ(Cell(rr, "NR")->value, -46);
        ASSERT_EQ(st.rows.size(), 1u);
        EXPECT_EQ(Cell(st, "supply_voltage")->value, 136);
        EXPECT_EQ(Cell(st, "CLIM_board_temp")->value, 215);
        EXPECT_EQ(Cell(st, "state_T0")->text, "0");
        EXPECT_EQ(Cell(st, "RADI_state")->text, "2");
        std::ostringstream report;
        ViewReport(report, st);
        EXPECT_NE(report.str().find("RADI silent 1 min: 23:59-23:59 (1 min)"), std::string::npos) << report.str();
        if (gen == 0) {
            ViewDay nz = Read("DHGDNZ", 7, 1);
            SameAsRecords(nz, {&h});
            EXPECT_GE(nz.Column("SLP"), 68);
            EXPECT_EQ(Cell(nz, "RAT_m00")->qc, '0');
        } else {
            EXPECT_EQ(Cell(st, "T0")->value, Cell(g, "T0")->value);
        }

        // Names, units, a QC column beside each element; times with the
        // zone's offset of that day.
        std::ostringstream csv;
        ViewCsv(csv, g, ViewZone{"CET-1CEST,M3.5.0,M10.5.0/3"}, true);
        EXPECT_EQ(csv.str().rfind("time,WD_2min,WD_2min_QC,WS_2min,WS_2min_QC,", 0), 0u);
        EXPECT_NE(csv.str().find("\r\nISO 8601,degree,QC,0.1 m/s,QC,"), std::string::npos);
        EXPECT_NE(csv.str().find("\r\n2026-06-30T23:59:00+02:00,"), std::string::npos);
        EXPECT_EQ(ViewZone{"CET-1CEST,M3.5.0,M10.5.0/3"}.Suffix("2026-12-30T23:59:00"), "+01:00");
    }
}

// Damaged input: each problem names its file and slot or line, the rest of
// the file is still read, and no bytes whatever make the reader fall over.
TEST_F(MinuteTest, ViewReportsBadInputAndSkipsIt)
{
    Start("2026-06-30 12:00:10");
    Enable(EL_T0);
    Fill(SampleDataCopy->T0, 1500);
    testing::internal::CaptureStdout();
    DmrdCalculate();
    const char *dmgd = DmgdMinuteTexts();
    DmcdCalculate();
    ASSERT_EQ(DmgdSave() | DmcdSave() | DmrdSave() | GGFileSave(dmgd, FileSave->DmcdText) | DhgdSave(), 0);
    testing::internal::GetCapturedStdout();
    const std::string kDmcd = "/mnt/nand3/tempdata/DMCD/260630.DAT", kDmgd = "/mnt/nand3/tempdata/DMGD/260630.DAT",
                      kGG = "/mnt/nand3/data/GG260630.DAT", kDhgd = "/mnt/nand3/tempdata/DHGD/2606.DAT";
    const std::string dmcdFile = sb_->Read(kDmcd), dmgdFile = sb_->Read(kDmgd), ggFile = sb_->Read(kGG);
    const std::string dmrdSlot = sb_->Read("/mnt/nand3/tempdata/DMRD/260630.DAT").substr(720 * 512, 512);
    const std::string oldDmgd = "DMGD 12345 2026-06-30 00:07 " + std::string(45, '0') + "  \r\n";
    const std::string flags7 = "DMCD 12345 2026-06-30 00:07 1111111 0000000 1 2 3 4 5 6 7 \r\n";
    // A new-generation hourly record in a month file of the older slots.
    std::string dhgdOld(744 * 512, '-');
    dhgdOld.replace(708 * 512, 510, sb_->Read(kDhgd).substr(708 * DHGD_SLOT, 510));

    // The minute's record and the next slot's carried copy: two rows.
    struct Case {
        const char *what, *kind;
        std::string path, file;
        const char *problem;
        std::size_t rows;
    } cases[] = {
        {"cut short", "DMCD", kDmcd, dmcdFile.substr(0, 1000 * 512 + 100), "512100 bytes, expected 737280", 2},
        {"slot of another layout", "DMCD", kDmcd, std::string(dmcdFile).replace(5 * 512, 512, dmrdSlot),
         "DAT slot 5: not a DMCD record", 2},
        {"garbled time", "DMCD", kDmcd, std::string(dmcdFile).replace(6 * 512, 32, "DMCD 12345 2026-0X-30 00:06 111 "),
         "DAT slot 6: garbled time", 2},
        {"garbled flags", "DMCD", kDmcd, std::string(dmcdFile).replace(7 * 512, flags7.size(), flags7),
         "DAT slot 7: garbled flags (7 of them)", 2},
        {"misplaced record", "DMCD", kDmcd, std::string(dmcdFile).replace(8 * 512, 512, dmcdFile.substr(720 * 512, 512)),
         "DAT slot 8: time 2026-06-30 12:00 does not belong to this slot", 2},
        {"record of the other generation", "DMGD", kDmgd, std::string(dmgdFile).replace(7 * 512, oldDmgd.size(), oldDmgd),
         "record of the other format generation", 1},
        {"file of the other generation", "DHGD", kDhgd, dhgdOld, "2606.DAT slot 708: garbled flags (92 of them)", 0},
        {"garbled GG field", "GG", kGG, std::string(ggFile).replace(960 * GG_LINE + 96, 4, "12x4"),
         "GG260630.DAT line 960: garbled field 24", 0},
        {"GG line without its end", "GG", kGG, std::string(ggFile).replace(5 * GG_LINE - 1, 1, "?"),
         "GG260630.DAT line 4: garbled line", 1},
        {"GG file of the older generation cut short", "GG", kGG,
         std::string(ggFile.substr(0, GG_LINE)).replace(92, 5, "V1.00").replace(256, 2, "\r\n").substr(0, GG_LINE_OLD),
         "GG260630.DAT: 258 bytes, expected 371778", 0},
        {"GG file of no known layout", "GG", kGG, std::string(500, 'x'), "GG260630.DAT: header of no known layout", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sb_->Write(c.path, c.file);
        ViewDay d = ViewReadDay(sb_->Path("/mnt/nand3"), *ViewKindByTag(c.kind), 2026, 6, 30);
        std::string all = testing::PrintToString(d.problems);
        EXPECT_NE(all.find(c.problem), std::string::npos) << all;
        EXPECT_EQ(d.rows.size(), c.rows) << all;
    }
    // Any bytes at all, in files of every kind and of the right sizes.
    std::mt19937 rnd(7);
    for (const ViewKind *k : ViewKinds()) {
        for (std::size_t size : {std::size_t(0), std::size_t(1441 * GG_LINE), std::size_t(744 * 512), std::size_t(99)}) {
            std::string junk(size, ' ');
            for (char &ch : junk)
                ch = "0123456789 -/\r\nDMGHTRSC:*"[rnd() % 26];
            for (const char *p : {"/mnt/nand3/tempdata/%s/260630.DAT", "/mnt/nand3/tempdata/%s/2606.DAT",
                                  "/mnt/nand3/data/%s260630.DAT"}) {
                char path[80];
                std::snprintf(path, sizeof path, p, k->tag);
                sb_->Write(path, junk);
            }
            ViewDay d = ViewReadDay(sb_->Path("/mnt/nand3"), *k, 2026, 6, 30);
            std::ostringstream sink;
            ViewCsv(sink, d, ViewZone{}, true);
            ViewReport(sink, d);
        }
    }
}
