// The semaphore set: 0 the clock lock, 1 and 2 unused, 3 the reply queue.
#pragma once

extern int semid_clock;
extern int semid_sampleInBoard;
extern int semid_sampleCan;
extern int semid_send2pc;

int MutexInit();
int MutexClockLock();
int MutexClockUnlock();
int Mutex_sample_lock();
int Mutex_sample_unlock();
int MutexSend2PClock();
int MutexSend2PCUnlock();
