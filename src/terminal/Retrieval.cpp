// The retrieval commands: minute and hourly records from their day and
// month files, the per-second sample archives and the serial-board
// reception log. Each record goes out as it is stored, one reply text each.
#include <cstdio>
#include <initializer_list>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/ShareMem.h"
#include "processing/RecordLayout.h"
#include "storage/Storage.h"
#include "serial/Instruments.h"
#include "storage/Storage.h"
#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"

namespace {

constexpr int MAX_RECORD = 2048;
constexpr int DAY_SLOTS = 1440;
constexpr int MONTH_SLOTS = 744;
constexpr int REQUEST_MAX = 100;
constexpr int PAIR_LIMIT = 24;   // slots read when NAND and CF are merged

void False() { PrePareSend2Pc("F\r\n"); }

// Queues a live text; one not yet written gives no reply.
void SendLive(const char *text, int size)
{
    int n = int(strnlen(text, std::size_t(size)));
    if (n > 0)
        PrePareSend2PcLen(text, n);
}

// An open record file, closed when it goes out of scope.
struct RecordFile {
    int fd = -1;
    explicit RecordFile(const char *path = nullptr)
    {
        if (path != nullptr)
            fd = TpOpen(path, O_RDONLY);
    }
    ~RecordFile()
    {
        if (fd >= 0)
            close(fd);
    }
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;
    bool Open() const { return fd >= 0; }
    // Bytes of the slot read into buf (NUL-terminated), 0 past the end, -1
    // on a read error.
    int Read(int slot, int size, char *buf) const
    {
        ssize_t n = pread(fd, buf, std::size_t(size), off_t(slot) * size);
        if (n < 0)
            return -1;
        buf[n] = '\0';
        return int(n);
    }
};

bool FileExists(const char *path)
{
    struct stat st;
    return TpStat(path, &st) == 0;
}

// A slot never written holds dashes; the record files say where.
bool SlotEmpty(const char *rec, int len) { return RecordSlotUnwritten(rec, len); }

// Date and time of a record, from its header.
bool RecordTime(const char *rec, int *y, int *mo, int *d, int *h, int *mi)
{
    char a[32], b[32];
    return std::sscanf(rec, "%31s %31s %d-%d-%d %d:%d", a, b, y, mo, d, h, mi) == 7;
}

// Queues one record, waiting for room first so that a long answer never
// overwrites a text not yet sent.
void SendRecord(const char *rec, int size)
{
    Send2PcWaitRoom();
    PrePareSend2PcLen(rec, int(strnlen(rec, std::size_t(size))));
}

bool OnlyChars(const char *p, const char *allowed)
{
    for (; *p != '\0'; ++p)
        if ((*p < '0' || *p > '9') && std::strchr(allowed, *p) == nullptr)
            return false;
    return true;
}

bool ValidDateTime(int mo, int d, int h, int mi)
{
    return mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h >= 0 && h <= 23 && mi >= 0 && mi <= 59;
}

time_t LocalTime(int y, int mo, int d, int h, int mi)
{
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_isdst = -1;
    return mktime(&t);
}

void StationId(char (&id)[sizeof defdata->StationId + 1])
{
    std::memset(id, 0, sizeof id);
    std::memcpy(id, defdata->StationId, sizeof defdata->StationId);
}

// Whether the CF card is enabled and can be used now; records the answer
// in CfState.
bool CfUsable()
{
    if (defdata->CfValid != '1')
        return false;
    bool ok = CheckCfMounted() == 0;
    if (!ok) {
        CfCardMount();
        ok = CheckCfMounted() == 0;
    }
    TemproraryData->MainStat.CfState = ok ? '0' : '1';
    return ok;
}

// ---------------------------------------------------------------- records

enum class Source { NandThenCf, NandOrCf, NandOnly };

struct RecordKindInfo {
    const char *name;
    int kind;            // RecordKind of the live copy
    const char *dir;     // folder under tempdata
    const char *cfFmt;   // fallback file (nullptr: none); "%s" = station id first
    Source source;
    bool checkD;         // a record must begin with 'D'
    bool timeTest;       // DMGD's time-of-day test
    int limit;           // most slots read, 0 = no limit
};

constexpr RecordKindInfo kMinuteKinds[] = {
    {"DMGD", REC_DMGD, "DMGD", "/mnt/cf/tempdata/DMGD/%02d%02d%02d.DAT", Source::NandThenCf, true, true, 0},
    {"DMCD", REC_DMCD, "DMCD", "/mnt/cf/tempdata/DMCD/%02d%02d%02d.DAT", Source::NandThenCf, true, false, PAIR_LIMIT},
    {"DMRD", REC_DMRD, "DMRD", "/mnt/cf/tempdata/DMRD/%02d%02d%02d.DAT", Source::NandThenCf, true, false, PAIR_LIMIT},
    {"DMSD", REC_DMSD, "DMSD", "/mnt/cf/data/%s/tempfile/dmsd/%02d%02d%02d.DAT", Source::NandOrCf, false, false, 0},
    {"DMOD", REC_DMOD, "DMOD", "/mnt/cf/data/%s/tempfile/dmod/%02d%02d%02d.DAT", Source::NandOrCf, false, false, 0},
};

constexpr RecordKindInfo kHourKinds[] = {
    {"DHGD", REC_DHGD, "DHGD", "/mnt/cf/tempdata/DHGD/%02d%02d.DAT", Source::NandThenCf, true, false, PAIR_LIMIT},
    {"DHGDNZ", REC_DHGDNZ, "DHGDNZ", "/mnt/cf/tempdata/DHGDNZ/%02d%02d.DAT", Source::NandThenCf, true, false, PAIR_LIMIT},
    {"DHCD", REC_DHCD, "DHCD", "/mnt/cf/tempdata/DHCD/%02d%02d.DAT", Source::NandThenCf, true, false, PAIR_LIMIT},
    {"DHRD", REC_DHRD, "DHRD", "/mnt/cf/tempdata/DHRD/%02d%02d.DAT", Source::NandThenCf, true, false, PAIR_LIMIT},
    {"DHSD", REC_DHSD, "DHSD", nullptr, Source::NandOnly, false, false, 0},
    {"DHOD", REC_DHOD, "DHOD", nullptr, Source::NandOnly, false, false, 0},
};

int HourRecordSize(const RecordKindInfo &k)
{
    const RecordFileLayout *l = RecordLayoutOf(k.kind, defdataEx->Generation == 0);
    return l != nullptr ? l->slotSize : 512;
}

// The selection of slots of one request.
struct Request {
    int first = 0;       // first slot
    int count = 0;       // slots to read
    bool range = false;  // range form (else count form)
    int startTod = 0;    // time of day of the start, minutes
    int endTod = 0;      // time of day of the end (range form)
    int n = 0;           // N of the count form
};

bool Usable(const RecordKindInfo &k, const char *rec, int len)
{
    if (len <= 0 || SlotEmpty(rec, len))
        return false;
    return !k.checkD || rec[0] == 'D';
}

bool PassesTimeTest(const Request &q, const char *rec)
{
    int y, mo, d, h, mi;
    if (!RecordTime(rec, &y, &mo, &d, &h, &mi))
        return false;
    int tod = h * 60 + mi;
    if (q.range)
        return tod >= q.startTod && tod <= q.endTod;
    return tod - q.startTod <= q.n;
}

// Sends the records of the request from the primary file and, slot by slot,
// from the fallback file.
int SendMerged(const RecordKindInfo &k, const Request &q, const char *nandPath, const char *cfPath, int size)
{
    RecordFile nand(FileExists(nandPath) ? nandPath : nullptr);
    CheckCfCardStatusAndMount();
    RecordFile cf(cfPath != nullptr && FileExists(cfPath) ? cfPath : nullptr);
    if (!nand.Open() && !cf.Open()) {
        False();
        return -1;
    }
    int count = q.count;
    if (k.limit > 0 && count > k.limit)
        count = k.limit;
    char rec[MAX_RECORD + 1];
    for (int s = q.first; s < q.first + count; ++s) {
        int len = nand.Open() ? nand.Read(s, size, rec) : 0;
        if (!Usable(k, rec, len))
            len = cf.Open() ? cf.Read(s, size, rec) : 0;
        if (!Usable(k, rec, len))
            continue;
        if (k.timeTest && !PassesTimeTest(q, rec))
            continue;
        SendRecord(rec, size);
    }
    return 0;
}

// Sends every record of the request from one file.
int SendSingle(const RecordKindInfo &k, const Request &q, const char *path, int size)
{
    RecordFile f(path);
    if (!f.Open()) {
        False();
        return -1;
    }
    char rec[MAX_RECORD + 1];
    for (int s = q.first; s < q.first + q.count; ++s) {
        int len = f.Read(s, size, rec);
        if (len < 0) {
            False();
            return -1;
        }
        if (Usable(k, rec, len))
            SendRecord(rec, size);
        SoftDogFeed(DOG_C);
    }
    return 0;
}

// The two usage lines of a retrieval command: the count form and the
// range form.
int SendUsage(const char *name, const char *countForm, const char *rangeForm)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s [%s]\r\n", name, countForm);
    PrePareSend2Pc(text);
    std::snprintf(text, sizeof text, "%s [%s]\r\n", name, rangeForm);
    PrePareSend2Pc(text);
    return 0;
}

