#include "World.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include "Instruments.h"

namespace stationsim {

namespace {

// Device names of the six serial port slots (GPS, serial board, COM1, COM0,
// visibility, pressure) per board generation.
constexpr const char *kOlderPorts[6] = {"ttym2", "ttym3", "ttyS3", "ttyS2", "ttym0", "ttym1"};
constexpr const char *kNewerPorts[6] = {"ttymxc3", "ttymxc6", "ttymxc5", "ttymxc4", "ttymxc1", "ttymxc2"};
constexpr int kGpsSlot = 0, kBoardSlot = 1, kCom1Slot = 2, kCom0Slot = 3, kVisSlot = 4, kPressSlot = 5;

// The ports by their COM names as an operator knows them.
int SlotOfPort(std::string_view name)
{
    static constexpr std::pair<const char *, int> kNames[] = {
        {"com0", kCom0Slot}, {"com1", kCom1Slot}, {"com2", kGpsSlot}, {"com3", kVisSlot}, {"com4", kPressSlot},
        {"com5", kBoardSlot}, {"gps", kGpsSlot}, {"snow", kGpsSlot}, {"serial", kBoardSlot}, {"board", kBoardSlot},
        {"pressure", kPressSlot}, {"visibility", kVisSlot}, {"wind", kVisSlot}, {"raingauge", kCom1Slot}};
    for (const auto &[n, s] : kNames)
        if (name == n)
            return s;
    return -1;
}

constexpr const char *kInstruments[] = {"serial", "gps", "pressure", "visibility", "raingauge", "snow", "wind"};
constexpr const char *kQuantities[] = {"temp", "hum", "press", "wind", "dir", "rain", "rad", "ground", "vis"};

double HostNow()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

bool SockAddr(const std::string &path, sockaddr_un *a)
{
    std::memset(a, 0, sizeof *a);
    a->sun_family = AF_UNIX;
    if (path.size() >= sizeof a->sun_path)
        return false;
    std::memcpy(a->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Seconds of the local calendar time (what the logger's clock shows).
double LocalSeconds(double t)
{
    const auto s = time_t(std::floor(t));
    struct tm lt {};
    localtime_r(&s, &lt);
    return t + double(lt.tm_gmtoff);
}

bool OneOf(std::string_view s, std::initializer_list<const char *> list)
{
    for (const char *l : list)
        if (s == l)
            return true;
    return false;
}

} // namespace

bool LoadCandump(const std::string &path, std::vector<ReplayEntry> *out, std::string *error)
{
    std::ifstream in(path);
    if (!in) {
        *error = path + ": cannot be read";
        return false;
    }
    out->clear();
    double first = -1;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        struct timeval tv {};
        char ifname[16];
        TpCanFrame f;
        if (!ParseCandump(line, &tv, ifname, sizeof ifname, &f)) {
            *error = path + ":" + std::to_string(number) + ": not a candump log line: " + line.substr(0, 80);
            return false;
        }
        const double t = double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
        if (first < 0)
            first = t;
        if (t < first) {
            *error = path + ":" + std::to_string(number) + ": time goes backwards: " + line.substr(0, 80);
            return false;
        }
        out->push_back({t - first, f});
    }
    return true;
}

World::World(WorldOptions o) : o_(std::move(o)), weather_(o_.seed, 39.1675, 116.3739, o_.steady)
{
    // Until the first TIME broadcast, the logger's clock is where it was
    // told to start.
    if (!o_.clock.empty()) {
        struct tm t {};
        if (strptime(o_.clock.c_str(), "%Y-%m-%d %H:%M:%S", &t) != nullptr) {
            t.tm_isdst = -1;
            offset_ = double(mktime(&t)) - HostNow();
        }
    }
    trueOffset_ = offset_;
    ReloadParams();
}

World::~World()
{
    if (canFd_ >= 0) {
        close(canFd_);
        unlink(canBus_.c_str());
    }
    for (int i = 0; i < 6; ++i) {
        if (masters_[i] >= 0)
            close(masters_[i]);
        if (slaves_[i] >= 0)
            close(slaves_[i]);
    }
    if (lanFd_ >= 0)
        close(lanFd_);
    if (listenFd_ >= 0)
        close(listenFd_);
    if (record_ != nullptr)
        std::fclose(record_);
}

bool World::Open(std::string *error)
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    if (o_.root.empty()) {
        *error = "no sandbox: give --root DIR or set KOMAIN_ROOT";
        return false;
    }
    if (o_.iface.rfind("can", 0) != 0 || o_.iface.size() > 7) {
        *error = "not a CAN interface name: " + o_.iface;
        return false;
    }
    for (const std::string &i : o_.instruments)
        if (!OneOf(i, {"visibility", "raingauge", "snow", "wind", "wind@com2"})) {
            *error = "unknown instrument: " + i + " (visibility, raingauge, snow, wind, wind@com2)";
            return false;
        }
    if (!o_.replay.empty() && !LoadCandump(o_.replay, &replay_, error))
        return false;
    for (const std::string &f : o_.faults)
        if (!ApplyFault(f, error))
            return false;

    mkdir((o_.root + "/run").c_str(), 0755);
    mkdir((o_.root + "/dev").c_str(), 0755);
    mkdir((o_.root + "/sim").c_str(), 0755);
    sockaddr_un bus;
    canBus_ = o_.root + "/run/" + o_.iface + ".bus";
    canNode_ = o_.root + "/run/" + o_.iface;
    if (!SockAddr(canBus_, &bus)) {
        *error = "sandbox path too long for a socket: " + canBus_;
        return false;
    }
    canFd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    unlink(canBus_.c_str());
    if (canFd_ < 0 || bind(canFd_, reinterpret_cast<sockaddr *>(&bus), sizeof bus) != 0) {
        *error = "cannot bind the bus at " + canBus_ + ": " + std::strerror(errno);
        return false;
    }

    if (!o_.ports.empty()) {
        if (o_.ports != "older" && o_.ports != "newer") {
            *error = "--ports takes older or newer";
            return false;
        }
        const char *const *names = o_.ports == "older" ? kOlderPorts : kNewerPorts;
        for (int i = 0; i < 6; ++i) {
            char name[128];
            if (openpty(&masters_[i], &slaves_[i], name, nullptr, nullptr) != 0) {
                *error = std::string("no pseudo-terminal: ") + std::strerror(errno);
                return false;
            }
            // Raw on our side until the logger sets the line up: no echo of
            // what the instruments send back into their own input.
            struct termios t;
            if (tcgetattr(slaves_[i], &t) == 0) {
                cfmakeraw(&t);
                tcsetattr(slaves_[i], TCSANOW, &t);
            }
            fcntl(masters_[i], F_SETFL, fcntl(masters_[i], F_GETFL) | O_NONBLOCK);
            fcntl(masters_[i], F_SETFD, FD_CLOEXEC);
            fcntl(slaves_[i], F_SETFD, FD_CLOEXEC);
            const std::string link = o_.root + "/dev/" + names[i];
            unlink(link.c_str());
            if (symlink(name, link.c_str()) != 0) {
                *error = "cannot link " + link + ": " + std::strerror(errno);
                return false;
            }
        }
    }

    if (o_.lanPort >= 0) {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int one = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(o_.lanPort));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);   // never beyond this machine
        socklen_t len = sizeof a;
        if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
            listen(listenFd_, 2) != 0 || getsockname(listenFd_, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
            *error = "central computer: cannot listen on 127.0.0.1:" + std::to_string(o_.lanPort) + ": " +
                     std::strerror(errno);
            return false;
        }
        lanPort_ = ntohs(a.sin_port);
        std::ofstream(o_.root + "/sim/central.port") << lanPort_ << "\n";
    }
    if (!o_.record.empty()) {
        record_ = std::fopen(o_.record.c_str(), "a");
        if (record_ == nullptr) {
            *error = "cannot write " + o_.record + ": " + std::strerror(errno);
            return false;
        }
    }
    const double now = HostNow();
    replayStart_ = now + 0.2;
    nextHeartbeat_ = now + 1.0;
    nextVisibility_ = now + 2.0;
    nextWind_ = now + 1.0;
    lastRainStep_ = now;
    return true;
}

