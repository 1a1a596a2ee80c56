// Inspection of video files in the containers libavformat reads (MP4, MKV, MOV, MPEG-TS,
// MPEG-PS, DV and more): headers and packet counts only, never a decoded picture.
#pragma once

#include <cstdint>
#include <string>

namespace source {

// How the fields of a picture are ordered, where the stream says it.
enum class FieldOrder { Unknown, Progressive, TopFirst, BottomFirst };

// The facts of a source's first video stream.
struct AvProbe {
    int width = 0;
    int height = 0;
    // The frame rate the source is encoded at, as rate / scale. For a variable-rate source
    // this is its nominal rate: the MPEG frame rate nearest its average rate.
    uint32_t rate = 0;
    uint32_t scale = 1;
    // Frames at that rate. For a constant-rate source the frames it holds (as its headers
    // count them, else its video packets counted); for a variable-rate one the frames its
    // duration spans at the nominal rate (`packets` holds what it stores).
    int64_t frames = 0;
    int64_t packets = 0;
    bool variableRate = false;
    // A constant rate that no MPEG-2 stream carries (10, 15, 26.777 fps...): `rate` / `scale`
    // is then the nearer DVD rate (25 or 29.97) it is encoded at, frames repeated or dropped as
    // for a variable rate, and `sourceFps` the rate the file has.
    bool rateConverted = false;
    double sourceFps = 0;
    // The container gave no frame count: the packets were counted.
    bool counted = false;
    // The file ends before the frames its headers list: `frames` counts the whole ones before
    // the cut and `headerFrames` what the headers list.
    bool truncated = false;
    int64_t headerFrames = 0;
    // Sample (pixel) aspect and display aspect, reduced; 0/0 when the stream gives none.
    int sarNum = 0;
    int sarDen = 0;
    int darNum = 0;
    int darDen = 0;
    FieldOrder fieldOrder = FieldOrder::Unknown;
    double seconds = 0; // the video's duration
    bool hasAudio = false;
    int audioChannels = 0;
    int streamIndex = -1;  // the video stream's index in the file
    std::string container; // "MP4", "Matroska", "MPEG-TS", ...
    std::string codec;     // libavcodec's short name: "h264", "mpeg2video", ...
    // The file type text the window shows: container and codec, at most 63 characters.
    std::string fileType;
};

enum AvProbeError {
    kAvOk = 0,
    kAvCannotOpen = 1, // missing, unreadable, a folder, a FIFO or device
    kAvNotMedia = 2,   // no container libavformat knows, or a single picture
    kAvNoVideo = 3,    // no video stream (an audio file, cover art only)
    kAvBadVideo = 4,   // a video stream without size or frame rate
    kAvNoFrames = 5,   // no video frame can be read (a damaged file)
};

// The most frames a file whose container gives no count is counted up to: more than a day at
// 60 frames a second, in 64 MiB of timestamps.
inline constexpr int64_t kMaxCountedFrames = int64_t{1} << 23;

// Inspects `path` (no quotes removed). Reads the container's headers and, where they give no
// frame count, the video packets (no decoding), so the cost is the headers plus one pass over
// the packet headers at most, and at most kMaxCountedFrames packets. A frame count the file's
// size cannot hold (a byte a frame) is refused, and no table of the file is allocated beyond a
// fixed size (the library's own limit, set on the first call), so a file of a few KiB that
// claims millions of frames costs little. Quiet: libavformat's own messages are switched off. Any
// thread; never blocks on a FIFO or device. On an error `out` is unspecified and `error` says why.
AvProbeError ProbeAvSource(const std::string& path, AvProbe& out, std::string& error);

// A short English text for an error code.
const char* AvProbeErrorText(AvProbeError error);

// The MPEG frame rate nearest `fps` as rate / scale (24000/1001 ... 60/1).
void NearestMpegRate(double fps, uint32_t& rate, uint32_t& scale);
// The DVD frame rate nearer `fps`: 25/1 or 30000/1001.
void NearestDvdRate(double fps, uint32_t& rate, uint32_t& scale);

} // namespace source
