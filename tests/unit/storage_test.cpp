// Retention sweeps and the nightly CF copy against files placed at chosen
// ages of the simulated clock.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "board/IoControl.h"
#include "core/Main.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "storage/Storage.h"
#include "support/Sandbox.h"

using komain_test::Sandbox;

namespace {

constexpr long D = 86400;

struct StorageTest : ::testing::Test {
    std::unique_ptr<Sandbox> sb;
    TemproraryDataRec live{};
    DefDataRec def{};
    int boardWas = g_HardwareCheck;

    void Start(const char *clock, int board = 1)
    {
        sb = std::make_unique<Sandbox>(clock);
        live = {};
        TemproraryData = &live;
        defdata = &def;
        def.CfValid = '1';
        std::memcpy(def.StationId, "10101\0\0\0", 8);
        def.Td = -14;
        g_HardwareCheck = board;
    }
    void TearDown() override
    {
        TemproraryData = nullptr;
        defdata = nullptr;
        g_HardwareCheck = boardWas;
        if (fdLed >= 0)
            TpLedClose(fdLed);
        fdLed = -1;
    }
    // A file modified `age` seconds before the simulated clock (after it when negative).
    void Place(const std::string &path, long age, const std::string &text = "x") const
    {
        sb->Write(path, text);
        time_t t = TpTime() - age;
        struct timespec ts[2] = {{t, 0}, {t, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, sb->Path(path).c_str(), ts, 0), 0) << path;
    }
    bool Exists(const std::string &path) const
    {
        struct stat st;
        return lstat(sb->Path(path).c_str(), &st) == 0;
    }
    static std::string Quiet(int (*fn)())
    {
        testing::internal::CaptureStdout();
        fn();
        return testing::internal::GetCapturedStdout();
    }
};

struct AgeCase {
    const char *clock;
    int (*sweep)();
    int cfSpace;
    const char *nandFreeMb;
    std::string path;
    long age;
    bool kept;
};

const std::string kLong(53, 'L');

} // namespace

TEST_F(StorageTest, FilesAreRemovedExactlyWhenTheirAgeRuleNamesThem)
{
    const char *now = "2026-12-06 12:00:00";
    const AgeCase cases[] = {
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/data/GG261130.DAT", 6 * D + 1, false},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/data/GG261130.DAT", 6 * D, true},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/tempdata/DMGD/261213.DAT", -(6 * D + 1), false},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/cf/data/10101/202612/GG261210.DAT", -4 * D, false},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/cf/data/10101/202612/GG261208.DAT", -2 * D, true},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/cf/data/10101/202611/GG261106.DAT", 30 * D, true},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/cf/data/10101/202611/GG261105.DAT", 30 * D + 1, false},
        {now, DeleteOldFile_II, 299, nullptr, "/mnt/cf/tempdata/DMGD/260520.DAT", 200 * D, false},
        {now, DeleteOldFile_II, 300, nullptr, "/mnt/cf/tempdata/DMGD/260520.DAT", 200 * D, true},
        {now, DeleteOldFile_II, 300, nullptr, "/mnt/cf/tempdata/DMGD/251205.DAT", 365 * D + 1, false},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/.keep", 10 * D, true},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/.old/GG", 10 * D, true},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/a/b/c/d/f", 10 * D, false},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/a/b/c/d/e/f", 10 * D, true},
        // 63 characters fit the walk's path slot, 64 do not and are left.
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/" + kLong.substr(1), 10 * D, false},
        {now, DeleteOldFile_II, 0, nullptr, "/mnt/nand3/" + kLong, 10 * D, true},
        {now, DeleteNand3, 0, "5", "/mnt/nand3/tempdata/DMOD/261205.DAT", D + 1, false},
        {now, DeleteNand3, 0, "5", "/mnt/nand3/tempdata/DMOD/261205.DAT", D, true},
        {now, DeleteNand3, 0, "5", "/mnt/nand3/tempdata/DMSD/261208.DAT", -(D + 1), false},
        {now, DeleteNand3, 0, "5", "/mnt/nand3/tempdata/andata/x", 0, false},
        {now, DeleteNand3, 0, "6", "/mnt/nand3/data/GG261201.DAT", 5 * D, true},
        {now, DeleteNand3, 0, "garbage", "/mnt/nand3/data/GG261201.DAT", 5 * D, true},
        // A clock thrown back to 2009 would make every file "ahead".
        {"2009-01-01 00:00:00", DeleteOldFile_II, 0, nullptr, "/mnt/nand3/data/GG090101.DAT", -D * 365, true},
        {"2009-01-01 00:00:00", DeleteNand3, 0, "5", "/mnt/nand3/data/GG090101.DAT", -D * 365, true},
    };
    for (const AgeCase &c : cases) {
        SCOPED_TRACE(c.path + " age " + std::to_string(c.age) + " at " + c.clock);
        Start(c.clock);
        live.MainStat.CFSpace = c.cfSpace;
        if (c.nandFreeMb != nullptr)
            sb->Write("/sim/df/nand3", c.nandFreeMb);
        Place(c.path, c.age);
        std::string out = Quiet(c.sweep);
        EXPECT_EQ(Exists(c.path), c.kept) << out;
        EXPECT_EQ(out.find("delete /mnt/nand3/.") == std::string::npos, true);
    }
}

