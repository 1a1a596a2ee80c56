// What a job's key holds while the job runs, beside its record: the run's key that identifies
// the job wherever the list moves it, the handle of the encode going on for it (a local runner
// process or a Slurm job) and what is needed to finish the job when another start of the
// program takes it over. Readers that do not know these values ignore them.
#pragma once

#include "ecl/ecl_writer.h"
#include "platform/processes.h"

#include <cstdint>
#include <string>

namespace store {
class KeyStore;
}

namespace run {

inline constexpr const char* kRunKeyValue = "Run Key";
inline constexpr const char* kRunHandleValue = "Run Handle";
inline constexpr const char* kRunEclValue = "Run ECL";
inline constexpr const char* kRunSourceValue = "Run Source";
inline constexpr const char* kRunOutputValue = "Run Output";
inline constexpr const char* kRunVafValue = "Run Analysis";
inline constexpr const char* kRunFramesValue = "Run Frames";
inline constexpr const char* kRunFlagsValue = "Run Flags";
inline constexpr const char* kRunStartedValue = "Run Started";

// Where an encode runs.
enum class RunWhere { kNone, kLocal, kSlurm };

struct RunRecord {
    std::string key; // unique for every job a run takes
    RunWhere where = RunWhere::kNone;
    platform::ProcessIdentity runner; // kLocal: the runner process
    int part = 1;                     // kLocal: 1 the first or only encode, 2 the second part
    std::string slurmId; // kSlurm: the Slurm job id; empty while sbatch has not answered
    std::string eclPath;
    ecl::EclState ecl;
    int64_t jobStartTime = 0;     // when the run took the job
    int64_t processStartTime = 0; // when its last encode started
};

// A key no other job of this store has had: the time, this program's process id and a count.
std::string NewRunKey(int64_t now);

// The handle as stored: "local pid=P start=T boot=B part=N", "slurm id=I", "slurm submitting"
// (handed to sbatch, no answer kept yet) or "" for none.
std::string FormatHandle(const RunRecord& record);
// Reads a stored handle into `record`; false (and kNone) for an empty or unreadable one.
bool ParseHandle(const std::string& text, RunRecord& record);

// Writes the record's values into the job at `position` in one unit. False when the store
// refused.
bool SaveRunRecord(store::KeyStore& store, int position, const RunRecord& record);
// Reads them; false when the job has no run key.
bool LoadRunRecord(store::KeyStore& store, int position, RunRecord& record);
// Empties the run values of the job at `position` (the job is no longer running).
bool ClearRunRecord(store::KeyStore& store, int position);

// The position of the job holding run key `key`: `hint` when it still holds it, else the first
// that does; -1 when no job does (it was deleted). An empty key (the job could not be marked)
// gives `hint`.
int FindJobByRunKey(store::KeyStore& store, const std::string& key, int hint);

// The runner's output file of an ECL file: its path with ".run.log" for ".ecl".
std::string RunnerOutputPath(const std::string& eclPath);

} // namespace run
