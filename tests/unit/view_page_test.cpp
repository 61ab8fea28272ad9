// The day page renders in a real browser: headless Chromium takes a
// screenshot of a page of a day with a gap and suspect values, and the
// screenshot, decoded by the browser itself in a canvas, must be far from
// blank; the browser's own DOM must hold the six plots with their lines,
// the QC marks and the hourly table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "View.h"
#include "support/Sandbox.h"

namespace {

constexpr const char *kChromium = "/usr/bin/chromium";

// A day of records: sine-shaped values, an hour with no records at all,
// suspect values ('1') every 97th minute.
ViewDay Day(const char *tag, int slots, int gapFrom, int gapTo)
{
    ViewDay d;
    d.kind = ViewKindByTag(tag);
    d.year = 2026, d.mon = 6, d.day = 30;
    d.columns = ViewElementColumns(tag, false);
    for (int s = 0; s < slots; ++s) {
        if (s >= gapFrom && s < gapTo)
            continue;
        ViewRow r;
        r.slot = s;
        char t[64];
        std::snprintf(t, sizeof t, "2026-06-30T%02d:%02d:00", slots == 24 ? s : s / 60, slots == 24 ? 0 : s % 60);
        r.time = t;
        for (std::size_t c = 0; c < d.columns.size(); ++c) {
            double x = std::sin(s * 6.283 / slots + double(c));
            r.cells.push_back({int32_t(500 + 400 * x), true, s % 97 == 5 ? '1' : '0', ""});
        }
        d.rows.push_back(r);
    }
    return d;
}

std::string Chromium(const std::string &args, const std::string &out)
{
    std::string cmd = std::string("timeout 60 ") + kChromium + " --headless --no-sandbox --disable-gpu --disable-dev-shm-usage " +
                      "--hide-scrollbars " + args + " >" + out + " 2>/dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream in(out, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(ViewPage, RendersInChromium)
{
    if (access(kChromium, X_OK) != 0)
        GTEST_SKIP() << kChromium << " is not installed";
    komain_test::Sandbox sb;
    const std::string dir = sb.Root(), page = dir + "/day.html", shot = dir + "/day.png";
    const std::string profile = " --user-data-dir=" + dir + "/profile ";
    {
        std::ofstream out(page);
        ViewPage(out, Day("DMGD", 1440, 600, 660), Day("DMRD", 1440, 0, 0), Day("DHGD", 24, 10, 11),
                 ViewZone{"+08:00"});
    }

    std::string dom = Chromium(profile + "--dump-dom file://" + page, dir + "/dom.html");
    auto count = [&](const std::string &what) {
        std::size_t n = 0;
        for (std::size_t at = dom.find(what); at != std::string::npos; at = dom.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("<svg"), 6u);
    EXPECT_GE(count("class=\"series\""), 8u);
    EXPECT_GE(count("class=\"qc\""), 20u);
    EXPECT_EQ(count("<tr>"), 24u);   // header and 23 hours
    EXPECT_NE(dom.find("UTC+08:00"), std::string::npos);

    Chromium(profile + "--window-size=800,1400 --screenshot=" + shot + " file://" + page, dir + "/shot.log");
    // The browser decodes the screenshot and counts the pixels that differ
    // from the top-left one (the page's background).
    {
        std::ofstream w(dir + "/ink.html");
        w << "<!DOCTYPE html><html><body><p id=\"ink\">none</p><script>var i=new Image();i.onload=function(){"
             "var c=document.createElement('canvas');c.width=i.width;c.height=i.height;var x=c.getContext('2d');"
             "x.drawImage(i,0,0);var d=x.getImageData(0,0,i.width,i.height).data,n=0;for(var k=0;k<d.length;k+=4)"
             "if(d[k]!=d[0]||d[k+1]!=d[1]||d[k+2]!=d[2])n++;document.getElementById('ink').textContent="
             "'ink '+n+' of '+(d.length/4);};i.src='day.png';</script></body></html>\n";
    }
    std::string ink = Chromium(profile + "--allow-file-access-from-files --virtual-time-budget=5000 --dump-dom file://" + dir + "/ink.html", dir + "/ink.out");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(ink, m, std::regex("ink ([0-9]+) of ([0-9]+)"))) << ink.substr(0, 300);
    long inked = std::atol(m[1].str().c_str()), all = std::atol(m[2].str().c_str());
    EXPECT_EQ(all, 800 * 1400);
    EXPECT_GT(inked, all / 20) << "the screenshot is nearly blank";
}
