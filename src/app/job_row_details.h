// What the job list shows of a job beside its name: its state, its template and the stream it
// writes, read from the store as it is now.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace env {
struct Settings;
}
namespace store {
class KeyStore;
}

namespace app {

// What comes before the verdict at the end of a finished job's details line.
inline constexpr const char* kJobVerdictSeparator = "  |  DVD-Video: ";

// The work going on for one job, as whatever works it (the local run) reports it.
struct JobActivity {
    bool active = false; // the job is being worked on now
    int percent = -1;    // its share done, -1 when not reported
    std::optional<int64_t> secondsLeft;
    std::string label; // what is working it, in place of "Encoding" when set
};

// "<state>  |  <template>  |  <output stream>" for the job at `position`. The state is the
// stored status ("Error: <reason>" when the job's last failure is stored), or "Encoding" (or the
// activity's label) with the share done and time left while `activity` is active. The stream is the
// one the encode writes (with ".m2v" after a 2:3 pulldown pass); a job without a full source path
// names none. A finished job with a stream report ends with "  |  DVD-Video: yes" (or no).
std::string JobDetailsLine(store::KeyStore& store, const env::Settings& settings, int position,
                           const JobActivity& activity);

// The same line from what was read: the stored status and last failure, the template's display
// name and the output stream ("" for none). When the template targets DVD-Video (`dvdTarget`)
// and the finished stream's report says it is not, the state reads "Complete — not DVD-Video:
// <first reason>" and `missesDvd` (when given) is set.
std::string JobDetailsText(const std::string& status, const std::string& lastError,
                           const JobActivity& activity, const std::string& templateName,
                           const std::string& stream, bool dvdTarget = false,
                           bool* missesDvd = nullptr);

// The image of a job's row: its status image, or the warning when its finished stream misses
// the DVD-Video that its template asks for.
int JobRowImage(store::KeyStore& store, const env::Settings& settings, int position);

// The stream report kept beside the stream of the finished ("Complete") job at `position`, or ""
// when the job is not finished or has no report file.
std::string JobStreamReport(store::KeyStore& store, const env::Settings& settings, int position);

// The stream the job at `position` ends with, or "" when its source is no full path.
std::string JobOutputStream(store::KeyStore& store, const env::Settings& settings, int position);

} // namespace app