void World::ReloadParams()
{
    StationParams p;
    if (!o_.root.empty() && LoadParams(o_.root, &p)) {
        const bool moved = !params_.loaded || p.latitude != params_.latitude || p.longitude != params_.longitude;
        params_ = p;
        boards_.SetFitted(p.obValid, 20);
        boards_.SetSensitivities(p.sensi);
        if (moved)
            weather_ = Weather(o_.seed, p.latitude, p.longitude, o_.steady);
    } else if (!params_.loaded) {
        // The factory set until the logger has written its files.
        char ob[20];
        std::memset(ob, '1', sizeof ob);
        ob[3] = ob[5] = ob[9] = ob[12] = ob[16] = ob[17] = '0';
        boards_.SetFitted(ob, 20);
    }
}

double World::LoggerNow() const
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    return HostNow() + offset_;
}

bool World::LanConnected() const
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    return lanFd_ >= 0;
}

uint64_t World::FramesIn() const
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    return framesIn_;
}

uint64_t World::FramesOut() const
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    return framesOut_;
}

bool World::InstrumentOn(const std::string &name) const
{
    if (OneOf(name, {"serial", "gps", "pressure"}))
        return true;
    for (const std::string &i : o_.instruments)
        if (i == name || (name == "wind" && i == "wind@com2"))
            return true;
    return false;
}

