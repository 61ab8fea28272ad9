// The QC, calibration, sensor and mode commands: a table of command lines
// (tests/data/param_commands/steps.txt) run in order on a station with
// factory parameters, each with its exact reply and, where it stores
// something, the bytes it leaves in the file.
// Then the maintenance commands against the sandbox's USB disk.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/Param.h"
#include "platform/Transplant.h"
#include "terminal/CommandHandlers.h"
#include "terminal_fixture.h"

namespace {

constexpr const char *PARA = "/mnt/nand2/para.bin";

std::string Hex(const std::string &bytes)
{
    static const char d[] = "0123456789abcdef";
    std::string h;
    for (unsigned char c : bytes) {
        h += d[c >> 4];
        h += d[c & 15];
    }
    return h;
}

class ParamCommandTest : public terminal_test::TerminalTest {
protected:
    ParamCommandTest() : modi_(terminal_test::Zeroed<ModiPamRec>())
    {
        modipam = modi_.get();
        defEx_->Generation = 0;
        SetDefaultParam();
        SetModiParam();
        // The USB check leaves its scratch file in the working folder.
        getcwd(cwd_, sizeof cwd_);
        TpChdir("/mnt/nand3");
    }
    ~ParamCommandTest() override
    {
        modipam = nullptr;
        if (chdir(cwd_) != 0)
            std::perror("chdir");
    }
    std::string All(const std::string &line)
    {
        std::string s;
        for (const std::string &t : Run(COM0, line))
            s += t;
        return s;
    }
    std::unique_ptr<ModiPamRec> modi_;
    char cwd_[512] = {};
};

} // namespace

TEST_F(ParamCommandTest, RepliesAndStoredBytesInOrder)
{
    std::ifstream in(std::string(KOMAIN_TESTDATA) + "/param_commands/steps.txt");
    int steps = 0;
    for (std::string row; std::getline(in, row);) {
        if (row.empty() || row[0] == '#')
            continue;
        std::vector<std::string> f;
        for (std::size_t at = 0, tab = 0; tab != std::string::npos; at = tab + 1) {
            tab = row.find('\t', at);
            f.push_back(row.substr(at, tab - at));
        }
        ASSERT_TRUE((f.size() == 3 || f.size() == 6) && f[2].size() >= 2 && f[2][0] == '"' && f[2].back() == '"') << row;
        std::string reply = f[2].substr(1, f[2].size() - 2);
        for (std::size_t crlf; (crlf = reply.find("\\r\\n")) != std::string::npos;)
            reply.replace(crlf, 4, "\r\n");
        defEx_->Generation = std::stoi(f[0]);
        EXPECT_EQ(reply, All(f[1])) << f[1];
        if (f.size() == 6) {
            std::erase(f[5], ' ');
            EXPECT_EQ(f[5], Hex(sandbox_.Read(f[3]).substr(std::stoul(f[4]), f[5].size() / 2))) << f[1];
        }
        ++steps;
    }
    EXPECT_EQ(steps, 68);
    EXPECT_EQ('2', char(temp_->RawMaintMode));
    EXPECT_EQ(60, int(temp_->RawMaintMinutes));
    EXPECT_EQ('1', char(temp_->CopyRequest));
    EXPECT_STREQ("ST 20260310", temp_->CopyRequestPath);
}

TEST_F(ParamCommandTest, AnUnchangedThresholdIsNotWrittenAgain)
{
    TpUnlink(PARA);
    EXPECT_EQ("T\r\n", All("TMAX 50"));
    EXPECT_FALSE(TpAccess(PARA, F_OK) == 0);
}

