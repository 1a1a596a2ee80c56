// Job store operations over the key store.
#include "jobs/job_store.h"

#include "jobs/job_last_error.h"
#include "store/paths.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

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

// The image a "Status" value gives when read with the image's capacity.
int ImageOfStatusValue(const store::Value& value) {
    if (value.data.size() > kStatusImageCapacity) {
        return kImageComplete;
    }
    size_t end = value.data.find('\0');
    if (end == std::string::npos && value.data.size() >= kStatusImageCapacity) {
        return kImageComplete;
    }
    std::string status = value.data.substr(0, end);
    if (status == kStatusPending) {
        return kImagePending;
    }
    return status == kStatusError ? kImageError : kImageComplete;
}

// A string value as a reader with `capacity` bytes gets it; empty when it does not fit.
std::string TextOfValue(const store::Value& value, size_t capacity) {
    if (value.data.size() > capacity) {
        return std::string();
    }
    size_t end = value.data.find('\0');
    if (end == std::string::npos && value.data.size() >= capacity) {
        return std::string();
    }
    return value.data.substr(0, end);
}

int NumberOfValue(const store::Value& value) {
    uint32_t n = 0;
    for (size_t i = 0; i < value.data.size() && i < 4; ++i) {
        n |= static_cast<uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
    }
    return value.data.size() <= 4 ? static_cast<int>(n) : 0;
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
    // No position is below 0: a lost job must not write a stray key "-1".
    return position >= 0 && store.WriteString(kHive, JobKeyPath(position), name, text);
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
    return position >= 0 &&
           store.WriteNumber(kHive, JobKeyPath(position), name, static_cast<uint32_t>(number));
}

bool WriteJobRecord(KeyStore& store, int position, const JobRecord& r) {
    KeyStore::Transaction unit(store);
    if (!unit.Ok() || position < 0) {
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

bool AppendJobRecord(KeyStore& store, const JobRecord& record, int& position,
                     const std::vector<std::pair<std::string, int>>& extras) {
    // The count and the write are one unit, so a job another process added meanwhile is kept.
    KeyStore::Transaction unit(store);
    if (!unit.Ok()) {
        return false;
    }
    // The caller's guess (its row count) holds when the job before it exists and it does not:
    // two look-ups instead of counting the queue.
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    auto exists = [&](int p) {
        return jobsKey && store.OpenKey(jobsKey, PositionName(p), Access::Read);
    };
    int count = position >= 0 && (position == 0 || exists(position - 1)) && !exists(position)
                    ? position
                    : JobCount(store);
    if (!WriteJobRecord(store, count, record)) {
        return false;
    }
    for (const auto& [name, number] : extras) {
        if (!SetJobNumber(store, count, name.c_str(), number)) {
            return false;
        }
    }
    if (!unit.Commit()) {
        return false;
    }
    position = count;
    return true;
}

int JobCount(KeyStore& store) {
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    return jobsKey ? store.CountPositions(jobsKey) : 0;
}

std::vector<int> JobsHoldingValue(KeyStore& store, const char* name, int count) {
    std::vector<int> positions;
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    if (!jobsKey || !store.PositionsWithValue(jobsKey, name, count, positions)) {
        positions.clear();
    }
    return positions;
}

std::vector<int> JobsWithSourceStem(KeyStore& store, const std::string& path, int count) {
    std::vector<int> positions;
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    if (!jobsKey || !store.PositionsWithInputStem(jobsKey, path, count, positions)) {
        positions.clear();
    }
    return positions;
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
    return DeleteJobsAt(store, {position}, count);
}

bool DeleteJobsAt(KeyStore& store, std::vector<int> positions, int count) {
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if (positions.empty() || positions.front() < 0 || positions.back() >= count) {
        return false;
    }
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::All);
    return jobsKey && store.DeletePositionsAt(jobsKey, positions, count);
}

bool ClearJobs(KeyStore& store, int count) {
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::All);
    if (!jobsKey) {
        // Nothing to clear, but a store that cannot be written must still say so.
        KeyStore::Transaction unit(store);
        return unit.Ok();
    }
    return count <= 0 || store.DeletePositions(jobsKey, count);
}

int FindFirstPending(KeyStore& store, int count, int from) {
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    return jobsKey ? store.FirstPositionWithStatus(jobsKey, kStatusPending, count, from) : -1;
}

JobStatusCounts CountJobStatuses(KeyStore& store, int count) {
    JobStatusCounts counts;
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    std::vector<std::pair<std::string, int>> byStatus;
    if (!jobsKey || !store.CountStatuses(jobsKey, count, byStatus)) {
        return counts;
    }
    for (const auto& [status, n] : byStatus) {
        if (status == kStatusPending) {
            counts.pending += n;
        } else if (status == kStatusComplete) {
            counts.complete += n;
        } else if (status == kStatusError) {
            counts.error += n;
        } else {
            counts.other += n;
        }
    }
    return counts;
}

std::vector<JobRow> ReadJobPage(KeyStore& store, int first, int count) {
    std::vector<JobRow> rows;
    Key jobsKey = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    std::vector<std::pair<int, store::Value>> values;
    static const std::vector<std::string> kNames = {
        kName, kStatus, kTemplate, kInput, kTelecide, kLastError, kOutputNumber, kEclNumber};
    if (!jobsKey || count <= 0 ||
        !store.ReadPositionValues(jobsKey, first, count, kNames, values)) {
        return rows;
    }
    for (const auto& entry : values) {
        const int position = entry.first;
        const store::Value& value = entry.second;
        if (rows.empty() || rows.back().position != position) {
            rows.emplace_back();
            rows.back().position = position;
        }
        JobRow& row = rows.back();
        auto is = [&value](const char* name) { return strcasecmp(value.name.c_str(), name) == 0; };
        if (is(kName)) {
            row.name = TextOfValue(value, kWholeValue);
        } else if (is(kStatus)) {
            row.status = TextOfValue(value, kStatusSearchCapacity);
            row.image = ImageOfStatusValue(value);
        } else if (is(kTemplate)) {
            row.templateKey = TextOfValue(value, kTemplateCapacity);
        } else if (is(kInput)) {
            row.input = TextOfValue(value, kWholeValue);
        } else if (is(kTelecide)) {
            row.telecide = NumberOfValue(value);
        } else if (is(kLastError)) {
            row.lastError = TextOfValue(value, kLastErrorMax + 1);
        } else if (is(kOutputNumber)) {
            row.outputNumber = NumberOfValue(value);
        } else if (is(kEclNumber)) {
            row.eclNumber = NumberOfValue(value);
        }
    }
    return rows;
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
    int count = JobCount(store);
    constexpr int kPage = 4096;
    for (int first = 0; first < count; first += kPage) {
        for (JobRow& row : ReadJobPage(store, first, std::min(kPage, count - first))) {
            entries.push_back(JobListEntry{std::move(row.name), row.image});
        }
    }
    return entries;
}

} // namespace jobs
