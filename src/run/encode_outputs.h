// Whether an encode wrote what its control list asked for.
#pragma once

#include "ecl/ecl_writer.h"

#include <cstdint>

namespace logging {
class Log;
}

namespace run {

// The runner's exit status is not reported, so the outputs themselves tell whether the encode
// worked: each one the list asked for must exist and hold something. True when all are there;
// logs an error line for each one missing. `jobStartTime` is when the job was taken (whole
// seconds of the system clock): the stream must be no older, and so must the analysis when it
// is the only output.
bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log& log);
// The same check; with `log` null nothing is logged.
bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log* log);

} // namespace run