TEST_F(StorageTest, WalksSkipLinksAndDirectoriesBeyondTheLimitButSeeHostStampsOnTheClock)
{
    Start("2026-03-01 12:00:00");
    Place("/home/ko/precious", 10 * D);
    ASSERT_EQ(symlink(sb->Path("/home/ko").c_str(), sb->Path("/mnt/nand3/link").c_str()), 0);
    ASSERT_EQ(symlink(sb->Path("/mnt/nand3").c_str(), sb->Path("/mnt/nand3/loop").c_str()), 0);
    for (int i = 0; i < WALK_MAX_DIRS + 1; ++i)
        Place("/mnt/nand3/d" + std::to_string(1000 + i) + "/old", 10 * D);
    // Written by the host now, months after the simulated clock: a fresh file.
    sb->Write("/mnt/nand3/fresh", "x");
    Quiet(DeleteOldFile_II);
    EXPECT_TRUE(Exists("/home/ko/precious"));
    EXPECT_TRUE(Exists("/mnt/nand3/link"));
    EXPECT_TRUE(Exists("/mnt/nand3/fresh"));
    int left = 0;
    for (int i = 0; i < WALK_MAX_DIRS + 1; ++i)
        left += Exists("/mnt/nand3/d" + std::to_string(1000 + i) + "/old");
    EXPECT_EQ(left, 1);
}

