// Faults a station meets in the field, end to end: power cuts at random
// moments, a full NAND over midnight, a card pulled while it is written, a
// stopped process, clock jumps, a flooded bus and a noisy line. After each
// one nothing stored may be lost or damaged: every day and month file keeps
// its slots, every record saved before the fault reads back as it was.
//
// The power-cut campaign reads its length from the environment:
//   KOMAIN_FAULT_KILLS=100 KOMAIN_FAULT_SEED=7 build/tests/komain_e2e --gtest_filter='FaultE2E.PowerCuts*'
//   KOMAIN_FAULT_NOISE_S=300 build/tests/komain_e2e --gtest_filter='FaultE2E.Flooded*'
// (scripts/fault-campaign.sh runs both); ctest runs the short forms.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "support/Station.h"

using namespace std::chrono_literals;
using komain_test::Station;
using komain_test::StationOptions;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

int EnvInt(const char *name, int fallback)
{
    const char *v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

time_t ParseTime(const std::string &text)
{
    struct tm t {};
    strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &t);
    return timegm(&t);
}

std::string FormatTime(time_t at, const char *format = "%Y-%m-%d %H:%M:%S")
{
    struct tm t;
    gmtime_r(&at, &t);
    char buf[32];
    std::strftime(buf, sizeof buf, format, &t);
    return buf;
}

