// What must hold the same on the x86 host and on both ARM boards: the
// calendar arithmetic with a 32-bit time_t and the System V locks. The byte
// images of para.bin and of CAN frames have their own tests, which
// scripts/cross-test.sh runs under qemu-arm for armel and armhf as well.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <sys/sem.h>

#include "platform/Transplant.h"
#include "core/Mutex.h"
#include "core/MyTime.h"
#include "support/Sandbox.h"

namespace {

struct Moment {
    const char *clock;
    int minutes;
    int year, mon, day, hour, min;
};

TEST(TargetAbi, GetTimeCalendarEdges)
{
    // GetTime adds whole minutes to time_t, which is 32 bits on the boards.
    const Moment cases[] = {
        {"2020-03-01 00:30:00", -1440, 2020, 2, 29, 0, 30},
        {"2020-03-01 00:30:00", -525600, 2019, 3, 2, 0, 30},
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
