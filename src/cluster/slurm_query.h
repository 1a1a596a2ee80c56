// The Slurm client commands a cluster run uses, and the reading of their answers.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace cluster {

// Runs a command (argument vector, no shell) to its end: false when it could not be started;
// else `status` is its exit status and `output` what it printed.
using CommandRunner =
    std::function<bool(const std::vector<std::string>& argv, std::string& output, int& status)>;

// What Slurm says of one job.
struct SlurmJobInfo {
    std::string state;    // JobState: PENDING, RUNNING, COMPLETED, FAILED, ...
    std::string reason;   // Reason, when Slurm gives one ("None" otherwise)
    std::string exitCode; // "status:signal"
    std::string node;     // where it ran (empty before it started)
    std::string runTime;  // how long it ran, as Slurm measured it ("00:01:02")
};

// What a search for a submission found.
enum class Lookup { kFound, kNone, kNoAnswer };

// A state after which the job does nothing more (COMPLETING is not one yet).
bool IsFinalState(const std::string& state);

// The job id that `sbatch --parsable` printed ("12" or "12;cluster"); empty when none.
std::string ParseSubmittedId(const std::string& output);

// The value of `key` in a line of `Key=Value` pairs (as `scontrol -o show job` prints them);
// empty when absent.
std::string FieldOf(const std::string& line, const std::string& key);

// Asks Slurm about job `id`: `scontrol -o show job`, then the accounting (`sacct`), then the
// job-completion log (`sacct -c`) for a job the controller has already forgotten. False when
// none of them knows it.
bool QueryJob(const CommandRunner& run, const std::string& id, SlurmJobInfo& info);

// Asks `squeue` once about several jobs; `states` gets the state and reason of each job it
// lists (no exit codes). False with squeue's words in `error` when it did not answer.
bool QueueStates(const CommandRunner& run, const std::vector<std::string>& ids,
                 std::map<std::string, SlurmJobInfo>& states, std::string& error);

// `path` as sbatch's -o takes it to name exactly that file. Slurm reads the value as a pattern:
// "%" starts a replacement ("%j", "%20x", and "%%" for a "%"), and a backslash escapes the next
// character and turns every replacement off.
std::string SlurmOutputPattern(const std::string& path);

// A job's name for -J: letters, digits, ".", "-" and "_" kept, anything else "_", so that the
// name cannot be mistaken for another field of scontrol's "Key=Value" line.
std::string SlurmJobName(const std::string& name);

// The name a job is submitted under: its own name and its run key, which no other submission
// has, so that a submission whose answer was lost can be found again.
std::string SubmissionName(const std::string& name, const std::string& key);

// Looks for the job submitted as `submissionName`: squeue (every job the controller still
// holds), then the accounting and the job-completion log. kFound with its id (the newest, if
// ever several); kNone when squeue answered and nothing knows the name; kNoAnswer with squeue's
// words in `error` when squeue did not answer, as nothing can be concluded then.
Lookup FindSubmission(const CommandRunner& run, const std::string& submissionName, std::string& id,
                      std::string& error);

// A line that separates one submission's part of a job's log from an earlier one's.
inline constexpr const char* kSubmissionMark = "--- Vantaq submission ";

// The last runner progress line ("NN% / TITLE") in the tail of a job's log file after the last
// submission mark, 0..100, or -1.
int ProgressFromLog(const std::string& logPath);

} // namespace cluster
