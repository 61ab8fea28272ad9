// Set-up shared by the benchmarks: the segments a station process attaches,
// held as plain memory of the benchmark process (no System V objects), the
// factory parameters with every element and board on, full sample rings,
// and a throw-away sandbox on the simulated clock.
#pragma once

#include <ctime>
#include <string>

#include <sys/un.h>

#include "core/ShareMem.h"
#include "platform/Transplant.h"
#include "sampling/SampleStore.h"

namespace bench {

// Zeroes every segment, attaches it, and loads the factory parameters of
// the current generation with every element and board on, and every
// sample-archive flag on too unless factoryArchives (then only T01-T03).
void AttachStation(bool factoryArchives = false);

// Samples of four digits with a good QC in every ring, as a working
// station has them at the end of a minute (live store and minute copy).
void FillSamples(SampleDataRec &s);

// A fresh KOMAIN_ROOT on a clock set to clock ("YYYY-MM-DD HH:MM:SS");
// removed with everything in it when it goes.
class Sandbox {
public:
    explicit Sandbox(const char *clock);
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;
    bool Ok() const { return ok_; }
    const std::string &Root() const { return root_; }
    // Sets the simulated clock to start + seconds.
    void At(long seconds) const;
    time_t Start() const { return start_; }

private:
    std::string root_;
    time_t start_ = 0;
    bool ok_ = false;
};

// The console traces of the station's own code go to /dev/null while one
// of these lives, so the benchmark's table stays readable.
class QuietConsole {
public:
    QuietConsole();
    ~QuietConsole();
    QuietConsole(const QuietConsole &) = delete;
    QuietConsole &operator=(const QuietConsole &) = delete;

private:
    int saved_ = -1;
};

// Bytes this process has handed to write(2) so far (/proc/self/io wchar).
long long BytesWritten();

// Frame n of a busy bus: the four transmit packets of the main board and of
// every extension board in turn, with changing four-digit readings.
TpCanFrame MixFrame(unsigned n);

// A sender into the CAN socket a station binds at DIR/run/can0.
class BusSender {
public:
    explicit BusSender(const char *root);
    ~BusSender();
    BusSender(const BusSender &) = delete;
    BusSender &operator=(const BusSender &) = delete;
    bool Ok() const { return fd_ >= 0; }
    // Blocks while the socket's queue is full; false when nobody is bound.
    bool Send(const TpCanFrame &f) const;

private:
    int fd_ = -1;
    struct sockaddr_un to_ {};
};

} // namespace bench

namespace bench {

// One pass of the minute process at the simulated clock's minute: the
// minute's records, day files and archives, and the hourly records at
// minutes 59 and 0.
void MinuteCycle();

} // namespace bench
