// The cluster settings in the root key.
#include "cluster/cluster_settings.h"

#include "jobs/job_store.h"
#include "store/key_store.h"
#include "store/paths.h"

#include <charconv>

namespace cluster {

namespace {

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

} // namespace

std::vector<std::string> ResourceArguments(store::KeyStore& store, int position,
                                           const ClusterSettings& settings) {
    std::string partition;
    std::string timeLimit;
    int cpus = 0;
    jobs::GetJobString(store, position, kJobPartition, jobs::kWholeValue, partition);
    jobs::GetJobString(store, position, kJobTimeLimit, jobs::kWholeValue, timeLimit);
    jobs::GetJobNumber(store, position, kJobCpus, cpus);
    partition = Trim(partition).empty() ? settings.m_Partition : Trim(partition);
    std::vector<std::string> arguments;
    if (!partition.empty()) {
        arguments.insert(arguments.end(), {"-p", partition});
    }
    arguments.insert(arguments.end(), settings.m_SbatchOptions.begin(),
                     settings.m_SbatchOptions.end());
    if (!Trim(timeLimit).empty()) {
        arguments.push_back("--time=" + Trim(timeLimit));
    }
    if (cpus > 0) {
        arguments.push_back("--cpus-per-task=" + std::to_string(cpus));
    }
    return arguments;
}

std::vector<std::string> SplitArgumentLines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = Trim(text.substr(start, end - start));
        if (!line.empty()) {
            out.push_back(line);
        }
        start = end + 1;
    }
    return out;
}

std::string JoinArgumentLines(const std::vector<std::string>& arguments) {
    std::string out;
    for (const std::string& a : arguments) {
        if (!out.empty()) {
            out += '\n';
        }
        out += a;
    }
    return out;
}

int ParseMaxJobs(const std::string& text, int fallback) {
    std::string t = Trim(text);
    int value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || value < 1 ||
        value > kMaxMaxJobs) {
        return fallback;
    }
    return value;
}

ClusterSettings ReadClusterSettings(store::KeyStore& store) {
    ClusterSettings s;
    store::Key root = store.OpenKey(store::kHive, store::kRootPath, store::Access::Read);
    if (!root) {
        return s;
    }
    uint32_t number = 0;
    if (store.ReadNumber(root, "", kRunOn, number)) {
        s.m_UseSlurm = number == kRunOnSlurm;
    }
    store.ReadString(root, "", kSlurmPartition, static_cast<size_t>(-1), s.m_Partition);
    if (store.ReadNumber(root, "", kSlurmMaxJobs, number) && number >= 1 &&
        number <= static_cast<uint32_t>(kMaxMaxJobs)) {
        s.m_MaxJobs = static_cast<int>(number);
    }
    std::string options;
    if (store.ReadString(root, "", kSlurmOptions, static_cast<size_t>(-1), options)) {
        s.m_SbatchOptions = SplitArgumentLines(options);
    }
    store.CloseKey(root);
    return s;
}

bool WriteClusterSettings(store::KeyStore& store, const ClusterSettings& s) {
    store::Key root = store.CreateKey(store::kHive, store::kRootPath);
    if (!root) {
        return false;
    }
    store::KeyStore::Transaction unit(store);
    bool ok = store.WriteNumber(root, "", kRunOn, s.m_UseSlurm ? kRunOnSlurm : kRunOnThisMachine) &&
              store.WriteString(root, "", kSlurmPartition, s.m_Partition) &&
              store.WriteNumber(root, "", kSlurmMaxJobs, static_cast<uint32_t>(s.m_MaxJobs)) &&
              store.WriteString(root, "", kSlurmOptions, JoinArgumentLines(s.m_SbatchOptions));
    ok = ok && unit.Commit();
    store.CloseKey(root);
    return ok;
}

} // namespace cluster
