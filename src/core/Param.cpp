// The three parameter files: loading at start-up, defaults, saving.
//
// Each file is its record byte for byte. A file of the wrong length is not
// trusted at all: it is replaced by the defaults. Saving writes a temporary
// file next to the real one and renames it over it, so that a power loss in
// the middle of a save leaves either the old or the new file, never a short
// one that the next start would replace by the factory defaults.
#include "core/Param.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/ShareMem.h"

namespace {

// Closes a FILE* on every path out of a function.
struct FileCloser {
    FILE *fp;
    explicit FileCloser(FILE *f) : fp(f) {}
    FileCloser(const FileCloser &) = delete;
    FileCloser &operator=(const FileCloser &) = delete;
    ~FileCloser()
    {
        if (fp != nullptr)
            std::fclose(fp);
    }
    int Close()
    {
        int rc = std::fclose(fp);
        fp = nullptr;
        return rc;
    }
};

// How one parameter file is handled.
struct ParamFile {
    const char *path;
    void *(*record)();       // the shared record it fills
    std::size_t size;
    const char *resetText;   // printed when the file has the wrong length
    int (*setDefault)();
};

void *ExRecord() { return defdataEx; }
void *ParaRecord() { return defdata; }
void *ModiRecord() { return modipam; }

const ParamFile kParaEx = {PARA_EX_FILE, ExRecord, sizeof(DefDataExRec), "reset para_ex!\r\n", SetDefaultParamEx};
const ParamFile kPara = {PARA_FILE, ParaRecord, sizeof(DefDataRec), "reset para!\r\n", SetDefaultParam};
const ParamFile kModi = {MODIPAM_FILE, ModiRecord, sizeof(ModiPamRec), "reset modipara!\r\n", SetModiParam};

enum class Load { Whole, Reset, NoFile };

// Loads a file that exists into its record; a file of the wrong length (or
// one that cannot be read whole) is replaced by the defaults.
Load LoadRecord(const ParamFile &f, bool printLength)
{
    void *rec = f.record();
    std::memset(rec, 0, f.size);
    FileCloser file(TpFopen(f.path, "r+"));
    if (file.fp == nullptr) {
        std::printf("error fp==NULL\n");
        return Load::NoFile;
    }
    long length = -1;
    if (std::fseek(file.fp, 0, SEEK_END) == 0)
        length = std::ftell(file.fp);
    if (printLength)
        std::printf("***nFileLength:%ld\n", length);
    if (length == long(f.size) && std::fseek(file.fp, 0, SEEK_SET) == 0 &&
        std::fread(rec, f.size, 1, file.fp) == 1) {
        std::printf("COMPILETIME %s %s\r\n\r\n", __DATE__, __TIME__);
        return Load::Whole;
    }
    file.Close();
    std::memset(rec, 0, f.size);
    std::printf("%s", f.resetText);
    f.setDefault();
    return Load::Reset;
}

// Loads a record that needs nothing done after loading.
int ReadPlain(const ParamFile &f)
{
    if (f.record() == nullptr)
        return -1;
    return LoadRecord(f, false) == Load::NoFile ? -1 : 0;
}

int CheckFile(const ParamFile &f, int (*read)())
{
    if (TpAccess(f.path, F_OK) != 0)
        return f.setDefault();
    return read();
}

} // namespace

int SaveFileWhole(const char *path, const void *data, std::size_t size)
{
    char tmp[TP_PATH_MAX];
    if (std::snprintf(tmp, sizeof tmp, "%s.tmp", path) >= int(sizeof tmp))
        return -1;
    FileCloser file(TpFopen(tmp, "w"));
    if (file.fp == nullptr)
        return -1;
    bool ok = std::fwrite(data, size, 1, file.fp) == 1;
    ok = ok && std::fflush(file.fp) == 0;
    ok = ok && fsync(fileno(file.fp)) == 0;
    ok = file.Close() == 0 && ok;
    ok = ok && TpRename(tmp, path) == 0;
    if (!ok) {
        TpUnlink(tmp);
        return -2;
    }
    // Make the rename itself durable: sync the folder that holds the file.
    char dir[TP_PATH_MAX];
    std::snprintf(dir, sizeof dir, "%s", path);
    if (char *slash = std::strrchr(dir, '/'); slash != nullptr && slash != dir) {
        *slash = '\0';
        int fd = TpOpen(dir, O_RDONLY | O_DIRECTORY);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }
    return 0;
}

