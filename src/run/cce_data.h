// CCEData job lists: each accepted line of the file becomes a new pending job, built through
// the job editor exactly as a user would build it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jobs {
class JobBuilder;
}
namespace logging {
class Log;
}
namespace platform {
class Dialog;
}

namespace run {

inline constexpr const char* kCceDataVersionPlain = "1.0.0.0";
inline constexpr const char* kCceDataVersionFull = "1.0.1.5";
// Fields of a full ("1.0.1.5") line up to the last flag; more are chapter points.
inline constexpr size_t kCceDataFullFields = 15;

// The version of a file with these `lines` and the index of its first data line. A first line
// beginning with ";" that splits at blanks into two parts or more names the version (its
// second part without LF, TAB and CR at either end) and is not data; otherwise the version is
// "1.0.0.0" and the data start at line 0.
std::string CceDataVersion(const std::vector<std::string>& lines, size_t& firstDataLine);

// The fields of a data line: the pieces between commas, runs of commas counting as one, so an
// empty field is no field.
std::vector<std::string> CceDataFields(const std::string& line);

// One data line (`number` counts the file's non-empty lines from 1) of a file of the full
// format or not: for a line whose source path contains neither "no-cce" nor "NO-CCE", whose
// template position is in the template list and, in the full format, that has all 15 fields
// (else an error line and no job), and whose source `builder` can show: FillNewJob, the
// template position, the bitrate and passes spins, ApplyAutoBias, and for version "1.0.1.5"
// the bias, quality, frame range, aspect, the three field flags (each only when not -1) and the
// chapter list (fields 15 and on); then AddOrReplaceJob. True when a job was added.
bool ImportCceDataLine(const std::string& line, size_t number, bool full, jobs::JobBuilder& builder,
                       platform::Dialog& dialog, logging::Log& log);

// The first steps of a job from a source, as a job list line takes them: File Info of
// `source` (false, with the error logged, when it cannot be opened), FillNewJob, then template
// list position `templatePosition`.
bool StartSourceJob(const std::string& source, int templatePosition, jobs::JobBuilder& builder);

// One new job per source with the selected template and its values, as a job list line
// without settings of its own gives (AutoBias applied). Sources that cannot be opened are
// logged, skipped and, with `unreadable`, appended to it; without a selected template nothing
// is added (an error line). Returns the number of jobs added.
int AddSourceJobs(const std::vector<std::string>& sources, jobs::JobBuilder& builder,
                  platform::Dialog& dialog, logging::Log& log,
                  std::vector<std::string>* unreadable = nullptr);

} // namespace run
