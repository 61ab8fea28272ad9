#include "terminal/ParamText.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Param.h"
#include "core/ShareMem.h"
#include "sampling/Sensortable.h"
#include "terminal/ListenToPc.h"

namespace {

// Longest number text taken; anything longer is no number a setting needs.
constexpr std::size_t NUMBER_MAX = 63;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the form of a decimal number and copies it NUL-terminated.
bool NumberText(std::string_view w, char (&buf)[NUMBER_MAX + 1], bool allowPoint)
{
    if (w.empty() || w.size() > NUMBER_MAX)
        return false;
    std::size_t i = (w[0] == '-' || w[0] == '+') ? 1 : 0;
    int digits = 0, points = 0;
    for (; i < w.size(); ++i) {
        if (IsDigit(w[i]))
            ++digits;
        else if (w[i] == '.' && allowPoint)
            ++points;
        else
            return false;
    }
    if (digits == 0 || points > 1)
        return false;
    std::memcpy(buf, w.data(), w.size());
    buf[w.size()] = '\0';
    return true;
}

} // namespace

ParamWords SplitWords(std::string_view text, std::string_view separators)
{
    ParamWords out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && separators.find(text[i]) != std::string_view::npos)
            ++i;
        if (i >= text.size())
            break;
        std::size_t start = i;
        while (i < text.size() && separators.find(text[i]) == std::string_view::npos)
            ++i;
        if (out.n < PARAM_WORDS_KEPT)
            out.w[out.n] = text.substr(start, i - start);
        ++out.n;
    }
    return out;
}

bool ParseNumber(std::string_view word, double &out)
{
    char buf[NUMBER_MAX + 1];
    if (!NumberText(word, buf, true))
        return false;
    double v = std::strtod(buf, nullptr);
    if (!std::isfinite(v) || std::fabs(v) > 3.0e38)
        return false;
    out = v;
    return true;
}

bool ParseNumber(std::string_view word, float &out)
{
    double v;
    if (!ParseNumber(word, v))
        return false;
    out = float(v);
    return true;
}

bool ParseNumbers(const ParamWords &w, int first, int count, float *out)
{
    for (int k = 0; k < count; ++k)
        if (first + k >= PARAM_WORDS_KEPT || !ParseNumber(w.w[first + k], out[k]))
            return false;
    return true;
}

bool ParseInt(std::string_view word, int32_t &out)
{
    char buf[NUMBER_MAX + 1];
    if (!NumberText(word, buf, false))
        return false;
    errno = 0;
    long long v = std::strtoll(buf, nullptr, 10);
    if (errno != 0 || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = int32_t(v);
    return true;
}

bool DigitsOr(const char *text, std::size_t from, const char *allowed)
{
    std::size_t len = std::strlen(text);
    for (std::size_t i = from; i < len; ++i)
        if (!IsDigit(text[i]) && std::strchr(allowed, text[i]) == nullptr)
            return false;
    return true;
}

int CountChar(const char *text, char c)
{
    int n = 0;
    for (; *text != '\0'; ++text)
        n += *text == c;
    return n;
}

bool AsksUsage(const char *param) { return std::strstr(param, "/?") != nullptr; }

int ReplyTrue()
{
    PrePareSend2Pc(g_cTrueStr);
    return 0;
}

int ReplyFalse()
{
    PrePareSend2Pc(g_cFalseStr);
    return -1;
}

int Reply(const char *fmt, ...)
{
    char text[SEND2PC_LEN];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (n < 0)
        return -1;
    if (n >= int(sizeof text))
        n = int(sizeof text) - 1;
    // The length, not the text's end: a reply may carry a NUL character.
    return PrePareSend2PcLen(text, n);
}

void ReplyText::Add(const char *fmt, ...)
{
    const std::size_t room = sizeof text - len;
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(text + len, room, fmt, ap);
    va_end(ap);
    if (n > 0)
        len += std::size_t(n) < room ? std::size_t(n) : room - 1;
}

int ReplyText::Send() const { return PrePareSend2PcLen(text, int(len)); }

bool NewGeneration() { return defdataEx != nullptr && defdataEx->Generation != 0; }

int CommandElement(std::string_view code)
{
    if (code == "TD")
        return NewGeneration() ? 11 : 8;
    char buf[sizeof(SensorRow::Code) + 1] = {};
    if (code.empty() || code.size() >= sizeof buf)
        return -1;
    std::memcpy(buf, code.data(), code.size());
    return SensorIndexByCode(buf);
}

int SaveParam() { return SaveParaFile(0) == 1 ? 0 : -1; }
