// The main window's "File Info" texts for a source, and the length kept for later steps.
#pragma once

#include <string>
#include <vector>

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
    // What a video file read through libavformat says of its shape, for the job's flags (AVI
    // files and scripts leave them to the template): the aspect choice nearest its display
    // aspect (2 for 4:3, 3 for 16:9; 0 unknown) and its field order (0 unknown, 1 progressive,
    // 2 top field first, 3 bottom field first).
    int aspectChoice = 0;
    int fieldOrder = 0;
    // The Picture a new job of it gets (PictureFit: 0 keep, 1 NTSC, 2 PAL) and, when fitted,
    // what it becomes: "720x480 29.97 4:3, padded".
    int pictureFit = 0;
    std::string fitText;
};

// The kinds of file that can be sources, for messages: "AVI files, .avs scripts and ...".
extern const char* const kSourceKindsText;
// The file name extensions of those kinds, lower case without the dot, for file dialogs.
const std::vector<std::string>& SourceExtensions();
// A file dialog filter of them in Qt's form: "Video Files (*.avi *.avs ...)".
std::string SourceDialogFilter();

// The message for files that cannot be sources: names each one and says which kinds of file
// work. Empty for an empty list.
std::string UnreadableSourcesText(const std::vector<std::string>& paths);

// The aspect choice nearest a display aspect of `num`:`den`: 3 (16:9) when it is nearer
// 16:9 than 4:3, else 2 (4:3); 0 when unknown (either is 0).
int NearestAspectChoice(int num, int den);

// The texts for a source of `width` x `height`, `length` frames at `rateThousandths`
// thousandths of a frame per second. The length is counted at the rounded frame rate
// (30 for 29.97), and never at less than one frame per second.
SourceInfoFields FormatSourceInfo(int width, int height, int length, int rateThousandths,
                                  const std::string& fileType);

// The largest picture side and the highest frame rate a source may have: beyond them no
// encode of it can succeed.
inline constexpr int kMaxSourceDimension = 4096;
inline constexpr int kMaxSourceFps = 120;

// ShowSourceInfo without the window: opens `path` (double quotes removed) and fills `fields`.
// Returns true on an error, after logging "  AVI Error: could not load <path>" (level 2) and a
// line naming the file and the reason (level 2): the kinds of file that work, or the value
// beyond kMaxSourceDimension or kMaxSourceFps; `fields` is then untouched. A variable frame rate
// and a cut file are noted. `programDir` as for CAviSource.
bool InspectSource(const std::string& path, const std::string& programDir, logging::Log& log,
                   SourceInfoFields& fields);

} // namespace source
