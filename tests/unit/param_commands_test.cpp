// The QC, calibration, sensor and mode commands: one table of command lines
// run in order on a station with factory parameters, each with its exact
// reply and, where it stores something, the bytes it leaves in the file.
// Then the maintenance commands against the sandbox's USB disk.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/Param.h"
#include "platform/Transplant.h"
#include "terminal/CommandHandlers.h"
#include "terminal_fixture.h"

namespace {

constexpr const char *PARA = "/mnt/nand2/para.bin";
constexpr const char *MODI = "/mnt/nand2/modipam.bin";

struct Step {
    int generation;
    std::string line;
    const char *reply;        // all texts queued, one after the other
    const char *file = nullptr;
    int offset = 0;
    const char *hex = nullptr;   // bytes expected there afterwards
};

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

const std::string k79(79, '1');

const Step kSteps[] = {
    {0, "QCPS T0 -50 60 5", "T\r\n", PARA, 638 + 2 * 12, "000048c2 00007042 0000a040"},
    {0, "QCPS T0 60 -50 5", "F\r\n", PARA, 638 + 2 * 12, "000048c2 00007042 0000a040"},
    {0, "QCPS T0 / / -", "T\r\n", PARA, 638 + 2 * 12, "804fc347 804fc347 804fc3c7"},
    {0, "QCPS T0", "/ / - \r\n"},
    {0, "QCPS T0 -50 60", "F\r\n"},
    {0, "QCPS T0 1 2 x", "F\r\n"},
    {0, "QCPS T01 -50 60 5", "F\r\n"},
    {0, "QCPS /?", "QCPS XX [MIN MAX DD]\r\n"},
    // The older generation's RAT1 is the second rain counter, checked
    // against RAT1's sample row; its minute row is its own (84).
    {0, "QCPS RAT1 0 30 /", "T\r\n", PARA, 638 + 19 * 12, "00000000 0000f041 804fc347"},
    {0, "QCPS RAT1", "0.0 30.0 / \r\n"},
    {0, "QCPM RAT1 0 10 / / /", "T\r\n", PARA, 1598 + 84 * 20, "00000000 00002041 804fc347"},
    {0, "QCPM T0 -75 80 3 5 /", "T\r\n"},
    {0, "QCPM T0 5 1 / / /", "F\r\n"},
    {0, "QCPM T0", "-75.0 80.0 3.0 5.0 /\r\n"},
    {0, "QCPM U -1000000000000000000000000000000 1 / / -", "T\r\n"},
    {0, "QCPM U", "-1000000015047466219876688855040.0 1.0 / / -\r\n"},
    {0, "RQCPS T01 -50 60 5", ""},
    {0, "TMAX 45", "T\r\n", PARA, 3342, "2d000000"},
    {0, "TMAX", "45\r\n"},
    {0, "TMAX 4.5", "F\r\n"},
    {0, "GALE /?", "GALE [DD]\r\n"},
    {0, "SENCO WS 1 2 3 4", "T\r\n", PARA, 3371, "0000803f 00000040 00004040 00008040"},
    {0, "SENCO RAT1", "0.0000 0.5000 0.0000 0.0000\r\n"},
    {0, "MODIFY T0 1 2 3 4", "F\r\n"},
    {0, "MODIFY T0 1.26 2 3", "T\r\n", MODI, 2 * 20, "6666a63f 00000040 00004040 0000803f"},
    {0, "MODIFY T0", "1.3 2.0 3.0 1.0 0.0\r\n"},
    {0, "SCV P 1000,0.2/99.9,0/99.9,0/99.9,0/99.9,0/99.9,0/", "T\r\n", PARA, 3589,
     "000000000088c340 0000000000000040 0000000000388f40"},
    {0, "SCV P", "1000.0,0.2/99.9,0.0/99.9,0.0/99.9,0.0/99.9,0.0/99.9,0.0/\r\n"},
    {0, "SCV P 1000,0.2/990,0/99.9,0/99.9,0/99.9,0/99.9,0/", "F\r\n"},
    {0, "SCV P 1000,0.2/", "F\r\n"},
    {0, "SENST T0 0", "T\r\n", PARA, 460 + 2, "30"},
    {0, "SENST T0", "0 \r\n"},
    {0, "SENST " + k79, "F\r\n"},
    {0, "SENSI GR 0", "F\r\n"},
    {0, "SENSI GR 12.345", "T\r\n", PARA, 200, "9a994541"},
    {0, "SENSI GR", "12.35\r\n"},
    {0, "SENSI NR 10.1/9.87", "T\r\n"},
    {0, "SENSI NR", "10.10/9.87\r\n"},
    {0, "SMC SM1 1 2 3", "T\r\n", PARA, 332, "01000000 02000000 03000000"},
    {0, "SMC SM9", "F\r\n"},
    {0, "DEVMODE RAW 2 60", "T\r\n"},
    {0, "DEVMODE RAW", "2 60\r\n"},
    {0, "DEVMODE LE 2 65536", "F\r\n"},
    {0, "FILETIMEOUT 5", "F\r\n"},
    {0, "FILETIMEOUT 4", "T\r\n", PARA, 3362, "04000000"},
    {0, "RELAYOUT 2", "F\r\n"},
    {0, "RELAYOUT x", ""},
    {0, "DOWNLOAD ST 20260310", ""},
    {0, "DAUSET CLIM 1", "F\r\n"},
    {0, "DAUSET RADI 1", "T\r\n", PARA, 440 + 5, "31"},
    {0, "DAUSET", "MAIN:1 CLIM:0 RADI:1 SOIL:0 EATH:1 SEAA:0 TARH:1\r\n"},
    {0, "SAMPLESAVE COM1 1", "T\r\n", PARA, 632 + 1, "31"},
    {0, "SAMPLESAVE T01 1", "F\r\n"},
    {0, "STLX", "F\r\n"},
    {1, "QCPS T01 -50 60 5", "F\r\n"},
    {1, "RQCPS T01 -50 60 5", "T\r\n", PARA, 638 + 3 * 12, "000048c2 00007042 0000a040"},
    {1, "RQCPS T01 -50  60 5", "F\r\n"},
    {1, "RQCPS T01", "-50.0 60.0 5.0 \r\n"},
    {1, "RSENCO T02 1 2 0.001 4", "T\r\n"},
    {1, "RSENCOKO T02", "a0=1.0000000 a1=2.0000000 a2=1.000E-03 a3=4.0000000\r\n"},
    {1, "RTDTH -1", "F\r\n"},
    {1, "RTFTH 0.5,0.7", "T\r\n"},
    {1, "RTFTH", "0.5,0.7\r\n"},
    {1, "RPDTH 0.4,5%", "T\r\n"},
    {1, "RPDTH", "0.4,5%\r\n"},
    {1, "STLX S", "T\r\n", PARA, 440 + 15, "313030"},
    {1, "STLX", "S\r\n"},
    {1, "DAUSET TARH 1", "F\r\n"},
};

} // namespace

TEST_F(ParamCommandTest, RepliesAndStoredBytesInOrder)
{
    for (const Step &s : kSteps) {
        defEx_->Generation = s.generation;
        EXPECT_EQ(s.reply, All(s.line)) << s.line;
        if (s.file != nullptr) {
            std::string hex = s.hex;
            std::erase(hex, ' ');
            EXPECT_EQ(hex, Hex(sandbox_.Read(s.file).substr(std::size_t(s.offset), hex.size() / 2))) << s.line;
        }
    }
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
