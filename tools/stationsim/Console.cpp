#include "Console.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

namespace stationsim {

namespace {

struct termios g_saved;

double HostNow()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

void Out(const std::string &s)
{
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = write(1, s.data() + done, s.size() - done);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

std::string NoCr(std::string_view s)
{
    std::string r;
    for (char c : s)
        if (c != '\r' && c != '\0')
            r += c;
    return r;
}

constexpr size_t kHistoryMax = 200;

const char *const kHelp =
    "Lines you type go to the logger's COM0 (a technician's laptop) or, after Ctrl-T or :lan, over the LAN\n"
    "link (the central computer); \"@lan CMD\" and \"@com0 CMD\" send one line either way.\n"
    "Keys: Left/Right Home/End Ctrl-A/E/B/F, Backspace Delete Ctrl-K/U/W, Up/Down history, Ctrl-L redraw,\n"
    "Ctrl-T switch COM0/LAN, Ctrl-C or Ctrl-D (on an empty line) ends the session.\n"
    "Console commands: :status  :watch on|off  :fault SWITCH  :faults  :lan  :com0  :help  :quit\n"
    "Fault switches: silent|talk BOARD|INSTRUMENT, stuck|range|normal QUANTITY, noise|clean PORT,\n"
    "  gps-off [S], gps-on, cf-out, cf-in, nand-full, nand-ok, clear\n"
    "  boards: main clim radi eath soil sea tarh tair rain; instruments: serial gps pressure visibility\n"
    "  raingauge snow wind; quantities: temp hum press wind dir rain rad ground vis; ports: com1..com5\n";

} // namespace

Console::Console(World &world, ConsoleOptions o) : world_(world), o_(std::move(o))
{
    tty_ = o_.interactive && isatty(0) && isatty(1);
    world_.onCom0 = [this](std::string_view t) { FromCom0(t); };
    world_.onLan = [this](std::string_view t) { FromLan(t); };
    if (!o_.history.empty()) {
        std::ifstream in(o_.history);
        for (std::string l; std::getline(in, l);)
            if (!l.empty())
                history_.push_back(l);
    }
    historyPos_ = history_.size();
}

Console::~Console()
{
    world_.onCom0 = nullptr;
    world_.onLan = nullptr;
    if (rawSet_)
        tcsetattr(0, TCSANOW, &g_saved);
}

std::string Console::Prompt() const
{
    const auto t = time_t(std::floor(world_.LoggerNow()));
    struct tm lt {};
    localtime_r(&t, &lt);
    char p[64];
    std::snprintf(p, sizeof p, "[%02d:%02d:%02d %s]> ", lt.tm_hour, lt.tm_min, lt.tm_sec, lan_ ? "LAN" : "COM0");
    return p;
}

void Console::Redraw()
{
    if (!tty_)
        return;
    lastPrompt_ = Prompt();
    std::string s = "\r\x1b[K" + lastPrompt_ + line_ + "\r";
    const size_t col = lastPrompt_.size() + cursor_;
    if (col > 0)
        s += "\x1b[" + std::to_string(col) + "C";
    Out(s);
}

void Console::Print(const std::string &text)
{
    if (tty_)
        Out("\r\x1b[K");
    Out(text);
    if (!text.empty() && text.back() != '\n')
        Out("\n");
    Redraw();
}

void Console::FromCom0(std::string_view text)
{
    if (!readBacks_.empty()) {
        captured_ += NoCr(text);
        return;
    }
    partialCom0_ += NoCr(text);
    partialAt_ = HostNow();
    FlushPartial(false);
}

void Console::FromLan(std::string_view text)
{
    partialLan_ += NoCr(text);
    partialAt_ = HostNow();
    FlushPartial(false);
}

void Console::FlushPartial(bool force)
{
    // Whole lines at once; a reply without a line end after half a second.
    const bool stale = force || (HostNow() - partialAt_ > 0.5);
    for (auto [buf, tag] : {std::pair<std::string *, const char *>{&partialCom0_, ""}, {&partialLan_, "[LAN] "}}) {
        size_t nl = buf->rfind('\n');
        std::string lines;
        if (nl != std::string::npos) {
            lines = buf->substr(0, nl + 1);
            buf->erase(0, nl + 1);
        } else if (stale && !buf->empty()) {
            lines = *buf + "\n";
            buf->clear();
        }
        if (lines.empty())
            continue;
        std::string shown;
        size_t pos = 0;
        while (pos < lines.size()) {
            const size_t e = lines.find('\n', pos);
            const std::string one = lines.substr(pos, e - pos);
            pos = e + 1;
            if (!one.empty())
                shown += tag + one + "\n";
        }
        if (!shown.empty())
            Print(shown);
    }
}

void Console::Submit(const std::string &raw)
{
    std::string line = raw;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    if (line.empty())
        return;
    if (history_.empty() || history_.back() != line) {
        history_.push_back(line);
        if (history_.size() > kHistoryMax)
            history_.erase(history_.begin());
        if (!o_.history.empty())
            std::ofstream(o_.history, std::ios::app) << line << "\n";
    }
    historyPos_ = history_.size();
    if (line[0] == ':') {
        Local(line.substr(1));
        return;
    }
    bool toLan = lan_;
    if (line.rfind("@lan ", 0) == 0) {
        toLan = true;
        line.erase(0, 5);
    } else if (line.rfind("@com0 ", 0) == 0) {
        toLan = false;
        line.erase(0, 6);
    }
    if (!tty_ && o_.interactive)
        Print(std::string(toLan ? "LAN> " : "COM0> ") + line);
    if (toLan) {
        // One block is one command on the LAN link.
        if (!world_.SendLan(line + "\r\n"))
            Print("(no LAN connection yet: the logger connects to its DEST address; central computer on 127.0.0.1:" +
                  std::to_string(world_.LanPort()) + ")");
    } else {
        world_.SendCom0(line + "\r\n");
    }
}

void Console::Local(const std::string &cmd)
{
    std::string msg;
    if (cmd == "help" || cmd == "?") {
        Print(kHelp);
    } else if (cmd == "status") {
        Print(world_.StatusLine());
    } else if (cmd == "quit" || cmd == "q") {
        quit_ = true;
    } else if (cmd == "lan" || cmd == "com0") {
        lan_ = cmd == "lan";
        Redraw();
    } else if (cmd == "watch on" || cmd == "watch off") {
        o_.watch = cmd == "watch on";
        Print(std::string("watch ") + (o_.watch ? "on" : "off"));
    } else if (cmd == "faults") {
        Print("fault switches: " + world_.Faults());
    } else if (cmd.rfind("fault ", 0) == 0) {
        world_.ApplyFault(cmd.substr(6), &msg);
        Print(msg);
    } else {
        Print("unknown console command :" + cmd + " (try :help)");
    }
}

void Console::Key(unsigned char c)
{
    if (!escape_.empty()) {
        escape_ += char(c);
        const std::string &e = escape_;
        if (e.size() == 2 && e[1] != '[' && e[1] != 'O') {
            escape_.clear();
            return;
        }
        if (e.size() >= 3 && (std::isalpha(static_cast<unsigned char>(e.back())) || e.back() == '~')) {
            const std::string seq = e.substr(2);
            escape_.clear();
            if (seq == "A" || seq == "B") {
                if (seq == "A" && historyPos_ > 0)
                    --historyPos_;
                else if (seq == "B" && historyPos_ < history_.size())
                    ++historyPos_;
                line_ = historyPos_ < history_.size() ? history_[historyPos_] : std::string();
                cursor_ = line_.size();
            } else if (seq == "C" && cursor_ < line_.size()) {
                ++cursor_;
            } else if (seq == "D" && cursor_ > 0) {
                --cursor_;
            } else if (seq == "H" || seq == "1~") {
                cursor_ = 0;
            } else if (seq == "F" || seq == "4~") {
                cursor_ = line_.size();
            } else if (seq == "3~" && cursor_ < line_.size()) {
                line_.erase(cursor_, 1);
            }
            Redraw();
        } else if (e.size() > 8) {
            escape_.clear();
        }
        return;
    }
    switch (c) {
    case 27: escape_ = "\x1b"; return;
    case '\r':
    case '\n': {
        const std::string l = line_;
        line_.clear();
        cursor_ = 0;
        if (tty_)
            Out("\r\x1b[K" + lastPrompt_ + l + "\n");
        Submit(l);
        Redraw();
        return;
    }
    case 3: quit_ = true; return;                        // Ctrl-C
    case 4:                                              // Ctrl-D
        if (line_.empty())
            quit_ = true;
        else if (cursor_ < line_.size())
            line_.erase(cursor_, 1);
        break;
    case 1: cursor_ = 0; break;                          // Ctrl-A
    case 5: cursor_ = line_.size(); break;               // Ctrl-E
    case 2: cursor_ = cursor_ > 0 ? cursor_ - 1 : 0; break;   // Ctrl-B
    case 6: cursor_ = cursor_ < line_.size() ? cursor_ + 1 : cursor_; break;   // Ctrl-F
    case 11: line_.erase(cursor_); break;                // Ctrl-K
    case 21: line_.erase(0, cursor_); cursor_ = 0; break;   // Ctrl-U
    case 23: {                                           // Ctrl-W
        size_t p = cursor_;
        while (p > 0 && line_[p - 1] == ' ')
            --p;
        while (p > 0 && line_[p - 1] != ' ')
            --p;
        line_.erase(p, cursor_ - p);
        cursor_ = p;
        break;
    }
    case 20: lan_ = !lan_; break;                        // Ctrl-T
    case 12: Out("\x1b[H\x1b[2J"); break;                // Ctrl-L
    case 127:
    case 8:
        if (cursor_ > 0)
            line_.erase(--cursor_, 1);
        break;
    default:
        if (c >= 32 && c < 127 && line_.size() < 200)
            line_.insert(cursor_++, 1, char(c));
        break;
    }
    Redraw();
}

void Console::PollSaves(double now)
{
    if (now < nextPoll_ || o_.komainOut.empty())
        return;
    nextPoll_ = now + 0.5;
    std::ifstream in(o_.komainOut, std::ios::binary);
    if (!in)
        return;
    in.seekg(0, std::ios::end);
    const long size = long(in.tellg());
    if (size < outOffset_) {
        outOffset_ = 0;   // a new file: the station started afresh
        outRest_.clear();
    }
    if (size == outOffset_)
        return;
    in.seekg(outOffset_);
    std::string chunk(size_t(size - outOffset_), '\0');
    in.read(chunk.data(), long(chunk.size()));
    outOffset_ = size;
    outRest_ += chunk;
    size_t pos;
    while ((pos = outRest_.find('\n')) != std::string::npos) {
        const std::string l = outRest_.substr(0, pos);
        outRest_.erase(0, pos + 1);
        const size_t at = l.find("savefile:");
        // Minute records are saved in the first seconds of their minute; a
        // save later in a minute is the start-up's, of a partial minute.
        if (at != std::string::npos && l.size() >= at + 9 + 19)
            Saved(l.substr(at + 9, 10), l.substr(at + 20, 5), std::atoi(l.c_str() + at + 26) < 30);
    }
    if (outRest_.size() > 4096)
        outRest_.erase(0, outRest_.size() - 4096);
}

void Console::Saved(const std::string &date, const std::string &time, bool whole)
{
    const StationParams &p = world_.Params();
    const std::string root = world_.Options().root;
    const std::string yymmdd = date.substr(2, 2) + date.substr(5, 2) + date.substr(8, 2);
    const int hour = std::atoi(time.c_str()), minute = std::atoi(time.c_str() + 3);
    const std::string text = ReadSlot(root + "/mnt/nand3/tempdata/DMGD/" + yymmdd + ".DAT", hour * 60 + minute, 512);
    MinuteRow row;
    if (!ParseDmgd(text, &row) || row.time != time) {
        ++failed_;
        Print("!! " + date + " " + time + ": no main minute record in its slot");
        return;
    }
    // The radiation record lives by the radiation clock.
    struct tm t {};
    if (strptime((date + " " + time).c_str(), "%Y-%m-%d %H:%M", &t) != nullptr) {
        t.tm_isdst = -1;
        time_t at = mktime(&t) + time_t(p.td) * 60;
        struct tm r {};
        localtime_r(&at, &r);
        char path[96];
        std::snprintf(path, sizeof path, "/mnt/nand3/tempdata/DMRD/%02d%02d%02d.DAT", r.tm_year % 100, r.tm_mon + 1,
                      r.tm_mday);
        ParseDmrdGlobal(ReadSlot(root + path, r.tm_hour * 60 + r.tm_min, 512), &row);
    }
    if (o_.watch) {
        if (rowsShown_ % 20 == 0)
            Print(RowHeader());
        ++rowsShown_;
        Print(FormatRow(row));
    }
    ++hourRows_;
    // Read it back as a technician would.
    toSend_.push_back({text, date + " " + time, 0, whole});
    // Minute 0 closes the hour: its DHGD record is rewritten with the final
    // values right after the minute's save, so it is read a little later.
    if (minute == 0) {
        ReadBack h{{}, date + " " + time.substr(0, 2), 0, false, true, HostNow() + 3.0, hourRows_};
        toSend_.push_back(h);
        hourRows_ = 0;
    }
}

bool Console::StartHourly(ReadBack *r)
{
    const StationParams &p = world_.Params();
    const std::string path = world_.Options().root + "/mnt/nand3/tempdata/DHGD/" + r->time.substr(2, 2) +
                             r->time.substr(5, 2) + ".DAT";
    const int day = std::atoi(r->time.c_str() + 8), hour = std::atoi(r->time.c_str() + 11);
    r->expect = ReadSlot(path, long(day - 1) * 24 + hour, p.generation != 0 ? 540 : 512);
    if (r->expect.size() < 30 || r->expect[25] == '-') {
        if (o_.watch)
            Print("== " + r->time + "h: no hourly record saved");
        return false;
    }
    return true;
}

void Console::ShowHour(const ReadBack &r, bool readBack)
{
    HourRow h;
    if (!ParseDhgd(r.expect, &h)) {
        Print("!! " + r.time + "h: the hourly record does not parse: " + r.expect.substr(0, 80));
        return;
    }
    if (o_.watch)
        Print(FormatHour(h, r.rows) + (readBack ? ", read back" : ""));
}

void Console::CheckReadBack(double now)
{
    if (!readBacks_.empty()) {
        const ReadBack &r = readBacks_.front();
        const size_t at = captured_.find(r.expect);
        if (at != std::string::npos) {
            verified_ += r.whole ? 1 : 0;
            if (r.hourly)
                ShowHour(r, true);
            readBacks_.pop_front();
            captured_.clear();
        } else if (now > r.deadline) {
            ++failed_;
            Print("!! " + r.time + (r.hourly ? "h: DHGD" : ": DMGD") +
                  " on COM0 did not return the saved record; got: " + captured_.substr(0, 200));
            readBacks_.pop_front();
            captured_.clear();
        }
    }
    if (readBacks_.empty() && !toSend_.empty() && toSend_.front().due <= now) {
        ReadBack r = toSend_.front();
        toSend_.pop_front();
        if (r.hourly && !StartHourly(&r))
            return;
        r.deadline = now + 8.0;
        readBacks_.push_back(r);
        captured_.clear();
        world_.SendCom0(std::string(r.hourly ? "DHGD " : "DMGD ") + r.time + " 1\r\n");
    }
}

int Console::Run(volatile int *stop)
{
    start_ = HostNow();
    if (tty_) {
        if (tcgetattr(0, &g_saved) == 0) {
            struct termios t = g_saved;
            t.c_lflag &= ~tcflag_t(ICANON | ECHO | ISIG | IEXTEN);
            t.c_iflag &= ~tcflag_t(IXON | ICRNL | INLCR);
            t.c_cc[VMIN] = 1;
            t.c_cc[VTIME] = 0;
            rawSet_ = tcsetattr(0, TCSANOW, &t) == 0;
        }
        Print("stationsim console, :help for help. " + world_.StatusLine());
    }
    std::string typed;
    while (!quit_ && !*stop) {
        const bool key = world_.Step(100, o_.interactive ? 0 : -1);
        if (key) {
            unsigned char buf[256];
            const ssize_t n = read(0, buf, sizeof buf);
            if (n <= 0) {
                quit_ = true;   // end of input ends the session
            } else if (tty_) {
                for (ssize_t i = 0; i < n && !quit_; ++i)
                    Key(buf[i]);
            } else {
                typed.append(reinterpret_cast<char *>(buf), size_t(n));
                size_t nl;
                while ((nl = typed.find('\n')) != std::string::npos) {
                    Submit(typed.substr(0, nl));
                    typed.erase(0, nl + 1);
                }
            }
        }
        const double now = HostNow();
        FlushPartial(false);
        PollSaves(now);
        CheckReadBack(now);
        if (o_.pointLan && !pointed_ && world_.LanPort() > 0 && world_.FramesIn() > 8) {
            // Set as a technician would: the destination command on COM0.
            pointed_ = true;
            const std::string dest = "DEST 127.0.0.1 " + std::to_string(world_.LanPort());
            Print((tty_ ? lastPrompt_ : std::string("COM0> ")) + dest);
            world_.SendCom0(dest + "\r\n");
        }
        if (o_.minutes > 0) {
            if (verified_ >= o_.minutes && toSend_.empty() && readBacks_.empty())
                break;
            if (now > start_ + 60.0 * (o_.minutes + 2) + 30.0) {
                Print("!! only " + std::to_string(verified_) + " of " + std::to_string(o_.minutes) +
                      " minutes were written and read back in time");
                ++failed_;
                break;
            }
        }
        if (tty_ && Prompt() != lastPrompt_)
            Redraw();
    }
    FlushPartial(true);
    if (tty_)
        Out("\r\x1b[K");
    if (o_.minutes > 0)
        return verified_ >= o_.minutes && failed_ == 0 ? 0 : 1;
    return 0;
}

} // namespace stationsim