TEST_F(ParamCommandTest, ParameterFileThroughTheUsbDisk)
{
    const std::string old = sandbox_.Read(PARA);
    EXPECT_EQ("F\r\n", All("UPGRADE USB"));       // no disk
    EXPECT_EQ("F\r\n", All("GETPARAFILE USB"));
    sandbox_.Write("/dev/sda1", "");
    EXPECT_EQ("F\r\n", All("PUTPARAFILE USB"));    // no para.bin on it
    sandbox_.Write("/mnt/udisk/para.bin", old.substr(0, 5839));
    EXPECT_EQ("F\r\n", All("PUTPARAFILE USB"));    // a cut file
    EXPECT_EQ(old, sandbox_.Read(PARA));

    EXPECT_EQ("T\r\n", All("GETPARAFILE USB"));
    EXPECT_EQ(old, sandbox_.Read("/mnt/udisk/para.bin"));
    std::string other = old;
    other.replace(120, 6, "54399\0", 6);
    sandbox_.Write("/mnt/udisk/para.bin", other);
    EXPECT_EQ("T\r\n", All("PUTPARAFILE USB"));
    // A later setting keeps the imported station.
    EXPECT_EQ("T\r\n", All("TMAX 44"));
    EXPECT_EQ("54399", sandbox_.Read(PARA).substr(120, 5));
    EXPECT_STREQ("54399", defdata->StationId);
}

TEST_F(ParamCommandTest, UpgradeFromTheUsbDiskRebootsIntoTheNewProgram)
{
    sandbox_.Write("/dev/sda1", "");
    sandbox_.Write("/mnt/komain", "old program");
    EXPECT_EQ("F\r\n", All("UPGRADE USB"));   // the disk holds no program
    EXPECT_EQ("", sandbox_.Read("/sim/reboot.log"));
    sandbox_.Write("/mnt/udisk/komain", "new program");
    // The reboot ends the process that asks for it.
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);   // the simulated reboot ends the caller's group
        UpGradeCode("USB");
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ("new program", sandbox_.Read("/mnt/komain"));
    struct stat st;
    ASSERT_EQ(0, TpStat("/mnt/komain", &st));
    EXPECT_EQ(0777u, st.st_mode & 0777);
    EXPECT_NE(std::string::npos, sandbox_.Read("/sim/reboot.log").find(" reboot\n"));
}

TEST_F(ParamCommandTest, ShellCommandOutputIsCutAndBounded)
{
    // 3000 bytes of "0123456789\n": the reply is the last 1024.
    std::string all;
    while (all.size() < 3000)
        all += "0123456789\n";
    all.resize(3000);
    EXPECT_EQ(all.substr(3000 - 1024), All("SYSCMD yes 0123456789 | head -c 3000"));
    // A command that does not end is stopped with what it printed.
    char out[64];
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(3, TpShellOutput("echo hi; sleep 30", 300, out, sizeof out));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ("hi\n", std::string(out, 3));
}

TEST_F(ParamCommandTest, AnyBytesAreAnsweredWithoutHarm)
{
    // Everything but the commands that reboot or run a shell.
    static const char *const kCommands[] = {
        "QCPS", "QCPM", "RQCPS", "RQCPM", "SENCO", "RSENCO", "RSENCOKO", "SCV", "RSCV", "RTFTH", "RTDTH",
        "RPDTH", "CHROD1", "GALE", "MODIFY", "UPGRADE", "DOWNLOAD", "GETPARAFILE", "PUTPARAFILE", "RELAYOUT",
        "DAUSET", "SENST", "SENSI", "SMC", "DEVMODE", "INFRAREDPARA", "LESENSORMODE", "LESENSORCALIB",
        "WSPLATFOM2GROUND", "MAINBOARDSAVE", "QCCTRL", "CLIMSPEED", "DOORVALID", "SAMPLESAVE", "STLX"};
    const std::string kParams[] = {std::string(99, '9'), "T0 " + std::string(96, '9'), "\x01\xff\x80 9 9 9 9 9 9 9",
                                   "/ / / / / / / / / / / / / / /", ", ,,%% %%% //,/", "NR 1/2/3/4",
                                   "P 1,2/3,4/5,6/7,8/9,10/11,12/13,14/", "T01 -1e39 nan inf 0x10"};
    for (int generation : {0, 1}) {
        defEx_->Generation = generation;
        for (const char *c : kCommands)
            for (const std::string &p : kParams)
                EXPECT_LE(Run(COM0, std::string(c) + " " + p).size(), 1u) << c << " " << p;
    }
}
