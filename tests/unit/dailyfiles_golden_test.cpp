// Golden file of the daily files: tests/data/dailyfiles/lines.in sets up a
// station (parameters, live status, the minute's record texts) and saves
// the minute's GG, RR and ST lines at chosen clocks; lines.out holds, per
// save, every file that changed: its name, its header when it was made,
// and each line written with its line number. NUL bytes show as '@'; the
// CR LF that ends every line shows as the end of the golden line (see
// golden_script.h).
//
// Input lines:
//   clock YYYY-MM-DD HH:MM:SS   first; later ones move the clock
//   generation N | station ID | long TEXT | lat TEXT | td MINUTES
//   heights ALT ALTP WSHEIGHT PLATFORM | sensi INDEX VALUE
//   enable CODE... | obvalid N...
//   dmgd TEXT | dmcd TEXT | dmrd TEXT     the minute's record lines
//   state FIELD VALUE                      live status (see Status below)
//   save                                   GG, RR and ST of the generation
#include "dmgd_fixture.h"

#include <dirent.h>
#include <map>
#include <sstream>

#include "dailyfiles/DailyFiles.h"
#include "golden_script.h"

namespace {

std::map<std::string, std::string> DataFiles(const komain_test::Sandbox &sb)
{
    std::map<std::string, std::string> files;
    DIR *d = opendir(sb.Path("/mnt/nand3/data").c_str());
    if (d == nullptr)
        return files;
    while (dirent *e = readdir(d))
        if (e->d_name[0] != '.')
            files[e->d_name] = sb.Read(std::string("/mnt/nand3/data/") + e->d_name);
    closedir(d);
    return files;
}

std::string Shown(const std::string &line)
{
    std::string s = line;
    bool crlf = s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0;
    if (crlf)
        s.resize(s.size() - 2);
    for (char &c : s)
        if (c == '\0')
            c = '@';
    return s + (crlf ? "\n" : "[no line end]\n");
}

struct DailyGolden : golden::ScriptTest {
    std::string Run(const std::string &script)
    {
        std::string out;
        golden::ForEachLine(script, [&](const std::string &cmd, std::istringstream &w) {
            if (cmd == "clock") {
                std::string d, t;
                w >> d >> t;
                if (sb_ == nullptr) {
                    Start(d + " " + t);
                    TemproraryData->MainStat.ListenState = '0';
                    return true;
                }
                struct tm tm {};
                strptime((d + " " + t).c_str(), "%Y-%m-%d %H:%M:%S", &tm);
                tm.tm_isdst = -1;
                return TpSetTime(mktime(&tm)) == 0;
            }
            if (sb_ == nullptr)
                return false;   // clock must come first
            if (cmd == "save")
                out += Save();
            return cmd == "save" || Apply(cmd, w);
        });
        return out;
    }

    std::string Save()
    {
        auto before = DataFiles(*sb_);
        testing::internal::CaptureStdout();
        bool old = defdataEx->Generation == 0;
        RRFileSave(FileSave->DmrdText);
        if (old) {
            GGFileSave_Old(FileSave->DmgdTextOld, FileSave->DmcdText);
            STFileSave_Old();
        } else {
            GGFileSave(FileSave->DmgdText, FileSave->DmcdText);
            STFileSave();
        }
        testing::internal::GetCapturedStdout();
        std::string out;
        for (const auto &[name, bytes] : DataFiles(*sb_)) {
            int lead = 0, size = 0;
            if (name.rfind("GG", 0) == 0)
                lead = size = old ? GG_LINE_OLD : GG_LINE;
            else if (name.rfind("RR", 0) == 0)
                lead = size = RR_LINE;
            else if (name.rfind("ST", 0) == 0)
                lead = old ? ST_LINE_OLD : ST_HEADER, size = old ? ST_LINE_OLD : ST_LINE;
            auto was = before.find(name);
            if (size == 0 || (was != before.end() && was->second == bytes))
                continue;
            out += "== " + name + " " + std::to_string(bytes.size()) + " bytes\n";
            if (was == before.end())
                out += "header " + Shown(bytes.substr(0, std::size_t(lead)));
            for (int k = 1; k <= DAILY_LINES; ++k) {
                std::size_t at = std::size_t(lead) + std::size_t(k - 1) * std::size_t(size);
                std::string now = bytes.substr(at, std::size_t(size));
                bool fresh = was == before.end();
                // A new file's untouched lines are its empty lines.
                bool changed = fresh ? now.find_first_not_of('-', 4) != std::size_t(size) - 2
                                     : was->second.compare(at, std::size_t(size), now) != 0;
                if (changed)
                    out += "line " + std::to_string(k) + " " + Shown(now);
            }
        }
        return out;
    }

