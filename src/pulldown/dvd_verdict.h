// Whether a stream may go on a DVD-Video disc as it is, and why not.
#pragma once

#include "pulldown/stream_report.h"

namespace pulldown {

// DVD-Video limits that the verdict checks.
constexpr double kDvdMaxRate = 9.8e6;               // bits a second, in any one-second window
constexpr uint64_t kDvdMaxVbvBits = 224 * 1024 * 8; // 224 KiB
constexpr uint32_t kDvdMaxGopNtsc = 18;             // pictures
constexpr uint32_t kDvdMaxGopPal = 15;

// Judges a completed report: frame rate (29.97 or 25; 23.976 only as 29.97 with 2:3 flags),
// size for that rate (720, 704 or 352 x 480/576, 352 x 240/288), aspect (4:3 or 16:9, no 16:9
// at 352 wide), peak rate, declared buffer size, GOP length, the buffer model, an unchanging
// sequence and the sequence end code. One reason per broken rule.
DvdVerdict JudgeDvdVideo(const StreamReport& report);

// "H:MM:SS" of whole seconds.
std::string FormatClock(double seconds);

// "N.NN Mbit/s" of a rate in bits per second.
std::string FormatMbits(double bits);

} // namespace pulldown