bool World::Silent(const std::string &name) const { return silent_.count(name) != 0; }

Sky World::SkyNow()
{
    Sky k = weather_.At(LocalSeconds(HostNow() + offset_));
    for (const auto &[q, frozen] : stuck_) {
        if (q == "temp")
            k.tempC = frozen.tempC;
        else if (q == "hum")
            k.humidity = frozen.humidity;
        else if (q == "press")
            k.pressure = frozen.pressure;
        else if (q == "wind")
            k.windMs = frozen.windMs;
        else if (q == "dir")
            k.windDeg = frozen.windDeg;
        else if (q == "rain")
            k.rainMmH = frozen.rainMmH;
        else if (q == "rad")
            k.global = frozen.global, k.direct = frozen.direct, k.diffuse = frozen.diffuse, k.net = frozen.net;
        else if (q == "ground")
            std::copy(std::begin(frozen.soilC), std::end(frozen.soilC), k.soilC), k.grassC = frozen.grassC;
        else if (q == "vis")
            k.visibilityM = frozen.visibilityM;
    }
    // Out of range: what a broken sensor or a cut wire reads.
    for (const std::string &q : range_) {
        if (q == "temp")
            k.tempC = 150.0;
        else if (q == "hum")
            k.humidity = 0.0;
        else if (q == "press")
            k.pressure = 1400.0;
        else if (q == "wind")
            k.windMs = 95.0;
        else if (q == "dir")
            k.windDeg = 359.0;
        else if (q == "rain")
            k.rainMmH = 600.0;
        else if (q == "rad")
            k.global = 3000.0, k.direct = 3000.0;
        else if (q == "ground")
            std::fill(std::begin(k.soilC), std::end(k.soilC), 120.0), k.grassC = 120.0;
        else if (q == "vis")
            k.visibilityM = 99000;
    }
    return k;
}

