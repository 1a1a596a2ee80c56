// Whether ffmpeg's multipass rate control can plan a stream at the rates of a list, judged
// from the analysis (pass 1) log before a later pass is started.
#pragma once

#include <cstdint>
#include <string>

namespace enc {

// ffmpeg's lambda per quantiser step (FF_QP2LAMBDA).
inline constexpr double kLambdaPerQuantiser = 118.0;
// The coarsest quantiser ffmpeg's MPEG-2 encoder uses: 28 with the non-linear scale, else 31.
int CoarsestQuantiser(bool nonLinear);

// The mean rate (kbit/s) the frames of the pass log at `logPath` take when every picture is
// coded at the coarsest quantiser (`qmax`; I-pictures at 0.8 and B-pictures at 1.25 times it,
// as ffmpeg's rate control limits them), at `rateNum`/`rateDen` frames a second. `frames`
// receives the number of frame lines. Returns -1 when the log cannot be read or holds no frame.
double CoarsestMeanKbps(const std::string& logPath, int qmax, int rateNum, int rateDen,
                        int64_t& frames);

// What a multipass pass after the analysis can be asked for.
struct MultipassFit {
    bool planFits = true;  // the mean is within reach: ffmpeg's planner converges
    bool floorFits = true; // the mean leaves room for the minimum as well
};

// ffmpeg's planner gives up ("bitrate too low for this video with these parameters") and then
// aborts when the mean cannot be reached at the coarsest quantiser, and a minimum adds to
// what the coarsest stream takes. Both are judged with a tenth of the mean in reserve, as the
// log's bit counts are estimates of the later pass's.
MultipassFit FitMultipass(double coarsestKbps, int64_t avgKbps, int64_t minKbps);

} // namespace enc