// The station's clock as the test follows it: where it was started (or
// last set) and the real time since.
struct SimClock {
    time_t base = 0;
    Clock::time_point at = Clock::now();
    void Set(time_t t)
    {
        base = t;
        at = Clock::now();
    }
    double Now() const { return double(base) + std::chrono::duration<double>(Clock::now() - at).count(); }
    // Sleeps until the station's clock reads t.
    void Until(double t) const
    {
        double wait = t - Now();
        if (wait > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
};

// Record folders of the factory record generation: slot size and count,
// and whether a slot is a minute of a day or an hour of a month.
struct Folder {
    const char *name;
    int slotSize;
    int slots;
    bool month;
};
constexpr Folder kFolders[] = {
    {"DMGD", 512, 1440, false}, {"DMCD", 512, 1440, false}, {"DMRD", 512, 1440, false},
    {"DHGD", 512, 744, true},   {"DHCD", 512, 744, true},   {"DHRD", 512, 744, true},
    {"DHGDNZ", 1024, 744, true}, {"sample", 512, 1440, false},
};

// The placeholder header a slot begins with ("" for the sample rings,
// whose placeholders carry none).
std::string SlotHeader(const Folder &f, const std::string &file, int slot)
{
    if (std::strcmp(f.name, "sample") == 0)
        return {};
    int yy = std::atoi(file.substr(0, 2).c_str()), mm = std::atoi(file.substr(2, 2).c_str());
    char h[64];
    if (f.month)
        std::snprintf(h, sizeof h, "%s 10101 20%02d-%02d-%02d %02d", f.name, yy, mm, slot / 24 + 1, slot % 24);
    else
        std::snprintf(h, sizeof h, "%s 10101 20%02d-%02d-%s %02d:%02d", f.name, yy, mm, file.substr(4, 2).c_str(),
                      slot / 60, slot % 60);
    return h;
}

// Why a slot is not well formed, or "" when it is: its header, then text
// ending in CR LF; after a record's text only NULs, up to a kept CR LF.
std::string SlotFault(const std::string &s, const std::string &header)
{
    if (s.compare(0, header.size(), header) != 0)
        return "header";
    size_t nul = s.find('\0');
    size_t end = nul == std::string::npos ? s.size() : nul;
    if (end < header.size() + 2 || s.compare(end - 2, 2, "\r\n") != 0)
        return "no line end";
    for (size_t i = 0; i + 2 < end; ++i)
        if (s[i] < 0x20 || s[i] > 0x7e)
            return "byte " + std::to_string(i);
    for (size_t i = end; i < s.size(); ++i)
        if (s[i] != '\0' && !(i + 2 >= s.size() && s[i] == (i + 2 == s.size() ? '\r' : '\n')))
            return "tail";
    return {};
}

bool IsRecord(const std::string &slot, const std::string &header)
{
    return slot.size() > header.size() + 1 && slot[header.size()] == ' ' && slot[header.size() + 1] != '-';
}

// What one look over the storage found.
struct StorageCheck {
    std::vector<std::string> faults;
    std::vector<std::string> shortFiles;   // a cut while the file was made
    long slots = 0, records = 0;
    // Minute records by "path#slot", with the time they are for.
    std::map<std::string, std::pair<time_t, std::string>> minuteRecords;
};

// Every record file and daily file on NAND and on the card.
StorageCheck CheckStorage(const Station &st)
{
    StorageCheck c;
    for (const char *top : {"/mnt/nand3", "/mnt/cf"}) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(st.Path(top), ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (ec || !it->is_regular_file())
                continue;
            const std::string path = it->path().string();
            const std::string name = it->path().filename().string();
            const std::string dir = it->path().parent_path().filename().string();
            if (name.size() < 5 || name.substr(name.size() - 4) != ".DAT")
                continue;
            const std::string bytes = komain_test::ReadHostFile(path);
            const Folder *f = nullptr;
            for (const Folder &k : kFolders)
                if (dir == k.name)
                    f = &k;
            if (f != nullptr) {
                size_t size = size_t(f->slotSize), full = size * size_t(f->slots);
                if (bytes.size() % size != 0 || bytes.size() > full) {
                    c.faults.push_back(path + ": size " + std::to_string(bytes.size()));
                    continue;
                }
                if (bytes.size() < full)
                    c.shortFiles.push_back(path);
                for (size_t i = 0; i * size < bytes.size(); ++i) {
                    std::string slot = bytes.substr(i * size, size);
                    std::string header = SlotHeader(*f, name, int(i));
                    std::string why = SlotFault(slot, header);
                    ++c.slots;
                    if (!why.empty()) {
                        c.faults.push_back(path + " slot " + std::to_string(i) + ": " + why);
                        break;
                    }
                    if (!header.empty() && IsRecord(slot, header)) {
                        ++c.records;
                        if (!f->month && name[0] == '2')
                            c.minuteRecords[path + "#" + std::to_string(i)] = {
                                ParseTime(header.substr(header.size() - 16) + ":00"), slot};
                    }
                }
            } else if (name.compare(0, 2, "GG") == 0 || name.compare(0, 2, "RR") == 0 ||
                       name.compare(0, 2, "ST") == 0) {
                // The daily files: a header line and 1440 minute lines of its length.
                size_t line = bytes.find("\r\n");
                if (line == std::string::npos) {
                    if (!bytes.empty())
                        c.faults.push_back(path + ": no line");
                    continue;
                }
                line += 2;
                if (bytes.size() % line != 0 || bytes.size() > line * 1441) {
                    c.faults.push_back(path + ": size " + std::to_string(bytes.size()));
                    continue;
                }
                if (bytes.size() < line * 1441)
                    c.shortFiles.push_back(path);
                for (size_t i = 0; i < bytes.size(); i += line) {
                    ++c.slots;
                    std::string why = SlotFault(bytes.substr(i, line), "");
                    if (!why.empty() || bytes.find("\r\n", i) != i + line - 2) {
                        c.faults.push_back(path + " line " + std::to_string(i / line) + ": " + why + " [" +
                                           bytes.substr(i, line) + "]");
                        break;
                    }
                }
            }
        }
    }
    return c;
}

std::string Join(const std::vector<std::string> &v)
{
    std::string s;
    for (size_t i = 0; i < v.size() && i < 10; ++i)
        s += v[i] + "\n";
    return s;
}

// Waits until the station's console, from `from` on, holds `text`.
bool Printed(const Station &st, size_t from, const std::string &text, std::chrono::milliseconds limit)
{
    return Station::WaitFor(
        [&] {
            std::string out = st.Output();
            return out.size() > from && out.find(text, from) != std::string::npos;
        },
        limit);
}

// A long campaign runs a copy of the program, so that a rebuild meanwhile
// does not change it between two cuts.
StationOptions Options()
{
    StationOptions o;
    if (const char *bin = std::getenv("KOMAIN_FAULT_BINARY"))
        o.binary = bin;
    return o;
}

// The minute process's start: it saves the current minute right away.
constexpr const char *kMinuteStart = "###################start at :";

void StartOrFail(Station &st, SimClock &clock, time_t at)
{
    st.SetClock(FormatTime(at));
    st.WriteFile("/sim/rtc", FormatTime(at) + "\n");
    clock.Set(at);
    ASSERT_GT(st.Start(), 0);
}

// Children of a process, by /proc.
std::vector<pid_t> ChildrenOf(pid_t parent)
{
    std::vector<pid_t> kids;
    DIR *d = opendir("/proc");
    while (d != nullptr) {
        dirent *e = readdir(d);
        if (e == nullptr)
            break;
        if (e->d_name[0] < '0' || e->d_name[0] > '9')
            continue;
        std::string stat = komain_test::ReadHostFile(std::string("/proc/") + e->d_name + "/stat");
        auto close = stat.rfind(')');
        char state;
        int ppid;
        if (close != std::string::npos && std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 &&
            ppid == parent)
            kids.push_back(pid_t(std::atoi(e->d_name)));
    }
    if (d != nullptr)
        closedir(d);
    return kids;
}

std::string NmeaSum(const std::string &body)
{
    unsigned x = 0;
    for (char ch : body)
        x ^= uint8_t(ch);
    char s[8];
    std::snprintf(s, sizeof s, "*%02X\r\n", x);
    return "$" + body + s;
}

// A GPRMC sentence saying the local time `at` (the receiver speaks UTC,
// the station keeps UTC + 8 h).
std::string Gprmc(time_t at)
{
    time_t utc = at - 8 * 3600;
    return NmeaSum("GPRMC," + FormatTime(utc, "%H%M%S") + ".00,A,3948.00,N,11620.00,E,0.0,0.0," +
                   FormatTime(utc, "%d%m%y") + ",,,A");
}

void WriteAll(int fd, const std::string &s)
{
    size_t done = 0;
    for (int tries = 0; done < s.size() && tries < 200; ++tries) {
        ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n > 0)
            done += size_t(n);
        else
            std::this_thread::sleep_for(5ms);
    }
}

} // namespace

