// Test media: AVI files made by ffmpeg, ffprobe's view of them, and hand-built AVI headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

// Runs a shell command (test-made arguments only); true when it exits with status 0.
bool Run(const std::string& command);

bool HaveFfmpeg();

// Runs ffmpeg with `arguments` (all but the output file) to write `path`; true when it did. Each
// distinct file is made once per build folder: the first test to need it leaves a copy in the
// test folder's media-cache/, and later tests, each in a process of its own, copy that one.
bool MakeOnce(const std::string& arguments, const std::string& path);

// Runs a shell command (test-made arguments only) and returns what it wrote to stdout.
std::string Output(const std::string& command);

// Writes `seconds` of testsrc2 at `size` ("320x240") and `rate` ("30000/1001") with `codec`
// ("mjpeg", "rawvideo", "mpeg4"), plus a stereo sine tone when `audio`.
bool MakeAvi(const std::string& path, const std::string& size, const std::string& rate,
             double seconds, const std::string& codec, bool audio);

// A short video file of one of the containers the source inspection reads through libavformat,
// made by ffmpeg: its file name and ffmpeg's arguments after the inputs.
struct VideoSample {
    std::string file;      // "h264.mp4"
    std::string inputs;    // ffmpeg's input arguments
    std::string arguments; // ffmpeg's output arguments
};
// H.264 in MP4 (with audio) and MKV, MJPEG in MOV, MPEG-2 in TS (interlaced, top field first)
// and PS, DV, a variable-rate MP4 and an anamorphic (16:9 display) MKV; 1 to 2 s, small.
const std::vector<VideoSample>& VideoSamples();
// Makes `sample` as `dir`/`sample.file`.
bool MakeVideo(const std::string& dir, const VideoSample& sample);
// Makes the file at `path` and keeps only its first `keep` bytes.
bool CutFile(const std::string& path, uint64_t keep);
// ffprobe's view of one stream entry (-show_entries stream=`entry`) of the first video
// stream, with its packets counted (its first line); empty when ffprobe fails.
std::string ProbeEntry(const std::string& path, const std::string& entry);

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
