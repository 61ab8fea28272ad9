#include "core/Mutex.h"

#include <cerrno>
#include <cstdio>
#include <sys/ipc.h>
#include <sys/sem.h>

#include "platform/Transplant.h"

int semid_clock = -1;
int semid_sampleInBoard = -1;
int semid_sampleCan = -1;
int semid_send2pc = -1;

namespace {

constexpr int SEM_COUNT = 4;

union semun {
    int val;
    struct semid_ds *buf;
    unsigned short *array;
};

int SemOp(int semid, unsigned short num, short op, short flags)
{
    struct sembuf b {num, op, flags};
    // A signal (the housekeeping tick) may cut a wait short: wait again.
    int r;
    do {
        r = semop(semid, &b, 1);
    } while (r == -1 && errno == EINTR && op < 0);
    return r;
}

int Lock(int semid, unsigned short n) { return SemOp(semid, n, -1, SEM_UNDO); }
int Unlock(int semid, unsigned short n) { return SemOp(semid, n, +1, SEM_UNDO | IPC_NOWAIT); }

} // namespace

int MutexInit()
{
    key_t key = TpFtok("/bin", 'a');
    semid_clock = semget(key, SEM_COUNT, IPC_CREAT | IPC_EXCL | 0660);
    if (semid_clock < 0) {
        std::printf("semid_clock1<0 :%d\n", semid_clock);
        semid_clock = semget(key, SEM_COUNT, IPC_CREAT | 0660);
        if (semid_clock < 0)
            std::printf("semid_clock2<0 :%d\n", semid_clock);
    }
    for (int i = 0; i < SEM_COUNT; ++i) {
        union semun arg;
        arg.val = 1;
        if (semctl(semid_clock, i, SETVAL, arg) < 0) {
            std::printf("semctl D<0\n");
            struct semid_ds ds;
            arg.buf = &ds;
            if (semctl(semid_clock, i, IPC_STAT, arg) < 0)
                std::printf("semctl E<0\n");
        }
    }
    semid_sampleInBoard = semid_clock;
    semid_sampleCan = semid_clock;
    semid_send2pc = semid_clock;
    return semid_clock;
}

int MutexClockLock() { return Lock(semid_clock, 0); }
int MutexClockUnlock() { return Unlock(semid_clock, 0); }
int Mutex_sample_lock() { return Lock(semid_sampleCan, 2); }
int Mutex_sample_unlock() { return Unlock(semid_sampleCan, 2); }
int MutexSend2PClock() { return Lock(semid_send2pc, 3); }
int MutexSend2PCUnlock() { return Unlock(semid_send2pc, 3); }
