// Small pieces every command handler uses: the common answers, a bounded
// formatted reply, and the scanning of numbers out of a parameter text.
#pragma once

namespace term {

// The software version the station reports (BASEINFO, VERSION).
constexpr const char *kSoftVersion = "V2.73";

// 1 when the parameter asks for the usage line ("/?" anywhere in it).
bool WantsUsage(const char *param);
// Queues "T\r\n" and returns 0; queues "F\r\n" and returns -1.
int Accept();
int Refuse();
// Queues one formatted reply (cut at the reply slot's size); returns 0.
int Reply(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Floats from shared memory may hold anything; "%d" of a value the int
// cannot take would be undefined, so such values are pinned (NaN gives 0).
int PinnedInt(double v);

// Reads up to n integers as sscanf reads "%d<sep>%d<sep>..." (a blank
// separator matches any run of blanks, or none); returns how many were
// read. A number too large for an int ends the scan. When used is given it
// receives the count of characters consumed.
int ScanInts(const char *text, char sep, int *out, int n, int *used = nullptr);
// 1 when every character of text is one of chars.
bool OnlyOf(const char *text, const char *chars);

} // namespace term