int GetMinuteRecords(const RecordKindInfo &k, const char *param)
{
    if (param[0] == '\0') {
        SendLive(TemproraryData->LastRecord[k.kind], LAST_RECORD_LEN);
        return 0;
    }
    if (std::strstr(param, "/?") != nullptr)
        return SendUsage(k.name, "YYYY-MM-DD HH:MM N", "YYYY1-MM1-DD1 HH1:MM1 YYYY2-MM2-DD2 HH2:MM2");
    if (!OnlyChars(param, "-: ")) {
        False();
        return -1;
    }
    int y, mo, d, h, mi, y2, mo2, d2, h2, mi2;
    Request q;
    bool calendar = k.kind == REC_DMGD;
    if (std::sscanf(param, "%d-%d-%d %d:%d %d-%d-%d %d:%d", &y, &mo, &d, &h, &mi, &y2, &mo2, &d2, &h2, &mi2) == 10) {
        if (!ValidDateTime(mo, d, h, mi) || !ValidDateTime(mo2, d2, h2, mi2) ||
            (calendar && CheckDateValid(y, mo, d) == -1)) {
            False();
            return -1;
        }
        time_t start = LocalTime(y, mo, d, h, mi);
        time_t end = LocalTime(y2, mo2, d2, h2, mi2);
        if (start == time_t(-1) || end == time_t(-1) || end < start) {
            False();
            return -1;
        }
        long minutes = long(end - start) / 60 + 1;
        q.range = true;
        q.count = minutes > DAY_SLOTS ? DAY_SLOTS : int(minutes);
        q.endTod = h2 * 60 + mi2;
    } else if (std::sscanf(param, "%d-%d-%d %d:%d %d", &y, &mo, &d, &h, &mi, &q.n) == 6) {
        if (!ValidDateTime(mo, d, h, mi) || (calendar && CheckDateValid(y, mo, d) == -1) || q.n < 1 ||
            q.n > REQUEST_MAX) {
            False();
            return -1;
        }
        q.count = q.n;
    } else {
        False();
        return -1;
    }
    q.first = h * 60 + mi;
    q.startTod = q.first;
    if (q.first + q.count > DAY_SLOTS)
        q.count = DAY_SLOTS - q.first;

    int yy = ((y % 100) + 100) % 100;
    char nandPath[96], cfPath[128];
    std::snprintf(nandPath, sizeof nandPath, "/mnt/nand3/tempdata/%s/%02d%02d%02d.DAT", k.dir, yy, mo, d);
    if (k.source == Source::NandThenCf) {
        std::snprintf(cfPath, sizeof cfPath, k.cfFmt, yy, mo, d);
        return SendMerged(k, q, nandPath, cfPath, 512);
    }
    // DMSD and DMOD: the NAND file, or else the card's copy.
    if (FileExists(nandPath))
        return SendSingle(k, q, nandPath, 512);
    std::printf("%s is not exist!and check cf card\r\n", nandPath);
    if (!CfUsable()) {
        False();
        return -1;
    }
    char id[sizeof defdata->StationId + 1];
    StationId(id);
    std::snprintf(cfPath, sizeof cfPath, k.cfFmt, id, yy, mo, d);
    return SendSingle(k, q, cfPath, 512);
}