bool World::ApplyFault(std::string_view request, std::string *message)
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    while (!request.empty() && request.front() == ' ')
        request.remove_prefix(1);
    const size_t sp = request.find(' ');
    const std::string verb(request.substr(0, sp));
    std::string arg = sp == std::string_view::npos ? std::string() : std::string(request.substr(sp + 1));
    while (!arg.empty() && (arg.back() == ' ' || arg.back() == '\r' || arg.back() == '\n'))
        arg.pop_back();
    auto known = [&](const char *const *list, size_t n) {
        return std::find_if(list, list + n, [&](const char *x) { return arg == x; }) != list + n;
    };
    Board b;
    const bool isBoard = BoardByName(arg.c_str(), &b);
    if (verb == "silent" || verb == "talk") {
        if (!isBoard && !known(kInstruments, std::size(kInstruments))) {
            *message = "silent/talk take a board (main clim radi eath soil sea tarh tair rain) or an instrument "
                       "(serial gps pressure visibility raingauge snow wind)";
            return false;
        }
        if (verb == "silent")
            silent_.insert(arg);
        else
            silent_.erase(arg);
        if (isBoard)
            boards_.SetSilent(b, verb == "silent");
    } else if (verb == "stuck" || verb == "range" || verb == "normal") {
        if (!known(kQuantities, std::size(kQuantities))) {
            *message = "stuck/range/normal take temp hum press wind dir rain rad ground vis";
            return false;
        }
        stuck_.erase(arg);
        range_.erase(arg);
        if (verb == "stuck")
            stuck_[arg] = SkyNow();
        else if (verb == "range")
            range_.insert(arg);
    } else if (verb == "noise" || verb == "clean") {
        const int slot = SlotOfPort(arg);
        if (slot < 0 || slot == kCom0Slot) {
            *message = "noise/clean take com1..com5 or an instrument";
            return false;
        }
        if (verb == "noise")
            noisy_.insert(slot);
        else
            noisy_.erase(slot);
    } else if (verb == "gps-off") {
        gpsOffset_ = arg.empty() ? 300.0 : std::atof(arg.c_str());
    } else if (verb == "gps-on") {
        gpsOffset_ = 0;
    } else if (verb == "cf-out" || verb == "cf-in") {
        MediaSwitch("cf", verb == "cf-in");
    } else if (verb == "nand-full" || verb == "nand-ok") {
        MediaSwitch("nand", verb == "nand-ok");
    } else if (verb == "clear") {
        silent_.clear();
        stuck_.clear();
        range_.clear();
        noisy_.clear();
        gpsOffset_ = 0;
        for (const BoardInfo &bi : kBoards)
            boards_.SetSilent(bi.board, false);
        if (cfOut_)
            MediaSwitch("cf", true);
        if (nandFull_)
            MediaSwitch("nand", true);
    } else {
        *message = "unknown fault switch: " + verb +
                   " (silent talk stuck range normal noise clean gps-off gps-on cf-out cf-in nand-full nand-ok clear)";
        return false;
    }
    *message = "fault switches: " + Faults();
    return true;
}

void World::MediaSwitch(const char *what, bool on)
{
    if (o_.root.empty())
        return;
    if (std::strcmp(what, "cf") == 0) {
        // The card's block device, by board generation.
        const std::string dev = o_.root + (o_.ports == "older" ? "/dev/hda1" : "/dev/sdd1");
        if (on)
            std::ofstream(dev, std::ios::app).flush();
        else
            unlink(dev.c_str());
        cfOut_ = !on;
    } else {
        mkdir((o_.root + "/sim").c_str(), 0755);
        mkdir((o_.root + "/sim/df").c_str(), 0755);
        for (const char *part : {"/sim/df/nand2", "/sim/df/nand3"}) {
            const std::string path = o_.root + part;
            if (on)
                unlink(path.c_str());
            else
                std::ofstream(path) << "0\n";
        }
        nandFull_ = !on;
    }
}

