// The ffmpeg arguments behind the list's Quality (search and decision effort) and Bias (how
// much the rate follows the picture's difficulty).
#include "effort.h"

#include <algorithm>
#include <cstdio>

namespace enc {

namespace {

// One step of the Quality scale: the options used from `from` up to the next step. The table
// in tools/cce/README.md is this one.
struct EffortStep {
    int from;
    const char* mbd;      // macroblock decision: simple, bits or rd (rate-distortion)
    const char* trellis;  // trellis quantisation: 0 off, 1 on
    const char* cmp;      // full-pel, sub-pel and macroblock comparison: sad or satd
    const char* diaSize;  // search pattern: 0 small diamond, 2 larger, -3 shape-adaptive
    const char* meRange;  // motion vector range in pixels, 0 as far as MPEG-2 allows
    const char* lastPred; // predictors from the previous picture
    const char* bidir;    // bidirectional refinement of B-picture vectors
    // MPEG-2's second intra VLC table. Off with trellis and rate-distortion decisions: ffmpeg
    // prices intra blocks there with the first table, and on noise and grain the stream is
    // then larger and worse.
    const char* intraVlc;
    const char* qmin; // the finest quantiser: 1 lets a high rate be spent on an easy scene
    const char* lmin; // the same floor for the rate control, in lambda units (118 per step)
};

constexpr EffortStep kSteps[] = {
    {1, "simple", "0", "sad", "0", "16", "0", "0", "0", "2", "236"},
    {10, "simple", "0", "sad", "1", "32", "0", "1", "1", "2", "236"},
    {25, "bits", "0", "satd", "2", "0", "1", "1", "1", "2", "236"},
    {45, "rd", "1", "satd", "2", "0", "2", "2", "0", "1", "118"},
    {70, "rd", "1", "satd", "-3", "0", "3", "4", "0", "1", "118"},
};

} // namespace

void ReadEffort(const EclList& list, EncodePlan& plan) {
    struct Key {
        const char* name;
        int lo;
        int hi;
        int* out;
    };
    for (const Key& k : {Key{"quality_prec", kQualityMin, kQualityMax, &plan.quality},
                         Key{"vbr_bias", kBiasMin, kBiasMax, &plan.bias}}) {
        int64_t v = 0;
        if (!list.Number(k.name, v)) {
            continue;
        }
        const int64_t used = std::clamp<int64_t>(v, k.lo, k.hi);
        if (used != v) {
            plan.notes.push_back(std::string(k.name) + "=" + std::to_string(v) +
                                 " is out of range (" + std::to_string(k.lo) + " to " +
                                 std::to_string(k.hi) + "): " + std::to_string(used) + " is used");
        }
        *k.out = static_cast<int>(used);
    }
}

std::vector<std::string> EffortArguments(int quality, bool mpeg1) {
    quality = std::clamp(quality, kQualityMin, kQualityMax);
    const EffortStep* s = &kSteps[0];
    for (const EffortStep& step : kSteps) {
        if (quality >= step.from) {
            s = &step;
        }
    }
    std::vector<std::string> a = {
        "-mbd",      s->mbd,     "-trellis",   s->trellis,  "-cmp",          s->cmp,
        "-subcmp",   s->cmp,     "-mbcmp",     s->cmp,      "-dia_size",     s->diaSize,
        "-me_range", s->meRange, "-last_pred", s->lastPred, "-bidir_refine", s->bidir,
        "-qmin",     s->qmin,    "-lmin",      s->lmin};
    if (!mpeg1) {
        a.insert(a.end(), {"-intra_vlc", s->intraVlc});
    }
    return a;
}

double QcompOfBias(int bias) {
    bias = std::clamp(bias, kBiasMin, kBiasMax);
    return 0.1 + 0.8 * bias / 100.0;
}

std::vector<std::string> BiasArguments(int bias, RateMode mode) {
    if (mode == RateMode::Cbr) {
        return {};
    }
    char qcomp[16];
    std::snprintf(qcomp, sizeof qcomp, "%.3f", QcompOfBias(bias));
    return {"-qcomp", qcomp};
}

} // namespace enc
