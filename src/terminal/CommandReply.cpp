#include "terminal/CommandReply.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "terminal/ListenToPc.h"

namespace term {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

const char *SkipSpace(const char *p)
{
    while (IsSpace(*p))
        ++p;
    return p;
}

// One "%d": blanks, an optional sign, at least one digit. nullptr when
// there is no number or it does not fit an int.
const char *ScanInt(const char *p, int *out)
{
    p = SkipSpace(p);
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (*p < '0' || *p > '9')
        return nullptr;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > 2147483648LL)
            return nullptr;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return nullptr;
    *out = int(v);
    return p;
}

} // namespace

int ScanInts(const char *text, char sep, int *out, int n, int *used)
{
    const char *p = text;
    int got = 0;
    while (got < n) {
        if (got > 0) {
            if (sep == ' ')
                p = SkipSpace(p);
            else if (*p == sep)
                ++p;
            else
                break;
        }
        const char *next = ScanInt(p, &out[got]);
        if (next == nullptr)
            break;
        p = next;
        ++got;
    }
    if (used != nullptr)
        *used = int(p - text);
    return got;
}

int PinnedInt(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return int(v);
}

bool OnlyOf(const char *text, const char *chars)
{
    for (const char *p = text; *p != '\0'; ++p)
        if (std::strchr(chars, *p) == nullptr)
            return false;
    return true;
}

} // namespace term
