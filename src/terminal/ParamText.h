// Reading the parameter text of a setting command and the short replies the
// setting commands share. Every parser here takes any bytes: a word that is
// not what is asked for is refused, never half-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The blank-separated words of a parameter. n counts every word, also those
// beyond the ones kept, so a text with too many words shows as such.
constexpr int PARAM_WORDS_KEPT = 8;
struct ParamWords {
    std::string_view w[PARAM_WORDS_KEPT];
    int n = 0;
};
// Splits text at any of the separator characters.
ParamWords SplitWords(std::string_view text, std::string_view separators = " \t");

// A decimal number: an optional sign, digits and at most one '.', at least
// one digit, nothing else (no exponent, no "inf", no hexadecimal).
bool ParseNumber(std::string_view word, float &out);
bool ParseNumber(std::string_view word, double &out);
// `count` numbers from the words starting at index `first`.
bool ParseNumbers(const ParamWords &w, int first, int count, float *out);
// An optional sign and digits, within 32 bits.
bool ParseInt(std::string_view word, int32_t &out);

// 1 when every character of text from index `from` on is a digit or one of
// `allowed`.
bool DigitsOr(const char *text, std::size_t from, const char *allowed);
// Blanks in the text.
int CountChar(const char *text, char c);

// The usage request "/?" anywhere in the parameter.
bool AsksUsage(const char *param);

// Replies. ReplyTrue returns 0, ReplyFalse -1 (a refusal), Reply the
// length queued. A reply longer than the reply slot is cut.
int ReplyTrue();
int ReplyFalse();
int Reply(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// A reply put together piece by piece; what does not fit the reply slot is
// dropped.
struct ReplyText {
    char text[2048];
    std::size_t len = 0;
    void Add(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    int Send() const;
};

// 1 with the current record generation, 0 with the older one.
bool NewGeneration();
// The element row a command names: rows 0 to 79 by their code, "TD" the
// dew-point row of the generation (8 in the older, 11 in the current one);
// -1 for any other text.
int CommandElement(std::string_view code);

// Saves the main parameter record; 0, or -1 when the file could not be
// written (the running record keeps the change either way).
int SaveParam();
