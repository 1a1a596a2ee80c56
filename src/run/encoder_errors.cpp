// Keeping the encoder's error lines of a job and reporting them when it fails.
#include "run/encoder_errors.h"

#include "jobs/job_last_error.h"
#include "log/log.h"

namespace run {

namespace {

constexpr const char* kEncoderMark = "ERROR: ";
constexpr const char* kRunnerMark = "EclCCE: ERROR: ";

bool StartsWith(const std::string& text, const char* head) {
    return text.rfind(head, 0) == 0;
}

} // namespace

void EncoderErrors::Feed(const std::string& line) {
    if (!StartsWith(line, kEncoderMark) && !StartsWith(line, kRunnerMark)) {
        return;
    }
    std::string kept = line.substr(0, kMaxLineLength);
    while (!kept.empty() && (kept.back() == '\r' || kept.back() == '\n')) {
        kept.pop_back();
    }
    if (m_Lines.size() == kMaxLines) {
        m_Lines.erase(m_Lines.begin());
    }
    m_Lines.push_back(std::move(kept));
}

std::string EncoderErrors::Reason() const {
    if (m_Lines.empty()) {
        return std::string();
    }
    const std::string& last = m_Lines.back();
    if (StartsWith(last, kRunnerMark)) {
        return "EclCCE: " + last.substr(std::string(kRunnerMark).size());
    }
    return last.substr(std::string(kEncoderMark).size());
}

void RecordEncodeFailure(const EncoderErrors& errors, const std::string& checkProblem,
                         logging::Log& log, store::KeyStore& store, int job) {
    for (const std::string& line : errors.Lines()) {
        log.Write("  Encoder: " + line, logging::kLogError);
    }
    std::string reason = errors.Reason();
    if (reason.empty()) {
        reason = checkProblem;
    }
    if (job >= 0 && !reason.empty() && !jobs::SetJobLastError(store, job, reason)) {
        log.Write("  WARNING: The reason of the failure could not be stored with the job.",
                  logging::kLogWarning);
    }
}

} // namespace run
