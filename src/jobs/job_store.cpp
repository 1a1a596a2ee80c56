// Job store operations over the key store.
#include "jobs/job_store.h"

#include "store/paths.h"

#include <cstring>

using store::Access;
using store::Key;
using store::KeyStore;
using store::kHive;

namespace jobs {

namespace {

std::string PositionName(int position) {
    return std::to_string(position);
}

// A stale swap key can only be left by an interrupted swap of an older store; it holds no job.
constexpr const char* kSwapKey = "Temp";

// The first missing position at or after `first`, which is known to follow stored jobs only.
int CountJobsFrom(KeyStore& store, const Key& jobsKey, int first) {
    int count = first;
    while (jobsKey && store.OpenKey(jobsKey, PositionName(count), Access::Read)) {
        ++count;
    }
    return count;
}

} // namespace

std::string JobKeyPath(int position) {
    return std::string(store::kJobsPath) + "\\" + PositionName(position);
}

bool GetJobString(KeyStore& store, int position, const char* name, size_t capacity,
                  std::string& text) {
    return store.ReadString(kHive, JobKeyPath(position), name, capacity, text);
}

bool SetJobString(KeyStore& store, int position, const char* name, const std::string& text) {
    return store.WriteString(kHive, JobKeyPath(position), name, text);
}

bool GetJobNumber(KeyStore& store, int position, const char* name, int& number) {
    uint32_t n = 0;
    if (!store.ReadNumber(kHive, JobKeyPath(position), name, n)) {
        return false;
    }
    number = static_cast<int>(n);
    return true;
}

bool SetJobNumber(KeyStore& store, int position, const char* name, int number) {
    return store.WriteNumber(kHive, JobKeyPath(position), name, static_cast<uint32_t>(number));
}

bool WriteJobRecord(KeyStore& store, int position, const JobRecord& r) {
    KeyStore::Transaction unit(store);
    if (!unit.Ok()) {
        return false;
    }
    Key key = store.CreateKey(kHive, JobKeyPath(position));
    if (!key) {
        return false;
    }
    auto text = [&](const char* name, const std::string& value) {
        return store.WriteString(key, "", name, value);
    };
    auto number = [&](const char* name, int value) {
        return store.WriteNumber(key, "", name, static_cast<uint32_t>(value));
    };
    bool ok = text(kStatus, r.status) && text(kName, r.name) && text(kInput, r.input) &&
              text(kTemplate, r.templateKey) && number(kMethod, r.method) &&
              number(kTelecide, r.telecide) && number(kAspectRatio, r.aspectRatio) &&
              number(kBitrateMin, r.bitrateMin) && number(kBitrateMax, r.bitrateMax) &&
              number(kBitrateAvg, r.bitrateAvg) && number(kQFactor, r.qFactor) &&
              number(kBias, r.bias) && number(kPasses, r.passes) && number(kQuality, r.quality) &&
              number(kStartFrame, r.startFrame) && number(kEndFrame, r.endFrame) &&
              number(kConvertToFilm, r.convertToFilm) && number(kTopFieldFirst, r.topFieldFirst) &&
              number(kProgressive, r.progressive) && number(kAlternateScan, r.alternateScan) &&
              number(kAngle, r.angle) && text(kChapters, r.chapters);
    return ok && unit.Commit();
}

bool ReadJobRecord(KeyStore& store, int position, JobRecord& r) {
    Key key = store.OpenKey(kHive, JobKeyPath(position), Access::Read);
    if (!key) {
        return false;
    }
    r = JobRecord{};
    r.status.clear();
    auto text = [&](const char* name, size_t capacity, std::string& value) {
        store.ReadString(key, "", name, capacity, value);
    };
    auto number = [&](const char* name, int& value) {
        uint32_t n = 0;
        if (store.ReadNumber(key, "", name, n)) {
            value = static_cast<int>(n);
        }
    };
    text(kStatus, kWholeValue, r.status);
    text(kName, kWholeValue, r.name);
    text(kInput, kWholeValue, r.input);
    text(kTemplate, kWholeValue, r.templateKey);
    number(kMethod, r.method);
    number(kTelecide, r.telecide);
    number(kAspectRatio, r.aspectRatio);
    number(kBitrateMin, r.bitrateMin);
    number(kBitrateMax, r.bitrateMax);
    number(kBitrateAvg, r.bitrateAvg);
    number(kQFactor, r.qFactor);
    number(kBias, r.bias);
    number(kPasses, r.passes);
    number(kQuality, r.quality);
    number(kStartFrame, r.startFrame);
    number(kEndFrame, r.endFrame);
    number(kConvertToFilm, r.convertToFilm);
    number(kTopFieldFirst, r.topFieldFirst);
    number(kProgressive, r.progressive);
    number(kAlternateScan, r.alternateScan);
    number(kAngle, r.angle);
    text(kChapters, kWholeValue, r.chapters);
    return true;
}

bool AppendJobRecord(KeyStore& store, const JobRecord& record, int& position) {
    // The count and the write are one unit, so a job another process added meanwhile is kept.
    KeyStore::Transaction unit(store);
    if (!unit.Ok()) {
        return false;
    }
    // The caller's guess (its row count) saves counting a long queue from the start.
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    bool guessHolds =
        position > 0 && jobsKey && store.OpenKey(jobsKey, PositionName(position - 1), Access::Read);
    int count = CountJobsFrom(store, jobsKey, guessHolds ? position : 0);
    if (!WriteJobRecord(store, count, record) || !unit.Commit()) {
        return false;
    }
    position = count;
    return true;
}

int JobCount(KeyStore& store) {
    return CountJobsFrom(store, store.OpenKey(kHive, store::kJobsPath, Access::Read), 0);
}

bool SwapJobs(KeyStore& store, int a, int b) {
    if (a == b) {
        return true;
    }
    // Renaming the two keys exchanges their whole contents in one unit: a killed process
    // leaves either the old or the new order, never a half-copied job or a "Temp" key.
    KeyStore::Transaction unit(store);
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::All);
    if (!unit.Ok() || !jobsKey) {
        return false;
    }
    std::string nameA = PositionName(a);
    std::string nameB = PositionName(b);
    if (!store.OpenKey(jobsKey, nameA, Access::Read) ||
        !store.OpenKey(jobsKey, nameB, Access::Read)) {
        return false;
    }
    if (store.OpenKey(jobsKey, kSwapKey, Access::Read) && !store.DeleteTree(jobsKey, kSwapKey)) {
        return false;
    }
    return store.RenameSubKey(jobsKey, nameA, kSwapKey) &&
           store.RenameSubKey(jobsKey, nameB, nameA) &&
           store.RenameSubKey(jobsKey, kSwapKey, nameB) && unit.Commit();
}