namespace {

// Saves a parameter record whole (see SaveFileWhole). On any failure the
// old file stays as it was.
int SaveRecord(const ParamFile &f)
{
    const void *rec = f.record();
    if (rec == nullptr)
        return 0;
    int rc = SaveFileWhole(f.path, rec, f.size);
    if (rc == -1) {
        std::printf("error fp==NULL\n");
        return 0;
    }
    if (rc != 0) {
        std::printf("SaveParaFile error\r\n");
        return 0;
    }
    return 1;
}

// The text fields of the main record.
#define TEXT_FIELD(name) {offsetof(DefDataRec, name), sizeof(DefDataRec::name)}
constexpr struct {
    std::size_t offset, width;
} kTextFields[] = {
    TEXT_FIELD(Manufacturer), TEXT_FIELD(Flag), TEXT_FIELD(SerialNo), TEXT_FIELD(Version1),
    TEXT_FIELD(Version2),     TEXT_FIELD(Version3), TEXT_FIELD(StationId), TEXT_FIELD(Lat),
    TEXT_FIELD(Long),         TEXT_FIELD(Ip),   TEXT_FIELD(Gw),       TEXT_FIELD(DestIp),
};
#undef TEXT_FIELD

// A text field read from a file may fill its whole width; cut it so that
// it ends inside its field as every reader expects.
void TerminateTexts(DefDataRec &d)
{
    char *bytes = reinterpret_cast<char *>(&d);
    for (const auto &f : kTextFields)
        bytes[f.offset + f.width - 1] = '\0';
}

// Device types the GPS port can be configured for; anything else falls back
// to the GPS receiver.
bool KnownGpsPortType(unsigned type)
{
    return type == 0 || type == 1 || (type >= 8 && type <= 11);
}

// What the setting commands accept for the numeric fields of para.bin. A
// loaded file is held to the same ranges, so that a value no command could
// have stored (a damaged or hand-made file) never reaches the code that
// relies on them: a time difference of 2^31 minutes overflows the time
// arithmetic of the older board's 32-bit time_t.
struct FieldRange {
    const char *command;
    std::size_t offset, width;   // width 1: one unsigned byte; 4: int32
    int32_t lo, hi;
    uint16_t values;             // for small codes: bit v set when v is allowed; 0: the whole range
};

constexpr uint16_t Bits(std::initializer_list<int> vs)
{
    uint16_t m = 0;
    for (int v : vs)
        m = uint16_t(m | (1u << v));
    return m;
}

constexpr FieldRange kFieldRanges[] = {
    {"TD", offsetof(DefDataRec, Td), 4, -720, 720, 0},
    {"VISITYPE", offsetof(DefDataRec, VisiType), 1, 0, 11, Bits({0, 1, 2, 3, 8, 9, 10, 11})},
    {"AIRPTYPE", offsetof(DefDataRec, AirpType), 1, 0, 8, Bits({0, 1, 2, 3, 4, 5, 8})},
    {"RAWMODE", offsetof(DefDataRec, RawMode), 1, 0, 8, Bits({0, 1, 8})},
    {"SUNSHINESET", offsetof(DefDataRec, SunshineMode), 1, 0, 1, 0},
    {"GPSSET", offsetof(DefDataRec, GpsValid), 1, '0', '1', 0},
    {"CFSET", offsetof(DefDataRec, CfValid), 1, '0', '1', 0},
    {"DEST", offsetof(DefDataRec, DestPort), 4, INT32_MIN, 65535, 0},
};

bool InRange(const FieldRange &f, int32_t v)
{
    if (v < f.lo || v > f.hi)
        return false;
    return f.values == 0 || (v >= 0 && v < 16 && (f.values >> v) & 1u);
}

int32_t FieldValue(const unsigned char *rec, const FieldRange &f)
{
    if (f.width == 1)
        return rec[f.offset];
    int32_t v;
    std::memcpy(&v, rec + f.offset, sizeof v);
    return v;
}

// Puts the factory value into every field outside its command's range and
// says so on the console; the file keeps its bytes until the next save.
void HoldToCommandRanges(DefDataRec &d, int generation)
{
    static DefDataRec factory;   // 5840 bytes: off the small stacks of the boards
    bool filled = false;
    auto *rec = reinterpret_cast<unsigned char *>(&d);
    for (const FieldRange &f : kFieldRanges) {
        int32_t v = FieldValue(rec, f);
        if (InRange(f, v))
            continue;
        if (!filled) {
            FillDefaultParam(factory, generation);
            filled = true;
        }
        const auto *fac = reinterpret_cast<const unsigned char *>(&factory);
        std::memcpy(rec + f.offset, fac + f.offset, f.width);
        std::printf("para.bin: %s %ld out of range, factory value %ld used\r\n", f.command, long(v),
                    long(FieldValue(rec, f)));
    }
}

// Copies a text field into a NUL-terminated local, whatever the field holds.
template <std::size_t N, std::size_t W>
void FieldText(char (&out)[N], const char (&field)[W])
{
    static_assert(N > W);
    std::memcpy(out, field, W);
    out[W] = '\0';
}

} // namespace

// ---------------------------------------------------------------------------
// para_ex.bin

int SetDefaultParamEx()
{
    if (defdataEx == nullptr)
        return -1;
    std::memset(defdataEx, 0, sizeof *defdataEx);
    return SaveParaFileEx(0) == 1 ? 0 : -1;
}

int SaveParaFileEx(int) { return SaveRecord(kParaEx); }

