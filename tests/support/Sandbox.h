// Test support: a fresh sandbox for the calling test process itself.
//
// Unit tests call komain's functions directly; those reach the platform
// through the seam, which must be initialised on a sandbox root first. The
// Sandbox makes the folder, initialises the seam on it with the given
// clock and kernel release, and removes it again.
#pragma once

#include <string>

namespace komain_test {

class Sandbox {
public:
    explicit Sandbox(const std::string &clock = "", const std::string &kernel = "");
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    const std::string &Root() const { return root_; }
    std::string Path(const std::string &boardPath) const { return root_ + boardPath; }
    std::string Read(const std::string &boardPath) const;
    void Write(const std::string &boardPath, const std::string &bytes) const;

private:
    std::string root_;
};

} // namespace komain_test
