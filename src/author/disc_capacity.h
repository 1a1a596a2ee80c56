// Whether the titles of a disc fit it, and the average video rate that would make them fit.
#pragma once

#include <cstdint>
#include <string>

namespace author {

inline constexpr uint64_t kSingleLayerBytes = 4700000000ULL;
inline constexpr uint64_t kDualLayerBytes = 8500000000ULL;
// Program stream packs and navigation add about this share to the streams' own bytes.
inline constexpr double kMuxOverhead = 1.03;

// AC-3 bytes of `seconds` at `kbps`.
uint64_t AudioBytes(double seconds, int kbps);

// The disc's estimated size from the streams' and audio's bytes, overhead included.
uint64_t EstimatedDiscBytes(uint64_t streamBytes, uint64_t audioBytes);

// The size calc's average rate (kbit/s, as the job editor's Avg field takes it) that fills
// `capacity` with `seconds` of video beside `audioBytes` of audio; 0 when even the audio does
// not fit.
int FittingAverageKbps(uint64_t capacity, uint64_t audioBytes, double seconds);

// "5.12 GB of titles do not fit a single-layer disc (4.38 GB): an average video rate of
// 4120 kbit/s would fit" for a disc over its capacity; "" when it fits.
std::string CapacityProblem(uint64_t streamBytes, uint64_t audioBytes, double seconds,
                            bool dualLayer);

} // namespace author
