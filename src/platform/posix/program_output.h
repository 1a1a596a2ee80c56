// Runs a program to its end and takes what it printed: for short command-line tools.
#pragma once

#include <string>
#include <vector>

namespace platform {

inline constexpr size_t kMaxProgramOutput = 4 * 1024 * 1024;

// Runs `argv` (no shell; a name without "/" is searched in PATH) with standard input from the
// null device and standard output and error both into `output` (at most kMaxProgramOutput
// bytes are kept), and waits for it to end. A program still going after `timeoutMs`
// milliseconds (0: no limit) is killed with its whole process group (it runs in one of its own).
// Returns false with the reason in `output` when it could not be started or was killed for its
// time; otherwise `status` is its exit status, or 128 + the signal that ended it.
bool RunProgram(const std::vector<std::string>& argv, std::string& output, int& status,
                int timeoutMs = 0);

} // namespace platform
