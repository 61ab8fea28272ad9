#include "processing/RecordText.h"

#include <cstdio>
#include <cstring>

namespace {

// Appends while leaving room for the line end (and the NUL); a part that
// does not fit is not written at all, nor anything after it.
struct Appender {
    char *buf;
    std::size_t cap;   // bytes usable for the body
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

bool Listed(const int *list, int count, int i)
{
    for (int k = 0; k < count; ++k)
        if (list[k] == i)
            return true;
    return false;
}

int Item(const RecordTextLayout &layout, int i, char q, int32_t v, char *item, std::size_t len)
{
    bool printable = q != '\0' && std::strchr(layout.valueQc, q) != nullptr;
    int m = int(v % 100000);
    if (!printable)
        return std::snprintf(item, len, "//// ");
    if (i == layout.starField)
        return std::snprintf(item, len, "* ");
    if (i == layout.dashField)
        return std::snprintf(item, len, "------------ ");
    if (i == layout.rawFourDigitField)
        return std::snprintf(item, len, "%04d ", m);
    if (Listed(layout.fourDigitFields, layout.fourDigitCount, i)) {
        if (v == -99999)
            return std::snprintf(item, len, "-9999 ");
        if (v == 99999)
            return std::snprintf(item, len, "99999 ");
        return std::snprintf(item, len, "%04d ", m);
    }
    switch (layout.rule) {
    case MarkerRule::Dash9999:
        if (v == -99999)
            return std::snprintf(item, len, "-9999 ");
        break;
    case MarkerRule::Missing99999:
        if (v == 99999 || v == -99999)
            return std::snprintf(item, len, "99999 ");
        break;
    case MarkerRule::Plain:
        break;
    }
    return std::snprintf(item, len, "%d ", m);
}

} // namespace

int RecordStruct2Ascii(const RecordTextLayout &layout, const RecordTextInput &in, char *out,
                       std::size_t outLen)
{
    if (out == nullptr || outLen < 4)
        return 0;
    std::memset(out, 0, outLen);
    int n = layout.fields;
    if (n < 0 || n > RECORD_MAX_FIELDS)
        n = 0;

    // A slot that ends in CR LF anyway needs no NUL after the line.
    Appender a{out, outLen - (layout.slotEndCrLf ? 2 : 3)};
    char item[32];
    int k = std::snprintf(item, sizeof item, "%.8s ", layout.tag);
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
        k = Item(layout, i, in.qc[i], in.values[i], item, sizeof item);
        a.Add(item, std::size_t(k));
    }
    for (int i = 0; i < in.tailCount && !a.full; ++i) {
        int32_t v = in.tail[i];
        if (v == -99999)
            k = std::snprintf(item, sizeof item, "//// ");
        else
            k = std::snprintf(item, sizeof item, "%d ", int(v % 100000));
        a.Add(item, std::size_t(k));
    }
    if (in.suffix != nullptr && in.suffixLen > 0)
        a.Add(in.suffix, std::size_t(in.suffixLen));
    out[a.len] = '\r';
    out[a.len + 1] = '\n';
    if (layout.slotEndCrLf) {
        out[outLen - 2] = '\r';
        out[outLen - 1] = '\n';
    }
    return int(a.len + 2);
}
