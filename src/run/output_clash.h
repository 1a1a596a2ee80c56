// Jobs whose encodes would write the same output stream: found when a job is added, and
// refused when a job starts over the finished output of another "Complete" job.
#pragma once

#include "ecl/ecl_writer.h"
#include "env/settings.h"

#include <string>

namespace store {
class KeyStore;
}

namespace run {

// The job value that lets a job write over the output of another job (1); set when the user
// chose to replace that output.
inline constexpr const char* kReplaceOutput = "ReplaceOutput";

// The ".mpv" stream the job at `position` writes with `settings`; empty when its source is no
// full path.
std::string JobStreamPath(store::KeyStore& store, const env::Settings& settings, int position);

// Another job of the queue whose stream is the same file as the job at `position`'s (the
// paths compared after resolving "." and ".." and symbolic links of existing folders): its
// position, with its name in `otherJob`; -1 when none.
int FindOutputClash(store::KeyStore& store, const env::Settings& settings, int position,
                    std::string& otherJob);

// The same for a job not yet stored whose source is `input` and whose outputs have the number
// `outputNumber` (0: none).
int FindNewJobOutputClash(store::KeyStore& store, const env::Settings& settings,
                          const std::string& input, int outputNumber, std::string& otherJob);

// The output number (2, 3, ...) that gives a new job of the source `input` a stream that no job
// of the queue writes and no file holds yet (nor its pulldown ".m2v").
int FreeOutputNumber(store::KeyStore& store, const env::Settings& settings,
                     const std::string& input);

// The ECL number a new job of the source `input` gets: 0 (the plain "<stem>.ecl") while no job
// of the queue has that ECL path, else the lowest of 2, 3, ... that none has.
int FreeEclNumber(store::KeyStore& store, const std::string& input);

// The check at a job's start, after its ECL is written: true when the stream the ECL names
// (`ecl.m_OutputPath`) exists and is the output of another job of the queue whose status is
// "Complete", and the job at `position` does not carry kReplaceOutput = 1. Then `otherJob`
// is that job's name and `reason` says why the job is refused (naming both jobs and the file);
// the caller keeps it as the job's failure, logs it and ends the job "Error" without running
// the encoder.
bool OutputClashes(store::KeyStore& store, const env::Settings& settings, int position,
                   const ecl::EclState& ecl, std::string& otherJob, std::string& reason);

} // namespace run