std::string World::Faults() const
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    std::string s;
    auto add = [&](const std::string &t) { s += (s.empty() ? "" : ", ") + t; };
    for (const std::string &x : silent_)
        add("silent " + x);
    for (const auto &[q, sky] : stuck_)
        add("stuck " + q);
    for (const std::string &q : range_)
        add("range " + q);
    for (int slot : noisy_)
        add("noise " + std::string(slot == kGpsSlot ? "com2" : slot == kBoardSlot ? "com5" : slot == kCom1Slot ? "com1" : slot == kVisSlot ? "com3" : "com4"));
    if (gpsOffset_ != 0)
        add("gps-off " + std::to_string(int(gpsOffset_)));
    if (cfOut_)
        add("cf-out");
    if (nandFull_)
        add("nand-full");
    return s.empty() ? "none" : s;
}

std::string World::StatusLine() const
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    const double host = HostNow();
    const auto t = time_t(std::floor(host + offset_));
    struct tm lt {};
    localtime_r(&t, &lt);
    char clock[32];
    std::strftime(clock, sizeof clock, "%Y-%m-%d %H:%M:%S", &lt);
    int recent = 0;
    for (double s : syncTimes_)
        recent += host - s <= 1.0 ? 1 : 0;
    std::string s = std::string(clock) + " | CAN";
    if (!replay_.empty())
        s += " replay " + std::to_string(replayNext_) + "/" + std::to_string(replay_.size());
    else
        for (const BoardInfo &b : kBoards)
            if (boards_.Playing(b.board))
                s += std::string(" ") + b.name;
    s += ", SYNC " + std::to_string(recent) + "/s | COM";
    for (const char *i : kInstruments)
        if (InstrumentOn(i) && !Silent(i))
            s += std::string(" ") + i;
    s += lanPort_ < 0 ? " | LAN off" : lanFd_ >= 0 ? " | LAN up" : " | LAN waiting on " + std::to_string(lanPort_);
    if (!silent_.empty() || !stuck_.empty() || !range_.empty() || !noisy_.empty() || gpsOffset_ != 0 || cfOut_ ||
        nandFull_)
        s += " | faults: " + Faults();
    return s;
}

void World::SendCom0(std::string_view text)
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    if (masters_[kCom0Slot] >= 0 && write(masters_[kCom0Slot], text.data(), text.size()) < 0) {
        // A full line: the logger is not reading; the text is lost as on a
        // real line.
    }
}

bool World::SendLan(std::string_view text)
{
    std::lock_guard<std::recursive_mutex> lock(mu_);
    if (lanFd_ < 0)
        return false;
    return send(lanFd_, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
}

void World::Record(const TpCanFrame &f, double hostNow)
{
    if (record_ == nullptr)
        return;
    struct timeval tv;
    tv.tv_sec = time_t(hostNow);
    tv.tv_usec = suseconds_t((hostNow - double(tv.tv_sec)) * 1e6);
    char line[96];
    FormatCandump(line, sizeof line, tv, o_.iface.c_str(), f);
    std::fprintf(record_, "%s\n", line);
}

void World::SendFrame(const TpCanFrame &f)
{
    // A logger that stops reading (stopped, rebooting) loses the oldest.
    if (canOut_.size() >= 1000)
        canOut_.pop_front();
    canOut_.push_back(f);
    FlushCan();
}

void World::FlushCan()
{
    sockaddr_un node;
    if (!SockAddr(canNode_, &node))
        return;
    while (!canOut_.empty()) {
        const TpCanFrame &f = canOut_.front();
        const ssize_t n =
            sendto(canFd_, &f, sizeof f, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&node), sizeof node);
        if (n < 0 && errno == EAGAIN) {
            // The logger's receive queue is full: the rest of the burst
            // waits for it, as frames wait for the bus.
            canRetry_ = HostNow() + 0.002;
            return;
        }
        // Sent, or nobody bound at the logger's end: then the frame is
        // lost, as on a bus whose other node is switched off.
        if (n == ssize_t(sizeof f)) {
            ++framesOut_;
            Record(f, HostNow());
        }
        canOut_.pop_front();
    }
}

