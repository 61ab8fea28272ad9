#include "support/Sandbox.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/Transplant.h"
#include "support/Station.h"

namespace fs = std::filesystem;

namespace komain_test {

Sandbox::Sandbox(const std::string &clock, const std::string &kernel)
{
    char tmpl[] = "/tmp/komain-unit.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    root_ = fs::canonical(tmpl).string();
    setenv("KOMAIN_ROOT", root_.c_str(), 1);
    setenv("TZ", "UTC0", 1);
    tzset();
    if (clock.empty())
        unsetenv("KOMAIN_CLOCK");
    else
        setenv("KOMAIN_CLOCK", clock.c_str(), 1);
    if (kernel.empty())
        unsetenv("KOMAIN_KERNEL");
    else
        setenv("KOMAIN_KERNEL", kernel.c_str(), 1);
    if (TransplantInit() != 0)
        std::abort();
}

Sandbox::~Sandbox()
{
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string Sandbox::Read(const std::string &boardPath) const { return ReadHostFile(Path(boardPath)); }

void Sandbox::Write(const std::string &boardPath, const std::string &bytes) const
{
    WriteHostFile(Path(boardPath), bytes);
}

} // namespace komain_test
