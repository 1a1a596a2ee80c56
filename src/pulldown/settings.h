// What a run does, resolved once from the options, with the lines that announce it.
#pragma once

#include "pulldown/pulldown.h"

#include <functional>
#include <string>

namespace pulldown {

// The settings the stream rewrite works with, derived from `PulldownOptions`.
struct ResolvedSettings {
    bool pulldown = true;        // 2:3 cadence on top_field_first/repeat_first_field
    double targetRate = 29.97;   // 23.976, 25.0 or 29.97
    int frameRateCode = 4;       // frame_rate_code written into every sequence header
    int timeCodeRate = 30;       // pictures a second of the recalculated time codes
    bool stripRff = false;       // clear repeat_first_field
    int fieldOrder = 0;          // 0 = by cadence, 1 = top field first, 2 = bottom field first
    bool recalcTimeCodes = true; // rewrite the GOP time codes
    int dropFrame = 0;           // drop_frame_flag of the rewritten time codes
    int sequenceMode = 0;        // progressive_sequence written: 1 in mode 1, else 0
    int frameMode = 0;           // 0 = by cadence, 1 = write 1, 2 = write 0
    int aspectCode = 0;          // 0 = leave, 1 to 4 = aspect_ratio_information to write
};

using LineSink = std::function<void(const std::string& line, int level)>;

// Resolves `options` into `out`, sending the announcing lines to `line` in their fixed order.
// Returns 0, or kPulldownFrameRateError (after its error line) for a frame-rate index other than
// 1 to 3 in frame-rate mode.
int ResolveOptions(const PulldownOptions& options, ResolvedSettings& out, const LineSink& line);

} // namespace pulldown
