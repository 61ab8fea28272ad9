#include "processing/HourLookup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "processing/Formula.h"
#include "processing/RecordLayout.h"
#include "processing/Statistic.h"
#include "sampling/SampleStore.h"
#include "sampling/Sensortable.h"

namespace {

constexpr int32_t MISS = LOOKUP_MISSING;
constexpr int LOOKUP_MAX_HOURS = 64;

// Element of the old-generation hourly record that each lookup item reads
// (-1: none); item 6 reads the direction and the speed after it.
constexpr int kItemElement[8] = {26, 15, 16, 18, 12, -1, 9, 39};

void Missing(HourItem *h)
{
    h->value = MISS;
    h->qc = '8';
    h->aux = MISS;
    h->auxQc = '8';
}

struct Fd {
    int fd = -1;
    explicit Fd(const char *path) : fd(path != nullptr ? TpOpen(path, O_RDONLY) : -1) {}
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

// A stored DHGDNZ month file.
void MonthPath(char *out, std::size_t len, const char *root, const struct tm &t)
{
    std::snprintf(out, len, "%s/tempdata/%s/%02d%02d.DAT", root, kDhgdnzLayout.dir,
                  t.tm_year % 100, t.tm_mon);
}

// Reads slot n of an open month file into buf (NUL-terminated); true for a
// written record.
bool ReadRecord(int fd, int slot, char *buf, int *len)
{
    *len = 0;
    if (fd < 0)
        return false;
    ssize_t n = pread(fd, buf, DHGDNZ_SLOT, off_t(slot) * DHGDNZ_SLOT);
    if (n <= 0)
        return false;
    buf[n] = '\0';
    *len = int(n);
    return buf[0] == 'D' && !RecordSlotUnwritten(buf, int(n));
}

// One record of the hour of t: NAND first, the CF card's for a slot
// without a record there. False when neither holds one; *opened tells
// whether a file could be read at all.
bool ReadHour(int nand, int cf, const struct tm &t, char *buf, int *len)
{
    int slot = (t.tm_mday - 1) * 24 + t.tm_hour;
    if (slot < 0 || slot >= 744)
        return false;
    return ReadRecord(nand, slot, buf, len) || ReadRecord(cf, slot, buf, len);
}

bool SameDay(const struct tm &a, const struct tm &b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

// The words of a record text, split at blanks (bounded).
struct Words {
    static constexpr int MAX = 128;
    const char *at[MAX];
    int len[MAX];
    int count = 0;
    int blanks = 0;
    Words(const char *text, int n)
    {
        int i = 0;
        while (i < n && text[i] != '\0') {
            if (text[i] == ' ') {
                ++blanks;
                ++i;
                continue;
            }
            int start = i;
            while (i < n && text[i] != '\0' && text[i] != ' ')
                ++i;
            if (count < MAX) {
                at[count] = text + start;
                len[count] = i - start;
                ++count;
            }
        }
    }
};

// A value word: an optional sign and digits only.
bool Number(const char *p, int n, int32_t *v)
{
    if (n <= 0 || n > 10)
        return false;
    int i = p[0] == '-' ? 1 : 0;
    if (i == n)
        return false;
    for (int k = i; k < n; ++k)
        if (p[k] < '0' || p[k] > '9')
            return false;
    char buf[12] = {};
    std::memcpy(buf, p, std::size_t(n));
    *v = int32_t(std::strtol(buf, nullptr, 10));
    return true;
}

} // namespace

int FindNbrCharPosFromStr(const char *text, char c, int n)
{
    if (text == nullptr || n < 1)
        return -1;
    for (int i = 0; text[i] != '\0'; ++i)
        if (text[i] == c && --n == 0)
            return i;
    return -1;
}

int MakeIndexArry(char *buffer, int size)
{
    if (buffer == nullptr || size < DHGD_OLD_FIELDS + 1)
        return -1;
    std::memset(buffer, 0, std::size_t(size));
    for (int e = 0; e < DHGD_OLD_FIELDS; ++e)
        buffer[e] = defdata != nullptr && defdata->ElementEnable[kDhgdOldSensor[e]] == '1' ? '1' : '0';
    return DHGD_OLD_FIELDS;
}

int FindSampleItemPos(int item)
{
    if (item < 0 || item >= 8 || kItemElement[item] < 0)
        return -1;
    char flags[DHGD_OLD_FIELDS + 1];
    MakeIndexArry(flags, sizeof flags);
    int e = kItemElement[item];
    if (flags[e] != '1')
        return -1;
    int pos = 0;
    for (int i = 0; i <= e; ++i)
        pos += flags[i] == '1';
    return pos;
}

int TakeOutItemData(const char *text, int len, int item, HourItem *out)
{
    Missing(out);
    if (text == nullptr)
        return -1;
    Words w(text, len);
    if (w.blanks < 18 || w.count < 6)
        return -1;
    char flags[DHGD_OLD_FIELDS + 1];
    MakeIndexArry(flags, sizeof flags);
    // Records of another element configuration are not comparable.
    if (w.len[4] != DHGD_OLD_FIELDS || std::memcmp(w.at[4], flags, DHGD_OLD_FIELDS) != 0)
        return -1;
    if (w.blanks < 39)
        return -1;
    int pos = FindSampleItemPos(item);
    if (pos < 1)
        return -1;
    // The direction of item 6 comes first, its speed after it.
    int mainPos = item == 6 ? pos + 1 : pos;
    auto take = [&](int p, int32_t *v, char *q) {
        if (p > w.len[5] || 5 + p >= w.count)
            return false;
        *q = w.at[5][p - 1];
        int32_t x;
        if (*q != '0' || !Number(w.at[5 + p], w.len[5 + p], &x)) {
            *v = MISS;
            return true;
        }
        *v = x;
        return true;
    };
    if (item == 6 && !take(pos, &out->aux, &out->auxQc)) {
        Missing(out);
        return -1;
    }
    if (!take(mainPos, &out->value, &out->qc)) {
        Missing(out);
        return -1;
    }
    return 0;
}

int FindItemData(const struct tm &day, int firstHour, int lastHour, int item, HourItem *out)
{
    if (firstHour < 0 || lastHour > 23 || firstHour > lastHour)
        return 0;
    int count = lastHour - firstHour + 1;
    for (int i = 0; i < count; ++i)
        Missing(&out[i]);
    char path[96];
    MonthPath(path, sizeof path, "/mnt/nand3", day);
    Fd nand(path);
    MonthPath(path, sizeof path, "/mnt/cf", day);
    Fd cf(TpAccess(path, F_OK) == 0 ? path : nullptr);
    if (nand.fd < 0 && cf.fd < 0)
        return -1;
    static char rec[DHGDNZ_SLOT + 1];
    struct tm t = day;
    for (int i = 0; i < count; ++i) {
        t.tm_hour = firstHour + i;
        int len = 0;
        if (ReadHour(nand.fd, cf.fd, t, rec, &len))
            TakeOutItemData(rec, len, item, &out[i]);
        SoftDogFeed(DOG_D);
    }
    return count;
}

int FindWhichOneDaysData(const struct tm &from, const struct tm &to, int item, HourItem *out,
                         int max)
{
    if (SameDay(from, to)) {
        if (to.tm_hour - from.tm_hour + 1 > max)
            return -1;
        return FindItemData(from, from.tm_hour, to.tm_hour, item, out);
    }
    int first = 24 - from.tm_hour;
    if (first + to.tm_hour + 1 > max)
        return -1;
    int a = FindItemData(from, from.tm_hour, 23, item, out);
    int b = FindItemData(to, 0, to.tm_hour, item, out + first);
    if (a < 0 && b < 0)
        return -1;
    return first + to.tm_hour + 1;
}

int32_t FindValAndStatisticsAt(const struct tm &now, int item, int n, int mode, int32_t *aux)
{
    if (aux != nullptr)
        *aux = MISS;
    struct tm from = now;
    if (n < 0 || n + 1 > LOOKUP_MAX_HOURS || CalcNhoursBack(&from, n) != 1)
        return MISS;
    HourItem h[LOOKUP_MAX_HOURS];
    int got = FindWhichOneDaysData(from, now, item, h, LOOKUP_MAX_HOURS);
    if (got != n + 1)
        return MISS;
    int32_t result = MISS;
    int counted = 0;
    int64_t sum = 0;
    for (int i = 0; i <= n; ++i) {
        if (h[i].qc != '0')
            continue;
        int32_t v = h[i].value;
        if (mode == 0 && (counted == 0 || v > result)) {
            result = v;
            if (aux != nullptr)
                *aux = h[i].auxQc == '0' ? h[i].aux : MISS;
        } else if (mode == 1 && (counted == 0 || v < result)) {
            result = v;
        }
        sum += v;
        ++counted;
    }
    switch (mode) {
    case 0:
    case 1:
        return counted > 0 ? result : MISS;
    case 2:
        // No hour with a value is no rain measured, not a dry day.
        return counted > 0 ? int32_t(sum) : MISS;
    case 3:
        if (h[0].qc == '0' && h[n].qc == '0')
            return h[n].value - h[0].value;
        return MISS;
    default:
        return MISS;
    }
}

int32_t FindValAndStatistics(int item, int n, int mode, int32_t *aux)
{
    return FindValAndStatisticsAt(*GetTime(1), item, n, mode, aux);
}

int SeaLevleAirPressCal(DhgdnzRec *r, const struct tm &t)
{
    r->Value[68] = MISS;
    struct tm back = t;
    if (calculate_nhours_back(&back, 12) != 1)
        return -1;
    HourItem earlier;
    if (FindItemData(back, back.tm_hour, back.tm_hour, 1, &earlier) != 1)
        return -1;
    bool good = r->Flag[15] == '1' && r->Flag[26] == '1' && r->Qc[15] == '0' &&
                r->Qc[26] == '0' && earlier.qc == '0' && earlier.value != MISS;
    if (!good)
        return -1;
    float h = defdata != nullptr ? defdata->AltP : 0;
    float p0 = CalcSeaLevelPressure(r->Value[26] / 10.0f, h, r->Value[15] / 10.0f,
                                    earlier.value / 10.0f);
    r->Value[68] = TruncToInt32(double(p0));
    return 0;
}

void Dhgd_Nw_ItemCal(DhgdnzRec *r, const struct tm &t)
{
    int32_t *v = r->Value + DHGD_OLD_FIELDS;   // elements 68-82
    SeaLevleAirPressCal(r, t);
    int32_t aux = MISS;
    v[1] = FindValAndStatisticsAt(t, 0, 3, 3, nullptr);
    v[2] = FindValAndStatisticsAt(t, 0, 24, 3, nullptr);
    v[3] = FindValAndStatisticsAt(t, 1, 24, 3, nullptr);
    v[4] = FindValAndStatisticsAt(t, 2, 23, 0, nullptr);
    v[5] = FindValAndStatisticsAt(t, 3, 23, 1, nullptr);
    static constexpr int kRainHours[4] = {2, 5, 11, 23};
    for (int k = 0; k < 4; ++k)
        v[6 + k] = FindValAndStatisticsAt(t, 4, kRainHours[k], 2, nullptr);
    v[10] = FindValAndStatisticsAt(t, 6, 5, 0, &aux);
    v[11] = aux;
    v[12] = FindValAndStatisticsAt(t, 6, 11, 0, &aux);
    v[13] = aux;
    v[14] = FindValAndStatisticsAt(t, 7, 11, 1, nullptr);
}

namespace {

// The old-format GG file: a 258-byte header, then one 258-byte line per
// minute of the observation day (20:01 is line 1, 20:00 line 1440).
constexpr int GG_OLD_LINE = 258;
constexpr int GG_FORMAT_AT = 92;
constexpr int GG_QC_AT = 208;
constexpr int GG_RAT_AT = 40;
constexpr int GG_RAT1_AT = 56;

int GgLine(int hour, int minute)
{
    int line = ((hour + 4) % 24) * 60 + minute;
    // 20:00 closes the observation day: the day's last line, not the header.
    return line == 0 ? 1440 : line;
}

} // namespace

int Cal120MinRain(const struct tm *t, char *text)
{
    std::memset(text, '/', DHGDNZ_RAIN_LEN);
    if (t == nullptr || defdata == nullptr)
        return -1;
    struct tm day = *t;
    for (int i = 0; i < (t->tm_min == 0 ? 3 : 4); ++i)
        GetNextHour(&day);
    char path[64];
    std::snprintf(path, sizeof path, "/mnt/nand3/data/GG%02d%02d%02d.DAT", day.tm_year % 100,
                  day.tm_mon, day.tm_mday);
    if (TpAccess(path, F_OK) != 0)
        std::snprintf(path, sizeof path, "/mnt/cf/data/GG%02d%02d%02d.DAT", day.tm_year % 100,
                      day.tm_mon, day.tm_mday);
    Fd f(path);
    if (f.fd < 0)
        return -1;
    char header[GG_OLD_LINE];
    if (pread(f.fd, header, sizeof header, 0) != ssize_t(sizeof header) ||
        std::memcmp(header + GG_FORMAT_AT, "V1.00", 5) != 0)
        return -1;
    // The minutes of the hour, in one read: at minute 0 the hour just
    // ended (H-1:01 to H:00), otherwise H:01 to H:m.
    int count = t->tm_min == 0 ? 60 : t->tm_min;
    int first = t->tm_min == 0 ? GgLine((t->tm_hour + 23) % 24, 1) : GgLine(t->tm_hour, 1);
    static char lines[60 * GG_OLD_LINE];
    std::size_t want = std::size_t(count) * GG_OLD_LINE;
    if (pread(f.fd, lines, want, off_t(first) * GG_OLD_LINE) != ssize_t(want))
        return -1;
    std::memset(text, '0', DHGDNZ_RAIN_LEN);
    int at = defdata->ElementEnable[EL_RAT] == '1'    ? GG_RAT_AT
             : defdata->ElementEnable[EL_RAT1] == '1' ? GG_RAT1_AT
                                                      : -1;
    if (at < 0)
        return 0;
    for (int i = 0; i < count; ++i) {
        const char *line = lines + std::size_t(i) * GG_OLD_LINE;
        if (line[GG_QC_AT] == '-')
            continue;
        if (line[2] < '0' || line[2] > '9' || line[3] < '0' || line[3] > '9')
            continue;
        int minute = (line[2] - '0') * 10 + (line[3] - '0');
        if (minute > 59)
            continue;
        const char *p = line + at;
        int n = 4;
        while (n > 0 && *p == ' ') {
            ++p;
            --n;
        }
        int32_t v;
        if (!Number(p, n, &v) || v < 0)
            continue;
        char digits[16];
        int k = std::snprintf(digits, sizeof digits, "%d", int(v));
        if (k > 2)
            continue;   // two characters hold at most 99
        int pos = minute == 0 ? 118 : (minute - 1) * 2;
        text[pos] = k == 1 ? '0' : digits[0];
        text[pos + 1] = digits[k - 1];
    }
    return 0;
}
