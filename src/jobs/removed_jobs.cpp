// Keeping removed jobs and putting them back.
#include "jobs/removed_jobs.h"

#include "jobs/job_record.h"
#include "jobs/job_store.h"
#include "store/paths.h"

#include <strings.h>

namespace jobs {

using store::Access;
using store::Key;
using store::KeyStore;
using store::kHive;

bool ReadRemovedJobs(KeyStore& store, const std::vector<int>& positions, RemovedJobs& removed) {
    removed = RemovedJobs{};
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    if (!jobsKey) {
        return false;
    }
    for (int p : positions) {
        Key key = store.OpenKey(jobsKey, std::to_string(p), Access::Read);
        std::vector<store::Value> values;
        if (!key || !store.EnumValues(key, values)) {
            removed = RemovedJobs{};
            return false;
        }
        std::string name;
        for (const store::Value& v : values) {
            if (strcasecmp(v.name.c_str(), kName) == 0 && v.type == store::kTypeString) {
                name = v.data.substr(0, v.data.find('\0'));
            }
        }
        removed.positions.push_back(p);
        removed.values.push_back(std::move(values));
        removed.names.push_back(std::move(name));
    }
    return true;
}

bool RestoreRemovedJobs(KeyStore& store, const RemovedJobs& removed, std::vector<int>& at) {
    at.clear();
    if (removed.positions.empty()) {
        return true;
    }
    KeyStore::Transaction unit(store);
    Key jobsKey = unit.Ok() ? store.CreateKey(kHive, store::kJobsPath) : Key{};
    if (!jobsKey) {
        return false;
    }
    const int count = JobCount(store);
    std::vector<int> target = removed.positions;
    if (count != removed.countAfter) {
        // The queue changed meanwhile: the old positions mean nothing now.
        for (size_t k = 0; k < target.size(); ++k) {
            target[k] = count + static_cast<int>(k);
        }
    } else if (!store.OpenPositionsAt(jobsKey, target, count)) {
        return false;
    }
    for (size_t k = 0; k < target.size(); ++k) {
        std::vector<store::Value> values;
        for (const store::Value& v : removed.values[k]) {
            // A run that once held the job has no claim on it any more.
            bool runMark = false;
            for (const char* mark : KeyStore::kMarkedValueNames) {
                runMark = runMark || strcasecmp(v.name.c_str(), mark) == 0;
            }
            if (!runMark) {
                values.push_back(v);
            }
        }
        Key key = store.CreateKey(jobsKey, std::to_string(target[k]));
        if (!key || !store.WriteValues(key, values)) {
            return false;
        }
    }
    if (!unit.Commit()) {
        return false;
    }
    at = std::move(target);
    return true;
}

} // namespace jobs