// The whole process group killed at random moments of the minute cycle, of
// an hourly save and of a parameter save, restarted each time at the time
// of the cut (or, to reach the next target sooner, up to a minute later).
TEST(FaultE2E, PowerCutsAtRandomMomentsLoseNothing)
{
    const int kills = EnvInt("KOMAIN_FAULT_KILLS", 2);
    std::mt19937 rng(unsigned(EnvInt("KOMAIN_FAULT_SEED", 21)));
    Station st(Options());
    SimClock clock;
    time_t first = ParseTime("2026-03-10 08:58:37");
    st.WriteFile("/dev/sdd1", "");   // the card is in: its twins are checked as well
    st.WriteFile("/sim/df/cf", "500");
    // Two day files whose making an earlier cut stopped after their first
    // 128 slots.
    for (const char *tag : {"DMGD", "DMCD"}) {
        std::string part;
        for (int i = 0; i < 128; ++i) {
            char h[40];
            int n = std::snprintf(h, sizeof h, "%s 10101 2026-03-10 %02d:%02d", tag, i / 60, i % 60);
            part += std::string(h, size_t(n)) + std::string(512 - 2 - size_t(n), '-') + "\r\n";
        }
        st.WriteFile(std::string("/mnt/nand3/tempdata/") + tag + "/260310.DAT", part);
    }
    stationsim::World &world = st.StartWorld({});

    StartOrFail(st, clock, first);
    ASSERT_TRUE(Printed(st, 0, kMinuteStart, 30s)) << st.Output();
    double lead = clock.Now() - double(first);
    // The two settings a parameter save switches between.
    std::string para[2];
    const char *alt[2] = {"ALT 100.0\r\n", "ALT 102.5\r\n"};
    for (int k = 0; k < 2; ++k) {
        std::string before = st.ReadFile("/mnt/nand2/para.bin");
        ASSERT_NE(st.AskCom0(alt[k], "T\n").find("T\n"), std::string::npos);
        ASSERT_TRUE(Station::WaitFor([&] { return st.ReadFile("/mnt/nand2/para.bin") != before; }, 5s));
        para[k] = st.ReadFile("/mnt/nand2/para.bin");
    }
    ASSERT_EQ(para[0].size(), 5840u);
    int altNow = 1;

    std::map<std::string, std::pair<time_t, std::string>> settled;
    long compared = 0, slotsChecked = 0;
    int resumed = 0, cutsInSave[3] = {};
    size_t from = 0;
    bool minuteZero = false;
    for (int i = 0; i < kills; ++i) {
        const int mode = i % 3;   // 0 parameter save, 1 minute cycle, 2 hourly save
        double lifeStart = clock.Now();
        if (mode == 0) {
            world.SendCom0(alt[1 - altNow]);
            altNow = 1 - altNow;
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 400)(rng)));
        } else {
            double boundary = std::ceil(clock.Now() / 60.0) * 60.0;
            // Every other hourly cut falls on minute 0, which rewrites the
            // records minute 59 wrote.
            if (mode == 2 && minuteZero && FormatTime(time_t(boundary), "%M") == "59")
                boundary += 60;
            clock.Until(boundary + std::uniform_real_distribution<double>(0.0, 4.0)(rng));
        }
        st.Stop();
        const time_t cut = time_t(clock.Now());
        cutsInSave[mode]++;

        StorageCheck c = CheckStorage(st);
        slotsChecked += c.slots;
        EXPECT_TRUE(c.faults.empty()) << "cut " << i << " at " << FormatTime(cut) << "\n" << Join(c.faults);
        const std::string p = st.ReadFile("/mnt/nand2/para.bin");
        EXPECT_TRUE(p == para[0] || p == para[1]) << "cut " << i << ": para.bin of " << p.size() << " bytes";
        const std::string lastMin = st.ReadFile("/mnt/nand3/tempdata/lastmindata.bin");
        EXPECT_EQ(lastMin.size(), 504u) << "cut " << i;
        // Records of minutes well before the cut never change again.
        for (const auto &[key, rec] : c.minuteRecords) {
            if (rec.first > cut - 120)
                continue;
            auto [it, fresh] = settled.emplace(key, rec);
            if (!fresh) {
                ++compared;
                EXPECT_EQ(it->second.second, rec.second) << "cut " << i << ": " << key;
            }
        }
        for (const auto &[key, rec] : settled)
            EXPECT_TRUE(c.minuteRecords.count(key)) << "cut " << i << ": lost " << key;
        // Every minute of this life up to the one of the cut was saved (the
        // minute process begins with the first minute it sees from its
        // start, unless that is minute 0 of an hour).
        const time_t firstSaved = (time_t(lifeStart) + 59) / 60 * 60;
        for (time_t m = firstSaved; m + 60 <= cut - 8; m += 60) {
            if (m == firstSaved && m % 3600 == 0)
                continue;
            std::string dmgd = st.ReadFile("/mnt/nand3/tempdata/DMGD/" + FormatTime(m, "%y%m%d") + ".DAT");
            long slot = (m % 86400) / 60;
            EXPECT_TRUE(dmgd.size() >= size_t(slot + 1) * 512 &&
                        IsRecord(dmgd.substr(size_t(slot) * 512, 512), "DMGD 10101 " + FormatTime(m, "%Y-%m-%d %H:%M")))
                << "cut " << i << ": minute " << FormatTime(m) << " missing";
        }

        // Power returns: at once, or just before the next target.
        const int next = (i + 1) % 3;
        time_t again = cut + 1;
        if (next != 0 || i + 1 == kills) {
            time_t step = next == 2 ? 3600 : 60;
            time_t boundary = (again + time_t(lead) + 1 + step - 1) / step * step;
            // The hourly records are written at minute 59 and again at 0.
            if (next == 2) {
                boundary -= 60;
                minuteZero = (i / 3) % 2 == 1;
            }
            if (boundary - time_t(lead) - 1 < again)
                boundary += step;
            again = boundary - time_t(lead) - 1;
        }
        from = st.Output().size();
        StartOrFail(st, clock, again);
        ASSERT_TRUE(Printed(st, from, kMinuteStart, 30s)) << st.Output().substr(from);
        lead = std::max(lead, clock.Now() - double(again));
        if (again - cut <= 30) {
            EXPECT_TRUE(Printed(st, from, "lastmindata is useful", 1s)) << "restart " << i;
            ++resumed;
        }
    }
    // The last life has saved its first minute: every file cut short is
    // whole again.
    ASSERT_TRUE(Printed(st, from, "save lastmindata", 75s)) << st.Output().substr(st.Output().size() - 3000);
    st.Stop();
    StorageCheck c = CheckStorage(st);
    EXPECT_TRUE(c.faults.empty()) << Join(c.faults);
    EXPECT_TRUE(c.shortFiles.empty()) << Join(c.shortFiles);
    std::printf("power cuts: %d (parameter save %d, minute cycle %d, hourly save %d), restarts that resumed the hour "
                "%d, slots checked %ld, records compared %ld, records kept %zu\n",
                kills, cutsInSave[0], cutsInSave[1], cutsInSave[2], resumed, slotsChecked + c.slots, compared,
                settled.size());
}

