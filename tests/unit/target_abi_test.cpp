// What must hold the same on the x86 host and on both ARM boards: the byte
// images of the record files and CAN frames, the calendar arithmetic with a
// 32-bit time_t, and the System V locks. scripts/cross-test.sh runs these
// under qemu-arm for the armel and armhf builds.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <sys/sem.h>

#include "platform/Transplant.h"
#include "core/Mutex.h"
#include "core/MyTime.h"
#include "core/Param.h"
#include "support/Sandbox.h"

namespace {

std::string Hex(const void *p, std::size_t n)
{
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", static_cast<const uint8_t *>(p)[i]);
        s += b;
    }
    return s;
}

TEST(TargetAbi, ParaRecordIsLittleEndianImage)
{
    static DefDataRec rec;   // 5840 bytes: keep it off the small ARM stacks
    std::memset(&rec, 0, sizeof rec);
    rec.DestPort = 0x12345678;
    rec.Td = -480;
    rec.Alt = 1.5f;
    rec.Scv[0][0][0] = 1.0;           // odd offset: the compiler must not use a word load
    rec.Scv[17][5][1] = -2.0;
    rec.Qcps[79][2] = QC_NONE;
    const auto *b = reinterpret_cast<const uint8_t *>(&rec);
    EXPECT_EQ(Hex(b + 5829, 4), "78563412");
    EXPECT_EQ(Hex(b + 164, 4), "20feffff");
    EXPECT_EQ(Hex(b + 160, 4), "0000c03f");
    // EABI doubles are plain little-endian IEEE-754 (no FPA word swap).
    EXPECT_EQ(Hex(b + 3589, 8), "000000000000f03f");
    EXPECT_EQ(Hex(b + 3589 + sizeof rec.Scv - 8, 8), "00000000000000c0");
    EXPECT_EQ(Hex(b + 638 + sizeof rec.Qcps - 4, 4), "804fc347");
    // And back through the packed fields: no word load at an odd offset.
    EXPECT_EQ(double(rec.Scv[0][0][0]), 1.0);
    EXPECT_EQ(int32_t(rec.DestPort), 0x12345678);

}

TEST(TargetAbi, CanFrameWireBytes)
{
    TpCanFrame f{};
    f.can_id = 0x192;
    f.can_dlc = 8;
    for (int i = 0; i < 8; ++i)
        f.data[i] = uint8_t(0xf8 + i);
    EXPECT_EQ(Hex(&f, sizeof f), "9201000008000000f8f9fafbfcfdfeff");
}

struct Moment {
    const char *clock;
    int minutes;
    int year, mon, day, hour, min;
};

TEST(TargetAbi, GetTimeCalendarEdges)
{
    // GetTime adds whole minutes to time_t, which is 32 bits on the boards.
    const Moment cases[] = {
        {"2030-12-31 23:59:30", 1, 2031, 1, 1, 0, 0},
        {"2028-02-28 23:30:00", 30, 2028, 2, 29, 0, 0},
        {"2027-03-01 00:10:00", -20, 2027, 2, 28, 23, 50},
        {"2037-12-31 23:00:00", 59, 2037, 12, 31, 23, 59},
        {"2026-06-30 12:00:00", 480, 2026, 6, 30, 20, 0},
        {"2026-01-01 03:00:00", -480, 2025, 12, 31, 19, 0},
    };
    for (const Moment &m : cases) {
        komain_test::Sandbox box(m.clock);
        const struct tm *t = GetTime(m.minutes);
        EXPECT_EQ((std::array{t->tm_year, t->tm_mon, t->tm_mday, t->tm_hour, t->tm_min}),
                  (std::array{m.year, m.mon, m.day, m.hour, m.min}))
            << m.clock;
    }
}

TEST(TargetAbi, SemaphoreLockAndUnlock)
{
    komain_test::Sandbox box;
    int id = MutexInit();
    ASSERT_GE(id, 0);
    EXPECT_EQ(MutexClockLock(), 0);
    EXPECT_EQ(semctl(id, 0, GETVAL), 0);
    EXPECT_EQ(MutexClockUnlock(), 0);
    EXPECT_EQ(semctl(id, 0, GETVAL), 1);
    EXPECT_EQ(semctl(id, 0, IPC_RMID), 0);
    semid_clock = semid_sampleInBoard = semid_sampleCan = semid_send2pc = -1;
}

} // namespace
