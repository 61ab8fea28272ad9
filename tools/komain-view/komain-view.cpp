// komain-view: a station folder's records and daily files of a day or a
// range as CSV, JSON lines, a short QC report or a day page in HTML.
//
//   komain-view DIR [--day YYYY-MM-DD] [--to YYYY-MM-DD] [--kind TAG[,TAG...]]
//               [--format csv|jsonl|report|page[,...]] [--tz ZONE] [--out PATH]
//
// DIR is a station folder (a sandbox, its mnt/, or a copied CF data tree).
// Without --day the newest day with main minute records is taken. The times
// are the station's local times with its offset stated: the zone the
// simulated station recorded in its sandbox, else --tz. Without --out everything
// goes to standard output; an existing folder as --out gets one file per
// kind and format (TAG_FROM_TO.csv, .jsonl, .txt) and one page per day
// (day-YYYY-MM-DD.html); any other --out is one file for all. Problems of
// the input go to standard error, one line each, naming the file and the
// slot or line.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "View.h"

namespace {

int Usage()
{
    std::cerr << "usage: komain-view DIR [--day YYYY-MM-DD] [--to YYYY-MM-DD] [--kind TAG[,TAG...]]\n"
                 "                   [--format csv|jsonl|report|page[,...]] [--tz +HH:MM|Z|TZ-RULE] [--out PATH]\n"
                 "kinds: DMGD DMCD DMRD DHGD DHCD DHRD DHGDNZ GG RR ST\n";
    return 2;
}

bool ParseDay(const std::string &s, struct tm *t)
{
    int y, m, d;
    char tail;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    *t = {};
    t->tm_year = y - 1900, t->tm_mon = m - 1, t->tm_mday = d, t->tm_hour = 12;
    return true;
}

// The newest day file of the main minute records ("" when none).
std::string LatestDay(const std::string &root)
{
    std::string best;
    if (DIR *d = opendir((root + "/tempdata/DMGD").c_str())) {
        while (dirent *e = readdir(d)) {
            unsigned y, m, day;
            char tail;
            if (std::sscanf(e->d_name, "%2u%2u%2u.DA%c", &y, &m, &day, &tail) == 4 && tail == 'T') {
                char s[16];
                std::snprintf(s, sizeof s, "20%02u-%02u-%02u", y % 100, m % 100, day % 100);
                if (best < s)
                    best = s;
            }
        }
        closedir(d);
    }
    return best;
}

bool IsDir(const std::string &p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> Split(const std::string &s)
{
    std::vector<std::string> v;
    std::stringstream ss(s);
    for (std::string k; std::getline(ss, k, ',');)
        v.push_back(k);
    return v;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    std::string dir = argv[1], from, to, kinds, formats = "csv", tz, outPath;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc)
            return Usage();
        std::string v = argv[++i];
        if (a == "--day") from = v;
        else if (a == "--to") to = v;
        else if (a == "--kind") kinds = v;
        else if (a == "--format") formats = v;
        else if (a == "--tz") tz = v;
        else if (a == "--out") outPath = v;
        else return Usage();
    }
    for (const std::string &f : Split(formats))
        if (f != "csv" && f != "jsonl" && f != "report" && f != "page")
            return Usage();
    std::string root = ViewStationRoot(dir);
    if (root.empty()) {
        std::cerr << dir << ": no station files in it (tempdata or data folder)\n";
        return 1;
    }
    if (from.empty())
        from = LatestDay(root);
    if (from.empty()) {
        std::cerr << dir << ": no main minute records; give --day\n";
        return 1;
    }
    if (to.empty())
        to = from;
    struct tm t0, t1;
    if (!ParseDay(from, &t0) || !ParseDay(to, &t1))
        return Usage();
    std::vector<const ViewKind *> chosen;
    if (kinds.empty()) {
        chosen = ViewKinds();
    } else {
        for (const std::string &k : Split(kinds)) {
            const ViewKind *vk = ViewKindByTag(k);
            if (vk == nullptr)
                return Usage();
            chosen.push_back(vk);
        }
    }
    // The zone the station's clock ran in is the truth about its times;
    // --tz is for folders that do not say (a copied CF card).
    ViewZone zone;
    zone.text = ViewStationZone(dir);
    if (zone.text.empty())
        zone.text = tz;
    else if (!tz.empty() && tz != zone.text)
        std::cerr << dir << ": the station's clock ran in zone " << zone.text << "; --tz " << tz << " is not used\n";
    if (zone.text.empty())
        std::cerr << dir << ": the station's time zone is not recorded here; times go without an offset (give --tz)\n";

    bool perFile = !outPath.empty() && IsDir(outPath);
    std::ofstream single;
    if (!outPath.empty() && !perFile) {
        single.open(outPath, std::ios::binary);
        if (!single) {
            std::cerr << outPath << ": cannot write\n";
            return 1;
        }
    }
    std::ostream &common = single.is_open() ? static_cast<std::ostream &>(single) : std::cout;
    auto open = [&](std::ofstream &f, const std::string &name) -> std::ostream * {
        if (!perFile)
            return &common;
        f.open(outPath + "/" + name, std::ios::binary);
        if (!f) {
            std::cerr << outPath << "/" << name << ": cannot write\n";
            return nullptr;
        }
        return &f;
    };
    time_t first = timegm(&t0), last = timegm(&t1);
    auto dayOf = [](time_t day) {
        struct tm d;
        gmtime_r(&day, &d);
        return d;
    };
    for (const std::string &format : Split(formats)) {
        if (format == "page") {
            for (time_t day = first; day <= last; day += 86400) {
                struct tm d = dayOf(day);
                int y = d.tm_year + 1900, m = d.tm_mon + 1;
                ViewDay g = ViewReadDay(root, *ViewKindByTag("DMGD"), y, m, d.tm_mday);
                ViewDay r = ViewReadDay(root, *ViewKindByTag("DMRD"), y, m, d.tm_mday);
                ViewDay h = ViewReadDay(root, *ViewKindByTag("DHGD"), y, m, d.tm_mday);
                for (const ViewDay *v : {&g, &r, &h})
                    for (const std::string &p : v->problems)
                        std::cerr << p << '\n';
                char name[64];
                std::snprintf(name, sizeof name, "day-%04d-%02d-%02d.html", y, m, d.tm_mday);
                std::ofstream file;
                std::ostream *out = open(file, name);
                if (out == nullptr)
                    return 1;
                ViewPage(*out, g, r, h, zone);
            }
            continue;
        }
        for (const ViewKind *k : chosen) {
            std::ofstream file;
            std::ostream *out =
                open(file, std::string(k->tag) + "_" + from + "_" + to +
                               (format == "jsonl" ? ".jsonl" : format == "csv" ? ".csv" : ".txt"));
            if (out == nullptr)
                return 1;
            bool header = true;
            for (time_t day = first; day <= last; day += 86400) {
                struct tm d = dayOf(day);
                ViewDay v = ViewReadDay(root, *k, d.tm_year + 1900, d.tm_mon + 1, d.tm_mday);
                for (const std::string &p : v.problems)
                    std::cerr << p << '\n';
                if (format == "csv")
                    ViewCsv(*out, v, zone, header);
                else if (format == "jsonl")
                    ViewJsonLines(*out, v, zone);
                else
                    ViewReport(*out, v);
                header = false;
            }
        }
    }
    return 0;
}
