// The runner's work: show or change its profile file, and run the encoder on a control list.
#pragma once

#include "env/user_files.h"

#include <string>

namespace eclcce {

// Exit statuses of the runner's own failures; otherwise it ends with the encoder's status.
enum ExitCode {
    kExitUsage = 2,       // unknown arguments
    kExitProfile = 10,    // EclCCE.ini missing, unreadable or without a CCE key
    kExitEncoder = 11,    // the encoder named by CCE is missing or cannot be started
    kExitList = 12,       // the control list is missing
    kExitWriteFailed = 13 // the profile could not be written
};

inline constexpr const char* kSection = "EclCCE";

// How long the encoder may take to end after a termination signal before it is killed. Shorter
// than the grace Vantaq gives the runner itself, so that the runner can still clean up.
inline constexpr unsigned kEncoderGraceSeconds = 5;

// What the profile holds.
struct Profile {
    bool hasCce = false;
    std::string cce;
    bool hasPriority = false;
    std::string priority;
};
Profile ReadProfile(const std::string& iniPath);

// Writes CCE = `encoderPath` (made absolute) and Priority = "64" (idle) or "-1" (default) into
// the profile's `writePath`, keeping its other lines. False with the reason in `error`.
bool SaveProfile(const env::RunnerProfile& profile, const std::string& encoderPath, bool idle,
                 std::string& error);

// `path` made absolute against the working folder (as it is when that fails).
std::string AbsolutePath(const std::string& path);

// True for a regular file this process may execute.
bool IsExecutableFile(const std::string& path);

// Prints where the profile is (and where changes go, when elsewhere), what it holds and how to
// point it at an encoder. Returns 0.
int ShowConfiguration(const env::RunnerProfile& profile, const std::string& selfPath);

// Writes the key CCE = `encoderPath` (made absolute) into the profile's `writePath`, creating
// it when needed. Warns when no executable file is there yet. Returns 0 or kExitWriteFailed.
int SetEncoder(const env::RunnerProfile& profile, const std::string& encoderPath);

// Reads CCE and Priority from the profile and runs the encoder on `eclPath` (a regular file of
// at most kMaxEclBytes): Priority "64" runs it at nice 19 with the idle I/O class, "-1" (or
// none) at the runner's own priority. The encoder's stdout and stderr are passed to stdout
// line by line as they come; when that output's reader has gone, the lines are dropped and
// the encode goes on. Returns when the encoder has ended, with its exit status (128 + signal
// when a signal ended it). The encoder gets SIGTERM when the runner dies, by whatever signal.
// A termination signal to the runner is passed to the encoder's whole process group, which is
// killed when it is still there kEncoderGraceSeconds later; then the runner removes the
// unfinished files the encoder left. Stopped by a signal, the runner returns 128 + it.
int RunBatch(const std::string& iniPath, const std::string& eclPath);

} // namespace eclcce