// The minute process stopped: its watchdog slot is never fed again, and the
// housekeeping process reboots the board naming it in the error record
// (slots of D, C and A in that order).
TEST(FaultE2E, StoppedMinuteProcessIsNamedAndRebooted)
{
    Station st(Options());
    SimClock clock;
    StartOrFail(st, clock, ParseTime("2026-03-10 08:15:00"));
    ASSERT_TRUE(Printed(st, 0, kMinuteStart, 30s)) << st.Output();
    pid_t d = -1;
    // A is the group leader; C is its child that has a child, D.
    pid_t a = -1;
    for (pid_t p : ChildrenOf(getpid()))
        if (getpgid(p) == p)
            a = p;
    ASSERT_GT(a, 0);
    for (pid_t c : ChildrenOf(a))
        for (pid_t g : ChildrenOf(c))
            d = g;
    ASSERT_GT(d, 0);
    kill(d, SIGSTOP);
    ASSERT_TRUE(Station::WaitFor([&] { return !st.ReadFile("/sim/reboot.log").empty(); }, 40s)) << st.Output();
    ASSERT_TRUE(Station::WaitFor([&] { return st.ProcessCount() == 0; }, 5s));
    std::string rec = st.ReadFile("/mnt/cf/tempdata/ErrorRec.TXT");
    ASSERT_EQ(rec.size(), 27u) << rec;
    EXPECT_EQ(rec.substr(0, 14), "2026-03-10 08:");
    EXPECT_EQ(rec.substr(19), " b a a\r\n");
    StorageCheck c = CheckStorage(st);
    EXPECT_TRUE(c.faults.empty()) << Join(c.faults);
}

