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
// Reads a job with the job editor's capacities; false when the job key does not exist.
bool ReadJobRecord(store::KeyStore& store, int position, JobRecord& record);

// Exchanges the contents of two job keys atomically. Does nothing unless both exist.
void SwapJobs(store::KeyStore& store, int a, int b);
// Removes the job at `position` of a queue of `count`; later jobs move up one, order kept.
// One atomic unit whose cost does not depend on the jobs' contents.
void DeleteJobAt(store::KeyStore& store, int position, int count);
// Deletes the keys "0" to count - 1; keys above are left alone.
void ClearJobs(store::KeyStore& store, int count);
// The lowest position whose "Status" reads exactly "Pending", or -1.
int FindFirstPending(store::KeyStore& store, int count);
// 0 "Pending", 3 "Error", 2 for "Complete" and for anything else or a failed read.
int JobStatusImage(store::KeyStore& store, int position);

struct JobListEntry {
    std::string name;
    int image = kImageComplete;
};
// Names and status images from position 0 up to the first position without a readable name.
std::vector<JobListEntry> ReadJobNames(store::KeyStore& store);

} // namespace jobs