void World::HandleCan()
{
    for (int round = 0; round < 32; ++round) {
        unsigned char buf[64];
        const ssize_t n = recv(canFd_, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0)
            return;
        if (n != ssize_t(sizeof(TpCanFrame)))
            continue;   // not one frame: a real bus would not carry it either
        TpCanFrame f;
        std::memcpy(&f, buf, sizeof f);
        const double now = HostNow();
        ++framesIn_;
        Record(f, now);
        const uint32_t id = f.can_id & 0x7FF;
        if (id == ID_TIME && f.can_dlc >= 7) {
            // The logger's own clock, broadcast once a minute: follow it.
            struct tm t {};
            t.tm_year = f.data[0] * 256 + f.data[1] - 1900;
            t.tm_mon = f.data[2] - 1;
            t.tm_mday = f.data[3];
            t.tm_hour = f.data[4];
            t.tm_min = f.data[5];
            t.tm_sec = f.data[6];
            t.tm_isdst = -1;
            const time_t at = mktime(&t);
            if (at != time_t(-1)) {
                offset_ = double(at) + 0.4 - now;
                if (!gpsFix_)
                    trueOffset_ = offset_;
                gpsFix_ = true;
            }
        } else if (id == ID_SYNC) {
            syncTimes_.push_back(now);
            if (syncTimes_.size() > 16)
                syncTimes_.erase(syncTimes_.begin());
            if (!replay_.empty())
                continue;   // a replayed bus answers nothing
            const double dt = lastSync_ > 0 ? now - lastSync_ : 0.25;
            lastSync_ = now;
            TpCanFrame reply[CanBoards::kMaxFrames];
            const int count = boards_.OnSync(SkyNow(), dt, reply, CanBoards::kMaxFrames);
            for (int i = 0; i < count; ++i)
                SendFrame(reply[i]);
        }
    }
}

void World::Queue(int slot, std::string text, double delay)
{
    if (masters_[slot] < 0 || text.empty())
        return;
    if (noisy_.count(slot))
        text = AddNoise(std::move(text), &noiseRng_);
    pending_.push_back({HostNow() + delay, slot, std::move(text)});
}

void World::HandleSerial(int slot)
{
    char buf[512];
    const ssize_t n = read(masters_[slot], buf, sizeof buf);
    if (n <= 0)
        return;
    if (slot == kCom0Slot) {
        if (onCom0)
            onCom0(std::string_view(buf, size_t(n)));
        return;
    }
    std::string &in = serialIn_[slot];
    in.append(buf, size_t(n));
    // The serial board's commands end in '!', the instruments' queries in
    // a line end.
    for (;;) {
        const size_t end = in.find_first_of(slot == kBoardSlot ? "!\n" : "\r\n");
        if (end == std::string::npos)
            break;
        const std::string line = in.substr(0, end + 1);
        in.erase(0, end + 1);
        HandleInstrumentLine(slot, line);
    }
    if (in.size() > 1024)
        in.clear();
}

