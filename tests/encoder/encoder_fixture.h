// Helpers of the encoder tests: control list texts, test sources made with ffmpeg, running
// programs, and a small MPEG video stream scanner that checks what ffprobe does not show.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace encoder_test {

// The built program folder and the runner and encoder in it.
extern const std::string kProgramDir;
extern const std::string kEclCce;
extern const std::string kCce;

// A complete control list as the job writer produces it, for the classic (2.50) or the trial
// header, with `changes` applied: a key mapped to text replaces its value, a key mapped to
// "<drop>" removes the line, a new key is added at the end of [item]. `chapters` become
// "chapter=N:" lines.
std::string MakeEcl(bool classic, const std::string& source, const std::string& outBase,
                    const std::map<std::string, std::string>& changes,
                    const std::vector<int>& chapters = {});

// Makes a testsrc2 AVI of `seconds` at `rate` (e.g. "25" or "24000/1001"), 176x144, with a
// sine tone when `audio`. Returns false when ffmpeg fails.
bool MakeSource(const std::string& path, const std::string& rate, int seconds, bool audio);

struct RunResult {
    int status = -1;
    std::string output; // stdout and stderr together
};

// Runs a program to its end with stdout and stderr captured.
RunResult RunProgram(const std::vector<std::string>& argv);

// ffprobe's stream fields of the first stream (`entries` like "width,height"), by name.
std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& entries);

struct GopFacts {
    bool closed = false;
    int pictures = 0;
    char firstType = '?'; // I, P or B of the GOP's first coded picture
};

struct StreamFacts {
    bool valid = false;
    int width = 0;
    int height = 0;
    int aspectCode = 0;
    int frameRateCode = 0;
    int64_t bitRateBps = 0; // from the sequence header (and its extension)
    int64_t vbvBits = 0;
    bool progressiveSequence = false;
    bool topFieldFirst = false; // of the first picture
    bool alternateScan = false;
    bool nonLinearQuant = false;
    int intraDcBits = 0;
    std::vector<GopFacts> gops;
    int pictures = 0;
    bool endsWithSequenceEnd = false;
};

// Scans an MPEG-1/2 video elementary stream.
StreamFacts ScanStream(const std::string& path);

} // namespace encoder_test
