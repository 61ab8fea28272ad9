// komain-view: a station folder's records of a day or a range as CSV, JSON
// lines or a short QC report.
//
//   komain-view DIR --day YYYY-MM-DD [--to YYYY-MM-DD] [--kind TAG[,TAG...]]
//               [--format csv|jsonl|report] [--tz +08:00] [--out DIR]
//
// DIR is a station folder (a sandbox's mnt/, or a copied CF data tree).
// Without --out the output goes to standard output; with it every kind
// gets its own file, DIR/TAG_FROM_TO.csv or .jsonl. Problems of the input
// go to standard error, one line each, naming the file and the slot.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

#include "View.h"

namespace {

int Usage()
{
    std::cerr << "usage: komain-view DIR --day YYYY-MM-DD [--to YYYY-MM-DD] [--kind TAG[,TAG...]]\n"
                 "                   [--format csv|jsonl|report] [--tz +HH:MM|Z] [--out DIR]\n"
                 "kinds: DMGD DMCD DMRD DHGD DHCD DHRD DHGDNZ\n";
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

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage();
    std::string dir = argv[1], from, to, kinds, format = "csv", tz = "Z", outDir;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc)
            return Usage();
        std::string v = argv[++i];
        if (a == "--day") from = v;
        else if (a == "--to") to = v;
        else if (a == "--kind") kinds = v;
        else if (a == "--format") format = v;
        else if (a == "--tz") tz = v;
        else if (a == "--out") outDir = v;
        else return Usage();
    }
    if (format != "csv" && format != "jsonl" && format != "report")
        return Usage();
    if (to.empty())
        to = from;
    struct tm t0, t1;
    if (!ParseDay(from, &t0) || !ParseDay(to, &t1))
        return Usage();
    std::vector<const ViewKind *> chosen;
    if (kinds.empty()) {
        chosen = ViewKinds();
    } else {
        std::stringstream ss(kinds);
        for (std::string k; std::getline(ss, k, ',');) {
            const ViewKind *vk = ViewKindByTag(k);
            if (vk == nullptr)
                return Usage();
            chosen.push_back(vk);
        }
    }
    std::string tempdata = ViewTempdata(dir);
    if (tempdata.empty()) {
        std::cerr << dir << ": no tempdata folder in it\n";
        return 1;
    }
    time_t first = timegm(&t0), last = timegm(&t1);
    for (const ViewKind *k : chosen) {
        std::ofstream file;
        std::ostream *out = &std::cout;
        if (!outDir.empty()) {
            std::string path = outDir + "/" + k->tag + "_" + from + "_" + to + (format == "jsonl" ? ".jsonl" : format == "csv" ? ".csv" : ".txt");
            file.open(path, std::ios::binary);
            if (!file) {
                std::cerr << path << ": cannot write\n";
                return 1;
            }
            out = &file;
        }
        bool header = true;
        for (time_t day = first; day <= last; day += 86400) {
            struct tm d;
            gmtime_r(&day, &d);
            ViewDay v = ViewReadDay(tempdata, *k, d.tm_year + 1900, d.tm_mon + 1, d.tm_mday);
            for (const std::string &p : v.problems)
                std::cerr << p << '\n';
            if (format == "csv")
                ViewCsv(*out, v, tz, header);
            else if (format == "jsonl")
                ViewJsonLines(*out, v, tz);
            else
                ViewReport(*out, v);
            header = false;
        }
    }
    return 0;
}