void World::HandleInstrumentLine(int slot, const std::string &line)
{
    const double now = HostNow();
    if (slot == kBoardSlot) {
        // The logger (re)starts: its GPS receiver, powered with it, has no
        // fix until the logger's first TIME broadcast, whose clock is then
        // taken as the true time. A restart at another clock (time passed
        // while the power was off) is thus not undone by the GPS.
        if (line.find("PARADOWN") != std::string::npos)
            gpsFix_ = false;
        if (Silent("serial"))
            return;
        if (line.find("PARADOWN") != std::string::npos) {
            Queue(slot, "PARADOWN OK!\r\n");
            return;
        }
        if (line.find("EXTOUTPUT!") != std::string::npos) {
            Queue(slot, "EXTOUTPUT OK!\r\n");
            return;
        }
        const bool ext = line.find("GETSFDATA!") != std::string::npos;
        if (!ext && line.find("GETSECDATA!") == std::string::npos)
            return;
        const Sky k = SkyNow();
        BoardReadings r;
        r.tempC = k.tempC;
        r.humidityTenths = std::round(k.humidity * 10.0);
        r.grOutput = k.global * double(params_.loaded ? params_.sensi[0] : 16.69f) / 1000.0;
        r.leCurrentMa = PanCurrentMa(k.panMm);
        r.windCount = WindPulses(k.windMs);
        const double dir = params_.windType == 1 ? k.windDeg * 2500.0 / 360.0 : k.windDeg;
        r.windDir = std::round(dir);
        const double dt = lastSerialFrame_ > 0 ? std::min(now - lastSerialFrame_, 5.0) : 1.0;
        lastSerialFrame_ = now;
        serialRainTips_ += k.rainMmH * dt / 3600.0 / 0.1;
        r.rainTips = std::floor(serialRainTips_);
        serialRainTips_ -= r.rainTips;
        r.supplyMv = 13600;
        for (int i = 0; i < 8; ++i)
            r.windSub[i] = r.windCount;
        r.dirSub[0] = r.dirSub[1] = r.windDir;
        Queue(slot, ext ? SerialBoardFloatFrame(r) : SerialBoardIntFrame(r));
        return;
    }
    if (slot == kPressSlot) {
        if ((line.rfind(".P", 0) == 0 || line.rfind("P\r", 0) == 0 || line.rfind("P\n", 0) == 0) &&
            !Silent("pressure"))
            Queue(slot, PressureReply(SkyNow().pressure));
        return;
    }
    if (line.rfind("GMSD", 0) == 0 && InstrumentOn("snow") && !Silent("snow")) {
        Queue(slot, SnowDepthReply(SkyNow().snowCm * 10.0));
        return;
    }
    if (slot == kCom1Slot && line.rfind("DMPR", 0) == 0 && InstrumentOn("raingauge") && !Silent("raingauge")) {
        const auto t = time_t(HostNow() + offset_);
        struct tm lt {};
        localtime_r(&t, &lt);
        const int tenths = int(std::lround(gaugeMm_ * 10.0));
        gaugeMm_ = 0;
        Queue(slot, RainGaugeReply(lt, tenths, tenths));
    }
}

void World::HandleLanAccept()
{
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return;
    // The logger keeps one link; a new connection replaces a stale one.
    if (lanFd_ >= 0)
        close(lanFd_);
    lanFd_ = fd;
}

void World::HandleLanData()
{
    char buf[2048];
    const ssize_t n = recv(lanFd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        close(lanFd_);
        lanFd_ = -1;
        return;
    }
    if (n > 0 && onLan)
        onLan(std::string_view(buf, size_t(n)));
}

