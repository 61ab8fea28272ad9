// Maintenance from the terminal: a new program or a parameter file through
// the USB disk or the CF card, the factory reset, an operator's shell
// command, the relay output and the data-copy request.
//
// A command that ends in a reboot queues its reply and waits a second, so
// that the housekeeping tick's drain can send it first.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "board/IoControl.h"
#include "core/Main.h"
#include "core/Param.h"
#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "storage/Storage.h"
#include "terminal/CommandHandlers.h"
#include "terminal/ListenToPc.h"
#include "terminal/ParamText.h"

namespace {

constexpr const char *USB_DIR = "/mnt/udisk";
constexpr const char *PROGRAM = "/mnt/komain";
constexpr int SYSCMD_REPLY_MAX = 1024;    // the tail of a command's output that is sent
constexpr int SYSCMD_TIME_LIMIT_MS = 15000;

// Sleeps the whole time even when the listener's one-second timer
// interrupts it.
void PauseMs(long ms)
{
    struct timespec left {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// Size of a regular file, -1 when there is none.
long long FileSize(const char *path)
{
    struct stat st;
    if (TpStat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size;
}

// The medium a transfer names: "CF" (or nothing) the CF card, which must be
// enabled and mounted; "USB" the USB disk, which must be mounted.
enum class Medium { None, Cf, Usb };
Medium ReadyMedium(const char *param)
{
    if (std::strcmp(param, "USB") == 0)
        return CheckUsbMounted() == 0 ? Medium::Usb : Medium::None;
    if (param[0] == '\0' || std::strcmp(param, "CF") == 0)
        return defdata->CfValid == '1' && CheckCfMounted() == 0 ? Medium::Cf : Medium::None;
    return Medium::None;
}

[[noreturn]] void ReplyAndReboot(const char *text)
{
    PrePareSend2Pc(text);
    PauseMs(1000);
    RunReboot();
}

} // namespace

int CheckUsbMounted()
{
    static constexpr const char *kDevices[] = {"/dev/sda1", "/dev/sdb1", "/dev/sda", "/dev/sdb"};
    TpMkdir(USB_DIR, 0777);
    char cmd[128];
    for (const char *dev : kDevices) {
        std::snprintf(cmd, sizeof cmd, "mount -t vfat %s %s", dev, USB_DIR);
        TpSystem(cmd);
    }
    for (const char *dev : kDevices) {
        std::snprintf(cmd, sizeof cmd, "mount|grep  %s   %susbinfo", dev, dev == kDevices[0] ? ">" : ">>");
        if (TpSystem(cmd) == -1) {
            std::printf("Command Error.\n");
            return -1;
        }
    }
    FILE *fp = TpFopen("usbinfo", "r");
    if (fp == nullptr) {
        std::printf("usbinfo open Error\n");
        return -1;
    }
    long size = -1;
    if (std::fseek(fp, 0, SEEK_END) == 0)
        size = std::ftell(fp);
    std::fclose(fp);
    TpSystem("rm -f  usbinfo");
    if (size <= 0) {
        std::printf("no usb mounted!\r\n");
        return -1;
    }
    std::printf("usb mounted!\r\n");
    return 0;
}

int UpGradeCode(const char *param)
{
    const char *source;
    if (param[0] == '\0') {
        source = "/mnt/cf/komain";
    } else if (std::strncmp(param, "USB", 3) == 0) {
        if (CheckUsbMounted() != 0)
            return ReplyFalse();
        source = "/mnt/udisk/komain";
    } else if (std::strncmp(param, "CF", 2) == 0) {
        if (defdata->CfValid != '1' || CheckCfMounted() != 0)
            return ReplyFalse();
        source = "/mnt/cf/komain";
    } else {
        return ReplyFalse();
    }
    // The running program is always there: only a program that came from
    // the medium counts, so the move must have taken the medium's file.
    const long long size = FileSize(source);
    if (size <= 0)
        return ReplyFalse();
    char cmd[128];
    std::snprintf(cmd, sizeof cmd, "mv %s /mnt/", source);
    TpSystem(cmd);
    if (FileSize(source) >= 0 || FileSize(PROGRAM) != size)
        return ReplyFalse();
    std::snprintf(cmd, sizeof cmd, "chmod 777 %s", PROGRAM);
    TpSystem(cmd);
    ReplyAndReboot("UPGRADE...\r\n");
}

int DownLoaddata(const char *param)
{
    // Raised for whatever copies the data on request; no reply here.
    TemproraryDataRec &t = *TemproraryData;
    std::snprintf(t.CopyRequestPath, sizeof t.CopyRequestPath, "%s", param);
    t.CopyRequest = '1';
    return 0;
}

int GetParameterfile(const char *param)
{
    const Medium m = ReadyMedium(param);
    if (m == Medium::None)
        return ReplyFalse();
    const char *target = m == Medium::Usb ? "/mnt/udisk/para.bin" : "/home/ko/para.bin";
    // An old copy must not pass for the new one when the copy fails.
    TpUnlink(target);
    TpSystem(m == Medium::Usb ? "cp /mnt/nand2/para.bin /mnt/udisk/ -f" : "cp /mnt/nand2/para.bin /home/ko -f");
    if (FileSize(target) != long(sizeof(DefDataRec)))
        return ReplyFalse();
    return ReplyTrue();
}

int PutParameterfile(const char *param)
{
    const Medium m = ReadyMedium(param);
    if (m == Medium::None)
        return ReplyFalse();
    const char *source = m == Medium::Usb ? "/mnt/udisk/para.bin" : "/mnt/cf/para.bin";
    // A file of another length would be replaced by the factory defaults
    // at the next start: such a file is not taken.
    if (FileSize(source) != long(sizeof(DefDataRec)))
        return ReplyFalse();
    TpSystem("mv /mnt/nand2/para.bin /mnt/nand2/para.bin.bak");
    char cmd[128];
    std::snprintf(cmd, sizeof cmd, "cp %s /mnt/nand2/ -f", source);
    TpSystem(cmd);
    // The running record takes the imported one at once, so a later
    // setting command saves it rather than the old one.
    if (FileSize(PARA_FILE) != long(sizeof(DefDataRec)) || ReloadParamFile() != 0) {
        TpSystem("mv /mnt/nand2/para.bin.bak /mnt/nand2/para.bin");
        return ReplyFalse();
    }
    return ReplyTrue();
}

int SystemCommandExecute(const char *param)
{
    if (param[0] == '\0')
        return ReplyFalse();
    // Only the end of a long output is kept, and a command that does not
    // end is stopped: the listener must come back to its ports.
    char out[SYSCMD_REPLY_MAX];
    const int n = TpShellOutput(param, SYSCMD_TIME_LIMIT_MS, out, sizeof out);
    if (n < 0)
        return -1;
    PrePareSend2PcLen(out, n);
    return 0;
}

int RestToFactory(const char *)
{
    TpSystem("rm /mnt/nand2/para.bin -fr");
    TpSystem("rm /mnt/nand2/modipam.bin -fr");
    sync();
    ReplyAndReboot(g_cTrueStr);
}

int RelayControl(const char *param)
{
    const ParamWords w = SplitWords(param);
    int32_t v;
    if (w.n == 1 && ParseInt(w.w[0], v) && (v == 0 || v == 1)) {
        if (v == 0)
            RelayIoOutLow();
        else
            RelayIoOutHigh();
        return ReplyTrue();
    }
    float any;
    if (w.n == 0 || (w.n == 1 && ParseNumber(w.w[0], any)))
        return ReplyFalse();
    return -1;   // not a number: no reply
}
