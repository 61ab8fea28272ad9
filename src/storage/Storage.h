// Storage management: the retention sweeps that keep the NAND data
// partition and the CF card within bounds, the CF card's detection, power
// and mounting on both board generations, and the nightly copy of the
// daily files to the card.
#pragma once

#include <cstddef>
#include <ctime>

// Walk bookkeeping of the recursive sweeps: paths are built in slots of
// this size, and one walk records at most this many directories.
constexpr int WALK_PATH_LEN = 64;
constexpr int WALK_MAX_DIRS = 256;
// Deeper directories are not descended into.
constexpr int WALK_MAX_DEPTH = 5;

// Recursive age sweep: removes the files under path whose modification
// time lies more than age seconds before the latest time read, or more
// than ahead seconds after it. Returns 0, or -1 when path cannot be opened.
int trave_dir(const char *path, int depth, long age, long ahead);
// Recursive purge: removes the files under path modified at or after the
// latest time read minus t seconds. Returns 0 or -1 as trave_dir.
int DeleteAllFileInPath(const char *path, int depth, long t);

// The daily sweep of NAND, the card's data and its record copies.
int DeleteOldFile_II();
// The hourly space check of the NAND data partition; sweeps down to the
// last day when less than 6 MB are free. Returns 0.
int DeleteNand3();
int DeleteNand3OldFile_II();
int DeleteNand3OldFile();
// The purge of today's and future files when the format generation changes.
int DeleteFile_Future();
int DeleteNand3OldFile_III(int t);
int DeleteNand3OldFile_IV(int t);
int DeleteCfFutureFile(int t);
// Measures the CF card into CFSpace and CfState. Returns 0.
int TestCfSpace();

// The CF card.
int CfCardInsertDetect();
int CfCardInit();
int CfCardMount();
int CfCardUmount();
int CheckCfMounted();
int CheckCfCardStatusAndMount();
int MountCF();
int UmountCF();
// The nightly copy of yesterday's daily files to the card.
int Copy2CfCard();

// Name of a daily file ("GG", "RR" or "ST") of the day t (full year,
// month 1-12): "GG%02d%02d%02d.DAT". Returns out.
const char *DailyFileName(char *out, std::size_t len, const char *kind, const struct tm &t);
