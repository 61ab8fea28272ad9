// The CF card: detection, power, mounting and the mount check on both board
// generations, and the nightly copy of the daily files onto it.
//
// The older board reaches the card through an IDE driver module and one of
// four device nodes; the newer one through "/dev/sdd1" behind a power line.
// The results of the shell commands are not trusted: the mount check run
// afterwards decides.
#include "storage/Storage.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "board/IoControl.h"
#include "core/Main.h"
#include "core/MyTime.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"

namespace {

constexpr const char *CF_DIR = "/mnt/cf";
constexpr const char *NEW_CF_DEV = "/dev/sdd1";
constexpr const char *OLD_CF_DEVS[4] = {"/dev/hda1", "/dev/hda", "/dev/hdb1", "/dev/hdb"};
constexpr const char *OLD_CF_NODES[4] = {"mknod /dev/hda1 b 3 1", "mknod /dev/hda b 3 0", "mknod /dev/hdb1 b 3 65",
                                         "mknod /dev/hdb b 3 64"};
constexpr const char *OLD_CF_CHECKS[4] = {"mount|grep  /dev/hda1   >cfinfo", "mount|grep  /dev/hda   >>cfinfo",
                                          "mount|grep  /dev/hdb1   >>cfinfo", "mount|grep  /dev/hdb   >>cfinfo"};
constexpr int CF_COPY_MIN_MB = 100;
// The nightly copy runs at 02:03. A radiation day (clock + Td) that ends
// later than that is still being written when its RR file is copied.
constexpr int RR_LATE_TD = -123;
constexpr const char *DAILY_KINDS[3] = {"GG", "RR", "ST"};

bool OlderBoard() { return g_HardwareCheck == 0; }

void SetCfState(char state)
{
    if (TemproraryData != nullptr)
        TemproraryData->MainStat.CfState = state;
}

bool CfInUse() { return defdata != nullptr && defdata->CfValid == '1'; }

// The card's answer: 1 inserted, 0 out, -1 no answer (older board only).
int DetectCard()
{
    int inserted;
    if (OlderBoard()) {
        int answer = CfDetectRequest();
        if (answer != 0 && answer != 1)
            return -1;
        inserted = answer == 0;
    } else {
        inserted = TpNodePresent(NEW_CF_DEV);
    }
    std::printf(inserted ? "cf card inserted\n" : "cf card status is out,cf card is unavalible\n");
    return inserted;
}

// The station's folder on the card: the identifier as far as it is a plain
// name, so that it cannot leave the data folder or break the command line.
void StationFolder(char *out, std::size_t len)
{
    std::size_t n = 0;
    if (defdata != nullptr) {
        for (std::size_t i = 0; i < sizeof defdata->StationId; ++i) {
            char c = defdata->StationId[i];
            bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
                         c == '-';
            if (!plain || n + 1 >= len)
                break;
            out[n++] = c;
        }
    }
    out[n] = '\0';
}

void RunAndShow(const char *cmd)
{
    TpSystem(cmd);
    std::printf("%s\n", cmd);
}

} // namespace

const char *DailyFileName(char *out, std::size_t len, const char *kind, const struct tm &t)
{
    std::snprintf(out, len, "%s%02d%02d%02d.DAT", kind, t.tm_year % 100, t.tm_mon, t.tm_mday);
    return out;
}

int CfCardInsertDetect() { return DetectCard() < 0 ? -1 : 0; }

int CfCardInit()
{
    CfCardPowerOn();
    LedCfOff();
    if (CfCardInsertDetect() != 0)
        return 0;
    if (OlderBoard()) {
        zsleep(200);
        std::printf("CfCard Init\n");
        TpSystem("/sbin/insmod /lib/modules/ide_arm.ko");
        TpSystem(OLD_CF_NODES[0]);
        zsleep(100);
        TpMkdir(CF_DIR, 0777);
    } else {
        std::printf("CfCard Init\n");
    }
    std::printf("init cf\n");
    return 0;
}

int MountCF()
{
    TpMkdir(CF_DIR, 0777);
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, "mount %s %s", NEW_CF_DEV, CF_DIR);
    TpSystem(cmd);
    std::printf("%s\r\n", cmd);
    return 0;
}

int UmountCF()
{
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, "umount %s", CF_DIR);
    TpSystem(cmd);
    std::printf("remove cf card modules\n");
    return 0;
}

