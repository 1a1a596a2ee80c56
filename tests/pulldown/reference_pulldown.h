// A plain bit-at-a-time pulldown pass, the yardstick the fast processor is compared with.
#pragma once

#include "pulldown/pulldown.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pulldown_test {

// Everything a run reports.
struct RunRecord {
    int code = -1;
    std::vector<std::pair<std::string, int>> lines; // text, level
    std::vector<int64_t> updates;
    int finishedCalls = 0;
};

// The lines of `run` with the target path of the "  TARGET = " line replaced by "*", so that
// runs into different target files compare equal.
std::vector<std::pair<std::string, int>> LinesWithoutTarget(const RunRecord& run);

// Runs the reference pass from `source` to `target`. It reads through a 32,768-byte block
// buffer one bit per call, rewrites bits in that buffer and writes each block once passed,
// exactly as the processor is meant to behave; the "Time taken" line always says 0 seconds.
RunRecord RunReference(const std::string& source, const std::string& target,
                       const pulldown::PulldownOptions& options);

// Runs the fast processor with a clock stopped at 0, recording the same things.
RunRecord RunFast(const std::string& source, const std::string& target,
                  const pulldown::PulldownOptions& options);

} // namespace pulldown_test
