// The job description: one job with everything its encode reads (the settings, the templates
// and the job's own values), as a registry editor file beside the job's ECL. A cluster node
// runs the job from it; the store itself never leaves this machine.
#pragma once

#include <string>

namespace store {
class KeyStore;
}

namespace cluster {

// The file names beside a job's ECL: its description and its Slurm log.
std::string DescriptionPathFor(const std::string& eclPath);
std::string JobLogPathFor(const std::string& eclPath);

// The description of job `job`: the root key's own values, the template key and the job's
// values as job 0 of a queue of one, in registry editor format. `deleteMpv` (the window's
// "deletempv" keyword) sets "DeleteMPV" in it whatever the store says. False with a reason when
// the store cannot be read.
bool BuildJobDescription(store::KeyStore& store, int job, bool deleteMpv, std::string& text,
                         std::string& error);

// Writes `text` to `path` through a temporary file beside it, so a reader never sees half a
// description. False with a reason.
bool WriteDescriptionFile(const std::string& path, const std::string& text, std::string& error);

// Reads a description file into `store` (normally an empty one in memory). False with a reason.
bool LoadJobDescription(const std::string& path, store::KeyStore& store, std::string& error);

} // namespace cluster
