// Reads the headers of a RIFF AVI file (AVI 1.0 and OpenDML) into the AVIFile file-information
// record, without reading the frame data.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The AVIFile file-information record of a source.
struct AviFileInfo {
    uint32_t maxBytesPerSec = 0;
    uint32_t flags = 0; // the main header's flags (AVIF_*)
    uint32_t caps = 0;  // kAviCapsCanRead for every file this reader opens
    uint32_t streams = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t scale = 0; // of the first video stream: frames per second = rate / scale
    uint32_t rate = 0;
    uint32_t length = 0; // frames of the first video stream, over all RIFF parts of the file
    uint32_t editCount = 0;
    std::string fileType; // at most 63 characters: kAviTypeText or kOpenDmlTypeText
};

constexpr uint32_t kAviCapsCanRead = 0x1;
// The file type texts this reader reports.
inline constexpr const char* kAviTypeText = "AVI";
inline constexpr const char* kOpenDmlTypeText = "AVI (OpenDML)";

// What the headers say besides the file-information record.
struct AviHeaders {
    AviFileInfo info;
    bool hasAudio = false;         // at least one "auds" stream
    bool openDml = false;          // an "odml" header list or a second RIFF part ("AVIX")
    uint32_t riffParts = 0;        // RIFF "AVI " plus every following RIFF "AVIX"
    uint32_t mainHeaderFrames = 0; // the main header's total frames (first RIFF part only)
    uint64_t fileSize = 0;
    // The file ends inside its frames (a recording that stopped early). `info.length` is then
    // the number of whole frames before the cut, and `headerFrames` what the headers count.
    bool truncated = false;
    uint32_t headerFrames = 0;
};

enum AviError {
    kAviOk = 0,
    kAviCannotOpen = 1, // missing, unreadable or a folder
    kAviNotAvi = 2,     // no RIFF "AVI " form at the start
    kAviTruncated = 3,  // a header runs past the end of the file, or no whole frame is left
    kAviBadHeader = 4,  // a header is missing, too short, or holds impossible values
    kAviNoVideo = 5,    // no "vids" stream
};

// Reads `path`'s headers into `out`. Touches only the header lists and a 12-byte header per
// RIFF part and top-level chunk, so its cost does not grow with the size of the frame data;
// only a file cut short is walked frame by frame, to count the whole frames before the cut.
// On an error `out` is left in an unspecified but valid state. Never reads outside the file.
AviError ReadAviHeaders(const std::string& path, AviHeaders& out);

// A short English text for an error code ("not an AVI file").
const char* AviErrorText(AviError error);

} // namespace platform
