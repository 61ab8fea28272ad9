// The porting seam: every contact of komain with the platform goes through here.
//
// On the logger board the calls are thin wrappers of the real ones. With
// KOMAIN_ROOT set the program runs a simulated station: board paths are mapped
// into the sandbox folder, shell commands are logged and emulated, the system
// clock is a shared simulated clock, CAN is a Unix datagram socket and so on.
// The contract of the simulation is documented in docs/simulation.md; code
// above this seam is the same on the board and in simulation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>

// Longest path, board or mapped, that the seam handles. Longer paths fail.
constexpr std::size_t TP_PATH_MAX = 512;

// One SocketCAN frame as it travels on the bus: 16 bytes, identifier
// little-endian, data length code, 3 padding bytes, 8 data bytes.
struct TpCanFrame {
    uint32_t can_id;
    uint8_t can_dlc;
    uint8_t pad[3];
    uint8_t data[8];
};
static_assert(sizeof(TpCanFrame) == 16, "a CAN frame is 16 bytes on the wire");

// Start-up of the seam. Reads KOMAIN_ROOT, KOMAIN_CLOCK and KOMAIN_KERNEL.
// Each call starts afresh (tests set up one sandbox after another); the
// simulated clock restarts from KOMAIN_CLOCK or the host clock.
// Returns 0 when the program may run. A host build without KOMAIN_ROOT
// prints "komain: not a logger board; set KOMAIN_ROOT to run a simulated
// station" and returns -1 (the caller exits 2). Must run before any other
// Tp call and before the process split.
int TransplantInit();

// 1 when running a simulated station.
int TpSimulated();
// The sandbox root ("" on the board).
const char *TpRoot();

// Maps a board path into the path to use on this machine. Absolute paths
// get the sandbox root in front; relative paths are kept (the working
// directory is inside the sandbox). Returns out, or nullptr when the result
// does not fit or the path tries to leave the sandbox ("..").
const char *TpMapPath(const char *boardPath, char *out, std::size_t outLen);

// File calls with board paths.
int TpOpen(const char *path, int flags, mode_t mode = 0);
FILE *TpFopen(const char *path, const char *mode);
int TpAccess(const char *path, int amode);
// TpStat follows a final link, TpLstat does not; both give the
// modification time as a time of the system clock (see File times below).
int TpStat(const char *path, struct stat *st);
int TpLstat(const char *path, struct stat *st);
int TpMkdir(const char *path, mode_t mode);
int TpUnlink(const char *path);
int TpRename(const char *from, const char *to);
int TpChdir(const char *path);
DIR *TpOpendir(const char *path);
// File times. On the board the kernel stamps every file with the system
// clock. A simulated station runs its own clock, so the seam stamps what
// the logger writes, renames or copies with the simulated clock, and a
// modification time always reads as a time of that clock: a time without
// a sub-second part is one the seam (or a test placing a file of a chosen
// age) set; any other is the host kernel's stamp of a plain write and reads
// moved onto the simulated clock. TpRename stamps the renamed file, the
// emulated cp, mv, touch and "> file" stamp the files they write.
// Sets the modification time of path to the clock now.
int TpStampNow(const char *path);
// fclose / close that stamp a file opened for writing.
int TpFclose(FILE *fp);
int TpClose(int fd);
// Flushes the file systems to their media (nothing to do in simulation).
void TpSync();

// Writes a short text to a sysfs-style attribute file (GPIO export,
// direction, value). On the board a plain open/write/close.
int TpWriteAttr(const char *path, const char *text);

// Shell commands, written as on the board. In simulation each one is logged
// to sim/commands.log, board commands are emulated and file commands act in
// the sandbox only. Returns the exit status as system() does (the exit
// code in bits 8..15): 127 for a command the board would not have, 1 for a
// command refused because it would chain commands or leave the sandbox.
int TpSystem(const char *cmd);
FILE *TpPopen(const char *cmd, const char *mode);
int TpPclose(FILE *fp);
// A free-form command given by an operator: runs through /bin/sh (in
// simulation in the sandbox, absolute board paths mapped). Returns the
// exit status.
int TpShell(const char *cmd);
// A free-form operator command with its output: standard output through a
// pipe, of which only the last outLen bytes are kept in out; a command
// still running after timeoutMs is ended with every process it started.
// Returns the number of bytes kept, -1 when it could not be started.
int TpShellOutput(const char *cmd, int timeoutMs, char *out, std::size_t outLen);

// System clock. TpTime is the seconds since the epoch; TpSetTime sets the
// system clock (settimeofday). In simulation both use the shared simulated
// clock, which runs at real speed.
time_t TpTime();
int TpGetTimeOfDay(struct timeval *tv);
int TpSetTime(time_t t);

// The kernel release text ("2.6.39", "4.1.15-1-..."), bounded to len.
int TpKernelRelease(char *buf, std::size_t len);

// Reboots the board: never returns. In simulation appends
// "YYYY-MM-DD HH:MM:SS reboot" to sim/reboot.log and ends every komain
// process.
[[noreturn]] void TpReboot();

// CAN interface canN. TpCanOpen returns a descriptor or -1. TpCanSend
// returns 16 on success, -1 on a write error. TpCanRecv waits up to
// timeoutMs for one frame: 16 when one arrived, 0 on time-out, -1 on error;
// any datagram that is not exactly one 16-byte frame is reported as -1
// after it was consumed.
int TpCanOpen(const char *ifname);
int TpCanSend(int fd, const TpCanFrame *frame);
int TpCanRecv(int fd, TpCanFrame *frame, int timeoutMs);
int TpCanClose(int fd);

// The older board's LED and board-control device "/dev/at91_led".
int TpLedOpen();
int TpLedIoctl(int fd, unsigned int request, unsigned long arg);
int TpLedClose(int fd);

// Removable media: 1 when the medium's device node is there (card in its
// slot, stick plugged in), else 0. The CF card is "/dev/sdd1" on the newer
// board (hardwareCheck 1) and "/dev/hda1" on the older one; the USB disk is
// "/dev/sda1". In simulation the test or supervisor creates and removes
// these nodes under the sandbox; "mknod" never does.
int TpCfCardPresent(int hardwareCheck);
int TpUsbDiskPresent();
int TpNodePresent(const char *boardDev);

// System V keys. Keyed segments and the semaphore set use keys derived from
// the sandbox so that simulated stations can run side by side.
int TpIpcKey(int key);
// The key a station with sandbox root `root` uses for board key `key`
// (for supervisors and tests that clean a station up).
int TpIpcKeyFor(const char *root, int key);
int TpFtok(const char *path, int proj);
// Private segments of a simulated station are marked for removal once all
// processes hold them (they go away with the last process); a no-op on the
// board, where they live until the reboot.
void TpReleasePrivateSegment(int shmid);

// Connects a TCP socket. In simulation only loopback destinations are
// reached; any other address fails with ENETUNREACH before a packet leaves.
int TpConnect(int fd, const struct sockaddr *addr, socklen_t len);
