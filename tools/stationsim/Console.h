// The operator's console of a simulated station: a line editor with
// history, commands to COM0 (a technician's laptop) or over the LAN link
// (the central computer), replies shown as they come, the watch of minute
// rows and hourly summaries, a status line, and the fault switches.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "Watch.h"
#include "World.h"

namespace stationsim {

struct ConsoleOptions {
    bool interactive = true;   // read commands from standard input
    bool watch = true;         // minute rows and hourly summaries
    int minutes = 0;           // > 0: stop after this many minutes were saved and read back
    std::string komainOut;     // the logger's console output, for its "savefile:" lines
    std::string history;       // file of the line history; empty: none
    bool pointLan = false;     // type DEST with the central computer's address once the logger runs
};

class Console {
public:
    Console(World &world, ConsoleOptions o);
    ~Console();
    // Runs until the operator leaves (Ctrl-C, Ctrl-D, ":quit"), the
    // minutes are done, or *stop becomes true. Returns the exit status:
    // 0, or 1 when a minute was not written or did not read back.
    int Run(volatile int *stop);

private:
    void Key(unsigned char c);
    void Submit(const std::string &line);
    void Local(const std::string &cmd);
    void Print(const std::string &text);   // whole lines, above the edited line
    void Redraw();
    std::string Prompt() const;
    void FromCom0(std::string_view text);
    void FromLan(std::string_view text);
    void FlushPartial(bool force);
    void PollSaves(double now);
    void Saved(const std::string &date, const std::string &time, bool whole);
    void CheckReadBack(double now);

    World &world_;
    ConsoleOptions o_;
    bool tty_ = false, rawSet_ = false, quit_ = false;
    bool lan_ = false;   // where typed commands go
    std::string line_;
    size_t cursor_ = 0;
    std::vector<std::string> history_;
    size_t historyPos_ = 0;
    std::string escape_;
    std::string partialCom0_, partialLan_;
    double partialAt_ = 0;
    std::string lastPrompt_;

    // Watch.
    long outOffset_ = 0;
    std::string outRest_;
    double nextPoll_ = 0;
    int rowsShown_ = 0, verified_ = 0, failed_ = 0;
    int hourRows_ = 0;   // minute rows shown since the last hourly record
    struct ReadBack {
        std::string expect, time;
        double deadline;
        bool whole;          // a whole minute, not the start-up's partial one
        bool hourly = false; // the hour's DHGD record, read from its month file when due
        double due = 0;      // not sent before (host seconds)
        int rows = 0;        // minute rows watched in that hour
    };
    bool StartHourly(ReadBack *r);
    void ShowHour(const ReadBack &r, bool readBack);
    std::deque<ReadBack> readBacks_;
    std::deque<ReadBack> toSend_;
    std::string captured_;
    double deadline_ = 0;
    bool pointed_ = false;
    double start_ = 0;
};

} // namespace stationsim
