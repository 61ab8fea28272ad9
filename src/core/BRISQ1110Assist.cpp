#include "core/BRISQ1110Assist.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "platform/Transplant.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

} // namespace

int CheckBlankNumberChar(char c, int mode)
{
    bool ok = false;
    switch (mode) {
    case 0: ok = c == ' ' || IsDigit(c); break;
    case 1: ok = IsDigit(c); break;
    case 2: ok = c == '0' || c == '1'; break;
    case 3: ok = c == ' ' || IsDigit(c) || IsLetter(c); break;
    case 4: ok = c >= '0' && c <= '2'; break;
    case 5: ok = c >= '1' && c <= '3'; break;
    case 6: ok = c == '.' || IsDigit(c); break;
    case 7:
    case 10: ok = c == '.' || c == '-' || IsDigit(c); break;
    case 8: ok = IsDigit(c) || IsLetter(c); break;
    // Compared as a byte: bytes above 127 are not "at most '-'".
    case 9: ok = IsDigit(c) || static_cast<unsigned char>(c) <= static_cast<unsigned char>('-'); break;
    default: break;
    }
    return ok ? 1 : 0;
}

int CheckBlankNumberStr(const char *text, int first, int last, int mode)
{
    if (text == nullptr || first < 0)
        return 0;
    for (int i = first; i <= last; ++i)
        if (CheckBlankNumberChar(text[i], mode) == 0)
            return 0;
    return 1;
}

void FillLeftZero(char *text, int width)
{
    if (text == nullptr || width <= 0)
        return;
    int len = int(strnlen(text, std::size_t(width) + 1));
    if (len >= width)
        return;
    int shift = width - len;
    std::memmove(text + shift, text, std::size_t(len));
    std::memset(text, '0', std::size_t(shift));
    text[width] = '\0';
}

float atofAssist(const char *text)
{
    if (text == nullptr)
        return 0.0f;
    bool negative = false;
    bool fraction = false;
    double value = 0.0;
    double scale = 1.0;
    for (const char *p = text; *p != '\0'; ++p) {
        char c = *p;
        if (c == '-') {
            negative = true;
        } else if (c == '.') {
            fraction = true;
        } else if (IsDigit(c)) {
            if (fraction) {
                scale /= 10.0;
                value += (c - '0') * scale;
            } else {
                value = value * 10.0 + (c - '0');
            }
        } else {
            break;
        }
    }
    return float(negative ? -value : value);
}

int asc_to_hex(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 32;
}

int FindCharNbr(const char *buffer, int length, char ch)
{
    int n = 0;
    for (int i = 0; buffer != nullptr && i < length; ++i)
        if (buffer[i] == ch)
            ++n;
    return n;
}

unsigned char FindStrCharNumber(const char *text, char ch)
{
    unsigned char n = 0;
    for (const char *p = text; p != nullptr && *p != '\0'; ++p)
        if (*p == ch)
            ++n;
    return n;
}

int CheckFloatDecNum(const char *text)
{
    if (text == nullptr)
        return 0;
    const char *dot = std::strchr(text, '.');
    if (dot == nullptr)
        return 0;
    int n = 0;
    for (const char *p = dot + 1; *p != '\0'; ++p)
        if (*p != '.')
            ++n;
    return n;
}

float RoundData4To5(float value, int decimals)
{
    if (decimals == 0 || value == 0.0f)
        return value;
    // 5.1 rather than 5: single precision keeps 2.45 as 2.4499..., which
    // must still round up.
    float scale = std::pow(10.0f, float(decimals));
    float lift = 5.1f / (scale * 10.0f);
    float v = value > 0.0f ? value + lift : value - lift;
    long whole = long(v * scale);
    return float(double(whole) / double(scale));
}

int CreateFolder(const char *path)
{
    if (path == nullptr || path[0] == '\0')
        return -1;
    struct stat st;
    if (TpStat(path, &st) == 0)
        return 0;
    char cmd[TP_PATH_MAX + 16];
    if (std::snprintf(cmd, sizeof cmd, "mkdir -p %s", path) >= int(sizeof cmd))
        return -1;
    return TpSystem(cmd);
}

unsigned char LRCCheck(const unsigned char *bytes, int n)
{
    unsigned char sum = 0;
    for (int i = 0; bytes != nullptr && i < n; ++i)
        sum = static_cast<unsigned char>(sum + bytes[i]);
    return static_cast<unsigned char>(-sum);
}
