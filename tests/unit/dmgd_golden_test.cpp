// Golden files of the main minute record: each tests/data/dmgd/NAME.in
// describes a station's state for one or more minutes (parameters, the
// filled snapshot rings, the instruments' readings, the running sums);
// NAME.out beside it holds, per minute, the exact DMGD line and the exact
// DMGD1 line of the generation in use (see golden_script.h).
//
// Input lines (state carries over from one minute to the next):
//   clock YYYY-MM-DD HH:MM:SS      must come first
//   generation N                   0 older, else current
//   station ID | stlx C
//   enable CODE...                 element codes of the element table
//   obvalid N...                   board characters switched on
//   ring NAME VALUE [QC [FIRST LAST]]   snapshot ring slots (default all, QC '0')
//   set NAME ARGS...               single values, see Setter below
//   minute                         compute and print both lines
//   advance SECONDS                move the clock on
#include "dmgd_fixture.h"

#include <cstdlib>
#include <sstream>

#include "core/Main.h"
#include "golden_script.h"
#include "platform/Transplant.h"

namespace {

// Calls f with the snapshot ring of the given name; false when none.
template <typename F>
bool WithRing(SampleDataRec &s, const std::string &name, F f)
{
    if (name == "T0") return f(s.T0), true;
    if (name == "U") return f(s.U), true;
    if (name == "P") return f(s.P), true;
    if (name == "LE") return f(s.LE), true;
    if (name == "WS") return f(s.WS), true;
    if (name == "WSPrev") return f(s.WSPrev), true;
    if (name == "WS_3") return f(s.WS_3), true;
    if (name == "WS_3Prev") return f(s.WS_3Prev), true;
    if (name == "WD") return f(s.WD), true;
    if (name == "WDPrev") return f(s.WDPrev), true;
    static const char *const kEarth[EARTH_COUNT] = {"TG",  "ST0", "ST1", "ST2", "ST3",
                                                    "ST4", "ST5", "ST6", "ST7", "ST8"};
    for (int k = 0; k < EARTH_COUNT; ++k)
        if (name == kEarth[k])
            return f(s.Earth[k]), true;
    return false;
}

// A float of the input; strtod also knows "nan" and "inf".
double Real(std::istringstream &w)
{
    std::string t;
    if (!(w >> t))
        return 0;
    char *end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0')
        w.setstate(std::ios::failbit);
    return v;
}

struct GoldenTest : golden::ScriptTest {
    // Runs the script; returns what the minutes printed.
    std::string Run(const std::string &script)
    {
        std::string out;
        golden::ForEachLine(script, [&](const std::string &cmd, std::istringstream &w) {
            if (cmd == "clock") {
                std::string d, t;
                w >> d >> t;
                Start(d + " " + t);
                return true;
            }
            if (defdata == nullptr)
                return false;   // clock must come first
            if (cmd == "minute")
                out += Minute();
            return cmd == "minute" || Apply(cmd, w);
        });
        return out;
    }

    std::string Minute()
    {
        FileSaveRec &fs = *FileSave;
        testing::internal::CaptureStdout();
        DmgdMinuteTexts();
        testing::internal::GetCapturedStdout();
        if (defdataEx->Generation == 0)
            return std::string(fs.DmgdTextOld) + fs.Dmgd1TextOld;
        return std::string(fs.DmgdText) + fs.Dmgd1Text;
    }

    bool Apply(const std::string &cmd, std::istringstream &w)
    {
        DefDataRec &d = *defdata;
        TemproraryDataRec &td = *TemproraryData;
        SampleDataRec &s = *SampleDataCopy;
        if (auto known = Common(cmd, w))
            return *known;
        if (cmd == "stlx") {
            w >> d.STLX;
        } else if (cmd == "ring") {
            std::string name;
            long long v;
            char qc = '0';
            int first = 0, last = -1;
            w >> name >> v;
            if (!(w >> qc))
                qc = '0';
            else if (!(w >> first >> last))
                first = 0, last = -1;
            return WithRing(s, name, [&](auto &r) {
                int hi = last < 0 ? r.Capacity - 1 : std::min(last, r.Capacity - 1);
                for (int i = first; i <= hi; ++i) {
                    r.Value[i] = int32_t(v);
                    r.Qc[i] = qc == '_' ? '\0' : qc;
                }
            });
        } else if (cmd == "set") {
            std::string name;
            w >> name;
            return Setter(name, w, d, td, s);
        } else if (cmd == "advance") {
            return TpSetTime(TpTime() + golden::Read<long>(w)) == 0;
        } else {
            return false;
        }
        return true;
    }

    // set NAME ...: the single values a minute reads.
    bool Setter(const std::string &name, std::istringstream &w, DefDataRec &d,
                TemproraryDataRec &td, SampleDataRec &s)
    {
        long long v = 0;
        double f = 0;
        int i = 0;
        char q = '0';
        if (name == "RainSum") {
            w >> v >> q;
            s.RainSum = int32_t(v), s.RainSumQc = q;
        } else if (name == "Rain1Sum") {
            w >> v >> q;
            s.Rain1Sum = int32_t(v), s.Rain1SumQc = q;
        } else if (name == "RainBoard") {   // index reading qc
            w >> i >> v >> q;
            s.RainBoard[i] = uint8_t(v), td.Rain.Qc[i] = q;
        } else if (name == "RainStat") {    // state
            w >> td.RainStat.State;
        } else if (name == "Tair") {        // channel 0-3, value (0.1 deg C), qc
            w >> i;
            f = Real(w);
            w >> q;
            s.TairLatest[i] = float(f), td.Tair.ChanQc[i] = q;
        } else if (name == "TairFurther") { // channel 0-3, value (0.1 deg C)
            w >> i;
            s.TairFurther[i] = float(Real(w));
        } else if (name == "TairStat") {    // state, selected channel
            w >> td.TairStat.State >> i;
            td.TairStat.Status1 = uint8_t(i);
        } else if (name == "VI") {
            w >> v >> q;
            s.VI = int32_t(v), s.VIQc = q;
        } else if (name == "VisDevice") {
            w >> v >> q;
            td.VisDevice10 = int32_t(v), td.VisDeviceQc = q;
        } else if (name == "SnowDepth") {
            w >> v >> q;
            td.SnowDepth = int32_t(v), td.SnowDepthQc = q;
        } else if (name == "RawMinute") {
            w >> v;
            td.RawMinute = int32_t(v);
        } else if (name == "RawMaint") {
            w >> v;
            td.RawMaintMinutes = int32_t(v), td.RawMaintMode = v > 0 ? '2' : '0';
        } else if (name == "LeCalib") {
            d.LESensorCalib = float(Real(w));
        } else if (name == "LeLimits") {    // lower upper (mm)
            double lo = Real(w), hi = Real(w);
            d.Qcps[EL_LE][0] = float(lo), d.Qcps[EL_LE][1] = float(hi);
        } else if (name == "RainRunning") { // StatRain index, running sum
            w >> i >> v;
            Statistic->RainSum[i] = int32_t(v);
        } else {
            return false;
        }
        return !w.fail();
    }
};

} // namespace

TEST_F(GoldenTest, EveryMinuteInputGivesItsExactLines)
{
    for (const char *name : {"new_typical", "new_boards_type_m", "new_type_s", "new_extreme_input", "old_typical"}) {
        golden::Check(std::string(KOMAIN_TESTDATA) + "/dmgd/", name, [&](const std::string &in) { return Run(in); });
        TearDown();
    }
}
