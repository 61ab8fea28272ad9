// The storage work of the housekeeping process in a running station: the
// nightly copy at 02:03 with the slot empty and the hourly clean-up of a
// nearly full NAND (the copy to an inserted card runs on the simulated
// world, in world_e2e_test).
#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;

namespace {

// Places a file modified at the given simulated time (the station runs in UTC).
void PlaceAt(const Station &st, const std::string &path, const char *when)
{
    st.WriteFile(path, path.substr(path.size() - 12));
    struct tm t {};
    strptime(when, "%Y-%m-%d %H:%M:%S", &t);
    struct timespec ts[2] = {{timegm(&t), 0}, {timegm(&t), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, st.Path(path).c_str(), ts, 0), 0);
}

std::unique_ptr<Station> StartAt(const char *clock, bool card)
{
    StationOptions o;
    o.clock = clock;
    auto st = std::make_unique<Station>(o);
    st->WriteFile("/sim/rtc", std::string(clock) + "\n");
    if (card)
        st->WriteFile("/dev/sdd1", "");
    st->WriteFile("/sim/df/cf", "500");
    return st;
}

} // namespace

TEST(StorageE2E, EmptySlotAtTheCopyIsReportedAndNothingCopied)
{
    auto st = StartAt("2026-03-01 02:02:55", false);
    PlaceAt(*st, "/mnt/nand3/data/GG260228.DAT", "2026-02-28 20:00:00");
    ASSERT_GT(st->Start(), 0);
    EXPECT_TRUE(Station::WaitFor(
        [&] { return st->Output().find("PLZ CHECK,CF Inserted?\r\n") != std::string::npos; }, 40s))
        << st->Output();
    EXPECT_FALSE(st->Exists("/mnt/cf/data/10101"));
}

TEST(StorageE2E, NearlyFullNandKeepsOneDayAtMinute10)
{
    auto st = StartAt("2026-03-01 02:09:40", false);
    PlaceAt(*st, "/mnt/nand3/data/GG260227.DAT", "2026-02-27 20:00:00");
    PlaceAt(*st, "/mnt/nand3/data/GG260301.DAT", "2026-03-01 00:00:00");
    ASSERT_GT(st->Start(), 0);
    // The start-up check finds room; then the partition fills up.
    ASSERT_TRUE(Station::WaitFor([&] { return st->Output().find("NAND3,total:") != std::string::npos; }, 20s))
        << st->Output();
    EXPECT_TRUE(st->Exists("/mnt/nand3/data/GG260227.DAT"));
    st->WriteFile("/sim/df/nand3", "5");
    EXPECT_TRUE(Station::WaitFor([&] { return !st->Exists("/mnt/nand3/data/GG260227.DAT"); }, 30s))
        << st->Output();
    EXPECT_NE(st->Output().find("NAND3,total:"), st->Output().rfind("NAND3,total:"));
    EXPECT_TRUE(st->Exists("/mnt/nand3/data/GG260301.DAT"));
}
