// The ffmpeg arguments behind the list's Quality (search and decision effort) and Bias (how
// much the rate follows the picture's difficulty).
#pragma once

#include "encode_plan.h"

#include <string>
#include <vector>

namespace enc {

// The lowest and highest Quality (`quality_prec`) and Bias (`vbr_bias`).
inline constexpr int kQualityMin = 1;
inline constexpr int kQualityMax = 100;
inline constexpr int kBiasMin = 0;
inline constexpr int kBiasMax = 100;

// Reads `quality_prec` and `vbr_bias` into the plan. A value outside its range is taken as
// the nearest end, with a note; a list that lacks a key keeps the plan's default.
void ReadEffort(const EclList& list, EncodePlan& plan);

// ffmpeg's MPEG-2 encoder options for a Quality of 1 (fastest) to 100 (best): macroblock
// decision, trellis quantisation, comparison functions, motion search pattern and range,
// predictors, bidirectional refinement and the anchors' share of the bits. A value outside
// 1..100 is taken as the nearest end. Every value gives the full set, so no ffmpeg default
// shows through. `mpeg1` leaves out the MPEG-2-only intra VLC table.
std::vector<std::string> EffortArguments(int quality, bool mpeg1);

// ffmpeg's rate variation for a Bias of 0 (the rate stays near the mean) to 100 (hard scenes
// take much more than easy ones), as the quantiser compression `-qcomp`, 0.1 to 0.9. Empty for
// CBR, where the rate is fixed and the Bias has no effect.
std::vector<std::string> BiasArguments(int bias, RateMode mode);

// The quantiser compression of a Bias (0.1 at 0 to 0.9 at 100), for the notes and tests.
double QcompOfBias(int bias);

} // namespace enc