int CfCardMount()
{
    int card = DetectCard();
    if (card < 0) {
        LedCfOff();
        return 0;
    }
    CfCardPowerOn();
    if (OlderBoard()) {
        zsleep(300);
        TpSystem("/sbin/insmod /lib/modules/ide_arm.ko");
        for (const char *node : OLD_CF_NODES)
            TpSystem(node);
        zsleep(200);
        TpMkdir(CF_DIR, 0777);
        for (const char *dev : OLD_CF_DEVS) {
            char cmd[64];
            std::snprintf(cmd, sizeof cmd, "/bin/mount -t vfat %s %s", dev, CF_DIR);
            TpSystem(cmd);
        }
    } else {
        MountCF();
    }
    // The LED tells the operator a card was found and mounting tried; with
    // the slot empty it stays dark.
    if (card == 1)
        LedCfOn();
    else
        LedCfOff();
    return 0;
}

int CfCardUmount()
{
    TpSync();
    if (OlderBoard()) {
        TpSystem("/bin/umount /mnt/cf");
        std::printf("remove cf card modules\n");
        zsleep(300);
        TpSystem("/sbin/rmmod ide_arm");
        zsleep(200);
    } else {
        UmountCF();
    }
    CfCardPowerOff();
    LedCfOff();
    return 0;
}

int CheckCfMounted()
{
    int rc = 0;
    if (OlderBoard()) {
        for (const char *cmd : OLD_CF_CHECKS)
            rc = TpSystem(cmd);
    } else {
        char cmd[64];
        std::snprintf(cmd, sizeof cmd, "mount|grep %s >>cfinfo", NEW_CF_DEV);
        rc = TpSystem(cmd);
    }
    if (rc == -1) {
        std::printf("Command Error.\n");
        return -1;
    }
    // The commands write into the working directory, the data partition.
    FILE *f = TpFopen("/mnt/nand3/cfinfo", "r");
    if (f == nullptr) {
        std::printf("cfinfo open Error\n");
        return -1;
    }
    std::fseek(f, 0, SEEK_END);
    long len = std::ftell(f);
    std::fclose(f);
    TpSystem("rm -f  cfinfo");
    if (len <= 0) {
        std::printf("CF Need Mount\r\n");
        return -1;
    }
    std::printf("CF Mounted already!\r\n");
    return 0;
}

int CheckCfCardStatusAndMount()
{
    if (!CfInUse())
        return 0;
    if (CheckCfMounted() == 0)
        SetCfState('0');
    else
        CfCardMount();
    return 0;
}

int Copy2CfCard()
{
    std::printf("prepare to copy 2 cf\n");
    if (!CfInUse())
        return 0;
    if (CheckCfMounted() == 0) {
        SetCfState('0');
    } else {
        CfCardMount();
        if (CheckCfMounted() != 0) {
            SetCfState('1');
            std::printf("PLZ CHECK,CF Inserted?\r\n");
            CfCardUmount();
            return 0;
        }
        // The free space known so far belongs to the card as it was
        // before: measure the one just mounted.
        TestCfSpace();
    }
    if (TemproraryData == nullptr || TemproraryData->MainStat.CFSpace < CF_COPY_MIN_MB) {
        TestCfSpace();
        return 0;
    }
    char station[sizeof defdata->StationId + 1];
    StationFolder(station, sizeof station);

    struct tm day = *GetTime(-1440);
    std::printf("COPYTIME:%04d-%02d-%02d %02d:%02d:%02d\n", day.tm_year, day.tm_mon, day.tm_mday, day.tm_hour,
                day.tm_min, day.tm_sec);
    char cmd[192], name[16];
    std::snprintf(cmd, sizeof cmd, "mkdir -p /mnt/cf/data/%s/%d%02d", station, day.tm_year, day.tm_mon);
    TpSystem(cmd);
    for (const char *kind : DAILY_KINDS) {
        DailyFileName(name, sizeof name, kind, day);
        std::snprintf(cmd, sizeof cmd, "cp /mnt/nand3/data/%s /mnt/cf/data/%s/%d%02d/%s -f", name, station,
                      day.tm_year, day.tm_mon, name);
        RunAndShow(cmd);
    }
    std::printf("---------------------------------\n");

    // A day missed once (card out or full) is filled in the next night.
    // With the radiation day ending after the copy, the RR file copied last
    // night was still growing: it is copied once more.
    bool rrLate = defdata->Td < RR_LATE_TD;
    day = *GetTime(-2880);
    for (const char *kind : DAILY_KINDS) {
        DailyFileName(name, sizeof name, kind, day);
        char dest[96];
        std::snprintf(dest, sizeof dest, "/mnt/cf/data/%s/%d%02d/%s", station, day.tm_year, day.tm_mon, name);
        struct stat st;
        bool again = rrLate && kind[0] == 'R';
        if (!again && TpStat(dest, &st) == 0)
            continue;
        std::snprintf(cmd, sizeof cmd, "cp /mnt/nand3/data/%s %s -f", name, dest);
        RunAndShow(cmd);
    }
    TestCfSpace();
    return 0;
}