int GetHourRecords(const RecordKindInfo &k, const char *param)
{
    if (k.kind == REC_DHGDNZ && defdataEx->Generation != 0)
        return 0;   // the current generation has no such record
    int size = HourRecordSize(k);
    if (param[0] == '\0') {
        const char *live = TemproraryData->LastRecord[k.kind];
        if (strnlen(live, LAST_RECORD_LEN) < 5) {
            struct tm now = *GetTime(0);
            char path[96];
            std::snprintf(path, sizeof path, "/mnt/nand3/tempdata/%s/%02d%02d.DAT", k.dir, now.tm_year % 100,
                          now.tm_mon);
            RecordFile f(path);
            if (!f.Open()) {
                std::printf("%s is not exist!\n", path);
                False();
                return -1;
            }
            char rec[MAX_RECORD + 1];
            int len = f.Read((now.tm_mday - 1) * 24 + now.tm_hour, size, rec);
            if (len > 0 && !SlotEmpty(rec, len))
                SendRecord(rec, size);
            return 0;
        }
        if (TemproraryData->ShareClock.Min == 59) {
            False();   // the hour's record is being completed
            return -1;
        }
        SendLive(live, LAST_RECORD_LEN);
        return 0;
    }
    if (std::strstr(param, "/?") != nullptr)
        return SendUsage(k.name, "YYYY-MM-DD HH N", "YYYY1-MM1-DD1 HH1 YYYY2-MM2-DD2 HH2");
    if (!OnlyChars(param, "- ")) {
        False();
        return -1;
    }
    int y, mo, d, h, y2, mo2, d2, h2;
    Request q;
    if (std::sscanf(param, "%d-%d-%d %d %d-%d-%d %d", &y, &mo, &d, &h, &y2, &mo2, &d2, &h2) == 8) {
        if (!ValidDateTime(mo, d, h, 0) || !ValidDateTime(mo2, d2, h2, 0)) {
            False();
            return -1;
        }
        time_t start = LocalTime(y, mo, d, h, 0);
        time_t end = LocalTime(y2, mo2, d2, h2, 0);
        if (start == time_t(-1) || end == time_t(-1) || end < start) {
            False();
            return -1;
        }
        long hours = long(end - start) / 3600 + 1;
        q.count = hours > MONTH_SLOTS ? MONTH_SLOTS : int(hours);
    } else if (std::sscanf(param, "%d-%d-%d %d %d", &y, &mo, &d, &h, &q.n) == 5) {
        if (!ValidDateTime(mo, d, h, 0) || q.n < 1 || q.n > REQUEST_MAX) {
            False();
            return -1;
        }
        q.count = q.n;
    } else {
        False();
        return -1;
    }
    q.first = (d - 1) * 24 + h;
    if (q.first + q.count > MONTH_SLOTS)
        q.count = MONTH_SLOTS - q.first;
    int yy = ((y % 100) + 100) % 100;
    char nandPath[96], cfPath[96];
    std::snprintf(nandPath, sizeof nandPath, "/mnt/nand3/tempdata/%s/%02d%02d.DAT", k.dir, yy, mo);
    if (k.source == Source::NandThenCf) {
        std::snprintf(cfPath, sizeof cfPath, k.cfFmt, yy, mo);
        return SendMerged(k, q, nandPath, cfPath, size);
    }
    return SendSingle(k, q, nandPath, size);
}

