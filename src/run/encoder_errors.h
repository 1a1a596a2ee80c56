// The error lines of the runner and the encoder during one job, and their report when the job
// fails: in the log under the job and as the job's last failure.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace logging {
class Log;
}
namespace store {
class KeyStore;
}

namespace run {

// Collects the error lines among the runner's output lines: the encoder's "ERROR: ..." and
// the runner's own "EclCCE: ERROR: ...". Keeps the last kMaxLines of them, each cut to
// kMaxLineLength characters.
class EncoderErrors {
public:
    static constexpr size_t kMaxLines = 5;
    static constexpr size_t kMaxLineLength = 500;

    // Forgets the lines of an earlier job.
    void Clear() { m_Lines.clear(); }
    // One output line of the runner, as it came (any line; only error lines are kept).
    void Feed(const std::string& line);
    const std::vector<std::string>& Lines() const { return m_Lines; }
    // The last error line without its "ERROR: " marker, or "" when there was none.
    std::string Reason() const;

private:
    std::vector<std::string> m_Lines;
};

// Reports a failed encode of job `job`: logs each kept line as "  Encoder: LINE" (error
// level), then stores the reason as the job's last failure: the encoder's own (Reason()),
// else `checkProblem` (what the run's check of the outputs found). A refused store write is
// logged as a warning; the run goes on.
void RecordEncodeFailure(const EncoderErrors& errors, const std::string& checkProblem,
                         logging::Log& log, store::KeyStore& store, int job);

} // namespace run
