// Parameter files: load, reset, defaults and the exact bytes of para.bin.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

#include "core/Param.h"
#include "core/ShareMem.h"
#include "support/Sandbox.h"

namespace {

using komain_test::Sandbox;

// The bytes of the values as they lie in memory.
template <typename... T>
std::string B(T... v)
{
    return (std::string(reinterpret_cast<const char *>(&v), sizeof v) + ...);
}

void ExpectBytes(const std::string &f, std::initializer_list<std::pair<std::size_t, std::string>> want)
{
    for (const auto &[offset, bytes] : want)
        EXPECT_EQ(f.substr(offset, bytes.size()), bytes) << "offset " << offset;
}

template <typename T>
void Put(std::string &bytes, std::size_t offset, T v)
{
    std::memcpy(bytes.data() + offset, &v, sizeof v);
}

// What f printed.
template <typename F>
std::string Printed(F f)
{
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

class ParamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Start from garbage so that a record that is not cleared shows.
        std::memset(&para_, 0xA5, sizeof para_);
        std::memset(&ex_, 0xA5, sizeof ex_);
        std::memset(&modi_, 0xA5, sizeof modi_);
        defdata = &para_;
        defdataEx = &ex_;
        modipam = &modi_;
        ex_.Generation = 0;
    }
    void TearDown() override
    {
        defdata = nullptr;
        defdataEx = nullptr;
        modipam = nullptr;
    }

    // The bytes of para.bin as the factory defaults of the given generation.
    std::string DefaultPara(int generation)
    {
        defdataEx->Generation = generation;
        Printed(SetDefaultParam);
        return sb_.Read(PARA_FILE);
    }

    bool Exists(const char *boardPath) const { return std::filesystem::exists(sb_.Path(boardPath)); }

    Sandbox sb_;
    inline static DefDataRec para_;
    inline static DefDataExRec ex_;
    inline static ModiPamRec modi_;
};

const char kIdentity[] = "Manufacturer:QUILLMERE\nFlag:KORV2000\nSerialNo:201001080001\nHardVersion:V1.00\n"
                         "SoftVersion:V2.73\nFileVersion:V1.00\nID:10101\nLongti:116.22.26\nLati:39.10.03\n"
                         "Alt:102.5\r\n\r\n";

// ---------------------------------------------------------------------------
// para.bin: creation and the exact bytes of the factory set

TEST_F(ParamTest, MissingParaIsCreatedWithDefaultsAndIdentity)
{
    EXPECT_EQ(Printed([] { EXPECT_EQ(CheckParamFile(), 0); }), std::string(kIdentity) + "\r\n" + kIdentity);
    EXPECT_EQ(sb_.Read(PARA_FILE).size(), 5840u);
    EXPECT_FALSE(Exists(PARA_FILE ".tmp"));
}

