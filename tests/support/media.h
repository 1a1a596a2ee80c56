// Test media: AVI files made by ffmpeg, ffprobe's view of them, and hand-built AVI headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// Runs a shell command (test-made arguments only); true when it exits with status 0.
bool Run(const std::string& command);

bool HaveFfmpeg();

// Runs a shell command (test-made arguments only) and returns what it wrote to stdout.
std::string Output(const std::string& command);

// Writes `seconds` of testsrc2 at `size` ("320x240") and `rate` ("30000/1001") with `codec`
// ("mjpeg", "rawvideo", "mpeg4"), plus a stereo sine tone when `audio`.
bool MakeAvi(const std::string& path, const std::string& size, const std::string& rate,
             double seconds, const std::string& codec, bool audio);

// What ffprobe says of a file's first video stream.
struct Probe {
    int width = 0;
    int height = 0;
    uint32_t rateNum = 0; // r_frame_rate
    uint32_t rateDen = 0;
    long long frames = -1; // nb_frames
    int streams = 0;
    bool audio = false;
};
bool ProbeFile(const std::string& path, Probe& probe);

// A hand-built AVI: a header list with a main header and one stream list per entry of
// `streams`, an empty "movi" list. Values go into the file as given, absurd or not.
struct StreamSpec {
    std::string type = "vids";
    uint32_t scale = 1001;
    uint32_t rate = 30000;
    uint32_t length = 100;
    int32_t formatWidth = 320;
    int32_t formatHeight = 240;
    uint32_t strhSize = 56;
};
struct AviSpec {
    uint32_t width = 320;
    uint32_t height = 240;
    uint32_t totalFrames = 100;
    uint32_t flags = 0x10;
    uint32_t maxBytesPerSec = 1234;
    uint32_t suggestedBuffer = 4096;
    bool mainHeader = true;
    std::vector<StreamSpec> streams{StreamSpec{}};
    uint32_t moviBytes = 0; // zero-filled payload inside "movi"
};
std::string BuildAvi(const AviSpec& spec);

} // namespace media
