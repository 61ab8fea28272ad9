// The script runner of the golden-file tests: NAME.in is a list of command
// lines (blank lines and "#" comments ignored), the fixture turns each one
// into state or output, and the output must equal NAME.out byte for byte.
//
// KOMAIN_GOLDEN_UPDATE=1 rewrites the .out files from the current code. A
// renewed .out is a claim about the files, not a snapshot of the code:
// review it line by line against its .in before it is committed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "dmgd_fixture.h"
#include "sampling/Sensortable.h"
#include "support/Station.h"

namespace golden {

// Calls step(cmd, words) per command line; step returns false on a line
// it does not know.
template <typename Step>
void ForEachLine(const std::string &script, Step step)
{
    std::istringstream in(script);
    std::string line;
    for (int no = 1; std::getline(in, line); ++no) {
        line.erase(std::min(line.find('#'), line.size()));
        std::istringstream w(line);
        std::string cmd;
        if (!(w >> cmd))
            continue;
        SCOPED_TRACE("input line " + std::to_string(no) + ": " + line);
        if (!step(cmd, w))
            ADD_FAILURE() << "unknown or malformed input";
    }
}

// Runs DIR/NAME.in through run and compares with DIR/NAME.out.
template <typename Run>
void Check(const std::string &dir, const std::string &name, Run run)
{
    SCOPED_TRACE(name);
    std::string script = komain_test::ReadHostFile(dir + name + ".in");
    ASSERT_FALSE(script.empty()) << "missing input " << name;
    std::string got = run(script);
    if (std::getenv("KOMAIN_GOLDEN_UPDATE") != nullptr)
        std::ofstream(dir + name + ".out", std::ios::binary) << got;
    else
        EXPECT_EQ(got, komain_test::ReadHostFile(dir + name + ".out"));
}

// A value of the input; a missing one sets the stream's failbit.
template <typename T>
T Read(std::istringstream &w)
{
    T v{};
    w >> v;
    return v;
}

// "station ID", "long TEXT", "lat TEXT": NUL padded.
inline void Text(char *field, std::size_t size, std::istringstream &w)
{
    std::string v = Read<std::string>(w);
    std::memset(field, 0, size);
    std::memcpy(field, v.data(), std::min(v.size(), size));
}

struct ScriptTest : MinuteTest {
    // The lines every script knows; nullopt for any other.
    //   generation N | station ID | enable CODE... | obvalid N...
    std::optional<bool> Common(const std::string &cmd, std::istringstream &w)
    {
        if (cmd == "generation")
            defdataEx->Generation = uint8_t(Read<int>(w));
        else if (cmd == "station")
            Text(defdata->StationId, sizeof defdata->StationId, w);
        else if (cmd == "enable")
            return EnableCodes(w);
        else if (cmd == "obvalid")
            for (int n; w >> n;)
                defdata->ObValid[n] = '1';
        else
            return std::nullopt;
        return cmd == "obvalid" || !w.fail();
    }

    // Rows beyond RAT1_C are not found by SensorIndexByCode.
    bool EnableCodes(std::istringstream &w)
    {
        for (std::string code; w >> code;) {
            int i = SensorIndexByCode(code.c_str());
            for (int r = 0; r < SENSORTABLE_ROWS && i < 0; ++r)
                if (code == std::string(Sensortable[r].Code, strnlen(Sensortable[r].Code, 8)))
                    i = Sensortable[r].Index;
            if (i < 0)
                return false;
            Enable(i);
        }
        return true;
    }
};

} // namespace golden
