// ShowSourceInfo's logic: open the source, format its five File Info texts.
#include "source/source_info.h"

#include "log/log.h"
#include "source/avi_source.h"

#include <cmath>
#include <cstdio>

namespace source {
namespace {

template <typename... Args> std::string Format(const char* format, Args... args) {
    int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) {
        return {};
    }
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<size_t>(n));
    return text;
}

} // namespace

SourceInfoFields FormatSourceInfo(int width, int height, int length, int rateThousandths,
                                  const std::string& fileType) {
    SourceInfoFields f;
    f.resolution = Format("%i x %i", width, height);
    f.frames = Format("%i", length);
    f.sourceFrames = length;
    double fps = rateThousandths * 0.001;
    f.frameRate = Format("%2.3f", fps);
    // Below half a frame per second the rounded rate would be 0; count such sources at 1.
    int r = static_cast<int>(fps + 0.5);
    if (r < 1) {
        r = 1;
    }
    double s = static_cast<double>(length) / r;
    f.sourceSeconds = s;
    int hours = static_cast<int>(s / 3600);
    double s1 = s - hours * 3600.0;
    int minutes = static_cast<int>(s1 / 60);
    int seconds = static_cast<int>(s1 - minutes * 60.0);
    int frames = static_cast<int>((s - std::floor(s)) * r);
    f.length = Format("%02d:%02d:%02d:%02d", hours, minutes, seconds, frames);
    f.type = fileType;
    return f;
}

bool InspectSource(const std::string& path, const std::string& programDir, logging::Log& log,
                   SourceInfoFields& fields) {
    CAviSource source(path, programDir);
    if (source.Open() != CAviSource::kOpenOk) {
        log.Write(Format("  AVI Error: could not load %s", path.c_str()), logging::kLogError);
        log.Write("  " + source.Error(), logging::kLogDebug);
        return true;
    }
    if (source.Truncated()) {
        log.Write(Format("  Warning: %s is truncated: the %i whole frames before the cut are used "
                         "(its headers count %u)",
                         path.c_str(), source.Length(), source.HeaderFrames()),
                  logging::kLogWarning);
    }
    fields = FormatSourceInfo(source.Width(), source.Height(), source.Length(), source.Rate(),
                              source.FileType());
    source.Close();
    return false;
}

} // namespace source