TEST_F(ParamTest, DefaultParaBytesAtTheirOffsets)
{
    const std::string z1(1, '\0'), z3(3, '\0');
    for (int gen : {0, 1, 2}) {
        SCOPED_TRACE(gen);
        std::string f = DefaultPara(gen);
        ASSERT_EQ(f.size(), 5840u);
        // The generation decides the TERH flag and the station type.
        EXPECT_EQ(f[440 + 15], gen == 1 ? '0' : '1');
        EXPECT_EQ(f[5837], gen == 1 ? 'M' : '\0');
    }
    ExpectBytes(DefaultPara(0), {
        {0, "QUILLMERE" + z1}, {120, "10101" + z3}, {128, "39.10.03" + z1}, {144, "116.22.26" + z1},
        {160, B(102.5f, -14, 104.0f)}, {172, "192.168.1.202" + z1}, {192, B(10.0f)}, {200, B(16.69f)},
        {200 + 3 * 4, B(13.438f)}, {200 + 23 * 4, B(10.0f)}, {296 + 8 * 4, B(1058.2f)}, {332, B(50)},
        {332 + 26 * 4, B(50)}, {440, "11101011101101111111"},
        // Element enables: rows 22, 37-45, 68-79 and 84 off.
        {460, "1111111111111111111111011111111111111000000000111111111111111111111100000000000011110"},
        {545, "11" + std::string(82, '0') + z3 + "000000"},
        // QCPS row 1 (P) and row 71 (OS); QCPM rows 1 (P), 70 (OT), 85 and 86.
        {638 + 12, B(500.0f, 1100.0f, 0.3f)}, {638 + 71 * 12, B(2.8f)}, {638 + 79 * 12 + 8, B(99999.0f)},
        {1598 + 1 * 20, B(400.0f, 1100.0f, 0.5f, 2.0f, 99999.0f)}, {1598 + 70 * 20, B(-99999.0f)},
        {1598 + 85 * 20, B(0.0f, 75.0f, 10.0f, 21.0f, 99999.0f)}, {1598 + 86 * 20 + 16, B(99999.0f)},
        {3338, B(14, 50, -40, 20, 40, 20, 3, 0) + "1"}, {3371 + 13 * 4, B(0.5f)},
        {3435 + 4, B(1.0f)}, {3435 + 48 + 4, B(0.1f)},   // first and second block, element 1
        {3531 + 16, B(0.04f)}, {3551, "1"}, {3552 + 20, B(1.0f)},
        {3576, std::string("1\x00\x04\x00\x00\x00\x00\x01\x01", 9) + B(0.0f)},
        // Calibration table: bound = constant x 99.9, correction 0.
        {3589, B(10 * 99.9, 0.0)}, {3589 + 1 * 96 + 5 * 16, B(100 * 99.9)},   // element 1, entry 5
        {3589 + 13 * 96, B(100 * 99.9)}, {3589 + 14 * 96, B(10 * 99.9)}, {3589 + 17 * 96 + 5 * 16, B(10 * 99.9)},
        {5317, std::string(480, '\0') + "192.168.8.1" + z1}, {5813, "192.168.8.100" + z1},
        {5829, B(1800, 0) + z3},
    });
}

// ---------------------------------------------------------------------------
// para.bin: loading

TEST_F(ParamTest, WrongLengthParaIsReplacedByDefaults)
{
    const std::string defaults = DefaultPara(0);
    for (std::size_t len : {std::size_t(0), std::size_t(5839), std::size_t(5841), std::size_t(11680)}) {
        SCOPED_TRACE(len);
        sb_.Write(PARA_FILE, std::string(len, '7'));
        std::string out = Printed(CheckParamFile);
        EXPECT_EQ(out.rfind("***nFileLength:" + std::to_string(len) + "\nreset para!\r\nManufacturer:", 0), 0u)
            << out;
        EXPECT_EQ(sb_.Read(PARA_FILE), defaults);
        EXPECT_EQ(para_.StationId[0], '1');
    }
}

TEST_F(ParamTest, RightLengthParaIsLoadedWhole)
{
    std::string f = DefaultPara(1);
    std::memcpy(f.data() + 120, "54511\0", 6);
    Put<int32_t>(f, 164, 480);
    sb_.Write(PARA_FILE, f);
    ex_.Generation = 1;
    std::string out = Printed(CheckParamFile);
    EXPECT_EQ(out.rfind("***nFileLength:5840\nCOMPILETIME ", 0), 0u) << out;
    EXPECT_NE(out.find("\r\n\r\nManufacturer:QUILLMERE\n"), std::string::npos);
    EXPECT_NE(out.find("ID:54511\n"), std::string::npos);
    EXPECT_EQ(std::string(para_.StationId), "54511");
    EXPECT_EQ(int32_t(para_.Td), 480);
    EXPECT_EQ(sb_.Read(PARA_FILE), f);
}

