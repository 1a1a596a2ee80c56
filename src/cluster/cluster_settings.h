// Where the queue's encodes run: on this machine, or as jobs of a Slurm cluster. Stored as
// values of the root key beside the other settings.
#pragma once

#include "jobs/job_record.h"

#include <string>
#include <vector>

namespace store {
class KeyStore;
}

namespace cluster {

// Value names in the root key.
inline constexpr const char* kRunOn = "RunOn"; // number: 0 this machine, 1 Slurm cluster
inline constexpr const char* kSlurmPartition = "SlurmPartition";
inline constexpr const char* kSlurmMaxJobs = "SlurmMaxJobs";
inline constexpr const char* kSlurmOptions = "SlurmOptions"; // one sbatch argument per line

inline constexpr int kRunOnThisMachine = 0;
inline constexpr int kRunOnSlurm = 1;
inline constexpr int kDefaultMaxJobs = 4;
inline constexpr int kMaxMaxJobs = 9999;

struct ClusterSettings {
    bool m_UseSlurm = false;
    std::string m_Partition; // empty: the cluster's default partition
    int m_MaxJobs = kDefaultMaxJobs;
    // Extra sbatch arguments, each one argument as it is (never split, never given to a shell).
    std::vector<std::string> m_SbatchOptions;
};

// A job's own resources, values of its key that take the place of the settings' (empty or 0:
// the settings').
inline constexpr const char* kJobPartition = jobs::kSlurmPartition;
inline constexpr const char* kJobTimeLimit = jobs::kSlurmTimeLimit; // as sbatch --time takes it
inline constexpr const char* kJobCpus = jobs::kSlurmCpus;           // number of CPUs for its task

// The sbatch arguments of the job at `position` for its resources: the partition (the job's,
// else the settings'), the settings' extra arguments, then the job's time limit and CPUs, which
// come last so that they win over the same options among the extra arguments.
std::vector<std::string> ResourceArguments(store::KeyStore& store, int position,
                                           const ClusterSettings& settings);

// The stored settings; a missing or unreadable value keeps its default ("this machine").
ClusterSettings ReadClusterSettings(store::KeyStore& store);
// Writes all four values as one unit; false when the store refused.
bool WriteClusterSettings(store::KeyStore& store, const ClusterSettings& settings);

// The arguments of a text with one per line: CR removed, surrounding blanks trimmed, empty
// lines dropped.
std::vector<std::string> SplitArgumentLines(const std::string& text);
std::string JoinArgumentLines(const std::vector<std::string>& arguments);

// The "at most N jobs" field as typed: a whole number from 1 to kMaxMaxJobs, else `fallback`.
int ParseMaxJobs(const std::string& text, int fallback);

} // namespace cluster
