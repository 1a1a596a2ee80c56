// FindCceWindow: looking among the top-level windows for the encoder's window of a job.
#pragma once

#include "platform/top_level_windows.h"

#include <functional>
#include <string>

namespace run {

// The window test: `title` (taken up to 259 characters) shows the encoder at work on job
// `jobName` when, after its first character, it contains "/ " followed by the name, or else
// "scoding".
bool IsCceWindowTitle(const std::string& title, const std::string& jobName);

// Sleeps the calling thread for the given milliseconds; tests pass one that records.
using SleepFunction = std::function<void(int milliseconds)>;

// The real wait: blocks the calling thread.
void SleepMilliseconds(int milliseconds);

// Up to `tries` times: waits 500 ms, then tests every window of `windows`; the last match
// of a visit is stored in `cceWindow` and ends the search. Returns the number of tries made
// when a window was found, else 0 (and `cceWindow` is kNoWindow). Blocks for up to
// 500 ms x tries.
int FindCceWindow(int tries, const std::string& jobName, platform::TopLevelWindows& windows,
                  const SleepFunction& sleep, platform::WindowId& cceWindow);

} // namespace run