// A field that no command could have stored loads as the command would
// leave it: the device type of the GPS port as a GPS receiver, the others
// with their factory value and a console line. The file keeps its bytes.
TEST_F(ParamTest, FieldsOutsideTheirCommandsRangeLoadAsFactory)
{
    const std::string factory = DefaultPara(0);
    const struct {
        std::size_t offset;
        std::string file, memory;   // the field's bytes
        const char *console;        // "" when nothing is said
    } cases[] = {
        {3577, "\x05", "\x01", ""},
        {3577, "\x08", "\x08", ""},
        {3577, "\xff", "\x01", ""},
        {164, std::string("\x00\x00\x00\x80", 4), "\xf2\xff\xff\xff",
         "para.bin: TD -2147483648 out of range, factory value -14 used\r\n"},
        {164, "\xff\xff\xff\x7f", "\xf2\xff\xff\xff", "para.bin: TD 2147483647 out of range"},
        {164, std::string("\xd0\x02\x00\x00", 4), std::string("\xd0\x02\x00\x00", 4), ""},   // 720
        {164, "\x2f\xfd\xff\xff", "\xf2\xff\xff\xff", "para.bin: TD -721 out of range"},
        {3578, "\x06", "\x04", "para.bin: AIRPTYPE 6 out of range, factory value 4 used"},
        {3578, "\x08", "\x08", ""},
        {3579, "\x04", std::string("\x00", 1), "para.bin: VISITYPE 4 "},
        {3579, "\x0b", "\x0b", ""},
        {3582, "\x02", std::string("\x00", 1), "para.bin: SUNSHINESET 2 "},
        {3583, "\x02", "\x01", "para.bin: RAWMODE 2 "},
        {545, "x", "1", "para.bin: GPSSET 120 "},
        {546, std::string("\x00", 1), "1", "para.bin: CFSET 0 "},
        {5829, std::string("\x00\x00\x01\x00", 4), std::string("\x08\x07\x00\x00", 4), "para.bin: DEST 65536 "},
        {5829, std::string("\xff\xff\x00\x00", 4), std::string("\xff\xff\x00\x00", 4), ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " " << c.console);
        std::string f = factory;
        f.replace(c.offset, c.file.size(), c.file);
        sb_.Write(PARA_FILE, f);
        std::string out = Printed(ReadDefaultParam);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(&para_) + c.offset, c.memory.size()), c.memory);
        if (*c.console != '\0')
            EXPECT_NE(out.find(c.console), std::string::npos) << out;
        else
            EXPECT_EQ(out.find("out of range"), std::string::npos) << out;
        EXPECT_EQ(sb_.Read(PARA_FILE), f);   // the fix is not saved
    }
    EXPECT_EQ(ParamValueAccepted("TD", -720), 1);
    EXPECT_EQ(ParamValueAccepted("TD", 721), 0);
    EXPECT_EQ(ParamValueAccepted("ID", 1), -1);
}

TEST_F(ParamTest, SubCollectorFlagsForcedInMemoryOnly)
{
    std::string f = DefaultPara(0);
    std::memset(f.data() + 440, '1', 20);
    for (int gen : {0, 1}) {
        SCOPED_TRACE(gen);
        sb_.Write(PARA_FILE, f);
        ex_.Generation = gen;
        Printed(CheckParamFile);
        EXPECT_EQ(std::string(para_.ObValid, 20), gen == 0 ? "11101111111111110011" : "11101111111111111111");
        EXPECT_EQ(sb_.Read(PARA_FILE), f);
    }
    // Freshly created defaults get the same treatment, and only in memory.
    std::filesystem::remove(sb_.Path(PARA_FILE));
    ex_.Generation = 0;
    Printed(CheckParamFile);
    EXPECT_EQ(std::string(para_.ObValid, 20), "11101011101101110011");
    EXPECT_EQ(sb_.Read(PARA_FILE).substr(440, 20), "11101011101101111111");
}

TEST_F(ParamTest, GarbageOfTheRightLengthLoadsWithBoundedTexts)
{
    std::string f(5840, '\0');
    uint32_t x = 12345;
    for (char &c : f) {
        x = x * 1103515245u + 12345u;
        c = char((x >> 16) | 1);   // no NUL anywhere: no text is terminated
    }
    sb_.Write(PARA_FILE, f);
    std::string out = Printed([] { EXPECT_EQ(CheckParamFile(), 0); });
    EXPECT_EQ(std::strlen(para_.StationId), 7u);
    EXPECT_EQ(std::strlen(para_.DestIp), 15u);
    EXPECT_NE(out.find("\nID:" + f.substr(120, 7) + "\n"), std::string::npos);
}

