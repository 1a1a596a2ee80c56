// Finding jobs that write the same output stream.
#include "run/output_clash.h"

#include "jobs/job_record.h"
#include "jobs/job_store.h"
#include "platform/files.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace run {
namespace {

std::string Resolved(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

std::string JobName(store::KeyStore& store, int position) {
    std::string name;
    jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, name);
    return name;
}

// The first other job whose stream resolves to `stream`, with status `status` when not empty.
// A job's stream is named after its source's file stem, so only the jobs whose source has the
// stem of `stream` (or of where it resolves to) are read.
int OtherJobWriting(store::KeyStore& store, const env::Settings& settings, int position,
                    const std::string& stream, const char* status, std::string& otherJob) {
    if (stream.empty()) {
        return -1;
    }
    std::string target = Resolved(stream);
    int count = jobs::JobCount(store);
    std::vector<int> candidates = jobs::JobsWithSourceStem(store, stream, count);
    if (target != stream) {
        std::vector<int> more = jobs::JobsWithSourceStem(store, target, count);
        candidates.insert(candidates.end(), more.begin(), more.end());
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    }
    for (int q : candidates) {
        if (q == position) {
            continue;
        }
        if (status != nullptr) {
            std::string s;
            jobs::GetJobString(store, q, jobs::kStatus, jobs::kWholeValue, s);
            if (s != status) {
                continue;
            }
        }
        std::string other = JobStreamPath(store, settings, q);
        if (!other.empty() && Resolved(other) == target) {
            otherJob = JobName(store, q);
            return q;
        }
    }
    return -1;
}

} // namespace

std::string JobStreamPath(store::KeyStore& store, const env::Settings& settings, int position) {
    std::string input;
    jobs::GetJobString(store, position, jobs::kInput, jobs::kWholeValue, input);
    if (input.empty() || input[0] != '/') {
        return std::string();
    }
    return ecl::ReplaceExtension(ecl::OutputBase(settings, input), ".mpv");
}

int FindOutputClash(store::KeyStore& store, const env::Settings& settings, int position,
                    std::string& otherJob) {
    return OtherJobWriting(store, settings, position, JobStreamPath(store, settings, position),
                           nullptr, otherJob);
}

bool OutputClashes(store::KeyStore& store, const env::Settings& settings, int position,
                   const ecl::EclState& ecl, std::string& otherJob, std::string& logLine) {
    int replace = 0;
    if (jobs::GetJobNumber(store, position, kReplaceOutput, replace) && replace == 1) {
        return false;
    }
    platform::FileFacts facts;
    if (ecl.m_OutputPath.empty() || !platform::RegularFileFacts(ecl.m_OutputPath, facts)) {
        return false;
    }
    if (OtherJobWriting(store, settings, position, ecl.m_OutputPath, jobs::kStatusComplete,
                        otherJob) < 0) {
        return false;
    }
    logLine = "  ERROR: Job " + JobName(store, position) + " would write " + ecl.m_OutputPath +
              ", the output of the completed job " + otherJob +
              "; not encoded. Change its name or output folder, or choose to replace that "
              "output.";
    return true;
}

} // namespace run