// ---------------------------------------------------------------- samples

constexpr int CODE_MAX = 8;

// An element code becomes part of a file name: letters, digits and '_'
// only, so that no request reaches outside the sample folder.
bool SafeCode(const char *code)
{
    int n = 0;
    for (const char *p = code; *p != '\0'; ++p, ++n) {
        char c = *p;
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        if (!ok || n >= CODE_MAX)
            return false;
    }
    return n > 0;
}

int SampleRecordSize(const char *code)
{
    for (const char *c : {"UWS", "UWS3", "WS", "WS3"})
        if (std::strcmp(code, c) == 0)
            return 2048;
    if (std::strcmp(code, "WD") == 0 || std::strcmp(code, "UWD") == 0)
        return 1024;
    return 512;
}

bool DaySlots(const char *code)
{
    for (const char *c : {"T0", "U", "LE", "ST8", "T01", "T02", "T03"})
        if (std::strcmp(code, c) == 0)
            return true;
    return false;
}

// Live text area of an element code, nullptr when the code names none.
const char *CurrentSampleText(const char *code, bool qc)
{
    int area = -1;
    if (std::strcmp(code, "TD") == 0)
        area = defdataEx->Generation == 0 ? 8 : 11;
    else if (std::strcmp(code, "WS3") == 0)
        area = SAMPTEXT_WS3;
    else if (std::strcmp(code, "UWS") == 0)
        area = SAMPTEXT_UWS;
    else if (std::strcmp(code, "UWS3") == 0)
        area = SAMPTEXT_UWS3;
    else if (std::strcmp(code, "UWD") == 0)
        area = SAMPTEXT_UWD;
    else
        area = FindElementCode(code);
    if (area < 0)
        return nullptr;
    return qc ? TemproraryData->SampleTextQ[area] : TemproraryData->SampleText[area];
}

