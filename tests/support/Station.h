// Test support: a simulated station in a fresh sandbox.
//
// A Station makes a sandbox folder, can link serial device names to
// pseudo-terminals and bind the CAN peer socket, starts the real komain
// binary in it (own process group, chosen clock and board generation),
// reads what the station leaves behind (command log, files, its output),
// and on destruction stops every process of it and removes the folder and
// the System V objects it created.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "platform/Transplant.h"
#include "stationsim/World.h"

namespace komain_test {

struct StationOptions {
    std::string clock;        // KOMAIN_CLOCK, "YYYY-MM-DD HH:MM:SS"; empty = host clock
    std::string kernel;       // KOMAIN_KERNEL; empty = the host's release (newer board)
    std::string binary;       // komain to start; empty = the one built with the tests
    // Links every serial device name of the board generation that the test
    // has not linked itself to a pseudo-terminal before the start. A
    // missing device costs the start-up a second of retry per port.
    bool linkAllPorts = true;
};

// The device names of the serial ports per board generation.
extern const char *const kOldBoardPorts[6];
extern const char *const kNewBoardPorts[6];

class Station {
public:
    explicit Station(StationOptions opts = {});
    ~Station();
    Station(const Station &) = delete;
    Station &operator=(const Station &) = delete;

    const std::string &Root() const { return root_; }
    // The sandbox path of a board path ("/mnt/nand2/para.bin").
    std::string Path(const std::string &boardPath) const;

    // Files inside the sandbox, by board path.
    bool Exists(const std::string &boardPath) const;
    std::string ReadFile(const std::string &boardPath) const;
    void WriteFile(const std::string &boardPath, const std::string &bytes) const;

    // Links /dev/NAME to a new pseudo-terminal; returns the master side
    // (non-blocking), closed by the destructor.
    int AddPty(const std::string &devName);
    // Binds the CAN peer at run/canN.bus; returns its datagram socket.
    int CanPeer(int n = 0);
    // Receives one frame on a peer socket within timeoutMs: true when one came.
    static bool CanRecv(int fd, TpCanFrame *frame, int timeoutMs);
    // Sends one frame from a peer socket to komain's run/canN.
    bool CanSend(int fd, const TpCanFrame &frame, int n = 0) const;

    // Starts komain; returns its process id (the group leader).
    pid_t Start();
    // The clock the next Start() gives komain (a restart after a power cut
    // resumes at the time the test chooses).
    void SetClock(const std::string &clock) { opts_.clock = clock; }
    // Ends every process of the station (SIGKILL to its group) and reaps it.
    void Stop();
    // Number of live processes in the station's process group.
    int ProcessCount() const;
    // Waits until the starting process has exited (e.g. after a reboot).
    bool WaitExit(std::chrono::milliseconds timeout);

    // komain's standard output and error so far.
    std::string Output() const;
    // Lines of sim/commands.log.
    std::vector<std::string> Commands() const;

    // The world outside the station (tools/stationsim): every board and
    // instrument, the weather and the central computer, run by a thread of
    // the test. Call before Start(); the sandbox, the clock and the board
    // generation are the station's. Stopped by the destructor.
    stationsim::World &StartWorld(stationsim::WorldOptions o = {});
    // Sends a line on COM0 (or as the central computer on the LAN link) and
    // waits until `expect` has arrived there; returns what arrived.
    std::string AskCom0(const std::string &line, const std::string &expect,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::string AskLan(const std::string &line, const std::string &expect,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Polls pred every 20 ms until it holds or the time is up.
    static bool WaitFor(const std::function<bool()> &pred, std::chrono::milliseconds timeout);

private:
    void RemoveIpc() const;
    void StopWorld();
    std::string Ask(bool lan, const std::string &line, const std::string &expect, std::chrono::milliseconds timeout);

    StationOptions opts_;
    std::string root_;
    pid_t pid_ = -1;
    bool reaped_ = true;
    std::vector<int> fds_;
    std::unique_ptr<stationsim::World> world_;
    std::thread worldThread_;
    std::atomic<bool> worldStop_{false};
    std::mutex heardMu_;
    std::string heard_[2];   // COM0, LAN
};

// Reads a whole host file ("" when missing).
std::string ReadHostFile(const std::string &path);
// Writes a whole host file, making its folders.
void WriteHostFile(const std::string &path, const std::string &bytes);

} // namespace komain_test
