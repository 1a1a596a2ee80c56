// Test streams made with ffmpeg, a small field reader for checking output, and shell helpers.
#pragma once

#include "pulldown/pulldown.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pulldown_test {

// Elementary streams made once per test program with ffmpeg's encoders, each a few seconds of
// 160x120 test pattern, ending in the sequence end code 00 00 01 B7 that ffmpeg leaves out.
enum class StreamKind {
    kFilmClosedGop12, // MPEG-2, 23.976 progressive, closed GOPs of 12, two B-pictures
    kFilmOpenGop15,   // MPEG-2, 23.976 progressive, open GOPs of 15, two B-pictures
    kPal25,           // MPEG-2, 25 fps, GOPs of 12
    kMpeg1,           // MPEG-1, 23.976, GOPs of 12
    kFilmDisplayExt,  // like kFilmClosedGop12 with a sequence display extension in each sequence
    kFilmInterlaced,  // 23.976 coded with field prediction and DCT (frame_pred_frame_dct 0)
    kFilmConstant,    // 23.976 progressive at a constant rate: every picture has a vbv_delay
};
const std::string& StreamBytes(StreamKind kind);

// The size of the blocks the processor reads and writes a stream in.
constexpr size_t kBlock = 32768;

// The option set of the program's own runs (drop-frame time codes).
pulldown::PulldownOptions WindowOptions();

// Offsets of every 00 00 01 prefix, with the start-code value that follows it.
struct StartCode {
    size_t offset;
    int value;
};
std::vector<StartCode> FindStartCodes(const std::string& s);

// Header fields of a well-formed stream, in stream (coded) order.
struct PictureFlags {
    int temporalReference = 0;
    int topFieldFirst = 0;
    int repeatFirstField = 0;
    int chroma420Type = 0;
    int progressiveFrame = 0;
};
struct StreamFields {
    std::vector<int> aspectCodes;         // per sequence header
    std::vector<int> frameRateCodes;      // per sequence header
    std::vector<int> progressiveSequence; // per sequence extension
    std::vector<uint32_t> timeCodes;      // 25 bits per GOP header
    std::vector<PictureFlags> pictures;   // per picture coding extension
    std::vector<uint32_t> vbvDelays;      // per picture header
};
StreamFields ReadFields(const std::string& s);

// Runs `command` through the shell; returns its standard output and sets `status` to its exit
// status.
std::string RunCommand(const std::string& command, int& status);

// Quotes `s` for the shell.
std::string ShellQuote(const std::string& s);

} // namespace pulldown_test