    static void SetText(char *dst, const std::string &rest)
    {
        std::memset(dst, 0, RECORD_TEXT_LEN);
        std::size_t from = rest.find_first_not_of(' ');
        if (from == std::string::npos)
            return;
        std::string t = rest.substr(from) + "\r\n";
        std::memcpy(dst, t.data(), std::min(t.size(), std::size_t(RECORD_TEXT_LEN - 1)));
    }

    bool Apply(const std::string &cmd, std::istringstream &w)
    {
        DefDataRec &d = *defdata;
        TemproraryDataRec &td = *TemproraryData;
        std::string rest;
        if (cmd == "dmgd" || cmd == "dmcd" || cmd == "dmrd") {
            std::getline(w, rest);
            FileSaveRec &fs = *FileSave;
            SetText(cmd == "dmcd"   ? fs.DmcdText
                    : cmd == "dmrd" ? fs.DmrdText
                    : defdataEx->Generation == 0 ? fs.DmgdTextOld : fs.DmgdText,
                    rest);
            return true;
        }
        if (auto known = Common(cmd, w))
            return *known;
        if (cmd == "long" || cmd == "lat") {
            golden::Text(cmd == "long" ? d.Long : d.Lat, sizeof d.Long, w);
        } else if (cmd == "td") {
            d.Td = golden::Read<int>(w);
        } else if (cmd == "heights") {
            float a, b, c, e;
            w >> a >> b >> c >> e;
            d.Alt = a, d.AltP = b, d.WsPlatform2Ground = c, d.Platform2Ground = e;
        } else if (cmd == "sensi") {
            int i = golden::Read<int>(w);
            d.Sensi[i] = golden::Read<float>(w);
        } else if (cmd == "state") {
            return Status(w, td);
        } else {
            return false;
        }
        return !w.fail();
    }

    // state NAME ARGS: the live status the ST line shows.
    static bool Status(std::istringstream &w, TemproraryDataRec &td)
    {
        std::string name;
        w >> name;
        if (name == "main") {   // voltage power mact th wind cf cfspace gps door extra can
            float v, mact;
            int space;
            MainCollectorStat &m = td.MainStat;
            w >> v >> m.PowerKind >> mact >> m.TerhState >> m.WindState >> m.CfState >> space >>
                m.GpsState >> m.DoorState >> m.CanExtState >> m.CanBusState;
            m.SupplyVoltage = v, m.Mact = mact, m.CFSpace = space;
        } else if (name == "sub") {   // index state volt low temp flag1 flag2
            int i;
            float v, t;
            w >> i;
            SubCollectorStat &s = td.SubStat[i];
            w >> s.State >> v >> s.State2 >> t >> s.Flag1 >> s.Flag2;
            s.Reading1 = v, s.Reading2 = t;
        } else if (name == "terh") {   // state r1 c r2 c flag
            int a, b;
            w >> td.Terh.State1 >> a >> td.Terh.State2 >> b >> td.Terh.State3 >> td.Terh.Flag;
            td.Terh.Reading1 = uint8_t(a), td.Terh.Reading2 = uint8_t(b);
        } else if (name == "tair" || name == "rain") {   // state volt low temp ch1 ch2 s1 s2
            ExtBoardStat &b = name == "tair" ? td.TairStat : td.RainStat;
            float v, t;
            int s1, s2;
            w >> b.State >> v >> b.VoltageLow >> t >> b.Ch1 >> b.Ch2 >> s1 >> s2;
            b.SupplyVoltage = v, b.BoardTemp = t, b.Status1 = uint8_t(s1), b.Status2 = uint8_t(s2);
        } else if (name == "rainhour") {
            int n;
            w >> n;
            td.Rain.HourCount = n;
        } else if (name == "value") {   // element value
            std::string code;
            float v;
            w >> code >> v;
            td.CurrentValue[SensorIndexByCode(code.c_str())] = v;
        } else if (name == "sensors") {   // the state characters of rows 1 on
            std::string s;
            w >> s;
            std::memcpy(td.SensorState + 1, s.data(), std::min(s.size(), std::size_t(84)));
        } else {
            return false;
        }
        return !w.fail();
    }
};

} // namespace

TEST_F(DailyGolden, EverySaveWritesItsExactLines)
{
    golden::Check(std::string(KOMAIN_TESTDATA) + "/dailyfiles/", "lines", [&](const std::string &in) { return Run(in); });
}
