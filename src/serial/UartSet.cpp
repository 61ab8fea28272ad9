// Serial ports: device names by board generation, port roles with their line
// settings, and opening and configuring a port in raw mode.
#include "serial/UartSet.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/Transplant.h"
#include "core/Main.h"
#include "core/ShareMem.h"

namespace {


// Which name of g_cDevName each port slot uses.
constexpr int kSlotDevIndex[UART_SLOTS] = {2, 5, 1, 0, 3, 4};

// Speed table, searched from the first entry. The repeated entries are
// harmless: the first match wins.
struct SpeedEntry {
    int name;
    speed_t constant;
};
constexpr SpeedEntry kSpeeds[] = {
    {115200, B115200}, {38400, B38400}, {19200, B19200}, {9600, B9600}, {4800, B4800}, {2400, B2400},
    {1200, B1200},     {600, B600},     {300, B300},     {38400, B38400}, {19200, B19200}, {9600, B9600},
    {4800, B4800},     {2400, B2400},   {1200, B1200},   {300, B300},     {600, B600},
};
static_assert(sizeof kSpeeds / sizeof kSpeeds[0] == 17);

struct LineSetting {
    int speed;
    int dataBits;
    char parity;
    int stopBits;
};
constexpr LineSetting k9600_8N1{9600, 8, 'N', 1};
constexpr LineSetting k9600_8E1{9600, 8, 'E', 1};
constexpr LineSetting k9600_7E1{9600, 7, 'E', 1};

struct TypeSetting {
    int type;
    LineSetting line;
};
// Visibility sensor port by VisiType; an unlisted type has no port.
constexpr TypeSetting kVisiSettings[] = {
    {0, {9600, 7, 'E', 1}}, {1, {9600, 7, 'O', 1}}, {2, {4800, 8, 'N', 1}}, {3, k9600_8N1},
    {8, k9600_8N1},         {9, k9600_8N1},         {10, k9600_8N1},        {11, k9600_8E1},
};
// Pressure sensor port by AirpType; an unlisted type gets 9600-7-E-1.
constexpr TypeSetting kAirpSettings[] = {
    {2, {2400, 8, 'N', 1}}, {3, {2400, 8, 'N', 1}}, {4, k9600_8N1}, {5, k9600_8N1}, {8, k9600_8N1},
};
constexpr int GPS_TYPE_EVEN_PARITY = 11;

template <std::size_t N>
const LineSetting *FindType(const TypeSetting (&table)[N], int type)
{
    for (const TypeSetting &t : table)
        if (t.type == type)
            return &t.line;
    return nullptr;
}

// The line setting of a port slot under the current parameters; false when
// the slot has no port (visibility sensor of an unlisted type).
bool SlotSetting(int slot, LineSetting &out)
{
    int gpsType = defdata ? defdata->GpsPortType : 0;
    int visiType = defdata ? defdata->VisiType : 0;
    int airpType = defdata ? defdata->AirpType : 0;
    switch (slot) {
    case SLOT_GPS:
        out = gpsType == GPS_TYPE_EVEN_PARITY ? k9600_8E1 : k9600_8N1;
        return true;
    case SLOT_VISIBILITY:
        if (const LineSetting *s = FindType(kVisiSettings, visiType)) {
            out = *s;
            return true;
        }
        return false;
    case SLOT_AIRPRESS:
        if (const LineSetting *s = FindType(kAirpSettings, airpType))
            out = *s;
        else
            out = k9600_7E1;
        return true;
    default:
        out = k9600_8N1;
        return true;
    }
}

int *RoleDescriptor(int slot)
{
    static int *const kRoles[UART_SLOTS] = {&fdgps,      &fdSampBoard,  &fdlistenpc,
                                            &fdlistenpc_1, &fdvisibility, &fdairpress};
    return kRoles[slot];
}


// Stores, opens and configures one slot. Returns the descriptor, or -1 when
// the slot has no port under the current parameters (nothing is stored).
int InitSlot(int slot)
{
    LineSetting s{};
    if (!SlotSetting(slot, s))
        return -1;
    // The entry is built here and stored whole: fields of the packed
    // shared record are never referenced in place.
    UartDevEntry e{};
    const char *name = g_cDevName[kSlotDevIndex[slot]];
    std::snprintf(e.DevName, sizeof e.DevName, "%s", name);
    std::snprintf(e.DispName, sizeof e.DispName, "%s", name);
    e.Speed = s.speed;
    e.DataBits = s.dataBits;
    e.Parity = s.parity;
    e.StopBits = s.stopBits;

    int fd = OpenDev(name);
    e.fd = fd;
    UartDev->Port[slot] = e;
    *RoleDescriptor(slot) = fd;
    set_speed(fd, s.speed);
    set_Parity(fd, s.dataBits, s.stopBits, s.parity);
    std::printf("%s:fd(%d) %d-%d-%c-%d\n", name, fd, s.speed, s.dataBits, s.parity, s.stopBits);
    return fd;
}

} // namespace