int ReadDefaultParameEx() { return ReadPlain(kParaEx); }

int CheckParaExFile() { return CheckFile(kParaEx, ReadDefaultParameEx); }

// ---------------------------------------------------------------------------
// para.bin (SetDefaultParam lives with the factory tables)

int SaveParaFile(int) { return SaveRecord(kPara); }

namespace {

// What every loaded main record gets before it is used: texts cut to their
// fields, a known GPS-port device type and fields within their commands'
// ranges.
void FixLoadedParam(DefDataRec &d)
{
    TerminateTexts(d);
    if (!KnownGpsPortType(d.GpsPortType))
        d.GpsPortType = 1;
    HoldToCommandRanges(d, defdataEx != nullptr ? defdataEx->Generation : 0);
}

// The older record generation has no fields for the air-temperature and
// rain sub-collectors, and the climate sub-collector flag is not used by
// this program; they are switched off in memory only. The file keeps what
// the operator set.
void RunOnlyFlags(DefDataRec &d)
{
    int generation = defdataEx != nullptr ? defdataEx->Generation : 0;
    if (generation == 0) {
        d.ObValid[OB_TAIR] = '0';
        d.ObValid[OB_RAIN] = '0';
    }
    d.ObValid[OB_CLIM] = '0';
}

} // namespace

int ReadDefaultParam()
{
    if (defdata == nullptr)
        return -1;
    Load how = LoadRecord(kPara, true);
    if (how == Load::NoFile)
        return -1;
    if (how == Load::Whole) {
        FixLoadedParam(*defdata);
        PrintIdentity();
    }
    return 0;
}

int CheckParamFile()
{
    if (defdata == nullptr)
        return -1;
    int rc = CheckFile(kPara, ReadDefaultParam);
    RunOnlyFlags(*defdata);
    return rc;
}

int ReloadParamFile()
{
    if (defdata == nullptr)
        return -1;
    // Read aside first: the other processes read the running record all
    // the time and must never see it half-filled or zeroed.
    static DefDataRec next;
    FileCloser file(TpFopen(PARA_FILE, "r"));
    if (file.fp == nullptr || std::fseek(file.fp, 0, SEEK_END) != 0 || std::ftell(file.fp) != long(sizeof next) ||
        std::fseek(file.fp, 0, SEEK_SET) != 0 || std::fread(&next, sizeof next, 1, file.fp) != 1)
        return -1;
    FixLoadedParam(next);
    RunOnlyFlags(next);
    // The start-up keeps the soil and sea sub-collectors off in memory
    // whatever the file says; an import does not switch them on.
    next.ObValid[OB_SOIL] = defdata->ObValid[OB_SOIL];
    next.ObValid[OB_SEAA] = defdata->ObValid[OB_SEAA];
    std::memcpy(static_cast<void *>(defdata), &next, sizeof next);
    return 0;
}

int ParamValueAccepted(const char *command, int32_t value)
{
    for (const FieldRange &f : kFieldRanges)
        if (command != nullptr && std::strcmp(command, f.command) == 0)
            return InRange(f, value) ? 1 : 0;
    return -1;
}

void PrintIdentity()
{
    if (defdata == nullptr)
        return;
    const DefDataRec &d = *defdata;
    char manufacturer[sizeof d.Manufacturer + 1];
    char flag[sizeof d.Flag + 1];
    char serial[sizeof d.SerialNo + 1];
    char id[sizeof d.StationId + 1];
    char lon[sizeof d.Long + 1];
    char lat[sizeof d.Lat + 1];
    FieldText(manufacturer, d.Manufacturer);
    FieldText(flag, d.Flag);
    FieldText(serial, d.SerialNo);
    FieldText(id, d.StationId);
    FieldText(lon, d.Long);
    FieldText(lat, d.Lat);
    float alt = d.Alt;

    char text[512];
    std::snprintf(text, sizeof text,
                  "Manufacturer:%s\nFlag:%s\nSerialNo:%s\nHardVersion:%s\nSoftVersion:%s\nFileVersion:%s\nID:%s\n"
                  "Longti:%s\nLati:%s\nAlt:%0.1f\r\n\r\n",
                  manufacturer, flag, serial, "V1.00", "V2.73", "V1.00", id, lon, lat, double(alt));
    std::printf("%s", text);
    std::printf("\r\n%s", text);
}

// ---------------------------------------------------------------------------
// modipam.bin

int SetModiParam()
{
    if (modipam == nullptr)
        return -1;
    for (int i = 0; i < 80; ++i) {
        float entry[5] = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f};
        if (i == 41)
            entry[3] = 0.1f;
        for (int k = 0; k < 5; ++k)
            modipam->Pam[i][k] = entry[k];
    }
    return SaveModiParaFile() == 1 ? 0 : -1;
}

int SaveModiParaFile() { return SaveRecord(kModi); }

int ReadMoidParam() { return ReadPlain(kModi); }

int CheckmodiParamFile() { return CheckFile(kModi, ReadMoidParam); }
