// Small pieces of the setup and status commands: the scanning of numbers
// out of a parameter text as the station always read them, and the pinning
// of live readings printed as integers.
#pragma once

namespace term {

// The software version the station reports (BASEINFO, VERSION).
constexpr const char *kSoftVersion = "V2.73";

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
