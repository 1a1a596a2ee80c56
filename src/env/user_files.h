// Where the program's own writable files go: beside the program while its folder takes new
// files (a program folder of its own), else in the user's folders (an installed, shared one).
#pragma once

#include <string>

namespace env {

// The folder below the user's XDG config and state folders.
inline constexpr const char* kUserFolderName = "vantaq";

// The log file of the program at `programPath`: the program's path with ".log" (see
// DeriveProgramFile) while the program's folder is writable, else the same file name in
// $XDG_STATE_HOME/vantaq (~/.local/state/vantaq). Empty for an empty path. The folder is not
// created here.
std::string ChooseLogFile(const std::string& programPath);

// The runner's profile (EclCCE.ini): the file read, and the file a change is written to.
struct RunnerProfile {
    std::string path;      // read; empty when the runner is unknown
    std::string writePath; // `path` itself, or the user's own copy in $XDG_CONFIG_HOME/vantaq
};

// The profile of the runner at `runnerPath`. While the runner's folder is writable, the file
// beside it (its path with ".ini") for reading and writing. Otherwise changes go to the same
// file name in $XDG_CONFIG_HOME/vantaq (~/.config/vantaq), which is also read once it exists;
// until then the file beside the runner is read.
RunnerProfile LocateRunnerProfile(const std::string& runnerPath);

// Sets `key` of `section` in the profile's `writePath` (as WriteProfileString). The first change
// to the user's own copy starts it from the profile read until then, so its other keys stay in
// force. False with a readable reason in `error`.
bool WriteRunnerProfileString(const RunnerProfile& profile, const std::string& section,
                              const std::string& key, const std::string& value, std::string& error);

} // namespace env