int GetSampleCommon(const char *param, bool qc)
{
    const char *name = qc ? "SAMPLEQ" : "SAMPLE";
    if (param[0] == '\0') {
        False();
        return -1;
    }
    if (std::strstr(param, "/?") != nullptr) {
        char text[64];
        std::snprintf(text, sizeof text, "%s XX [YYYY-MM-DD HH:MM]\r\n", name);
        PrePareSend2Pc(text);
        return 0;
    }
    // The element code: the first word, bounded before it is checked.
    char code[CODE_MAX + 2] = {};
    std::size_t codeLen = std::strcspn(param, " \t");
    if (codeLen > CODE_MAX) {
        False();
        return -1;
    }
    std::memcpy(code, param, codeLen);
    if (!SafeCode(code)) {
        False();
        return -1;
    }
    const char *rest = param + codeLen;
    while (*rest == ' ' || *rest == '\t')
        ++rest;

    if (*rest == '\0') {
        const char *text = CurrentSampleText(code, qc);
        if (text == nullptr) {
            False();
            return -1;
        }
        SendLive(text, SAMPLE_TEXT_LEN);
        return 0;
    }

    int y, mo, d, h, mi, n = 0;
    char tail[2];
    int got = std::sscanf(rest, "%d-%d-%d %d:%d %d %1s", &y, &mo, &d, &h, &mi, &n, tail);
    bool counted = got == 6;
    if (got != 6 && got != 5) {
        False();
        return -1;
    }
    if (!ValidDateTime(mo, d, h, mi)) {
        False();
        return -1;
    }
    if (!qc && (y < 1971 || y > kYearMax || CheckDateValid(y, mo, d) == -1)) {
        False();
        return -1;
    }
    if (counted && (n < 1 || n > 60)) {
        False();
        return -1;
    }

    bool uwd = std::strcmp(code, "UWD") == 0;
    int size = SampleRecordSize(code);
    int yy = ((y % 100) + 100) % 100;
    char path[96], cfPath[96];
    int first;
    int lastSlot;
    if (qc) {
        std::snprintf(path, sizeof path, "/mnt/nand3/tempdata/sample/%s.DATQ", code);
        cfPath[0] = '\0';
        first = mi;
        lastSlot = 59;
    } else if (uwd) {
        std::snprintf(path, sizeof path, "/mnt/nand3/tempdata/sample/%s%02d%02d%02d.DAT", code, yy, mo, d);
        std::snprintf(cfPath, sizeof cfPath, "/mnt/cf/tempdata/sample/%s%02d%02d%02d.DAT", code, yy, mo, d);
        first = h * 60 + mi;
        lastSlot = DAY_SLOTS - 1;
    } else {
        std::snprintf(path, sizeof path, "/mnt/nand3/tempdata/sample/%s.DAT", code);
        cfPath[0] = '\0';
        first = DaySlots(code) ? h * 60 + mi : mi;
        lastSlot = DaySlots(code) ? DAY_SLOTS - 1 : 59;
    }
    RecordFile nand(FileExists(path) ? path : nullptr);
    RecordFile cf(cfPath[0] != '\0' && FileExists(cfPath) ? cfPath : nullptr);
    char rec[MAX_RECORD + 1];

    // Reads one slot, NAND first, the card's day file for an empty one.
    auto readSlot = [&](int s) -> int {
        int len = nand.Open() ? nand.Read(s, size, rec) : 0;
        if (len < 0)
            return -1;
        if ((len == 0 || SlotEmpty(rec, len)) && cf.Open())
            len = cf.Read(s, size, rec);
        return len;
    };
    auto sameDay = [&](int *rh, int *rmi) {
        int ry, rmo, rd;
        return RecordTime(rec, &ry, &rmo, &rd, rh, rmi) && ry == y && rmo == mo && rd == d;
    };

    if (!nand.Open() && !cf.Open()) {
        False();
        return -1;
    }
    if (!counted) {
        int len = readSlot(first);
        int rh = 0, rmi = 0;
        if (len <= 0 || SlotEmpty(rec, len)) {
            if (!qc)
                False();
            return -1;
        }
        if (!qc && !(sameDay(&rh, &rmi) && rh == h && rmi == mi)) {
            False();
            return -1;
        }
        SendRecord(rec, size);
        return 0;
    }
    int count = n;
    if (first + count > lastSlot + 1)
        count = lastSlot + 1 - first;
    for (int s = first; s < first + count; ++s) {
        int len = readSlot(s);
        if (len < 0) {
            False();
            return -1;
        }
        SoftDogFeed(DOG_C);
        if (len == 0 || SlotEmpty(rec, len))
            continue;
        if (!qc) {
            int rh = 0, rmi = 0;
            if (!sameDay(&rh, &rmi) || (rh * 60 + rmi) - (h * 60 + mi) > n)
                continue;
        }
        SendRecord(rec, size);
    }
    return 0;
}

} // namespace

