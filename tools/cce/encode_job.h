// One run of the encoder: reads a control list, probes the source, runs ffmpeg for every
// requested output and publishes the outputs under their final names.
#pragma once

#include "encode_plan.h"
#include "ffmpeg_args.h"

#include <string>
#include <vector>

namespace cce {

// Exit statuses of the encoder.
enum ExitCode {
    kExitOk = 0,      // every requested output was written
    kExitBadList = 1, // the control list cannot be read or holds a bad value
    kExitSource = 2,  // the source is missing, unreadable or shorter than the range
    kExitOutput = 3,  // an output cannot be written where the list says
    kExitEncode = 4,  // ffmpeg failed or could not be run
};

struct Tools {
    std::string ffmpeg = "ffmpeg";
    std::string ffprobe = "ffprobe";
};

// Encodes what the list at `eclPath` asks for. Progress ("45% / TITLE") and notes go to
// stdout, errors ("ERROR: ...") to stderr. Returns an ExitCode, or 128 + a signal when a
// termination signal ended the encode. Whatever happens, no file is left under an output's
// final name unless it is complete; temporary files are removed on failure.
int RunEncode(const std::string& eclPath, const Tools& tools);

} // namespace cce