int fdgps = -1;
int fdSampBoard = -1;
int fdlistenpc = -1;
int fdlistenpc_1 = -1;
int fdvisibility = -1;
int fdairpress = -1;


int OpenDev(const char *path)
{
    int fd = TpOpen(path, O_RDWR);
    if (fd < 0) {
        // A port driver may still be settling after the module load.
        sleep(1);
        fd = TpOpen(path, O_RDWR);
    }
    if (fd < 0) {
        std::perror("Can't Open Serial Port");
        return -1;
    }
    return fd;
}

int set_speed(int fd, int speed)
{
    struct termios opt {};
    int got = tcgetattr(fd, &opt);
    for (const SpeedEntry &e : kSpeeds) {
        if (e.name != speed)
            continue;
        tcflush(fd, TCIOFLUSH);
        // Without the port's own attributes nothing is applied: the zeroed
        // record would switch the receiver and the line discipline off.
        if (got != 0) {
            std::perror("tcsetattr fd");
            return -1;
        }
        cfsetispeed(&opt, e.constant);
        cfsetospeed(&opt, e.constant);
        if (tcsetattr(fd, TCSANOW, &opt) != 0) {
            std::perror("tcsetattr fd");
            return -1;
        }
        tcflush(fd, TCIOFLUSH);
        return 1;
    }
    return -1;
}

int SetParityAttrs(struct termios *opt, int databits, int stopbits, int parity)
{
    // Raw mode: instruments send binary-safe lines, nothing may be
    // translated, echoed or turned into signals.
    opt->c_cflag &= ~tcflag_t(CSIZE);
    opt->c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | ICRNL | IGNCR | INLCR);
    opt->c_lflag &= ~tcflag_t(ICANON | ECHO | ECHOE | ISIG);

    switch (databits) {
    case 7:
        opt->c_cflag |= CS7;
        break;
    case 8:
        opt->c_cflag |= CS8;
        break;
    default:
        std::fprintf(stderr, "Unsupported data size\n");
        return 0;
    }

    switch (parity) {
    case 'n':
    case 'N':
        opt->c_cflag &= ~tcflag_t(PARENB);
        opt->c_iflag &= ~tcflag_t(INPCK);
        break;
    case 'e':
    case 'E':
        // Stick parity left from an earlier mark setting of this port would
        // turn even parity into space parity.
        opt->c_cflag |= PARENB;
        opt->c_cflag &= ~tcflag_t(PARODD | CMSPAR);
        opt->c_iflag |= INPCK;
        break;
    case 'o':
    case 'O':
        opt->c_cflag |= PARENB | PARODD;
        opt->c_cflag &= ~tcflag_t(CMSPAR);
        opt->c_iflag |= INPCK;
        break;
    case 'm':
    case 'M':
        opt->c_cflag |= PARENB | CMSPAR;
        opt->c_iflag &= ~tcflag_t(INPCK);
        break;
    default:
        std::fprintf(stderr, "Unsupported parity\n");
        return 0;
    }

    switch (stopbits) {
    case 1:
        opt->c_cflag &= ~tcflag_t(CSTOPB);
        break;
    case 2:
        opt->c_cflag |= CSTOPB;
        break;
    default:
        std::fprintf(stderr, "Unsupported stop bits\n");
        return 0;
    }

    // A read returns at once with whatever has arrived; the listener's
    // select decides when to read.
    opt->c_cc[VMIN] = 0;
    opt->c_cc[VTIME] = 0;
    return 1;
}

int set_Parity(int fd, int databits, int stopbits, int parity)
{
    struct termios opt {};
    if (tcgetattr(fd, &opt) != 0) {
        std::perror("SetupSerial 1");
        return 0;
    }
    if (SetParityAttrs(&opt, databits, stopbits, parity) == 0)
        return 0;
    tcflush(fd, TCIFLUSH);
    if (tcsetattr(fd, TCSANOW, &opt) != 0) {
        std::perror("SetupSerial 3");
        return 0;
    }
    return 1;
}

int UartInit()
{
    std::printf("Open Com:\n");
    if (UartDev == nullptr)
        return -1;
    for (int slot = 0; slot < UART_SLOTS; ++slot)
        InitSlot(slot);
    return 0;
}

int UartReopen(int slot)
{
    if (slot < 0 || slot >= UART_SLOTS || UartDev == nullptr)
        return -1;
    UartDevEntry e = UartDev->Port[slot];
    // A slot that was never set up holds the zero of the fresh segment, not
    // a descriptor of ours: only close what a stored device name stands for.
    int old = e.fd;
    if (e.DevName[0] != '\0' && old >= 0)
        close(old);
    LineSetting unused{};
    if (!SlotSetting(slot, unused)) {
        // The instrument type now has no port: the slot is closed.
        e.fd = -1;
        e.DevName[0] = '\0';
        e.DispName[0] = '\0';
        UartDev->Port[slot] = e;
        *RoleDescriptor(slot) = -1;
        return -1;
    }
    return InitSlot(slot);
}
