// Builds the argument vectors of the ffmpeg runs that carry out an encode plan.
#pragma once

#include "encode_plan.h"

#include <string>
#include <vector>

namespace enc {

// What the encoder learned about the source: by probing an AVI file, or from the frame server
// for a script (then the picture, rate and length are those of the script's clip).
struct SourceInfo {
    int width = 0;
    int height = 0;
    int64_t frames = 0;
    int rateNum = 0; // the source's frame rate as a fraction
    int rateDen = 1;
    bool hasAudio = false;
    int audioChannels = 0;
    // A script: the file ffmpeg reads (the script's AVI) and the filter chains that turn it
    // into the script's clip. Empty for an AVI source, which ffmpeg reads as it is.
    std::string scriptInput;
    std::string scriptVideoFilter;
    std::string scriptAudioFilter;
    // A video file read through libavformat: its video stream's index (-1: the first video
    // stream), whether its frames are retimed to the rate (its own timestamps may be coarse),
    // and whether its rate varies, so that ffmpeg's fps filter first makes it constant at the
    // rate above (repeating or dropping frames).
    int videoStream = -1;
    bool retime = false;
    bool variableRate = false;
    // The display aspect, 0:0 for square pixels.
    int darNum = 0;
    int darDen = 0;
};

// The role of one video run in a sequence of runs.
enum class PassKind {
    Single,   // one run, no analysis log
    Analysis, // writes the analysis log (and, with an output, a usable stream too)
    Refine,   // reads the log and writes an improved one
    Final,    // reads the log
};

// ffmpeg's forced key frame expression: an I-picture every `gopN` frames, counted anew from
// each chapter point, and one at every chapter frame (relative to the first encoded frame).
std::string KeyFrameExpression(const EncodePlan& plan);

// One video run. `logPrefix` is ffmpeg's pass log prefix (ignored for Single); `output` the
// file written, or empty for a run that writes no stream. Progress goes to stdout as
// key=value lines, errors to stderr.
std::vector<std::string> VideoRunArgs(const std::string& ffmpeg, const EncodePlan& plan,
                                      const SourceInfo& source, PassKind kind,
                                      const std::string& logPrefix, const std::string& output);

// The audio run: the range's audio as MPEG-1 Layer II into `output`.
std::vector<std::string> AudioRunArgs(const std::string& ffmpeg, const EncodePlan& plan,
                                      const SourceInfo& source, const std::string& output);

// The probe of a source with ffprobe, printing key=value lines per stream.
std::vector<std::string> ProbeArgs(const std::string& ffprobe, const std::string& source);

// Reads the output of ProbeArgs into `info`; false with a reason when it holds no video
// stream or no usable frame count or rate.
bool ParseProbe(const std::vector<std::string>& lines, SourceInfo& info, std::string& error);

// A path as an ffmpeg input or output that is never taken for a protocol or an option.
std::string FileUrl(const std::string& path);

} // namespace enc
