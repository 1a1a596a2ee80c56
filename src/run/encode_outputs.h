// Whether an encode wrote what its control list asked for.
#pragma once

#include "ecl/ecl_writer.h"

#include <cstdint>
#include <string>

namespace logging {
class Log;
}

namespace run {

// The runner's exit status is not reported, so the outputs themselves tell whether the encode
// worked: each one the list asked for must exist and hold something. True when all are there;
// logs an error line for each one missing. `jobStartTime` is when the job was taken (whole
// seconds of the system clock): the stream must be no older, and so must the analysis when it
// is the only output. A stream must also hold every frame of the range (its pictures counted):
// an encoder whose source ended early may write a short stream and still say it succeeded.
// `problem`, when given, receives the first problem found (without the log line's marker).
bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log& log,
                        std::string* problem = nullptr);
// The same check; with `log` null nothing is logged.
bool CheckEncodeOutputs(const ecl::EclState& ecl, int64_t jobStartTime, logging::Log* log,
                        std::string* problem = nullptr);

} // namespace run
