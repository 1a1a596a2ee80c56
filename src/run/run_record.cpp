// The run values of a job's key: writing, reading and clearing them, and finding a job by them.
#include "run/run_record.h"

#include "jobs/job_store.h"
#include "store/key_store.h"

#include <atomic>
#include <charconv>
#include <sstream>
#include <unistd.h>

namespace run {

// The run's marks are the values the store indexes for finding them.
static_assert(std::string_view(kRunKeyValue) == store::KeyStore::kMarkedValueNames[0]);
static_assert(std::string_view(kRunHandleValue) == store::KeyStore::kMarkedValueNames[1]);

namespace {

constexpr const char* kLocal = "local";
constexpr const char* kSlurm = "slurm";

// The value of "name=" among the blank-separated fields of `text`; empty when absent.
std::string Field(const std::string& text, const std::string& name) {
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word.size() > name.size() && word.compare(0, name.size(), name) == 0 &&
            word[name.size()] == '=') {
            return word.substr(name.size() + 1);
        }
    }
    return std::string();
}

template <typename Number> bool ToNumber(const std::string& text, Number& number) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// A text value without blanks, for the handle's fields.
bool Plain(const std::string& text) {
    return !text.empty() && text.find_first_of(" \t\r\n=") == std::string::npos;
}

} // namespace

