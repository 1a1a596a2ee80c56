// The output size estimate of the job being edited (the Calc button).
#include "chapters/size_calc.h"

#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"

#include <cstdio>
#include <cstdlib>

namespace chapters {

using namespace platform::main_window;

namespace {

std::string Printf(const char* format, double value, const char* unit = nullptr) {
    char buffer[512];
    if (unit != nullptr) {
        std::snprintf(buffer, sizeof buffer, format, value, unit);
    } else {
        std::snprintf(buffer, sizeof buffer, format, value);
    }
    return buffer;
}

} // namespace

double EstimatedKilobytes(int avgKbps, double seconds) {
    return avgKbps * kCceBitrateFactor * seconds * 0.125;
}

std::string FormatSize(double kilobytes) {
    const char* unit = "KB";
    if (kilobytes > 1024.0) {
        kilobytes *= 1.0 / 1024.0;
        unit = "MB";
        if (kilobytes > 1024.0) {
            kilobytes *= 1.0 / 1024.0;
            unit = "GB";
        }
    }
    return Printf("%5.2f %s", kilobytes, unit);
}

void OnCalcSize(platform::Dialog& dialog, double sourceSeconds, logging::Log& log) {
    std::string frames = dialog.GetText(kInfoFrames);
    if (frames.empty()) {
        log("You must have a job selected into the Job Info section.", logging::kLogError);
        return;
    }
    double shownSeconds = std::strtod(frames.c_str(), nullptr) /
                          std::strtod(dialog.GetText(kInfoFrameRate).c_str(), nullptr);
    double rate = dialog.GetSpinPos(kBitrateAvgSpin) * kCceBitrateFactor;
    double kilobytes = EstimatedKilobytes(dialog.GetSpinPos(kBitrateAvgSpin), sourceSeconds);
    dialog.SetText(kOutputSize, FormatSize(kilobytes));

    const std::string rule(48, '~');
    log(rule, logging::kLogDebug);
    log("Filesize Calc Info:", logging::kLogDebug);
    log(Printf(" Total Seconds: %5.2f", shownSeconds), logging::kLogDebug);
    log(Printf(" KBits/Second: %5.2f (Includes CCE Bitrate Factor)", rate), logging::kLogDebug);
    log(Printf(" File KBytes: %5.2f", kilobytes), logging::kLogDebug);
    log(rule, logging::kLogDebug);
}

} // namespace chapters
