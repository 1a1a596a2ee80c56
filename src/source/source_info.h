// The main window's "File Info" texts for a source, and the length kept for later steps.
#pragma once

#include <string>

namespace logging {
class Log;
}

namespace source {

// What ShowSourceInfo puts on the window (controls 1034 to 1038) and into its state.
struct SourceInfoFields {
    std::string resolution;   // 1034 "%i x %i": width, height
    std::string frames;       // 1035 "%i": length in frames
    std::string frameRate;    // 1036 "%2.3f": frames per second
    std::string length;       // 1037 "%02d:%02d:%02d:%02d": hours, minutes, seconds, frames
    std::string type;         // 1038 the file type text
    int sourceFrames = 0;     // `m_SourceFrames`
    double sourceSeconds = 0; // `m_SourceSeconds`: frames / rounded frame rate
};

// The texts for a source of `width` x `height`, `length` frames at `rateThousandths`
// thousandths of a frame per second. The length is counted at the rounded frame rate
// (30 for 29.97), and never at less than one frame per second.
SourceInfoFields FormatSourceInfo(int width, int height, int length, int rateThousandths,
                                  const std::string& fileType);

// ShowSourceInfo without the window: opens `path` (double quotes removed) and fills `fields`.
// Returns true on an error, after logging "  AVI Error: could not load <path>" (level 2) and a
// debug line with the reason; `fields` is then untouched. `programDir` as for CAviSource.
bool InspectSource(const std::string& path, const std::string& programDir, logging::Log& log,
                   SourceInfoFields& fields);

} // namespace source