bool DeleteJobAt(KeyStore& store, int position, int count) {
    if (position < 0 || position >= count) {
        return false;
    }
    KeyStore::Transaction unit(store);
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::All);
    if (!unit.Ok() || !jobsKey || !store.DeleteTree(jobsKey, PositionName(position))) {
        return false;
    }
    for (int j = position + 1; j < count; ++j) {
        // A position missing from a damaged store is skipped, not a reason to keep the job.
        if (store.OpenKey(jobsKey, PositionName(j), Access::Read) &&
            !store.RenameSubKey(jobsKey, PositionName(j), PositionName(j - 1))) {
            return false;
        }
    }
    return unit.Commit();
}

bool ClearJobs(KeyStore& store, int count) {
    KeyStore::Transaction unit(store);
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::All);
    if (!unit.Ok()) {
        return false;
    }
    if (!jobsKey) {
        return true;
    }
    for (int j = 0; j < count; ++j) {
        if (store.OpenKey(jobsKey, PositionName(j), Access::Read) &&
            !store.DeleteTree(jobsKey, PositionName(j))) {
            return false;
        }
    }
    return unit.Commit();
}

int FindFirstPending(KeyStore& store, int count) {
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    if (!jobsKey) {
        return -1;
    }
    for (int j = 0; j < count; ++j) {
        std::string status;
        if (store.ReadString(jobsKey, PositionName(j), kStatus, kStatusSearchCapacity, status) &&
            status == kStatusPending) {
            return j;
        }
    }
    return -1;
}

namespace {

int StatusImageOf(KeyStore& store, Key jobsKey, const std::string& position) {
    std::string status;
    if (!store.ReadString(jobsKey, position, kStatus, kStatusImageCapacity, status)) {
        return kImageComplete;
    }
    if (status == kStatusPending) {
        return kImagePending;
    }
    if (status == kStatusError) {
        return kImageError;
    }
    return kImageComplete;
}

} // namespace

int JobStatusImage(KeyStore& store, int position) {
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    return jobsKey ? StatusImageOf(store, jobsKey, PositionName(position)) : kImageComplete;
}

std::vector<JobListEntry> ReadJobNames(KeyStore& store) {
    std::vector<JobListEntry> entries;
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    if (!jobsKey) {
        return entries;
    }
    for (int j = 0;; ++j) {
        std::string position = PositionName(j);
        if (!store.OpenKey(jobsKey, position, Access::Read)) {
            break;
        }
        JobListEntry entry;
        store.ReadString(jobsKey, position, kName, kWholeValue, entry.name);
        entry.image = StatusImageOf(store, jobsKey, position);
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace jobs