TEST_F(ParamTest, UnopenableParaLeavesRecordZero)
{
    std::filesystem::create_directories(sb_.Path(PARA_FILE));
    EXPECT_EQ(Printed([] { EXPECT_EQ(ReadDefaultParam(), -1); }), "error fp==NULL\n");
    DefDataRec zero{};
    EXPECT_EQ(std::memcmp(&para_, &zero, sizeof zero), 0);
}

// ---------------------------------------------------------------------------
// para_ex.bin and modipam.bin

TEST_F(ParamTest, ParaExLoadResetAndCreate)
{
    ex_.Generation = 7;
    EXPECT_EQ(Printed(CheckParaExFile), "");   // missing: created silently
    EXPECT_EQ(sb_.Read(PARA_EX_FILE), std::string(4, '\0'));

    sb_.Write(PARA_EX_FILE, "");
    ex_.Generation = 7;
    EXPECT_EQ(Printed(CheckParaExFile), "reset para_ex!\r\n");
    EXPECT_EQ(ex_.Generation, 0);
    EXPECT_EQ(sb_.Read(PARA_EX_FILE), std::string(4, '\0'));

    sb_.Write(PARA_EX_FILE, std::string("\x01\0\0\0", 4));
    EXPECT_EQ(Printed(CheckParaExFile).rfind("COMPILETIME ", 0), 0u);
    EXPECT_EQ(ex_.Generation, 1);
}

TEST_F(ParamTest, ModiParamDefaultsAndReset)
{
    EXPECT_EQ(Printed(CheckmodiParamFile), "");
    std::string f = sb_.Read(MODIPAM_FILE);
    ASSERT_EQ(f.size(), 1600u);
    const std::string entry = B(0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
    ExpectBytes(f, {{0, entry}, {40 * 20, entry}, {41 * 20 + 4, B(1.0f)}, {41 * 20 + 12, B(0.1f)}, {42 * 20, entry},
                    {79 * 20, entry}});

    std::string changed = f;
    Put<float>(changed, 20, 2.5f);
    sb_.Write(MODIPAM_FILE, changed);
    Printed(CheckmodiParamFile);
    EXPECT_EQ(modi_.Pam[1][0], 2.5f);

    sb_.Write(MODIPAM_FILE, changed.substr(0, 1599));
    EXPECT_EQ(Printed(CheckmodiParamFile), "reset modipara!\r\n");
    EXPECT_EQ(sb_.Read(MODIPAM_FILE), f);
}

// ---------------------------------------------------------------------------
// Saving

TEST_F(ParamTest, SaveReplacesFileWithoutLeavingTemporary)
{
    std::string before = DefaultPara(0);
    std::memcpy(para_.StationId, "A1234\0", 6);
    EXPECT_EQ(SaveParaFile(0), 1);
    EXPECT_EQ(sb_.Read(PARA_FILE), before.substr(0, 120) + std::string("A1234\0", 6) + before.substr(126));
    EXPECT_FALSE(Exists(PARA_FILE ".tmp"));
}

TEST_F(ParamTest, FailedSaveLeavesOldFileIntact)
{
    const std::string before = DefaultPara(0);
    std::memcpy(para_.StationId, "99999\0", 6);

    // The temporary file cannot be created.
    std::filesystem::create_directory(sb_.Path(PARA_FILE ".tmp"));
    EXPECT_EQ(Printed([] { EXPECT_EQ(SaveParaFile(0), 0); }), "error fp==NULL\n");
    EXPECT_EQ(sb_.Read(PARA_FILE), before);
    std::filesystem::remove(sb_.Path(PARA_FILE ".tmp"));

    // The rename fails: the target is a folder that is not empty.
    std::filesystem::create_directories(sb_.Path(MODIPAM_FILE "/keep"));
    EXPECT_EQ(Printed([] { EXPECT_EQ(SaveModiParaFile(), 0); }), "SaveParaFile error\r\n");
    EXPECT_FALSE(Exists(MODIPAM_FILE ".tmp"));
    EXPECT_TRUE(Exists(MODIPAM_FILE "/keep"));
}

} // namespace
