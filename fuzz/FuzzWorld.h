// The world every fuzz target runs in: one sandbox for the whole fuzzing
// process (removed at exit), the station's segments as plain memory with
// the factory parameters, and a reboot that unwinds to the target instead
// of ending the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Thrown where the station would reboot.
struct Rebooted {};

// Sets the world up on the first call.
void World();

// Writes bytes to a board path in the sandbox (folders made as needed).
void WriteBoardFile(const char *boardPath, const uint8_t *data, std::size_t size);

// The input as a NUL-terminated line of at most max characters.
std::string Line(const uint8_t *data, std::size_t size, std::size_t max);

} // namespace fuzz
