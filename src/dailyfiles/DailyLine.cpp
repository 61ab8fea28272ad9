#include "dailyfiles/DailyLine.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sampling/SampleStore.h"

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Where the time text "YYYY-MM-DD HH:MM " of a record line begins, or -1.
// The station identifier before it never has this shape.
long FindTime(const char *t, std::size_t n)
{
    static constexpr char kShape[] = "dddd-dd-dd dd:dd ";
    constexpr std::size_t len = sizeof kShape - 1;
    for (std::size_t p = 0; p + len <= n; ++p) {
        std::size_t k = 0;
        for (; k < len; ++k) {
            char want = kShape[k];
            if (want == 'd' ? !Digit(t[p + k]) : t[p + k] != want)
                break;
        }
        if (k == len)
            return long(p);
    }
    return -1;
}

// An item of at most nine digits with an optional sign is a value.
bool ParseItem(const char *s, std::size_t n, int32_t *v)
{
    std::size_t i = 0;
    bool neg = n > 0 && s[0] == '-';
    if (neg)
        i = 1;
    if (n == i || n - i > 9)
        return false;
    int32_t x = 0;
    for (; i < n; ++i) {
        if (!Digit(s[i]))
            return false;
        x = x * 10 + (s[i] - '0');
    }
    *v = neg ? -x : x;
    return true;
}

bool GoodQc(char q) { return q == '0' || q == '1'; }

// "degrees.minutes.seconds", each part clamped; unreadable parts are 0.
void ParseDms(const char *text, std::size_t len, long out[3])
{
    char buf[32] = {};
    std::memcpy(buf, text, len < sizeof buf - 1 ? len : sizeof buf - 1);
    const char *p = buf;
    for (int k = 0; k < 3; ++k) {
        char *end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p)
            break;
        out[k] = v < -99999 ? -99999 : v > 99999 ? 99999 : v;
        if (*end != '.')
            break;
        p = end + 1;
    }
}

} // namespace

void MinuteViewParse(const char *text, std::size_t len, int fields, MinuteView *out)
{
    if (fields < 0)
        fields = 0;
    if (fields > DAILY_MAX_FIELDS)
        fields = DAILY_MAX_FIELDS;
    out->fields = fields;
    for (int f = 0; f < DAILY_MAX_FIELDS; ++f) {
        out->qc[f] = 'N';
        out->value[f] = MISSING_VALUE;
        out->has[f] = false;
    }
    if (text == nullptr)
        return;
    std::size_t n = strnlen(text, len);
    long at = FindTime(text, n);
    if (at < 0)
        return;
    std::size_t i = std::size_t(at) + 17;

    bool present[DAILY_MAX_FIELDS] = {};
    for (int f = 0; i < n && text[i] != ' '; ++i, ++f)
        if (f < fields)
            present[f] = text[i] == '1';
    if (i < n)
        ++i;
    for (int f = 0; f < fields; ++f) {
        if (!present[f])
            continue;
        if (i < n && text[i] != ' ' && text[i] != '\r')
            out->qc[f] = text[i++];
        else
            out->qc[f] = '8';
    }
    while (i < n && text[i] != ' ')
        ++i;
    if (i < n)
        ++i;
    for (int f = 0; f < fields; ++f) {
        if (!present[f])
            continue;
        std::size_t start = i;
        while (i < n && text[i] != ' ' && text[i] != '\r' && text[i] != '\n')
            ++i;
        if (i == start) {
            // The line ended before this field's item.
            out->qc[f] = '8';
            continue;
        }
        out->has[f] = ParseItem(text + start, i - start, &out->value[f]);
        if (i < n && text[i] == ' ')
            ++i;
    }
}

int FixedLine::Put(int pos, int width, const char *fmt, ...) const
{
    char tmp[40];
    va_list ap;
    va_start(ap, fmt);
    int k = std::vsnprintf(tmp, sizeof tmp, fmt, ap);
    va_end(ap);
    if (k < 0)
        k = 0;
    if (k > int(sizeof tmp) - 1)
        k = int(sizeof tmp) - 1;
    Bytes(pos, tmp, k < width ? k : width);
    return pos + width;
}

int FixedLine::Bytes(int pos, const char *src, int n) const
{
    for (int k = 0; k < n && pos + k >= 0 && pos + k < size; ++k)
        buf[pos + k] = src[k];
    return pos + n;
}

int FixedLine::Fill(int pos, char c, int n) const
{
    for (int k = 0; k < n && pos + k >= 0 && pos + k < size; ++k)
        buf[pos + k] = c;
    return pos + n;
}

void FixedLine::End() const
{
    if (size >= 2) {
        buf[size - 2] = '\r';
        buf[size - 1] = '\n';
    }
}

int DailyFieldsPrint(const FixedLine &line, int pos, const DailyField *table, int n,
                     const MinuteView *main, const MinuteView *clim, const MinuteView *radi)
{
    int qpos = pos;
    for (int k = 0; k < n; ++k)
        qpos += DailyFieldWidth(table[k].fmt);
    for (int k = 0; k < n; ++k) {
        const DailyField &f = table[k];
        const MinuteView *view = f.src == DailySrc::Main   ? main
                                 : f.src == DailySrc::Clim ? clim
                                 : f.src == DailySrc::Radi ? radi
                                                           : nullptr;
        char q = 'N';
        int32_t v = 0;
        bool has = false;
        if (view != nullptr && f.elem < view->fields) {
            q = view->qc[f.elem];
            v = view->value[f.elem];
            has = view->has[f.elem];
        }
        int w = DailyFieldWidth(f.fmt);
        if (f.fmt == DailyFmt::Dashes) {
            line.Fill(pos, '-', w);
            q = 'N';
        } else if (GoodQc(q) && f.fmt == DailyFmt::Star) {
            line.Fill(pos, '*', w);
        } else if (GoodQc(q) && has) {
            switch (f.fmt) {
            case DailyFmt::Zero4: line.Put(pos, w, "%04d", int(v % 10000)); break;
            case DailyFmt::Pad5: line.Put(pos, w, "%5d", int(v % 100000)); break;
            case DailyFmt::Cut4: line.Put(pos, w, "%4d", int(v)); break;
            default: line.Put(pos, w, "%4d", int(v % 10000)); break;
            }
        } else {
            bool five = w == 5;
            const char *marker = q == '2'   ? (f.wrong != nullptr ? f.wrong : five ? "-9999" : "9999")
                                 : q == 'N' ? (five ? "-----" : "----")
                                            : (five ? "/////" : "////");
            line.Put(pos, w, "%s", marker);
        }
        pos += w;
        line.Bytes(qpos++, &q, 1);
    }
    return qpos;
}

int DailyPutPosition(const FixedLine &line, int pos, const char *text, std::size_t len,
                     bool longitude)
{
    long d[3] = {0, 0, 0};
    ParseDms(text, len, d);
    bool neg = d[0] < 0;
    long deg = std::labs(d[0]) % (longitude ? 1000 : 100);
    if (longitude)
        return line.Put(pos, 8, "%3ld%02ld%02ld%c", deg, d[1] % 100, d[2] % 100, neg ? 'W' : 'E');
    return line.Put(pos, 7, "%2ld%02ld%02ld%c", deg, d[1] % 100, d[2] % 100, neg ? 'S' : 'N');
}

int32_t DailyTimes10(float v) { return TruncToInt32(double(v * 10.0f)); }
