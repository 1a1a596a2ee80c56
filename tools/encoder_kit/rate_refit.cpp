// The check after a multipass encode's final pass: whether its mean rate is close enough to
// the asked one, and where to aim one more final pass when it is not.
#include "rate_refit.h"

#include <algorithm>
#include <cmath>

namespace enc {

double MeanKbps(const EncodePlan& plan, uint64_t bytes) {
    const int64_t frames = plan.encodeEnd - plan.encodeFirst;
    if (frames <= 0 || plan.rateNum <= 0) {
        return 0;
    }
    const double seconds = static_cast<double>(frames) * plan.rateDen / plan.rateNum;
    return static_cast<double>(bytes) * 8 / seconds / 1000;
}

bool RefitAim(const EncodePlan& plan, double kbps, int64_t& aim) {
    if (plan.mode != RateMode::MultipassVbr || kbps <= 0 || plan.avgKbps <= 0) {
        return false;
    }
    const double ratio = kbps / static_cast<double>(plan.avgKbps);
    if (std::fabs(ratio - 1) <= kRateFitTolerance) {
        return false;
    }
    // ffmpeg's rate follows the asked one about in proportion, so the miss is divided out.
    const auto scaled = static_cast<int64_t>(std::llround(plan.avgKbps / ratio));
    aim = std::clamp<int64_t>(scaled, std::max<int64_t>(plan.minKbps, 1), plan.maxKbps);
    return aim != plan.avgKbps;
}

} // namespace enc
