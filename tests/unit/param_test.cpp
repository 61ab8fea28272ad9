// Parameter files: load, reset, defaults and the exact bytes of para.bin.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/Param.h"
#include "core/ShareMem.h"
#include "support/Sandbox.h"

namespace {

using komain_test::Sandbox;

template <typename T>
T At(const std::string &bytes, std::size_t offset)
{
    T v{};
    EXPECT_LE(offset + sizeof v, bytes.size());
    if (offset + sizeof v <= bytes.size())
        std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
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
    std::string f = DefaultPara(0);
    ASSERT_EQ(f.size(), 5840u);

    EXPECT_EQ(f.substr(0, 10), std::string("QUILLMERE\0", 10));
    EXPECT_EQ(f.substr(120, 8), std::string("10101\0\0\0", 8));
    EXPECT_EQ(f.substr(128, 9), std::string("39.10.03\0", 9));
    EXPECT_EQ(f.substr(144, 10), std::string("116.22.26\0", 10));
    EXPECT_EQ(At<float>(f, 160), 102.5f);
    EXPECT_EQ(f.substr(164, 4), std::string("\xf2\xff\xff\xff", 4));   // Td -14
    EXPECT_EQ(At<float>(f, 168), 104.0f);
    EXPECT_EQ(f.substr(172, 14), std::string("192.168.1.202\0", 14));
    EXPECT_EQ(At<float>(f, 192), 10.0f);
    EXPECT_EQ(At<float>(f, 200), 16.69f);
    EXPECT_EQ(At<float>(f, 200 + 3 * 4), 13.438f);
    EXPECT_EQ(At<float>(f, 200 + 23 * 4), 10.0f);
    EXPECT_EQ(At<float>(f, 296 + 8 * 4), 1058.2f);
    EXPECT_EQ(At<int32_t>(f, 332), 50);
    EXPECT_EQ(At<int32_t>(f, 332 + 26 * 4), 50);

    EXPECT_EQ(f.substr(440, 20), "11101011101101111111");
    // Element enables: rows 22, 37-45, 68-79 and 84 off.
    EXPECT_EQ(f.substr(460, 85),
              "1111111111111111111111011111111111111000000000111111111111111111111100000000000011110");
    EXPECT_EQ(f.substr(545, 2), "11");
    EXPECT_EQ(f.substr(547, 82), std::string(82, '0'));
    EXPECT_EQ(f.substr(629, 3), std::string(3, '\0'));
    EXPECT_EQ(f.substr(632, 6), "000000");

    // QCPS row 1 (P) and row 71 (OS); QCPM rows 1 (P), 70 (OT) and 85.
    EXPECT_EQ(At<float>(f, 638 + 12), 500.0f);
    EXPECT_EQ(At<float>(f, 638 + 16), 1100.0f);
    EXPECT_EQ(At<float>(f, 638 + 20), 0.3f);
    EXPECT_EQ(At<float>(f, 638 + 71 * 12), 2.8f);
    EXPECT_EQ(At<float>(f, 638 + 79 * 12 + 8), 99999.0f);
    const float p[5] = {400, 1100, 0.5f, 2, 99999};
    const float row85[5] = {0, 75, 10, 21, 99999};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(At<float>(f, 1598 + 1 * 20 + 4 * k), p[k]) << k;
        EXPECT_EQ(At<float>(f, 1598 + 85 * 20 + 4 * k), row85[k]) << k;
    }
    EXPECT_EQ(At<float>(f, 1598 + 70 * 20), -99999.0f);
    EXPECT_EQ(At<float>(f, 1598 + 86 * 20 + 16), 99999.0f);

    const int32_t ints[] = {14, 50, -40, 20, 40, 20, 3, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(At<int32_t>(f, 3338 + 4 * i), ints[i]) << i;
    EXPECT_EQ(f[3370], '1');
    EXPECT_EQ(At<float>(f, 3371 + 13 * 4), 0.5f);
    EXPECT_EQ(At<float>(f, 3435 + 4), 1.0f);        // first block, element 1
    EXPECT_EQ(At<float>(f, 3435 + 48 + 4), 0.1f);   // second block, element 1
    EXPECT_EQ(At<float>(f, 3531 + 16), 0.04f);
    EXPECT_EQ(f[3551], '1');
    EXPECT_EQ(At<float>(f, 3552 + 20), 1.0f);
    EXPECT_EQ(f.substr(3576, 9), std::string("1\x00\x04\x00\x00\x00\x00\x01\x01", 9));
    EXPECT_EQ(At<float>(f, 3585), 0.0f);

    // Calibration table: bound = constant x 99.9, correction 0.
    EXPECT_EQ(At<double>(f, 3589), 10 * 99.9);
    EXPECT_EQ(At<double>(f, 3589 + 8), 0.0);
    EXPECT_EQ(At<double>(f, 3589 + 1 * 96 + 5 * 16), 100 * 99.9);   // element 1, entry 5
    EXPECT_EQ(At<double>(f, 3589 + 13 * 96), 100 * 99.9);
    EXPECT_EQ(At<double>(f, 3589 + 14 * 96), 10 * 99.9);
    EXPECT_EQ(At<double>(f, 3589 + 17 * 96 + 5 * 16), 10 * 99.9);

    EXPECT_EQ(f.substr(5317, 480), std::string(480, '\0'));
    EXPECT_EQ(f.substr(5797, 12), std::string("192.168.8.1\0", 12));
    EXPECT_EQ(f.substr(5813, 14), std::string("192.168.8.100\0", 14));
    EXPECT_EQ(f.substr(5829, 4), std::string("\x08\x07\0\0", 4));   // 1800
    EXPECT_EQ(At<int32_t>(f, 5833), 0);
    EXPECT_EQ(f.substr(5837, 3), std::string(3, '\0'));
}

TEST_F(ParamTest, GenerationDecidesTerhFlagAndStationType)
{
    for (int gen : {0, 1, 2}) {
        std::string f = DefaultPara(gen);
        EXPECT_EQ(f[440 + 15], gen == 1 ? '0' : '1') << gen;
        EXPECT_EQ(f[5837], gen == 1 ? 'M' : '\0') << gen;
    }
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
    const float entry[5] = {0, 1, 0, 1, 0};
    for (int e : {0, 40, 42, 79})
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(At<float>(f, e * 20 + k * 4), entry[k]) << e << " " << k;
    EXPECT_EQ(At<float>(f, 41 * 20 + 12), 0.1f);
    EXPECT_EQ(At<float>(f, 41 * 20 + 4), 1.0f);

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
