// ShowSourceInfo's logic: open the source, format its five File Info texts.
#include "source/source_info.h"

#include "log/log.h"
#include "source/avi_source.h"
#include "source/dvd_fit.h"

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

const char* const kSourceKindsText =
    "AVI files, .avs scripts and video files in MP4, MKV, MOV, MPEG-TS (.ts, .m2ts), "
    "MPEG-PS (.mpg, .vob) or DV";

const std::vector<std::string>& SourceExtensions() {
    static const std::vector<std::string> kExtensions = {"avi",  "avs",  "mp4", "m4v",  "mkv",
                                                         "webm", "mov",  "ts",  "m2ts", "mts",
                                                         "mpg",  "mpeg", "vob", "dv"};
    return kExtensions;
}

std::string SourceDialogFilter() {
    std::string filter = "Video Files (";
    for (const std::string& e : SourceExtensions()) {
        filter += (filter.back() == '(' ? "*." : " *.") + e;
    }
    return filter + ")";
}

std::string UnreadableSourcesText(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return {};
    }
    std::string text = paths.size() == 1 ? "This file cannot be read as a video source, so no "
                                           "job was added for it:\n"
                                         : "These files cannot be read as video sources, so no "
                                           "jobs were added for them:\n";
    for (const std::string& p : paths) {
        text += "\n" + p;
    }
    return text + "\n\nSources can be " + kSourceKindsText + ". The log says why each failed.";
}

int NearestAspectChoice(int num, int den) {
    if (num <= 0 || den <= 0) {
        return 0;
    }
    // Nearer on a ratio scale: 16:9 is 4/3 times as wide as 4:3.
    double aspect = static_cast<double>(num) / den;
    return std::fabs(std::log(aspect / (16.0 / 9.0))) < std::fabs(std::log(aspect / (4.0 / 3.0)))
               ? 3
               : 2;
}

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

namespace {

// "15", "26.777", "29.97": a rate with the zeros after its point left out.
std::string FpsText(double fps) {
    std::string text = Format("%.3f", fps);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

// Whether a rate in thousandths is one of MPEG-2's frame rates.
bool IsMpegRate(int thousandths) {
    for (int rate : {23976, 24000, 25000, 29970, 30000, 50000, 59940, 60000}) {
        if (thousandths == rate) {
            return true;
        }
    }
    return false;
}

} // namespace

bool InspectSource(const std::string& path, const std::string& programDir, logging::Log& log,
                   SourceInfoFields& fields) {
    CAviSource source(path, programDir);
    if (source.Open() != CAviSource::kOpenOk) {
        log.Write(Format("  AVI Error: could not load %s", path.c_str()), logging::kLogError);
        log.Write("  " + source.Path() + " cannot be a source: " + source.Error() +
                      ". Sources can be " + kSourceKindsText + ".",
                  logging::kLogError);
        return true;
    }
    // What no MPEG-2 encode can take is refused here, when the job is made, not at its encode.
    std::string impossible;
    if (source.Width() > kMaxSourceDimension || source.Height() > kMaxSourceDimension) {
        impossible = Format("its pictures are %i x %i; at most %i x %i", source.Width(),
                            source.Height(), kMaxSourceDimension, kMaxSourceDimension);
    } else if (source.Rate() > kMaxSourceFps * 1000) {
        impossible = "it has " + FpsText(source.Rate() * 0.001) + " frames a second; at most " +
                     std::to_string(kMaxSourceFps);
    } else if (!source.AvFacts() && !IsMpegRate(source.Rate())) {
        // Video files read through libavformat are shown at the nearer DVD rate instead; an AVI
        // file or a script is encoded at its own rate, which the encoder could not take.
        impossible = "it has " + FpsText(source.Rate() * 0.001) +
                     " frames a second, which no MPEG-2 stream carries (23.976, 24, 25, 29.97, "
                     "30, 50, 59.94 or 60)";
    }
    if (!impossible.empty()) {
        log.Write(Format("  AVI Error: could not load %s", path.c_str()), logging::kLogError);
        log.Write("  ERROR: " + source.Path() + " cannot be a source: " + impossible + ".",
                  logging::kLogError);
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
    if (const AvProbe* av = source.AvFacts()) {
        fields.aspectChoice = NearestAspectChoice(av->darNum, av->darDen);
        fields.fieldOrder = static_cast<int>(av->fieldOrder);
        if (av->rateConverted) {
            log.Write("  Note: " + path + " has " + FpsText(av->sourceFps) +
                          " frames a second, which no MPEG-2 stream carries: it is encoded at " +
                          FpsText(source.Rate() * 0.001) + " fps, " +
                          std::to_string(source.Length()) +
                          " frames, with frames repeated or dropped to keep its timing",
                      logging::kLogWarning);
        }
        if (av->variableRate) {
            log.Write(Format("  Note: %s has a variable frame rate (%lld frames in %.3f s): it is "
                             "encoded at %.3f fps, %i frames, with frames repeated or dropped "
                             "where its timing needs",
                             path.c_str(), static_cast<long long>(av->packets), av->seconds,
                             source.Rate() * 0.001, source.Length()),
                      logging::kLogWarning);
        }
    }
    // What a new job of it becomes, before it is added.
    const int rate = RateInThousandths(source.FileInfo().rate, source.FileInfo().scale);
    const PictureFit fit = DefaultPictureFit(source.Width(), source.Height(), rate);
    if (fit != kFitKeep) {
        const AvProbe* av = source.AvFacts();
        const DvdFit dvd = FitToDvd(fit, source.Width(), source.Height(), av ? av->darNum : 0,
                                    av ? av->darDen : 0, rate);
        fields.pictureFit = fit;
        fields.fitText = DvdFitText(dvd);
        log.Write(Format("  Note: %s is %i x %i at %s fps, which a DVD does not carry as it is: "
                         "a new job of it is fitted to DVD, ",
                         path.c_str(), source.Width(), source.Height(),
                         FpsText(rate * 0.001).c_str()) +
                      fields.fitText,
                  logging::kLogInfo);
    }
    source.Close();
    return false;
}

} // namespace source
