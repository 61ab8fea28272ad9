#include "processing/RecordText.h"

#include <cstdio>
#include <cstring>

namespace {

// Appends while leaving room for the line end and the NUL; a part that
// does not fit is not written at all.
struct Appender {
    char *buf;
    std::size_t cap;   // bytes usable for the body (line end and NUL excluded)
    std::size_t len = 0;
    bool full = false;

    bool Add(const char *text, std::size_t n)
    {
        if (full || len + n > cap) {
            full = true;
            return false;
        }
        std::memcpy(buf + len, text, n);
        len += n;
        return true;
    }
};

std::size_t Bounded(const char *s, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && s[n] != '\0')
        ++n;
    return n;
}

} // namespace

int RecordStruct2Ascii(const RecordTextLayout &layout, const RecordTextInput &in, char *out,
                       std::size_t outLen)
{
    if (out == nullptr || outLen < 3)
        return 0;
    std::memset(out, 0, outLen);
    int n = layout.fields;
    if (n < 0 || n > RECORD_MAX_FIELDS)
        n = 0;

    Appender a{out, outLen - 3};
    char item[32];
    int k = std::snprintf(item, sizeof item, "%s ", layout.tag);
    a.Add(item, std::size_t(k));
    a.Add(in.station, Bounded(in.station, 8));
    a.Add(" ", 1);
    a.Add(in.time, Bounded(in.time, 20));
    a.Add(" ", 1);
    a.Add(in.flags, std::size_t(n));
    a.Add(" ", 1);
    for (int i = 0; i < n; ++i)
        if (in.flags[i] == '1') {
            // A NUL would end the line early for every reader.
            char q = in.qc[i] != '\0' ? in.qc[i] : 'N';
            a.Add(&q, 1);
        }
    a.Add(" ", 1);

    for (int i = 0; i < n && i <= layout.lastItemField && !a.full; ++i) {
        if (in.flags[i] != '1')
            continue;
        char q = in.qc[i];
        bool printable = q != '\0' && std::strchr(layout.valueQc, q) != nullptr;
        int32_t v = in.values[i];
        if (!printable)
            k = std::snprintf(item, sizeof item, "//// ");
        else if (i == layout.starField)
            k = std::snprintf(item, sizeof item, "* ");
        else if (i == layout.dashField)
            k = std::snprintf(item, sizeof item, "------------ ");
        else if (v == -99999)
            k = std::snprintf(item, sizeof item, "-9999 ");
        else if (v == 99999)
            k = std::snprintf(item, sizeof item, "99999 ");
        else if (i == layout.fourDigitField)
            k = std::snprintf(item, sizeof item, "%04d ", int(v % 100000));
        else
            k = std::snprintf(item, sizeof item, "%d ", int(v % 100000));
        a.Add(item, std::size_t(k));
    }
    out[a.len] = '\r';
    out[a.len + 1] = '\n';
    return int(a.len + 2);
}
