// Finding jobs that write the same output stream.
#include "run/output_clash.h"

#include "jobs/job_record.h"
#include "jobs/job_store.h"
#include "platform/files.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace run {
namespace {

std::string ClashResolved(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

std::string ClashJobName(store::KeyStore& store, int position) {
    std::string name;
    jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, name);
    return name;
}

// The jobs whose source has the stem of `path` or, for a numbered name "<stem>.<n>.<ext>", of
// "<stem>": the only ones whose files can have that name.
std::vector<int> JobsNamedLike(store::KeyStore& store, const std::string& path, int count) {
    std::vector<int> found;
    for (const std::string& p : {path, ecl::ReplaceExtension(path, "")}) {
        std::vector<int> more = jobs::JobsWithSourceStem(store, p, count);
        found.insert(found.end(), more.begin(), more.end());
    }
    return found;
}

// The first other job whose stream resolves to `stream`, with status `status` when not empty.
// A job's stream is named after its source's file stem, so only the jobs whose source has the
// stem of `stream` (or of where it resolves to) are read.
int OtherJobWriting(store::KeyStore& store, const env::Settings& settings, int position,
                    const std::string& stream, const char* status, std::string& otherJob) {
    if (stream.empty()) {
        return -1;
    }
    std::string target = ClashResolved(stream);
    int count = jobs::JobCount(store);
    std::vector<int> candidates = JobsNamedLike(store, stream, count);
    if (target != stream) {
        std::vector<int> more = JobsNamedLike(store, target, count);
        candidates.insert(candidates.end(), more.begin(), more.end());
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
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
        if (!other.empty() && ClashResolved(other) == target) {
            otherJob = ClashJobName(store, q);
            return q;
        }
    }
    return -1;
}

// The rows of `positions` (ascending), each run of neighbours read in one query.
std::vector<jobs::JobRow> ClashRowsAt(store::KeyStore& store, const std::vector<int>& positions) {
    std::vector<jobs::JobRow> rows;
    for (size_t k = 0; k < positions.size();) {
        size_t end = k + 1;
        while (end < positions.size() && positions[end] == positions[end - 1] + 1) {
            ++end;
        }
        for (jobs::JobRow& row :
             jobs::ReadJobPage(store, positions[k], positions[end - 1] - positions[k] + 1)) {
            rows.push_back(std::move(row));
        }
        k = end;
    }
    return rows;
}

// The lowest number n, 0 (the plain name, when `plainToo`) or 2, 3, ..., whose file
// `pathOf(n)` is no job's file `fileOf(row)` and, with `onDisk`, is not there yet. The jobs of
// the plain name's stem are read once, in runs of neighbours, whatever number is tried, and
// each of their folders is resolved once: a list that names one source many times costs one
// indexed pass over its jobs per new job.
int LowestFreeNumber(store::KeyStore& store, const std::function<std::string(int)>& pathOf,
                     const std::function<std::string(const jobs::JobRow&)>& fileOf,
                     const std::function<bool(const std::string&)>& onDisk, bool plainToo) {
    const int count = jobs::JobCount(store);
    std::map<std::string, std::string> folders;
    auto resolved = [&folders](const std::string& path) {
        const size_t nameStart = path.rfind('/') + 1;
        auto [at, added] = folders.emplace(path.substr(0, nameStart), std::string());
        if (added) {
            at->second = ClashResolved(at->first);
            if (at->second.empty() || at->second.back() != '/') {
                at->second += '/';
            }
        }
        return at->second + path.substr(nameStart);
    };
    std::vector<int> candidates = JobsNamedLike(store, pathOf(0), count);
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    std::set<std::string> taken;
    for (const jobs::JobRow& row : ClashRowsAt(store, candidates)) {
        std::string file = fileOf(row);
        if (!file.empty()) {
            taken.insert(resolved(file));
        }
    }
    auto isFree = [&](int n) {
        const std::string path = pathOf(n);
        const std::string target = resolved(path);
        if (taken.count(target) != 0 || (onDisk && onDisk(path))) {
            return false;
        }
        // Sources whose own stem is "<stem>.<n>" have that name without a number.
        for (const jobs::JobRow& row :
             ClashRowsAt(store, jobs::JobsWithSourceStem(store, path, count))) {
            std::string file = fileOf(row);
            if (!file.empty() && resolved(file) == target) {
                return false;
            }
        }
        return true;
    };
    if (plainToo && isFree(0)) {
        return 0;
    }
    int n = 2;
    while (!isFree(n)) {
        ++n;
    }
    return n;
}

} // namespace

std::string JobStreamPath(store::KeyStore& store, const env::Settings& settings, int position) {
    std::string base = ecl::JobOutputBase(store, settings, position);
    return base.empty() ? base : ecl::ReplaceExtension(base, ".mpv");
}

int FindOutputClash(store::KeyStore& store, const env::Settings& settings, int position,
                    std::string& otherJob) {
    return OtherJobWriting(store, settings, position, JobStreamPath(store, settings, position),
                           nullptr, otherJob);
}

int FindNewJobOutputClash(store::KeyStore& store, const env::Settings& settings,
                          const std::string& input, int outputNumber, std::string& otherJob) {
    if (input.empty() || input[0] != '/') {
        return -1;
    }
    std::string stream =
        ecl::ReplaceExtension(ecl::OutputBase(settings, input, outputNumber), ".mpv");
    return OtherJobWriting(store, settings, -1, stream, nullptr, otherJob);
}

int FreeOutputNumber(store::KeyStore& store, const env::Settings& settings,
                     const std::string& input) {
    auto streamOf = [&](const std::string& source, int n) {
        return !source.empty() && source[0] == '/'
                   ? ecl::ReplaceExtension(ecl::OutputBase(settings, source, n), ".mpv")
                   : std::string();
    };
    return LowestFreeNumber(
        store, [&](int n) { return streamOf(input, n); },
        [&](const jobs::JobRow& row) { return streamOf(row.input, row.outputNumber); },
        [](const std::string& stream) {
            platform::FileFacts facts;
            return platform::RegularFileFacts(stream, facts) ||
                   platform::RegularFileFacts(stream + ".m2v", facts);
        },
        false);
}

int FreeEclNumber(store::KeyStore& store, const std::string& input) {
    if (input.empty() || input[0] != '/') {
        return 0;
    }
    return LowestFreeNumber(
        store, [&](int n) { return ecl::EclPathFor(input, n); },
        [](const jobs::JobRow& row) {
            return !row.input.empty() && row.input[0] == '/'
                       ? ecl::EclPathFor(row.input, row.eclNumber)
                       : std::string();
        },
        nullptr, true);
}

bool OutputClashes(store::KeyStore& store, const env::Settings& settings, int position,
                   const ecl::EclState& ecl, std::string& otherJob, std::string& reason) {
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
    reason = "Job " + ClashJobName(store, position) + " would write " + ecl.m_OutputPath +
             ", the output of the completed job " + otherJob +
             "; not encoded. Change its name or output folder, or choose to replace that "
             "output.";
    return true;
}

} // namespace run
