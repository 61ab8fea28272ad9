// The world outside one simulated logger, bound to its sandbox through the
// simulation contract only: the CAN bus socket pair under DIR/run, the
// serial device links under DIR/dev, a loopback TCP port for the central
// computer, the media and free-space switches under DIR/dev and DIR/sim,
// and the parameter files the logger keeps in DIR/mnt/nand2.
//
// One World plays every CAN board the parameters enable, the serial
// instruments, the weather behind all of them, the central computer,
// candump replay and recording, and the fault switches. It runs in the
// caller's thread: Step() waits for traffic and timers and handles them.
// The public calls may come from another thread than Step's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Boards.h"
#include "CanFrames.h"
#include "Params.h"
#include "Weather.h"

namespace stationsim {

struct WorldOptions {
    std::string root;             // the sandbox (KOMAIN_ROOT)
    std::string iface = "can0";
    std::string ports = "newer";  // serial device names: "newer", "older", or "" for none
    std::string clock;            // KOMAIN_CLOCK the logger starts at; empty: the host clock
    uint32_t seed = 1;
    bool steady = false;
    int lanPort = 0;              // central computer on 127.0.0.1: 0 any free port, -1 none
    std::string record;           // candump log of the bus; empty: none
    std::string replay;           // candump log to play; the boards keep quiet
    // Instruments besides the serial board, GPS and pressure sensor:
    // "visibility", "raingauge", "snow", "wind" (COM3) or "wind@com2".
    std::vector<std::string> instruments;
    std::vector<std::string> faults;   // fault switches at start (see ApplyFault)
};

// A candump log line that did not parse: file line number and text.
struct ReplayEntry {
    double at;    // seconds from the first frame
    TpCanFrame frame;
};
// Reads a candump log; on a bad line sets *error to "FILE:LINE: ..." and
// returns false.
bool LoadCandump(const std::string &path, std::vector<ReplayEntry> *out, std::string *error);

class World {
public:
    explicit World(WorldOptions o);
    ~World();
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    // Binds the bus, links the serial ports, opens the central computer's
    // port, applies the start faults. False with a message on failure.
    bool Open(std::string *error);

    // Waits up to timeoutMs for traffic or a timer and handles what is
    // due. With extraFd >= 0 it also returns early, with true, when that
    // descriptor is readable (the console's keyboard).
    bool Step(int timeoutMs, int extraFd = -1);

    // Text to the logger: on COM0 as a technician's laptop, or on the LAN
    // link as the central computer (false when no connection is up).
    void SendCom0(std::string_view text);
    bool SendLan(std::string_view text);
    // What the logger sends back on each.
    std::function<void(std::string_view)> onCom0;
    std::function<void(std::string_view)> onLan;

    // Fault switches, at start or at any time:
    //   silent BOARD|INSTRUMENT   talk BOARD|INSTRUMENT
    //   stuck QUANTITY   range QUANTITY   normal QUANTITY
    //   noise PORT   clean PORT      (PORT: com2 com3 com4 com5, or the instrument)
    //   gps-off [SECONDS]   gps-on
    //   cf-out   cf-in   nand-full   nand-ok   clear
    // Returns false with a message for an unknown switch.
    bool ApplyFault(std::string_view request, std::string *message);
    std::string Faults() const;

    // The logger's clock as the simulator follows it (seconds since the
    // epoch): from KOMAIN_CLOCK, corrected by every TIME broadcast.
    double LoggerNow() const;
    int LanPort() const { return lanPort_; }
    bool LanConnected() const;
    // "2026-12-06 08:16:23 | CAN main tarh eath, SYNC 4/s | COM gps press board | LAN up"
    std::string StatusLine() const;
    // Frames seen on the bus from the logger (SYNC, TIME, SDO, ...) and
    // sent by the boards.
    uint64_t FramesIn() const;
    uint64_t FramesOut() const;
    const StationParams &Params() const { return params_; }
    const WorldOptions &Options() const { return o_; }

private:
    struct Pending {
        double due;   // host seconds
        int slot;
        std::string text;
    };
    void HandleCan();
    void HandleSerial(int slot);
    void HandleInstrumentLine(int slot, const std::string &line);
    void HandleLanAccept();
    void HandleLanData();
    void Timers(double now);
    void SendFrame(const TpCanFrame &f);
    void FlushCan();
    void Record(const TpCanFrame &f, double hostNow);
    void Queue(int slot, std::string text, double delay = 0.03);
    Sky SkyNow();
    bool InstrumentOn(const std::string &name) const;
    bool Silent(const std::string &name) const;
    void ReloadParams();
    void MediaSwitch(const char *what, bool on);

    WorldOptions o_;
    mutable std::recursive_mutex mu_;
    int canFd_ = -1;
    std::string canNode_, canBus_;
    int masters_[6] = {-1, -1, -1, -1, -1, -1};
    int slaves_[6] = {-1, -1, -1, -1, -1, -1};
    std::string serialIn_[6];
    int listenFd_ = -1, lanFd_ = -1, lanPort_ = -1;
    FILE *record_ = nullptr;
    std::vector<ReplayEntry> replay_;
    size_t replayNext_ = 0;
    double replayStart_ = 0;

    Weather weather_;
    CanBoards boards_;
    StationParams params_;
    double paramsCheck_ = 0;
    double offset_ = 0;          // logger clock minus host clock
    double trueOffset_ = 0;      // true time (the GPS's) minus host clock: the logger's clock at its start, run on
    bool gpsFix_ = true;         // false from a logger start to its first TIME broadcast
    double lastSync_ = 0;        // host time of the last SYNC
    double nextHeartbeat_ = 0, nextVisibility_ = 0, nextWind_ = 0;
    long lastGpsSecond_ = 0;
    std::vector<Pending> pending_;
    double serialRainTips_ = 0, gaugeMm_ = 0;
    double lastSerialFrame_ = 0, lastRainStep_ = 0;
    uint64_t framesIn_ = 0, framesOut_ = 0;
    std::deque<TpCanFrame> canOut_;   // frames waiting for the logger's receive queue
    double canRetry_ = 0;
    std::vector<double> syncTimes_;

    // Fault switches.
    std::set<std::string> silent_;
    std::set<std::string> range_;
    std::map<std::string, Sky> stuck_;
    std::set<int> noisy_;
    double gpsOffset_ = 0;
    bool cfOut_ = false, nandFull_ = false;
    uint32_t noiseRng_ = 77;
};

} // namespace stationsim
