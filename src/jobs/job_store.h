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

// Writes `record` as a new job after the last stored one, never over an existing job, with the
// number values `extras` (name, number) beside it in the same unit.
// `position` comes in as the caller's guess of the job count and goes out as the position taken.
bool AppendJobRecord(store::KeyStore& store, const JobRecord& record, int& position,
                     const std::vector<std::pair<std::string, int>>& extras = {});
// The number of stored jobs: the job keys "0", "1", ... up to the first one missing. One
// indexed query (two in a damaged store).
int JobCount(store::KeyStore& store);

// The queue operations below are atomic: when they fail (false, the reason in the store's
// LastError) the store is as it was.
// Exchanges the contents of two job keys. Fails unless both exist.
bool SwapJobs(store::KeyStore& store, int a, int b);
// Removes the job at `position` of a queue of `count`; later jobs move up one, order kept.
// The cost grows with the number of later jobs only (two statements).
bool DeleteJobAt(store::KeyStore& store, int position, int count);
// Removes the jobs at `positions` (any order, duplicates ignored) of a queue of `count` in one
// unit; the others close up, order kept.
bool DeleteJobsAt(store::KeyStore& store, std::vector<int> positions, int count);
// Deletes the keys "0" to count - 1; keys above are left alone.
bool ClearJobs(store::KeyStore& store, int count);
// The lowest position from `from` on, below `count`, whose "Status" reads exactly "Pending", or
// -1. One indexed query, whatever the queue's length.
int FindFirstPending(store::KeyStore& store, int count, int from = 0);
// The positions below `count` of the jobs holding the value `name`, one of the store's marked
// values (store::KeyStore::kMarkedValueNames), from one indexed query; empty when none can be
// read.
std::vector<int> JobsHoldingValue(store::KeyStore& store, const char* name, int count);
// The positions below `count` of the jobs whose source has the file stem of `path` (its name
// without folder and extension), from one indexed query.
std::vector<int> JobsWithSourceStem(store::KeyStore& store, const std::string& path, int count);
// 0 "Pending", 3 "Error", 2 for "Complete" and for anything else or a failed read.
int JobStatusImage(store::KeyStore& store, int position);

// How many of the first `count` jobs carry each status text ("" for a missing or unreadable
// one). One indexed query.
struct JobStatusCounts {
    int pending = 0;
    int complete = 0;
    int error = 0;
    int other = 0;
};
JobStatusCounts CountJobStatuses(store::KeyStore& store, int count);

// What one row of the job list shows of a job, read as the list's readers read it.
struct JobRow {
    int position = -1;
    std::string name;           // whole
    std::string status;         // as the pending search reads it; empty when unreadable
    int image = kImageComplete; // JobStatusImage's answer
    std::string templateKey;    // capacity 25, as the editor reads it
    std::string input;          // whole
    int telecide = 0;
    std::string lastError; // the stored reason of the job's last failure, "" without one
    int outputNumber = 0;  // kOutputNumber, 0 without one
    int eclNumber = 0;     // kEclNumber, 0 without one
};
// The rows of positions [first, first + count) that exist, in order, from one query. Positions
// without a job key are left out.
std::vector<JobRow> ReadJobPage(store::KeyStore& store, int first, int count);

struct JobListEntry {
    std::string name;
    int image = kImageComplete;
};
// Names (whole) and status images of every stored job, in queue order; a job whose name cannot
// be read is listed with an empty one.
std::vector<JobListEntry> ReadJobNames(store::KeyStore& store);

} // namespace jobs
