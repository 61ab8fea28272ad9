// komain-view reads back what the logger's own writers stored: every
// flagged field of the minute records with the QC and value that went in,
// and a damaged file reported slot by slot without losing the rest.
#include "dmgd_fixture.h"

#include <sstream>

#include "View.h"
#include "processing/HourRecords.h"
#include "processing/MinuteRecords.h"

namespace {

template <typename Rec>
void RoundTrip(const ViewDay &d, const Rec &rec, int slot)
{
    ASSERT_EQ(d.rows.size(), 1u) << d.kind->tag;
    const ViewRow &r = d.rows[0];
    EXPECT_EQ(r.slot, slot);
    int flagged = 0;
    for (int f = 0; f < Rec::Fields; ++f) {
        if (rec.Flag[f] != '1') {
            EXPECT_EQ(r.v.qc[f], 'N') << d.kind->tag << " field " << f;
            continue;
        }
        ++flagged;
        EXPECT_EQ(r.v.qc[f], rec.Qc[f]) << d.kind->tag << " field " << f;
        if (rec.Qc[f] == '0') {
            EXPECT_EQ(int32_t(r.v.value[f]), int32_t(rec.Value[f])) << d.kind->tag << " field " << f;
        }
    }
    EXPECT_GT(flagged, 0) << d.kind->tag;
}

} // namespace

TEST_F(MinuteTest, ViewReadsBackTheWrittenRecords)
{
    Start("2026-06-30 23:59:10");
    for (int e : {EL_T0, EL_U, EL_P, EL_T1, EL_T2, EL_GR, EL_DR})
        Enable(e);
    SampleDataRec &s = *SampleDataCopy;
    Fill(s.T0, -2512);
    Fill(s.U, 655);
    Fill(s.P, 10012, '2');
    Fill(s.T1, 2000);
    Fill(s.T2, 2010);
    Fill(s.Radi[RADI_GR], 50000);
    Fill(s.Radi[RADI_DR], 30000);
    testing::internal::CaptureStdout();
    DmrdCalculate();
    Dmrd1Calculate();
    DmgdMinuteTexts();
    DmcdCalculate();
    int saved = DmgdSave() | DmcdSave() | DmrdSave() | DhgdSave() | DhcdSave();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(saved, 0);

    std::string td = ViewTempdata(sb_->Path("/mnt"));
    ASSERT_EQ(td, sb_->Path("/mnt/nand3/tempdata"));
    ViewDay g = ViewReadDay(td, *ViewKindByTag("DMGD"), 2026, 6, 30);
    RoundTrip(g, FileSave->Dmgd, 1439);
    RoundTrip(ViewReadDay(td, *ViewKindByTag("DMCD"), 2026, 6, 30), DmcdRecord(), 1439);
    RoundTrip(ViewReadDay(td, *ViewKindByTag("DMRD"), 2026, 6, 30), DmrdRecord(), 1439);
    for (const char *hourly : {"DHGD", "DHCD"}) {
        ViewDay h = ViewReadDay(td, *ViewKindByTag(hourly), 2026, 7, 1);
        EXPECT_TRUE(h.problems.empty()) << testing::PrintToString(h.problems);
        ASSERT_EQ(h.rows.size(), 1u) << hourly;
        EXPECT_EQ(h.rows[0].time, "2026-07-01T00:00:00") << hourly;
    }
    std::ostringstream csv;
    ViewCsv(csv, g, "+08:00", true);
    EXPECT_NE(csv.str().find("\r\n2026-06-30T23:59:00+08:00,"), std::string::npos);

    // A garbled slot, a slot of another layout, a cut file.
    std::string dmcd = sb_->Read("/mnt/nand3/tempdata/DMCD/260630.DAT");
    dmcd.replace(5 * 512, 32, "DMCD 12345 2026-0X-30 00:05 111 ");
    dmcd.replace(6 * 512, 30, sb_->Read("/mnt/nand3/tempdata/DMRD/260630.DAT").substr(1439 * 512, 30));
    std::string flags = "DMCD 12345 2026-06-30 00:07 1\x01\xff\r\n";
    dmcd.replace(7 * 512, flags.size(), flags);
    sb_->Write("/mnt/nand3/tempdata/DMCD/260630.DAT", dmcd.substr(0, 1000 * 512 + 100));
    ViewDay c = ViewReadDay(td, *ViewKindByTag("DMCD"), 2026, 6, 30);
    EXPECT_TRUE(c.rows.empty());
    std::ostringstream report;
    ViewReport(report, c);
    for (const char *want : {"512100 bytes", "slot 5: garbled time", "slot 6: not a DMCD", "slot 7: garbled flags",
                             "DMCD 2026-06-30: 0 of 1440 minutes written, 1440 missing, 4 problems"})
        EXPECT_NE((report.str() + testing::PrintToString(c.problems)).find(want), std::string::npos)
            << want << report.str() << testing::PrintToString(c.problems);
}
