#include "support/Station.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace komain_test {

const char *const kOldBoardPorts[6] = {"ttym2", "ttym3", "ttyS3", "ttyS2", "ttym0", "ttym1"};
const char *const kNewBoardPorts[6] = {"ttymxc3", "ttymxc6", "ttymxc5", "ttymxc4", "ttymxc1", "ttymxc2"};

std::string ReadHostFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

Station::Station(StationOptions opts) : opts_(std::move(opts))
{
    char tmpl[] = "/tmp/komain-test.XXXXXX";
    const char *dir = mkdtemp(tmpl);
    if (dir == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    // Keys are derived from the real path, as komain sees it.
    root_ = fs::canonical(dir).string();
    fs::create_directories(root_ + "/dev");
    fs::create_directories(root_ + "/run");
    fs::create_directories(root_ + "/sim");
}

Station::~Station()
{
    Stop();
    StopWorld();
    for (int fd : fds_)
        close(fd);
    RemoveIpc();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string Station::Path(const std::string &boardPath) const { return root_ + boardPath; }

bool Station::Exists(const std::string &boardPath) const { return access(Path(boardPath).c_str(), F_OK) == 0; }

std::string Station::ReadFile(const std::string &boardPath) const { return ReadHostFile(Path(boardPath)); }

void WriteHostFile(const std::string &path, const std::string &bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

void Station::WriteFile(const std::string &boardPath, const std::string &bytes) const
{
    WriteHostFile(Path(boardPath), bytes);
}


int Station::AddPty(const std::string &devName)
{
    int master = -1, slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return -1;
    // The slave stays open here too, so the line does not hang up when
    // komain closes and reopens its side.
    fds_.push_back(slave);
    fds_.push_back(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::string link = Path("/dev/" + devName);
    unlink(link.c_str());
    if (symlink(name, link.c_str()) != 0)
        return -1;
    return master;
}

int Station::CanPeer(int n)
{
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string p = Path("/run/can" + std::to_string(n) + ".bus");
    if (p.size() >= sizeof a.sun_path) {
        close(fd);
        return -1;
    }
    std::memcpy(a.sun_path, p.c_str(), p.size() + 1);
    unlink(p.c_str());
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    fds_.push_back(fd);
    return fd;
}

bool Station::CanRecv(int fd, TpCanFrame *frame, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0)
        return false;
    unsigned char buf[64];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n != ssize_t(sizeof *frame))
        return false;
    std::memcpy(frame, buf, sizeof *frame);
    return true;
}

bool Station::CanSend(int fd, const TpCanFrame &frame, int n) const
{
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string p = Path("/run/can" + std::to_string(n));
    std::memcpy(a.sun_path, p.c_str(), p.size() + 1);
    return sendto(fd, &frame, sizeof frame, 0, reinterpret_cast<sockaddr *>(&a), sizeof a) ==
           ssize_t(sizeof frame);
}

namespace {

// Board generation by kernel release, as komain decides it: 3.2 and later
// (or the host's release) is the newer board.
bool NewerBoard(const std::string &kernel)
{
    if (kernel.empty())
        return true;
    int major = 0, minor = 0;
    std::sscanf(kernel.c_str(), "%d.%d", &major, &minor);
    return major > 3 || (major == 3 && minor >= 2);
}

} // namespace

pid_t Station::Start()
{
    if (opts_.linkAllPorts) {
        const char *const *names = NewerBoard(opts_.kernel) ? kNewBoardPorts : kOldBoardPorts;
        for (int i = 0; i < 6; ++i) {
            struct stat st;
            if (lstat(Path(std::string("/dev/") + names[i]).c_str(), &st) != 0)
                AddPty(names[i]);
        }
    }
    std::string bin = opts_.binary.empty() ? std::string(KOMAIN_BINARY) : opts_.binary;
    std::string out = Path("/sim/komain.out");
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        setpgid(0, 0);
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            dup2(devnull, 0);
        setenv("KOMAIN_ROOT", root_.c_str(), 1);
        setenv("TZ", "UTC0", 1);
        if (opts_.clock.empty())
            unsetenv("KOMAIN_CLOCK");
        else
            setenv("KOMAIN_CLOCK", opts_.clock.c_str(), 1);
        if (opts_.kernel.empty())
            unsetenv("KOMAIN_KERNEL");
        else
            setenv("KOMAIN_KERNEL", opts_.kernel.c_str(), 1);
        execl(bin.c_str(), bin.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    setpgid(pid, pid);
    pid_ = pid;
    reaped_ = false;
    return pid;
}

void Station::Stop()
{
    if (pid_ <= 0)
        return;
    kill(-pid_, SIGKILL);
    if (!reaped_) {
        waitpid(pid_, nullptr, 0);
        reaped_ = true;
    }
    // The other processes are reparented; wait until they are gone too.
    WaitFor([this] { return ProcessCount() == 0; }, std::chrono::seconds(5));
    pid_ = -1;
}


int Station::ProcessCount() const
{
    if (pid_ <= 0)
        return 0;
    int count = 0;
    DIR *d = opendir("/proc");
    if (d == nullptr)
        return 0;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        std::string stat = ReadHostFile(std::string("/proc/") + e->d_name + "/stat");
        // Fields after the command name, which ends with the last ')'.
        auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0, pgrp = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 && pgrp == pid_ &&
            state != 'Z')
            ++count;
    }
    closedir(d);
    return count;
}

bool Station::WaitExit(std::chrono::milliseconds timeout)
{
    if (reaped_)
        return true;
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            reaped_ = true;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string Station::Output() const { return ReadFile("/sim/komain.out"); }

std::vector<std::string> Station::Commands() const
{
    std::vector<std::string> lines;
    std::istringstream in(ReadFile("/sim/commands.log"));
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

bool Station::WaitFor(const std::function<bool()> &pred, std::chrono::milliseconds timeout)
{
    auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

stationsim::World &Station::StartWorld(stationsim::WorldOptions o)
{
    o.root = root_;
    o.clock = opts_.clock;
    o.ports = NewerBoard(opts_.kernel) ? "newer" : "older";
    world_ = std::make_unique<stationsim::World>(o);
    std::string error;
    if (!world_->Open(&error)) {
        std::fprintf(stderr, "stationsim: %s\n", error.c_str());
        std::abort();
    }
    world_->onCom0 = [this](std::string_view t) {
        std::lock_guard<std::mutex> lock(heardMu_);
        heard_[0].append(t);
    };
    world_->onLan = [this](std::string_view t) {
        std::lock_guard<std::mutex> lock(heardMu_);
        heard_[1].append(t);
    };
    worldThread_ = std::thread([this] {
        while (!worldStop_)
            world_->Step(50);
    });
    return *world_;
}

void Station::StopWorld()
{
    if (!world_)
        return;
    worldStop_ = true;
    worldThread_.join();
    world_.reset();
}

std::string Station::Ask(bool lan, const std::string &line, const std::string &expect,
                         std::chrono::milliseconds timeout)
{
    {
        std::lock_guard<std::mutex> lock(heardMu_);
        heard_[lan].clear();
    }
    if (lan)
        world_->SendLan(line);
    else
        world_->SendCom0(line);
    std::string got;
    WaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(heardMu_);
            got.clear();
            for (char c : heard_[lan])
                if (c != '\r')
                    got += c;
            return got.find(expect) != std::string::npos;
        },
        timeout);
    return got;
}

std::string Station::AskCom0(const std::string &line, const std::string &expect, std::chrono::milliseconds timeout)
{
    return Ask(false, line, expect, timeout);
}

std::string Station::AskLan(const std::string &line, const std::string &expect, std::chrono::milliseconds timeout)
{
    return Ask(true, line, expect, timeout);
}

// Removes every System V object whose key carries this station's root,
// i.e. its keyed segments and its semaphore set.
void Station::RemoveIpc() const
{
    const unsigned stationBits = unsigned(TpIpcKeyFor(root_.c_str(), 0)) & 0xffff0000u;
    auto sweep = [&](const char *table, auto remove) {
        std::istringstream in(ReadHostFile(table));
        std::string header;
        std::getline(in, header);
        for (std::string line; std::getline(in, line);) {
            long key = 0;
            int id = -1;
            if (std::sscanf(line.c_str(), "%ld %d", &key, &id) == 2 && key != 0 &&
                (unsigned(key) & 0xffff0000u) == stationBits)
                remove(id);
        }
    };
    sweep("/proc/sysvipc/shm", [](int id) { shmctl(id, IPC_RMID, nullptr); });
    sweep("/proc/sysvipc/sem", [](int id) { semctl(id, 0, IPC_RMID); });
}

} // namespace komain_test