// NAND reports next to no free space while the day changes: the new day's
// files are made whole, yesterday's records stay.
TEST(FaultE2E, NearlyFullNandAcrossMidnight)
{
    Station st(Options());
    SimClock clock;
    st.WriteFile("/sim/df/nand3", "1");
    st.WriteFile("/sim/df/nand2", "1");
    stationsim::WorldOptions w;
    w.steady = true;
    st.StartWorld(w);
    StartOrFail(st, clock, ParseTime("2026-03-10 23:59:38"));
    ASSERT_TRUE(Printed(st, 0, "savefile:2026-03-10 23:59", 30s)) << st.Output();
    ASSERT_TRUE(Printed(st, 0, "save lastmindata", 5s));
    const std::string before = st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT");
    ASSERT_TRUE(Printed(st, 0, "savefile:2026-03-11 00:00", 40s)) << st.Output();
    ASSERT_TRUE(Station::WaitFor([&] { return st.Output().rfind("save lastmindata") > st.Output().rfind("savefile:"); },
                                 5s));
    EXPECT_EQ(st.ProcessCount(), 4);
    st.Stop();
    EXPECT_EQ(st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT"), before);
    const std::string today = st.ReadFile("/mnt/nand3/tempdata/DMGD/260311.DAT");
    ASSERT_EQ(today.size(), 1440u * 512);
    EXPECT_TRUE(IsRecord(today.substr(0, 512), "DMGD 10101 2026-03-11 00:00")) << today.substr(0, 80);
    // (RR follows the radiation clock, whose day changes later.)
    for (const char *k : {"GG", "ST"})
        EXPECT_TRUE(st.Exists(std::string("/mnt/nand3/data/") + k + "260311.DAT")) << k;
    StorageCheck c = CheckStorage(st);
    EXPECT_TRUE(c.faults.empty()) << Join(c.faults);
    EXPECT_TRUE(c.shortFiles.empty()) << Join(c.shortFiles);
}

// The card pulled while the minute's twin is written to it, and (a second
// station) while the nightly copy runs: NAND keeps every record, the
// station keeps running, the card keeps what it had.
TEST(FaultE2E, CardPulledDuringTheMinuteSaveAndTheNightlyCopy)
{
    Station save(Options()), copy(Options());
    SimClock saveClock, copyClock;
    for (Station *s : {&save, &copy}) {
        s->WriteFile("/dev/sdd1", "");
        s->WriteFile("/sim/df/cf", "500");
    }
    // Yesterday's daily files, large enough that the copy takes a moment:
    // a header and 1440 lines of 2900 bytes.
    std::string big;
    for (int i = 0; i < 1441; ++i)
        big += std::string(2898, char('A' + i % 26)) + "\r\n";
    for (const char *k : {"GG", "RR", "ST"})
        copy.WriteFile(std::string("/mnt/nand3/data/") + k + "260310.DAT", big);
    stationsim::World &saveWorld = save.StartWorld({});
    copy.StartWorld({});
    StartOrFail(save, saveClock, ParseTime("2026-03-10 08:15:40"));
    StartOrFail(copy, copyClock, ParseTime("2026-03-11 02:02:44"));

    ASSERT_TRUE(Printed(save, 0, kMinuteStart, 30s)) << save.Output();
    const time_t pulled = time_t(std::ceil(saveClock.Now() / 60.0) * 60.0);
    saveClock.Until(double(pulled));
    std::string message;
    EXPECT_TRUE(saveWorld.ApplyFault("cf-out", &message)) << message;
    ASSERT_TRUE(Station::WaitFor(
        [&] {
            for (const auto &c : copy.Commands())
                if (c.rfind("cp /mnt/nand3/data/", 0) == 0)
                    return true;
            return false;
        },
        40s))
        << copy.Output();
    unlink(copy.Path("/dev/sdd1").c_str());
    // The minute whose twin was being written is saved on NAND.
    const time_t next = pulled;
    ASSERT_TRUE(Printed(save, 0, "savefile:" + FormatTime(next, "%Y-%m-%d %H:%M"), 20s)) << save.Output();
    ASSERT_TRUE(Station::WaitFor([&] { return save.Output().rfind("save lastmindata") > save.Output().rfind("savefile:"); },
                                 10s));
    // The four processes are still there; the copying station may still
    // have its copy's child for a moment.
    EXPECT_EQ(save.ProcessCount(), 4);
    EXPECT_TRUE(Station::WaitFor([&] { return copy.ProcessCount() == 4; }, 20s)) << copy.ProcessCount();
    save.Stop();
    copy.Stop();
    for (const char *k : {"GG", "RR", "ST"})
        EXPECT_EQ(copy.ReadFile(std::string("/mnt/nand3/data/") + k + "260310.DAT"), big) << k;
    for (Station *s : {&save, &copy}) {
        StorageCheck c = CheckStorage(*s);
        EXPECT_TRUE(c.faults.empty()) << Join(c.faults);
    }
    std::string dmgd = save.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT");
    ASSERT_EQ(dmgd.size(), 1440u * 512);
    for (time_t m = ParseTime("2026-03-10 08:15:00"); m <= next; m += 60)
        EXPECT_TRUE(IsRecord(dmgd.substr(size_t((m % 86400) / 60) * 512, 512),
                             "DMGD 10101 " + FormatTime(m, "%Y-%m-%d %H:%M")))
            << FormatTime(m);
}

// The clock set back an hour and forward a day, by TIME and DATE on COM0
// and by a GPS sentence: each time the next minute is saved at the new
// time, and what was saved before stays.
TEST(FaultE2E, ClockJumpsByCommandAndByGps)
{
    Station st(Options());
    SimClock clock;
    stationsim::WorldOptions w;
    w.steady = true;
    w.lanPort = -1;
    st.StartWorld(w);
    int gps = st.AddPty("ttymxc3");   // the GPS port is the test's
    ASSERT_GE(gps, 0);
    StartOrFail(st, clock, ParseTime("2026-03-10 08:30:40"));
    ASSERT_TRUE(Printed(st, 0, kMinuteStart, 30s)) << st.Output();
    ASSERT_TRUE(Printed(st, 0, "save lastmindata", 5s));
    const std::string first = st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT").substr((8 * 60 + 30) * 512, 512);
    ASSERT_TRUE(IsRecord(first, "DMGD 10101 2026-03-10 08:30"));

    auto savedAt = [&](time_t t) {
        size_t from = st.Output().size();
        return Printed(st, from, "savefile:" + FormatTime(t / 60 * 60 + 60, "%Y-%m-%d %H:%M"), 20s);
    };
    auto ask = [&](const std::string &cmd) { return st.AskCom0(cmd + "\r\n", "T\n").find("T\n") != std::string::npos; };
    // Back an hour by TIME, to second 55 so that the next minute is near.
    time_t t = time_t(clock.Now()) - 3600;
    t = t / 60 * 60 + 55;
    ASSERT_TRUE(ask("TIME " + FormatTime(t, "%H:%M:%S")));
    clock.Set(t);
    ASSERT_TRUE(savedAt(t)) << st.Output().substr(st.Output().size() - 2000);
    // Forward a day by DATE, then on to second 55 by TIME.
    t = time_t(clock.Now()) + 86400;
    ASSERT_TRUE(ask("DATE " + FormatTime(t, "%Y-%m-%d")));
    t = t / 60 * 60 + 55;
    ASSERT_TRUE(ask("TIME " + FormatTime(t, "%H:%M:%S")));
    clock.Set(t);
    ASSERT_TRUE(savedAt(t)) << st.Output().substr(st.Output().size() - 2000);
    // The GPS is heard in the seconds 40 to 45: back an hour, then forward
    // a day, each sentence naming second 55 of its minute.
    for (time_t jump : {time_t(-3600), time_t(86400)}) {
        t = time_t(clock.Now()) / 60 * 60 + 41;
        ASSERT_TRUE(ask("TIME " + FormatTime(t, "%H:%M:%S")));
        clock.Set(t);
        time_t said = (t + jump) / 60 * 60 + 55;
        WriteAll(gps, Gprmc(said));
        ASSERT_TRUE(Printed(st, 0, "GPSTIME in UTC:" + FormatTime(said - 8 * 3600), 5s)) << said;
        clock.Set(said);
        ASSERT_TRUE(savedAt(said)) << st.Output().substr(st.Output().size() - 2000);
    }
    EXPECT_EQ(st.ProcessCount(), 4);
    st.Stop();
    EXPECT_EQ(st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT").substr((8 * 60 + 30) * 512, 512), first);
    StorageCheck c = CheckStorage(st);
    EXPECT_TRUE(c.faults.empty()) << Join(c.faults);
    EXPECT_TRUE(c.shortFiles.empty()) << Join(c.shortFiles);
    EXPECT_GE(c.records, 5);
}

// Frames at the full rate of the bus and random bytes at the line rate of
// the GPS port, while an operator on COM0 and the central computer on the
// LAN link keep asking: every reply is right, every minute is saved, and
// the station never reboots.
TEST(FaultE2E, FloodedBusAndNoisyLineWhileCommandsAreServed)
{
    const int seconds = EnvInt("KOMAIN_FAULT_NOISE_S", 20);
    Station st(Options());
    SimClock clock;
    stationsim::WorldOptions w;
    w.steady = true;
    stationsim::World &world = st.StartWorld(w);
    int gps = st.AddPty("ttymxc3");
    ASSERT_GE(gps, 0);
    StartOrFail(st, clock, ParseTime("2026-03-10 08:15:30"));
    ASSERT_TRUE(Printed(st, 0, kMinuteStart, 30s)) << st.Output();
    const std::string dest = "DEST 127.0.0.1 " + std::to_string(world.LanPort()) + "\r\n";
    ASSERT_NE(st.AskCom0(dest, "T\n").find("T\n"), std::string::npos);
    ASSERT_TRUE(Station::WaitFor([&] { return world.LanConnected(); }, 15s)) << st.Output();
    const time_t firstMinute = time_t(clock.Now()) / 60 * 60;

    std::atomic<bool> stop{false};
    std::atomic<long> frames{0}, noise{0};
    std::thread bus([&] {
        int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::string p = st.Path("/run/can0");
        std::memcpy(a.sun_path, p.c_str(), p.size() + 1);
        std::mt19937 rng(5);
        // A 125 kbit/s bus carries about a thousand 8-byte frames a second.
        auto next = Clock::now();
        while (!stop) {
            for (int k = 0; k < 10; ++k) {
                TpCanFrame f{};
                f.can_id = rng() % 0x800;
                f.can_dlc = uint8_t(rng() % 9);
                for (auto &b : f.data)
                    b = uint8_t(rng());
                if (sendto(fd, &f, sizeof f, 0, reinterpret_cast<sockaddr *>(&a), sizeof a) == ssize_t(sizeof f))
                    ++frames;
            }
            next += 10ms;
            std::this_thread::sleep_until(next);
        }
        close(fd);
    });
    std::thread line([&] {
        std::mt19937 rng(9);
        // 9600 baud: 960 characters a second.
        auto next = Clock::now();
        while (!stop) {
            std::string bytes(96, '\0');
            for (auto &b : bytes)
                b = char(rng());
            ssize_t n = write(gps, bytes.data(), bytes.size());
            if (n > 0)
                noise += n;
            next += 100ms;
            std::this_thread::sleep_until(next);
        }
    });

    int asked = 0, wrong = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        for (bool lan : {false, true}) {
            std::string got = lan ? st.AskLan("ID\r\n", "10101\n") : st.AskCom0("ID\r\n", "10101\n");
            ++asked;
            if (got.find("10101\n") == std::string::npos) {
                ++wrong;
                ADD_FAILURE() << (lan ? "LAN" : "COM0") << " ID: " << got;
            }
        }
        // A stored minute, read back both ways.
        time_t m = time_t(clock.Now()) / 60 * 60 - 60;
        if (m >= firstMinute) {
            std::string slot =
                st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT").substr(size_t((m % 86400) / 60) * 512, 512);
            std::string text = slot.substr(0, slot.find("\r\n"));
            for (bool lan : {false, true}) {
                const std::string cmd = "DMGD " + FormatTime(m, "%Y-%m-%d %H:%M") + " 1\r\n";
                std::string got = lan ? st.AskLan(cmd, text) : st.AskCom0(cmd, text);
                ++asked;
                if (got.find(text) == std::string::npos) {
                    ++wrong;
                    ADD_FAILURE() << (lan ? "LAN " : "COM0 ") << cmd << got;
                }
            }
        }
        std::this_thread::sleep_for(200ms);
    }
    stop = true;
    bus.join();
    line.join();
    const time_t last = time_t(clock.Now()) - 8;
    EXPECT_EQ(st.ProcessCount(), 4);
    EXPECT_EQ(st.ReadFile("/sim/reboot.log"), "");
    st.Stop();
    std::string dmgd = st.ReadFile("/mnt/nand3/tempdata/DMGD/260310.DAT");
    for (time_t m = firstMinute; m <= last; m += 60)
        EXPECT_TRUE(IsRecord(dmgd.substr(size_t((m % 86400) / 60) * 512, 512),
                             "DMGD 10101 " + FormatTime(m, "%Y-%m-%d %H:%M")))
            << FormatTime(m);
    StorageCheck c = CheckStorage(st);
    EXPECT_TRUE(c.faults.empty()) << Join(c.faults);
    std::printf("flood: %d s, %ld frames, %ld noise bytes, %d commands, %d wrong replies\n", seconds, frames.load(),
                noise.load(), asked, wrong);
}
