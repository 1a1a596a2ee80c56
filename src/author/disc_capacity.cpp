#include "author/disc_capacity.h"

#include "chapters/size_calc.h"

#include <cmath>

namespace author {

uint64_t AudioBytes(double seconds, int kbps) {
    return static_cast<uint64_t>(std::ceil(seconds * kbps * 125.0));
}

uint64_t EstimatedDiscBytes(uint64_t streamBytes, uint64_t audioBytes) {
    return static_cast<uint64_t>(std::ceil((streamBytes + audioBytes) * kMuxOverhead));
}

int FittingAverageKbps(uint64_t capacity, uint64_t audioBytes, double seconds) {
    const double videoBytes = capacity / kMuxOverhead - static_cast<double>(audioBytes);
    if (videoBytes <= 0 || seconds <= 0) {
        return 0;
    }
    // The inverse of the size calc's estimate, whose kilobytes are 1,000 bytes.
    const double perKbps = chapters::EstimatedKilobytes(1, seconds) * 1000.0;
    return static_cast<int>(std::floor(videoBytes / perKbps));
}

std::string CapacityProblem(uint64_t streamBytes, uint64_t audioBytes, double seconds,
                            bool dualLayer) {
    const uint64_t capacity = dualLayer ? kDualLayerBytes : kSingleLayerBytes;
    const uint64_t size = EstimatedDiscBytes(streamBytes, audioBytes);
    if (size <= capacity) {
        return "";
    }
    std::string text = chapters::FormatSize(size / 1024.0) + " of titles do not fit a " +
                       (dualLayer ? "dual-layer" : "single-layer") + " disc (" +
                       chapters::FormatSize(capacity / 1024.0) + ")";
    const int kbps = FittingAverageKbps(capacity, audioBytes, seconds);
    if (kbps > 0) {
        text += ": an average video rate of " + std::to_string(kbps) + " kbit/s would fit";
    }
    return text;
}

} // namespace author
