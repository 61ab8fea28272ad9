// The simulated board's command line: path mapping, the command log, file
// commands confined to the sandbox, and the emulated board commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/time.h>
#include <unistd.h>
#include <utime.h>

#include "platform/Transplant.h"
#include "seam_fixture.h"

namespace {

class SimShell : public SeamTest {
protected:
    // Output and exit code of a command read through TpPopen.
    std::string Popen(const char *cmd, int *code = nullptr)
    {
        FILE *p = TpPopen(cmd, "r");
        if (p == nullptr)
            return "<null>";
        std::string s;
        for (int c; (c = std::fgetc(p)) != EOF;)
            s += char(c);
        int st = TpPclose(p);
        if (code != nullptr)
            *code = WEXITSTATUS(st);
        return s;
    }
    // The numbers of the "df -m" line of a mount point.
    struct Df {
        std::string dev;
        int total = -1, used = -1, avail = -1;
    };
    Df DfOf(const std::string &mount)
    {
        std::string line = Popen(("df -m |grep " + mount).c_str());
        char dev[64] = "";
        Df d;
        EXPECT_EQ(std::sscanf(line.c_str(), "%63s %d %d %d", dev, &d.total, &d.used, &d.avail), 4) << line;
        d.dev = dev;
        return d;
    }
};

TEST_F(SimShell, PathMapping)
{
    char out[TP_PATH_MAX];
    ASSERT_NE(TpMapPath("/mnt/nand3/data", out, sizeof out), nullptr);
    EXPECT_EQ(std::string(out), root_ + "/mnt/nand3/data");
    ASSERT_NE(TpMapPath("cfinfo", out, sizeof out), nullptr);
    EXPECT_STREQ(out, "cfinfo") << "relative paths stay relative";
    EXPECT_EQ(TpMapPath("/mnt/../etc/passwd", out, sizeof out), nullptr);
    EXPECT_EQ(TpMapPath("/mnt/nand3/..", out, sizeof out), nullptr);
    ASSERT_NE(TpMapPath("/mnt/nand3/a..b/..c", out, sizeof out), nullptr) << "dots inside a name are fine";
    EXPECT_EQ(TpMapPath("/mnt/nand3", out, 8), nullptr) << "does not fit";
    EXPECT_EQ(TpOpen("/mnt/../../etc/passwd", O_RDONLY), -1);

    // The board's folders are there from the start.
    for (const char *d : {"/mnt/nand2", "/mnt/nand3", "/mnt/cf", "/mnt/udisk", "/tmp", "/home/ko", "/dev", "/run",
                          "/sim"})
        EXPECT_TRUE(Exists(d)) << d;
}

TEST_F(SimShell, FileCommandsStayInTheSandbox)
{
    EXPECT_EQ(TpSystem("mkdir -p /mnt/nand3/tempdir1/x"), 0);
    EXPECT_TRUE(Exists("/mnt/nand3/tempdir1/x"));
    for (const char *cmd : {"echo hello > /mnt/nand3/a.txt", "echo world >> /mnt/nand3/a.txt",
                            "cp /mnt/nand3/a.txt /mnt/cf/b.txt -f", "mv /mnt/cf/b.txt /mnt/cf/c.txt",
                            "chmod 777 /mnt/cf/c.txt"})
        EXPECT_EQ(TpSystem(cmd), 0) << cmd;
    EXPECT_EQ(Read("/mnt/nand3/a.txt"), "hello\nworld\n");
    EXPECT_FALSE(Exists("/mnt/cf/b.txt"));
    struct stat st;
    ASSERT_EQ(stat((root_ + "/mnt/cf/c.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);
    EXPECT_EQ(Popen("cat /mnt/cf/c.txt"), "hello\nworld\n");
    EXPECT_EQ(Popen("ls /mnt/cf"), "c.txt\n");
    EXPECT_EQ(Popen("ls /mnt/cf/*.txt"), "/mnt/cf/c.txt\n") << "board paths in the output";
    EXPECT_EQ(TpSystem("rm /mnt/nand3/tempdir* -fr"), 0);
    EXPECT_FALSE(Exists("/mnt/nand3/tempdir1"));

    // Attempts to leave the sandbox do nothing and fail.
    char outside[] = "/tmp/komain_outside_XXXXXX";
    ASSERT_NE(mkdtemp(outside), nullptr);
    std::string victim = std::string(outside) + "/keep";
    close(open(victim.c_str(), O_WRONLY | O_CREAT, 0644));
    EXPECT_EQ(TpSystem(("rm -f " + victim).c_str()), 0);   // lands in the sandbox
    for (const std::string &cmd : {"rm -f /mnt/../../.." + victim, std::string("rm -f ../../../../../../.."),
                                   "cp --target-directory=" + std::string(outside) + " /mnt/nand3/a.txt",
                                   "echo $(rm " + victim + ")", "echo x && rm " + victim,
                                   "echo `rm " + victim + "`", std::string("rm -f ~/x")})
        EXPECT_EQ(WEXITSTATUS(TpSystem(cmd.c_str())), 1) << cmd;
    EXPECT_EQ(access(victim.c_str(), F_OK), 0) << "the file outside survived";
    unlink(victim.c_str());
    rmdir(outside);

    EXPECT_EQ(WEXITSTATUS(TpSystem("/mnt/nand3/komain -v")), 127) << "unknown commands are not run";
    EXPECT_EQ(WEXITSTATUS(TpSystem("insmod /lib/modules/ide_arm.ko")), 0);
}

TEST_F(SimShell, RelativePathsAndPwdFollowTheWorkingDirectory)
{
    char old[TP_PATH_MAX];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(TpChdir("/mnt/nand3"), 0);
    EXPECT_EQ(Popen("pwd"), "/mnt/nand3\n");
    EXPECT_EQ(TpSystem("uptime >uptime.txt"), 0);
    EXPECT_NE(Read("/mnt/nand3/uptime.txt").find(" up "), std::string::npos);
    EXPECT_EQ(TpSystem("rm uptime.txt"), 0);
    EXPECT_FALSE(Exists("/mnt/nand3/uptime.txt"));
    ASSERT_EQ(chdir(old), 0);
}

TEST_F(SimShell, GrepAndAwkPipelines)
{
    Write("/mnt/nand3/t.txt", "alpha 1 x\nbeta 2 y\n/dev/hda1 on /mnt/cf\n");
    EXPECT_EQ(Popen("cat /mnt/nand3/t.txt | grep beta"), "beta 2 y\n");
    int code = 0;
    EXPECT_EQ(Popen("cat /mnt/nand3/t.txt |grep gamma", &code), "");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Popen("cat /mnt/nand3/t.txt|grep  /dev/hda1"), "/dev/hda1 on /mnt/cf\n") << "pattern is not a path";
    EXPECT_EQ(Popen("cat /mnt/nand3/t.txt | awk '{print $3,$1}'"), "x alpha\ny beta\n/mnt/cf /dev/hda1\n");
    EXPECT_EQ(Popen("grep -v alpha /mnt/nand3/t.txt"), "beta 2 y\n/dev/hda1 on /mnt/cf\n");
    EXPECT_EQ(Popen("cat /mnt/nand3/t.txt | awk '{print $9}'"), "\n\n\n") << "missing fields are empty";
    EXPECT_EQ(WEXITSTATUS(TpSystem("cat /mnt/nand3/t.txt | sort")), 127);
    EXPECT_EQ(WEXITSTATUS(TpSystem("cat /mnt/nand3/t.txt | awk '{system(\"x\")}'")), 2);
}

TEST_F(SimShell, HardwareClockReadAndWrite)
{
    int code = 0;
    EXPECT_EQ(Popen("hwclock |awk '{print $2,$3,$4,$5}' "), "") << "no sim/rtc: no line to read";
    EXPECT_EQ(WEXITSTATUS(TpSystem("hwclock")), 1) << "no sim/rtc: cannot be read";

    // The reading at the file's time, or a second on when one ticked
    // between writing and reading.
    auto reads = [](const std::string &got, const char *s14, const char *s15) { return got == s14 || got == s15; };
    Write("/sim/rtc", "2026-12-05 18:43:14\n");
    time_t now = time(nullptr);
    struct utimbuf ut {now, now};
    utime((root_ + "/sim/rtc").c_str(), &ut);
    std::string got = Popen("hwclock");
    EXPECT_TRUE(reads(got, "Sat Dec  5 18:43:14 2026  0.000000 seconds\n", "Sat Dec  5 18:43:15 2026  0.000000 seconds\n"))
        << got;
    got = Popen("hwclock |awk '{print $2,$3,$4,$5}' ");
    EXPECT_TRUE(reads(got, "Dec 5 18:43:14 2026\n", "Dec 5 18:43:15 2026\n")) << got;

    // The reading advances from the file's modification time.
    ut = {now - 3600 * 24, now - 3600 * 24};
    utime((root_ + "/sim/rtc").c_str(), &ut);
    got = Popen("hwclock |awk '{print $2,$3,$4,$5}' ");
    EXPECT_TRUE(reads(got, "Dec 6 18:43:14 2026\n", "Dec 6 18:43:15 2026\n")) << got;

    Write("/sim/rtc", "garbage\n");
    EXPECT_EQ(Popen("hwclock", &code), "");
    EXPECT_EQ(code, 1);

    // --systohc writes the simulated system clock.
    EXPECT_EQ(TpSystem("date -s 123123592030.58"), 0);
    EXPECT_EQ(TpSystem("hwclock --systohc"), 0);
    std::string rtc = Read("/sim/rtc");
    EXPECT_TRUE(rtc == "2030-12-31 23:59:58\n" || rtc == "2030-12-31 23:59:59\n") << rtc;
}

TEST_F(SimShell, DateSetsTheSimulatedClock)
{
    EXPECT_EQ(TpSystem("date -s 022900302020.05"), 0);
    time_t now = TpTime();
    struct tm t;
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", localtime_r(&now, &t));
    EXPECT_STREQ(buf, "2020-02-29 00:30");
    EXPECT_LE(t.tm_sec, 6);
    for (const char *bad : {"date -s 1399", "date -s 133100302020.05"})   // the second: month 13
        EXPECT_EQ(WEXITSTATUS(TpSystem(bad)), 1) << bad;
    EXPECT_LE(TpTime() - now, 1) << "a refused date changes nothing";
}

TEST_F(SimShell, DfReportsOverrides)
{
    Write("/sim/df/nand3", "5\n");
    Df d = DfOf("/mnt/nand3");
    EXPECT_EQ(d.dev, "/dev/mtdblock3");
    EXPECT_EQ(d.avail, 5);
    EXPECT_EQ(d.used, d.total - 5);

    std::string all = Popen("df -m");
    EXPECT_EQ(all.substr(0, all.find('\n')), "Filesystem           1M-blocks      Used Available Use% Mounted on");
    EXPECT_NE(all.find(" /mnt/nand2\n"), std::string::npos);
    EXPECT_EQ(all.find("/mnt/cf"), std::string::npos) << "no card mounted";

    // Without override: the real free space of the sandbox folder.
    d = DfOf("/mnt/nand2");
    EXPECT_GT(d.total, 0);
    EXPECT_GE(d.avail, 0);
}

TEST_F(SimShell, MountTableFollowsMountAndUmount)
{
    EXPECT_EQ(Popen("mount|grep /dev/sdd1"), "");
    EXPECT_NE(WEXITSTATUS(TpSystem("mount /dev/sdd1 /mnt/cf")), 0) << "no card";
    Write("/dev/sdd1", "");
    EXPECT_EQ(TpSystem("mount /dev/sdd1 /mnt/cf"), 0);
    EXPECT_EQ(Popen("mount|grep /dev/sdd1"), "/dev/sdd1 on /mnt/cf type vfat (rw,relatime)\n");
    EXPECT_NE(TpSystem("mount /dev/sdd1 /mnt/cf"), 0) << "already mounted";
    Write("/sim/df/cf", "299");
    EXPECT_EQ(DfOf("/mnt/cf").avail, 299);

    EXPECT_EQ(TpSystem("umount /mnt/cf"), 0);
    EXPECT_EQ(Popen("mount|grep /dev/sdd1"), "");
    EXPECT_NE(TpSystem("umount /mnt/cf"), 0);
    EXPECT_EQ(TpSystem("umount -l /mnt/nfs") >> 8, 1);
    EXPECT_NE(TpSystem("umount /mnt/nand3"), 0) << "the NAND partitions stay";

    // A pulled card leaves the table.
    EXPECT_EQ(TpSystem("/bin/mount -t vfat /dev/sdd1 /mnt/cf"), 0);
    unlink((root_ + "/dev/sdd1").c_str());
    EXPECT_EQ(Popen("mount|grep /dev/sdd1"), "");

    // mknod never creates a node: card presence is the test's choice.
    EXPECT_EQ(TpSystem("mknod /dev/hda1 b 3 1"), 0);
    EXPECT_FALSE(Exists("/dev/hda1"));
    EXPECT_NE(Popen("mount").find("/dev/mtdblock3 on /mnt/nand3 type yaffs2"), std::string::npos);
}

TEST_F(SimShell, OperatorShellRunsInTheSandbox)
{
    EXPECT_EQ(TpShell("echo hi; echo there >/tmp/execute.log"), 0);
    EXPECT_EQ(Read("/tmp/execute.log"), "there\n");
    EXPECT_EQ(TpShell("ls /mnt >/tmp/execute.log"), 0);
    EXPECT_NE(Read("/tmp/execute.log").find("nand3"), std::string::npos);
    EXPECT_EQ(WEXITSTATUS(TpShell("cat /mnt/../../etc/passwd")), 1);
    EXPECT_NE(Read("/sim/commands.log").find("echo hi; echo there >/tmp/execute.log\n"), std::string::npos);
}

TEST_F(SimShell, ArbitraryCommandLinesAreSurvivedAndLogged)
{
    TpSystem("mkdir -p /mnt/cf/tempdata");
    TpSystem("ifconfig eth1 192.168.0.5 up");
    TpSystem("rm /etc/passwd; reboot");
    TpPclose(TpPopen("hwclock |awk '{print $2,$3,$4,$5}' ", "r"));
    const std::string written = "mkdir -p /mnt/cf/tempdata\n"
                                "ifconfig eth1 192.168.0.5 up\n"
                                "rm /etc/passwd; reboot\n"
                                "hwclock |awk '{print $2,$3,$4,$5}' \n";
    EXPECT_EQ(Read("/sim/commands.log"), written) << "every command is logged as written";
    // Pieces that stress the splitter: quotes, pipes, redirections, refused
    // characters, long words and raw bytes. "reboot" is left out on purpose.
    const char *pieces[] = {"echo", "mount", "df", "grep", "awk", "hwclock", "uptime", "pwd", "x", "/mnt/cf",
                            "'{print $1}'", "|", ">", ">>", "\"", "'", ";", "$", "..", "/tmp/f", "-m", "2>&1",
                            "2>", "*", "/dev/null", "{print", "$NF}", "\"a b\"", "~", "&"};
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    const int kLines = 200;
    for (int i = 0; i < kLines; ++i) {
        std::string cmd;
        int n = 1 + int(next() % 8);
        for (int k = 0; k < n; ++k) {
            unsigned r = next();
            if (r % 7 == 0)
                cmd += char(1 + next() % 255);
            else if (r % 11 == 0)
                cmd += std::string(300, 'a');
            else
                cmd += pieces[r % (sizeof pieces / sizeof pieces[0])];
            if (next() % 3 != 0)
                cmd += ' ';
        }
        Popen(cmd.c_str());
    }
    std::string log = Read("/sim/commands.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4 + kLines);
}

} // namespace