int GetDmgd(const char *p) { return GetMinuteRecords(kMinuteKinds[0], p); }
int GetDmcd(const char *p) { return GetMinuteRecords(kMinuteKinds[1], p); }
int GetDmrd(const char *p) { return GetMinuteRecords(kMinuteKinds[2], p); }
int GetDmsd(const char *p) { return GetMinuteRecords(kMinuteKinds[3], p); }
int GetDmod(const char *p) { return GetMinuteRecords(kMinuteKinds[4], p); }
int GetDhgd(const char *p) { return GetHourRecords(kHourKinds[0], p); }
int GetDhgdnz(const char *p) { return GetHourRecords(kHourKinds[1], p); }
int GetDhcd(const char *p) { return GetHourRecords(kHourKinds[2], p); }
int GetDhrd(const char *p) { return GetHourRecords(kHourKinds[3], p); }
int GetDhsd(const char *p) { return GetHourRecords(kHourKinds[4], p); }
int GetDhod(const char *p) { return GetHourRecords(kHourKinds[5], p); }
int GetSample(const char *p) { return GetSampleCommon(p, false); }
int GetSampleQ(const char *p) { return GetSampleCommon(p, true); }

int GetBjData(const char *)
{
    SendLive(TemproraryData->RcvLogText, int(sizeof TemproraryData->RcvLogText));
    return 0;
}
