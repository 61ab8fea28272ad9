// The simulated board behind the porting seam (private to src/board/).
//
// Only Transplant.cpp calls these, and only when a simulated station runs
// (KOMAIN_ROOT set). Board paths given here are the logger's own paths
// ("/mnt/cf", "/sys/class/gpio/export"); the sandbox mapping happens inside.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace sim {

// Appends one command line, as the logger wrote it, to sim/commands.log.
// One write per line, so lines of several processes never interleave.
void LogCommand(const char *cmd);

// Runs one logger command line in the sandbox: file commands confined to
// the sandbox, board commands emulated, pipelines into grep and awk and
// the redirections "> file" / ">> file" handled here. The command is
// logged first. Output goes to `out` when given, else to stdout. Returns
// the exit code (0..255): 127 unknown command, 1 refused.
int RunCommand(const char *cmd, std::string *out);

// The operator's free-form command: logged, absolute board paths mapped,
// run by /bin/sh in the sandbox. Returns the wait status.
int RunShell(const char *cmd);
// The same with its output captured (see ShellCapture). Returns the bytes
// kept, -1 when the command was refused or could not start.
int RunShellOutput(const char *cmd, int timeoutMs, char *tail, std::size_t tailLen);
// Runs "/bin/sh -c text" in folder wd (nullptr: the current one) with its
// standard output into a pipe and keeps the last tailLen bytes of it. The
// command and every process it started are killed when it has not ended
// after timeoutMs. The board runs operator commands this way too. Returns
// the number of bytes kept, or -1 when the command could not be started.
int ShellCapture(const char *text, const char *wd, int timeoutMs, char *tail, std::size_t tailLen);

// A write to a sysfs-style attribute: GPIO export/unexport create and
// remove gpioN/ with "direction" and "value"; other paths are plain files.
// Returns 0 or -1 with errno.
int WriteAttr(const char *boardPath, const char *text);
// Replaces a host file's contents with text in one write (open flags may
// add O_CREAT). Returns 0 or -1. The board's attribute writes use it too.
int WriteFileText(const char *hostPath, const char *text, int flags);

// Sets a host file's modification time to the simulated clock now (whole
// seconds: a stamp of the seam); by path or by an open descriptor.
int StampNow(const char *hostPath);
int StampFd(int fd);
// A host modification time as a time of the simulated clock.
void ToSimTime(struct timespec *mtime);

// The older board's LED device: requests recorded as levels under
// sim/at91_led/; request 5 answers the CF card detection.
int LedOpen();
int LedIoctl(int fd, unsigned int request, unsigned long arg);

// Creates the files the simulation keeps (mount table) when missing.
void PrepareSandbox();

// 1 when the device node DIR + boardDev exists.
int NodePresent(const char *boardDev);

// Board commands (argv[0] is the command's base name). Output appended to
// out; the result is the exit code.
int CmdMount(int argc, const char *const *argv, std::string &out);
int CmdUmount(int argc, const char *const *argv, std::string &out);
int CmdDf(int argc, const char *const *argv, std::string &out);
int CmdHwclock(int argc, const char *const *argv, std::string &out);
int CmdDate(int argc, const char *const *argv, std::string &out);
int CmdUptime(int argc, const char *const *argv, std::string &out);

// Parses "YYYY-MM-DD HH:MM:SS" into its six fields; 0 or -1.
int ParseStamp(const char *s, int f[6]);

} // namespace sim
