// Resolution of the pulldown options into the settings of a run, with the lines that announce it.
#include "pulldown/settings.h"

#include <cstdio>

namespace pulldown {

namespace {

struct RateInfo {
    double rate;
    int frameRateCode;
    int timeCodeRate;
};

// Frame-rate index 1 to 3 of the options.
constexpr RateInfo kRates[] = {
    {23.976, 1, 24},
    {25.0, 3, 25},
    {29.97, 4, 30},
};

} // namespace

int ResolveOptions(const PulldownOptions& options, ResolvedSettings& out, const LineSink& line) {
    ResolvedSettings r;
    if (options.m_SetFrameRate) {
        if (options.m_FrameRateIndex < 1 || options.m_FrameRateIndex > 3) {
            line(" ERROR: Frame rate error (pulldown)", kPulldownLogError);
            return kPulldownFrameRateError;
        }
        const RateInfo& rate = kRates[options.m_FrameRateIndex - 1];
        r.pulldown = false;
        r.recalcTimeCodes = false;
        r.targetRate = rate.rate;
        r.frameRateCode = rate.frameRateCode;
        r.timeCodeRate = rate.timeCodeRate;
    }
    if (options.m_NoRff) {
        r.stripRff = true;
        r.pulldown = false;
    }
    if (options.m_FieldOrder == 1 || options.m_FieldOrder == 2) {
        r.fieldOrder = options.m_FieldOrder;
    }
    if (options.m_NoTimecodes) {
        line(" - Not recalculating timecodes", kPulldownLogInfo);
        r.recalcTimeCodes = false;
    }
    if (options.m_ProgressiveSequence == 1) {
        line(" - setting all sequences to PROGRESSIVE", kPulldownLogInfo);
        r.sequenceMode = 1;
    } else if (options.m_ProgressiveSequence == 2) {
        line(" - setting all sequences to INTERLACED", kPulldownLogInfo);
    }
    if (options.m_ProgressiveFrame == 1) {
        line(" - setting all frames to PROGRESSIVE", kPulldownLogInfo);
        r.frameMode = 1;
    } else if (options.m_ProgressiveFrame == 2) {
        line(" - setting all frames to INTERLACED", kPulldownLogInfo);
        r.frameMode = 2;
    }
    if (options.m_DropFrame == 1) {
        r.dropFrame = 1;
        r.recalcTimeCodes = true;
    } else if (options.m_DropFrame == 2) {
        r.dropFrame = 0;
        r.recalcTimeCodes = true;
    }
    r.aspectCode = options.m_AspectRatio;
    static const char* const kAspectLines[] = {
        " - setting aspect ratio to 1:1",
        " - setting aspect ratio to 4:3",
        " - setting aspect ratio to 16:9",
        " - setting aspect ratio to 2.21:1",
    };
    if (r.aspectCode >= 1 && r.aspectCode <= 4) {
        line(kAspectLines[r.aspectCode - 1], kPulldownLogInfo);
    }
    if (r.pulldown) {
        line(" - enabling 2:3 pulldown", kPulldownLogInfo);
    } else {
        line(" - disableing 2:3 pulldown", kPulldownLogInfo);
        char text[64];
        std::snprintf(text, sizeof text, " - setting frame rate to %f", r.targetRate);
        line(text, kPulldownLogInfo);
    }
    if (r.stripRff) {
        line(" - stripping out RFF flags", kPulldownLogInfo);
    }
    if (r.fieldOrder == 1) {
        line(" - setting TFF flag to ODD", kPulldownLogInfo);
    } else if (r.fieldOrder == 2) {
        line(" - setting TFF flag to EVEN", kPulldownLogInfo);
    }
    if (r.dropFrame == 1) {
        line(" - enabling drop frame flag.", kPulldownLogInfo);
    }
    out = r;
    return kPulldownOk;
}

} // namespace pulldown
