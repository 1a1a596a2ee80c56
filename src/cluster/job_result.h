// The result file a cluster job leaves beside its description: how the job ended on the node
// and why it failed, for the window to store in the job's row.
#pragma once

#include <string>

namespace cluster {

struct JobResult {
    std::string status; // "Complete" or "Error"
    std::string reason; // why it failed (the encoder's last error lines), "" for none
};

// The result file of a job description: "NAME.job.result" beside "NAME.job.reg".
std::string ResultPathFor(const std::string& descriptionPath);

// Writes the result (through a temporary file beside it). False with a reason.
bool WriteJobResult(const std::string& path, const JobResult& result, std::string& error);

// Reads a result file; false when there is none or it holds no status.
bool ReadJobResult(const std::string& path, JobResult& result);

} // namespace cluster