TEST_F(StorageTest, NightlyCopyOnFirstOfMarchFillsTheFebruaryFolder)
{
    Start("2026-03-01 02:03:00");
    const std::string card = "/mnt/cf/data/10101/202602/";
    for (const char *k : {"GG", "RR", "ST"}) {
        Place(std::string("/mnt/nand3/data/") + k + "260228.DAT", D, std::string(k) + "28");
        Place(std::string("/mnt/nand3/data/") + k + "260227.DAT", 2 * D, std::string(k) + "27");
    }
    Place(card + "GG260228.DAT", D, "old");
    Place(card + "GG260227.DAT", D, "card27");
    sb->Write("/dev/sdd1", "");
    sb->Write("/sim/df/cf", "500");
    ASSERT_EQ(TpSystem("mount /dev/sdd1 /mnt/cf"), 0);
    live.MainStat.CFSpace = 500;

    def.CfValid = '0';
    EXPECT_EQ(Quiet(Copy2CfCard), "prepare to copy 2 cf\n");
    EXPECT_FALSE(Exists(card + "RR260228.DAT"));
    def.CfValid = '1';
    live.MainStat.CFSpace = 50; // too full: only measured again
    Quiet(Copy2CfCard);
    EXPECT_FALSE(Exists(card + "RR260228.DAT"));
    EXPECT_EQ(int(live.MainStat.CFSpace), 500);

    std::string out = Quiet(Copy2CfCard);
    EXPECT_NE(out.find("COPYTIME:2026-02-28 02:03:0"), std::string::npos) << out;
    EXPECT_EQ(sb->Read(card + "GG260228.DAT"), "GG28");
    EXPECT_EQ(sb->Read(card + "GG260227.DAT"), "card27");
    EXPECT_EQ(sb->Read(card + "RR260227.DAT"), "RR27");
    EXPECT_EQ(live.MainStat.CfState, '0');
    struct stat st;
    ASSERT_EQ(TpStat((card + "GG260228.DAT").c_str(), &st), 0);
    EXPECT_LE(std::labs(long(st.st_mtime - TpTime())), 2L); // copied now, on the simulated clock

    // A radiation day ending after 02:03 was still being written last night.
    sb->Write(card + "RR260227.DAT", "partial");
    def.Td = -124;
    Quiet(Copy2CfCard);
    EXPECT_EQ(sb->Read(card + "RR260227.DAT"), "RR27");
    EXPECT_EQ(sb->Read(card + "GG260227.DAT"), "card27");
}

TEST_F(StorageTest, OlderBoardRemountsMeasuresAndCopiesThenReportsAPulledCard)
{
    Start("2026-03-01 02:03:00", 0);
    fdLed = TpLedOpen();
    Place("/mnt/nand3/data/GG260228.DAT", D, "GG28");
    sb->Write("/dev/hda1", "");
    sb->Write("/sim/df/cf", "400");
    live.MainStat.CFSpace = 0; // from before the card went in
    Quiet(Copy2CfCard);
    EXPECT_EQ(sb->Read("/mnt/cf/data/10101/202602/GG260228.DAT"), "GG28");
    EXPECT_EQ(sb->Read("/sim/at91_led/4"), "0"); // CF LED on

    std::filesystem::remove(sb->Path("/dev/hda1"));
    std::string out = Quiet(Copy2CfCard);
    EXPECT_NE(out.find("PLZ CHECK,CF Inserted?\r\n"), std::string::npos) << out;
    EXPECT_EQ(live.MainStat.CfState, '1');
    EXPECT_EQ(sb->Read("/sim/at91_led/4"), "1");
    std::string log = sb->Read("/sim/commands.log");
    EXPECT_NE(log.find("/bin/umount /mnt/cf\n/sbin/rmmod ide_arm\n"), std::string::npos) << log;
}

TEST_F(StorageTest, AYearOfNandFilesIsSweptWithinASecondOfCpu)
{
    Start("2026-12-06 12:00:00");
    const char *const dirs[] = {"DMGD", "DMCD", "DMRD", "DMOD", "DMSD", "sample"};
    for (int day = 0; day < 365; ++day) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.DAT", day);
        for (const char *d : dirs)
            Place(std::string("/mnt/nand3/tempdata/") + d + "/" + name, day * D + 3600);
        for (const char *k : {"GG", "RR", "ST"})
            Place(std::string("/mnt/nand3/data/") + k + name, day * D + 3600);
    }
    struct timespec a, b;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &a);
    Quiet(DeleteOldFile_II);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &b);
    double cpu = double(b.tv_sec - a.tv_sec) + double(b.tv_nsec - a.tv_nsec) / 1e9;
    RecordProperty("sweep_cpu_ms", int(cpu * 1000));
    std::printf("sweep of 3285 files: %.3f s of CPU\n", cpu);
    EXPECT_LT(cpu, 1.0);
    int left = 0;
    for (const auto &e : std::filesystem::recursive_directory_iterator(sb->Path("/mnt/nand3")))
        left += e.is_regular_file();
    EXPECT_EQ(left, 6 * 9); // days 0 to 5
}