std::string NewRunKey(int64_t now) {
    static std::atomic<unsigned> counter{0};
    return std::to_string(now) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

std::string FormatHandle(const RunRecord& record) {
    switch (record.where) {
    case RunWhere::kLocal:
        return std::string(kLocal) + " pid=" + std::to_string(record.runner.pid) +
               " start=" + std::to_string(record.runner.startTicks) +
               " boot=" + (Plain(record.runner.bootId) ? record.runner.bootId : "-") +
               " part=" + std::to_string(record.part);
    case RunWhere::kSlurm:
        // Before sbatch has answered the job is known by its run key alone.
        return Plain(record.slurmId)    ? std::string(kSlurm) + " id=" + record.slurmId
               : record.slurmId.empty() ? std::string(kSlurm) + " submitting"
                                        : std::string();
    case RunWhere::kNone:
        break;
    }
    return std::string();
}

bool ParseHandle(const std::string& text, RunRecord& record) {
    record.where = RunWhere::kNone;
    std::string kind = text.substr(0, text.find(' '));
    if (kind == kLocal) {
        int pid = 0;
        uint64_t start = 0;
        int part = 0;
        if (!ToNumber(Field(text, "pid"), pid) || pid <= 1 ||
            !ToNumber(Field(text, "start"), start) || !ToNumber(Field(text, "part"), part) ||
            (part != 1 && part != 2)) {
            return false;
        }
        record.runner.pid = pid;
        record.runner.startTicks = start;
        record.runner.bootId = Field(text, "boot");
        record.part = part;
        record.where = RunWhere::kLocal;
        return true;
    }
    if (kind == kSlurm) {
        record.slurmId = Field(text, "id");
        if (!Plain(record.slurmId) && text != std::string(kSlurm) + " submitting") {
            return false;
        }
        record.where = RunWhere::kSlurm;
        return true;
    }
    return false;
}

bool SaveRunRecord(store::KeyStore& store, int position, const RunRecord& record) {
    store::KeyStore::Transaction unit(store);
    const ecl::EclState& e = record.ecl;
    std::string flags = std::string(e.m_VideoOut ? "video" : "") + (e.m_VafOut ? " analysis" : "");
    return unit.Ok() && jobs::SetJobString(store, position, kRunKeyValue, record.key) &&
           jobs::SetJobString(store, position, kRunHandleValue, FormatHandle(record)) &&
           jobs::SetJobString(store, position, kRunEclValue, record.eclPath) &&
           jobs::SetJobString(store, position, kRunSourceValue, e.m_SourcePath) &&
           jobs::SetJobString(store, position, kRunOutputValue, e.m_OutputPath) &&
           jobs::SetJobString(store, position, kRunVafValue, e.m_VafPath) &&
           jobs::SetJobString(store, position, kRunFramesValue, std::to_string(e.m_SourceFrames)) &&
           jobs::SetJobString(store, position, kRunFlagsValue, flags) &&
           jobs::SetJobString(store, position, kRunStartedValue,
                              std::to_string(record.jobStartTime) + " " +
                                  std::to_string(record.processStartTime)) &&
           unit.Commit();
}

bool LoadRunRecord(store::KeyStore& store, int position, RunRecord& record) {
    record = RunRecord();
    if (!jobs::GetJobString(store, position, kRunKeyValue, jobs::kWholeValue, record.key) ||
        record.key.empty()) {
        return false;
    }
    std::string handle, frames, flags, started;
    jobs::GetJobString(store, position, kRunHandleValue, jobs::kWholeValue, handle);
    ParseHandle(handle, record);
    ecl::EclState& e = record.ecl;
    jobs::GetJobString(store, position, kRunEclValue, jobs::kWholeValue, record.eclPath);
    jobs::GetJobString(store, position, kRunSourceValue, jobs::kWholeValue, e.m_SourcePath);
    jobs::GetJobString(store, position, kRunOutputValue, jobs::kWholeValue, e.m_OutputPath);
    jobs::GetJobString(store, position, kRunVafValue, jobs::kWholeValue, e.m_VafPath);
    jobs::GetJobString(store, position, kRunFramesValue, jobs::kWholeValue, frames);
    jobs::GetJobString(store, position, kRunFlagsValue, jobs::kWholeValue, flags);
    jobs::GetJobString(store, position, kRunStartedValue, jobs::kWholeValue, started);
    ToNumber(frames, e.m_SourceFrames);
    e.m_VideoOut = flags.find("video") != std::string::npos;
    e.m_VafOut = flags.find("analysis") != std::string::npos;
    size_t blank = started.find(' ');
    if (blank != std::string::npos) {
        ToNumber(started.substr(0, blank), record.jobStartTime);
        ToNumber(started.substr(blank + 1), record.processStartTime);
    }
    return true;
}

bool ClearRunRecord(store::KeyStore& store, int position) {
    // Removed, not emptied: the store indexes the jobs holding a run's marks, and that index
    // must stay as short as the list of jobs a run has taken.
    store::Key key =
        position >= 0 ? store.OpenKey(store::kHive, jobs::JobKeyPath(position), store::Access::All)
                      : store::Key();
    return key && store.DeleteValues(key, {kRunKeyValue, kRunHandleValue, kRunEclValue,
                                           kRunSourceValue, kRunOutputValue, kRunVafValue,
                                           kRunFramesValue, kRunFlagsValue, kRunStartedValue});
}

int FindJobByRunKey(store::KeyStore& store, const std::string& key, int hint) {
    if (key.empty()) {
        // A job that could not be marked is known by its position only.
        return hint;
    }
    auto holds = [&](int position) {
        std::string text;
        return jobs::GetJobString(store, position, kRunKeyValue, jobs::kWholeValue, text) &&
               text == key;
    };
    if (hint >= 0 && holds(hint)) {
        return hint;
    }
    for (int position : jobs::JobsHoldingValue(store, kRunKeyValue, jobs::JobCount(store))) {
        if (position != hint && holds(position)) {
            return position;
        }
    }
    return -1;
}

std::string RunnerOutputPath(const std::string& eclPath) {
    static const std::string kEcl = ".ecl";
    if (eclPath.size() > kEcl.size() &&
        eclPath.compare(eclPath.size() - kEcl.size(), kEcl.size(), kEcl) == 0) {
        return eclPath.substr(0, eclPath.size() - kEcl.size()) + ".run.log";
    }
    return eclPath + ".run.log";
}

} // namespace run
