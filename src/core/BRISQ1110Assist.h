// Small text routines shared by the command handlers and the instrument
// readers: character class checks, number parsing, rounding, check sums.
#pragma once

#include <cstddef>

// 1 when character c is allowed in the mode, else 0. Modes: 0 blank or digit;
// 1 digit; 2 "0"/"1"; 3 blank, digit or letter; 4 "0"-"2"; 5 "1"-"3";
// 6 "." or digit; 7 and 10 ".", "-" or digit; 8 digit or letter; 9 digit, or
// any character not above "-".
int CheckBlankNumberChar(char c, int mode);
// 1 when every character of text[first..last] passes the mode; 0 when one
// fails or first is negative.
int CheckBlankNumberStr(const char *text, int first, int last, int mode);
// Right-aligns text in place in a field of width characters, "0" on the
// left. text must hold at least width + 1 bytes.
void FillLeftZero(char *text, int width);
// Decimal number of digits, "-" and "." up to the first other character.
float atofAssist(const char *text);
// Hexadecimal digit to its value; any other character gives 32.
int asc_to_hex(char c);
// Bytes equal to ch among the first length bytes of buffer.
int FindCharNbr(const char *buffer, int length, char ch);
// Occurrences of ch in a NUL-terminated text (an 8-bit count).
unsigned char FindStrCharNumber(const char *text, char ch);
// Number of decimals written after the first '.'.
int CheckFloatDecNum(const char *text);
// Rounds half away from zero to the given number of decimals.
float RoundData4To5(float value, int decimals);
// Creates the folder (with its parents) when it does not exist.
int CreateFolder(const char *path);
// Two's complement of the 8-bit sum of the n bytes.
unsigned char LRCCheck(const unsigned char *bytes, int n);
