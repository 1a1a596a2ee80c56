// The check after a multipass encode's final pass: whether its mean rate is close enough to
// the asked one, and where to aim one more final pass when it is not.
#pragma once

#include "encode_plan.h"

#include <cstdint>

namespace enc {

// How far (as a share) a multipass stream's mean rate may lie from the asked average before
// the final pass is run once more. ffmpeg's second pass misses by a few percent on short
// ranges: the first pictures' errors have no time to even out.
inline constexpr double kRateFitTolerance = 0.01;

// The mean rate in kbit/s of `bytes` of stream for the plan's range at the plan's frame rate.
double MeanKbps(const EncodePlan& plan, uint64_t bytes);

// Whether a multipass stream of mean rate `kbps` misses the plan's average by more than the
// tolerance; then `aim` is the average to ask of one more final pass (the asked one scaled by
// the miss, within the plan's floor and peak). False for the other rate modes.
bool RefitAim(const EncodePlan& plan, double kbps, int64_t& aim);

} // namespace enc
