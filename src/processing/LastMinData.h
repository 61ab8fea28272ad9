// The last-minute file: the hour's running statistics saved every minute so
// that a restart within two minutes resumes the hour. 504 bytes = 126
// little-endian words: word 0 the save time, word 77 the save time shifted
// by the radiation time difference, the rest the statistics groups.
#pragma once

#include <cstdint>
#include <ctime>

#include "processing/Statistic.h"

#define LASTMIN_FILE_NEW "/mnt/nand3/tempdata/lastmindata_new.bin"
#define LASTMIN_FILE_OLD "/mnt/nand3/tempdata/lastmindata.bin"

// The 504-byte buffer (allocated by DataProcessInit).
extern unsigned char *LastMinData;

// The file of the format generation in use.
const char *LastMinFileName();

int SaveLastMinData();
int ReadLastMinData();

// What a read file gives back, for a file image taken at `now` with the
// radiation time difference td (minutes). Restores into s and returns
// LASTMIN_STALE, or a mask of LASTMIN_HOUR and LASTMIN_RADI (0 when fresh
// but of another hour).
enum { LASTMIN_STALE = -1, LASTMIN_HOUR = 1, LASTMIN_RADI = 2 };
int LastMinRestore(StatisticRec *s, const unsigned char buf[LASTMIN_BYTES], time_t now, int td);
