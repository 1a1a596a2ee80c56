// The output size estimate of the job being edited (the Calc button).
#pragma once

#include <string>

namespace logging {
class Log;
}
namespace platform {
class Dialog;
}

namespace chapters {

// The bitrate the encoder delivers for each kbit/s asked of it.
inline constexpr double kCceBitrateFactor = 0.97893173828125;

// The estimated size in kilobytes of a video stream of `avgKbps` kbit/s (before the CCE factor)
// lasting `seconds`.
double EstimatedKilobytes(int avgKbps, double seconds);

// "%5.2f %s" of `kilobytes` in KB, MB or GB: divided by 1,024 while above 1,024, at most twice.
std::string FormatSize(double kilobytes);

// Handler of the Calc button (1005). `sourceSeconds` is the window's `m_SourceSeconds` (the
// length the source inspection computed). With an empty Frames field (1035) it logs "You must
// have a job selected into the Job Info section." (level 2) and changes nothing. Otherwise it
// writes the estimate for the Avg spin's position (1033) into field 1073 and logs the
// calculation at the debug level (the "Total Seconds" line from the Frames and Frame Rate
// fields, 1035 / 1036).
void OnCalcSize(platform::Dialog& dialog, double sourceSeconds, logging::Log& log);

} // namespace chapters