void World::Timers(double now)
{
    if (!canOut_.empty() && now >= canRetry_)
        FlushCan();
    if (now >= paramsCheck_) {
        paramsCheck_ = now + 5.0;
        ReloadParams();
    }
    // Serial replies whose time has come.
    for (size_t i = 0; i < pending_.size();) {
        if (pending_[i].due <= now) {
            const Pending p = std::move(pending_[i]);
            pending_.erase(pending_.begin() + long(i));
            if (masters_[p.slot] >= 0 && write(masters_[p.slot], p.text.data(), p.text.size()) < 0) {
                // The line's buffer is full: nobody is reading.
            }
        } else {
            ++i;
        }
    }
    if (replay_.empty() && now >= nextHeartbeat_) {
        nextHeartbeat_ += 1.0;
        if (nextHeartbeat_ < now)
            nextHeartbeat_ = now + 1.0;
        TpCanFrame hb[kBoardCount];
        const int count = boards_.Heartbeats(hb, kBoardCount);
        for (int i = 0; i < count; ++i)
            SendFrame(hb[i]);
    }
    while (replayNext_ < replay_.size() && replayStart_ + replay_[replayNext_].at <= now)
        SendFrame(replay_[replayNext_++].frame);

    // Rain into the weighing gauge, whoever asks for it.
    const Sky k = SkyNow();
    gaugeMm_ += k.rainMmH * (now - lastRainStep_) / 3600.0;
    lastRainStep_ = now;

    // The GPS receiver: one ZDA and one RMC sentence a second, of the true
    // time, not of the logger's clock: a receiver that followed the logger
    // would never correct it, and one 5 minutes off would move the logger
    // another 5 minutes at each correction. The true time runs on from the
    // logger's clock at its start (see the PARADOWN line).
    const double truth = now + trueOffset_;
    const auto second = long(std::floor(truth));
    if (second != lastGpsSecond_) {
        lastGpsSecond_ = second;
        const bool windOnGps = InstrumentOn("wind") &&
                               std::find(o_.instruments.begin(), o_.instruments.end(), "wind@com2") != o_.instruments.end();
        if (!windOnGps && !Silent("gps") && gpsFix_) {
            const auto utc = int64_t(std::floor(LocalSeconds(truth) - 8 * 3600.0 + gpsOffset_));
            Queue(kGpsSlot, GpsZda(utc) + GpsRmc(utc, params_.latitude, params_.longitude), 0);
        }
    }
    if (InstrumentOn("visibility") && !Silent("visibility") && now >= nextVisibility_) {
        nextVisibility_ = now + 15.0;
        const int v = int(k.visibilityM);
        Queue(kVisSlot, VisibilityMessage(params_.visiType <= 3 ? params_.visiType : 0, v, v), 0);
    }
    if (InstrumentOn("wind") && !Silent("wind") && now >= nextWind_) {
        nextWind_ = now + 1.0;
        const bool onGps =
            std::find(o_.instruments.begin(), o_.instruments.end(), "wind@com2") != o_.instruments.end();
        const int type = onGps ? params_.gpsPortType : params_.visiType;
        Queue(onGps ? kGpsSlot : kVisSlot, UltrasonicWind(type >= 9 && type <= 11 ? type : 9, k.windMs, k.windDeg), 0);
    }
    if (record_ != nullptr)
        std::fflush(record_);
}

bool World::Step(int timeoutMs, int extraFd)
{
    pollfd p[10];
    int n = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(mu_);
        p[n++] = {canFd_, POLLIN, 0};
        for (int m : masters_)
            p[n++] = {m, POLLIN, 0};
        p[n++] = {listenFd_, POLLIN, 0};
        p[n++] = {lanFd_, POLLIN, 0};
        p[n++] = {extraFd, POLLIN, 0};
        // Wake for the next serial reply or timer.
        const double now = HostNow();
        double next = std::min({nextHeartbeat_, std::floor(now + trueOffset_) + 1.0 - trueOffset_, now + 0.25});
        for (const Pending &q : pending_)
            next = std::min(next, q.due);
        if (replayNext_ < replay_.size())
            next = std::min(next, replayStart_ + replay_[replayNext_].at);
        if (!canOut_.empty())
            next = std::min(next, canRetry_);
        timeoutMs = std::clamp(int((next - now) * 1000.0) + 1, 0, timeoutMs);
    }
    const int ready = poll(p, nfds_t(n), timeoutMs);
    std::lock_guard<std::recursive_mutex> lock(mu_);
    if (ready > 0) {
        if (p[0].revents & POLLIN)
            HandleCan();
        for (int i = 0; i < 6; ++i)
            if (p[1 + i].revents & POLLIN)
                HandleSerial(i);
        if (p[7].revents & POLLIN)
            HandleLanAccept();
        if (lanFd_ >= 0 && p[8].fd == lanFd_ && (p[8].revents & (POLLIN | POLLHUP | POLLERR)))
            HandleLanData();
    }
    Timers(HostNow());
    return extraFd >= 0 && ready > 0 && (p[9].revents & (POLLIN | POLLHUP | POLLERR));
}

} // namespace stationsim
