// The job queue in the key store: one sub-key of "Jobs" per job, named by its 0-based position.
#pragma once

#include "jobs/job_record.h"
#include "store/key_store.h"

#include <string>
#include <vector>

namespace jobs {

// "Software\Pellmoor\Vantaq\Jobs\<position>".
std::string JobKeyPath(int position);

bool GetJobString(store::KeyStore& store, int position, const char* name, size_t capacity,
                  std::string& text);
bool SetJobString(store::KeyStore& store, int position, const char* name, const std::string& text);
// Numbers are stored unsigned and read back as signed ints.
bool GetJobNumber(store::KeyStore& store, int position, const char* name, int& number);
bool SetJobNumber(store::KeyStore& store, int position, const char* name, int number);

// Writes all 22 values, in record order, as one atomic unit.
bool WriteJobRecord(store::KeyStore& store, int position, const JobRecord& record);
// Reads every value of a job whole; false when the job key does not exist.
bool ReadJobRecord(store::KeyStore& store, int position, JobRecord& record);

// Writes `record` as a new job after the last stored one, never over an existing job.
// `position` comes in as the caller's guess of the job count and goes out as the position taken.
bool AppendJobRecord(store::KeyStore& store, const JobRecord& record, int& position);
// The number of stored jobs: the job keys "0", "1", ... up to the first one missing.
int JobCount(store::KeyStore& store);

// The queue operations below are atomic: when they fail (false, the reason in the store's
// LastError) the store is as it was.
// Exchanges the contents of two job keys. Fails unless both exist.
bool SwapJobs(store::KeyStore& store, int a, int b);
// Removes the job at `position` of a queue of `count`; later jobs move up one, order kept.
// The cost does not depend on the jobs' contents.
bool DeleteJobAt(store::KeyStore& store, int position, int count);
// Deletes the keys "0" to count - 1; keys above are left alone.
bool ClearJobs(store::KeyStore& store, int count);
// The lowest position whose "Status" reads exactly "Pending", or -1.
int FindFirstPending(store::KeyStore& store, int count);
// 0 "Pending", 3 "Error", 2 for "Complete" and for anything else or a failed read.
int JobStatusImage(store::KeyStore& store, int position);

struct JobListEntry {
    std::string name;
    int image = kImageComplete;
};
// Names (whole) and status images of every stored job, in queue order; a job whose name cannot
// be read is listed with an empty one.
std::vector<JobListEntry> ReadJobNames(store::KeyStore& store);

} // namespace jobs
