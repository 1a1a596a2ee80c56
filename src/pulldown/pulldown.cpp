// One pulldown run: announce, resolve the options, open the files, walk the stream, report.
#include "pulldown/pulldown.h"

#include "ecl/ecl_writer.h"
#include "pulldown/block_stream.h"
#include "pulldown/settings.h"
#include "pulldown/stream_rewriter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>
#include <utility>

namespace pulldown {

namespace {

// Seconds a film picture lasts at 23.976 pictures a second.
constexpr double kFilmPictureSeconds = 0.04170837504170838;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// A double truncated toward zero, held inside the range of int64_t (and 0 for NaN).
int64_t Truncate(double v) {
    if (!(v == v)) {
        return 0;
    }
    if (v >= 9.2e18) {
        return std::numeric_limits<int64_t>::max();
    }
    if (v <= -9.2e18) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(v);
}

// True when `target` names the same file as `source` (opening it for writing would destroy it).
bool SameFile(const std::string& source, const std::string& target) {
    std::error_code ec;
    return std::filesystem::equivalent(source, target, ec) && !ec;
}

// "29.97" for frame_rate_code 4; the code itself where it names no rate.
std::string RateName(uint32_t code) {
    int num = 0;
    int den = 0;
    if (!ecl::FrameRateOfIndex(static_cast<int>(code), num, den)) {
        return "frame_rate_code " + std::to_string(code);
    }
    char text[32];
    std::snprintf(text, sizeof text, den == 1 ? "%.0f" : "%.3f", static_cast<double>(num) / den);
    std::string name = text;
    // 30000/1001 reads as 29.97, 60000/1001 as 59.94, as they are known.
    if (den != 1 && name.size() > 2 && name.back() == '0') {
        name.pop_back();
    }
    return name;
}

} // namespace

const char* PulldownResultReason(int code) {
    switch (code) {
    case kPulldownOk:
        return "";
    case kPulldownFrameRateError:
        return "bad frame-rate index";
    case kPulldownOpenInputFailed:
        return "the stream cannot be opened";
    case kPulldownReadInputFailed:
        return "the stream is empty";
    case kPulldownOpenOutputFailed:
        return "the target cannot be written";
    case kPulldownNotVideoStream:
        return "not an MPEG video stream";
    case kPulldownGetPosFailed:
    case kPulldownSetPosFailed:
        return "the stream cannot be read ahead";
    case kPulldownNotFilmRate:
        return "the stream is not at 23.976 frames a second";
    case kPulldownNotProgressive:
        return "the stream is not coded as progressive frames";
    default:
        return "the stream ends before its sequence end code";
    }
}

PulldownProcessor::PulldownProcessor(std::string source, std::string target,
                                     const PulldownOptions& options, PulldownCallbacks callbacks)
    : m_Source(std::move(source)), m_Target(std::move(target)), m_Options(options),
      m_Callbacks(std::move(callbacks)), m_Clock([] {
          return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
      }) {}

int PulldownProcessor::Run() {
    auto line = [this](const std::string& text, int level) {
        if (m_Callbacks.OnLine) {
            m_Callbacks.OnLine(text, level);
        }
    };
    auto finish = [this](int code) {
        if (m_Callbacks.OnFinished) {
            m_Callbacks.OnFinished(code);
        }
        return code;
    };

    int64_t startTime = m_Clock();
    line("Pulldown Started", kPulldownLogInfo);
    line("  SOURCE = " + m_Source, kPulldownLogInfo);
    line("  TARGET = " + m_Target, kPulldownLogInfo);

    ResolvedSettings settings;
    if (int rc = ResolveOptions(m_Options, settings, line); rc != 0) {
        return finish(rc);
    }

    File in(std::fopen(m_Source.c_str(), "rb"));
    if (!in) {
        line("ERROR: Unable to open input file. (pulldown)", kPulldownLogError);
        return finish(kPulldownOpenInputFailed);
    }
    std::setvbuf(in.get(), nullptr, _IONBF, 0);
    File out;
    if (!SameFile(m_Source, m_Target)) {
        out.reset(std::fopen(m_Target.c_str(), "wb"));
    }
    if (!out) {
        line("ERROR: Unable to open output file. (pulldown)", kPulldownLogError);
        return finish(kPulldownOpenOutputFailed);
    }
    std::setvbuf(out.get(), nullptr, _IONBF, 0);

    BlockStream stream;
    if (!stream.Start(in.get(), out.get())) {
        line("ERROR: Unable to read from input file. (pulldown)", kPulldownLogError);
        return finish(kPulldownReadInputFailed);
    }
    StreamRewriter rewriter(stream, settings, m_Callbacks.OnUpdate);
    int rc = rewriter.Walk();
    bool written = stream.Finish(rc == 0);
    in.reset();
    if (std::fclose(out.release()) != 0) {
        written = false;
    }
    if (!written) {
        line("ERROR: Unable to write to output file. (pulldown)", kPulldownLogError);
        return finish(kPulldownOpenOutputFailed);
    }
    switch (rc) {
    case kPulldownOk:
        break;
    case kPulldownNotVideoStream:
        line("ERROR: File is not an MPEG Video Stream (pulldown)", kPulldownLogError);
        return finish(rc);
    case kPulldownGetPosFailed:
        line("Unable to get file position.", kPulldownLogError);
        return finish(rc);
    case kPulldownSetPosFailed:
        line("Unable to set file position.", kPulldownLogError);
        return finish(rc);
    case kPulldownNotFilmRate:
        line("ERROR: The stream is at " + RateName(rewriter.RefusedRateCode()) +
                 " frames a second; 2:3 pulldown takes 23.976 film streams only. (pulldown)",
             kPulldownLogError);
        return finish(rc);
    case kPulldownNotProgressive:
        line("ERROR: Picture " + std::to_string(rewriter.RefusedPicture()) + " is " +
                 (rewriter.RefusedStructure() != 3 ? "a field picture"
                                                   : "coded with field prediction or DCT") +
                 "; 2:3 pulldown needs a stream coded as progressive frames. (pulldown)",
             kPulldownLogError);
        return finish(rc);
    default:
        line("ERROR: Next sequence error. (pulldown)", kPulldownLogError);
        return finish(rc);
    }

    int64_t pictures = rewriter.Pictures();
    double duration = settings.pulldown ? static_cast<double>(pictures) * kFilmPictureSeconds
                                        : static_cast<double>(pictures) / settings.targetRate;
    // With no picture counted the duration is 0; the average is then reported as 0.
    int64_t average =
        duration > 0 ? Truncate(static_cast<double>(stream.BitsConsumed()) / duration) : 0;
    char text[128];
    std::snprintf(text, sizeof text, "  Total Frames = %lld", static_cast<long long>(pictures));
    line(text, kPulldownLogInfo);
    std::snprintf(text, sizeof text, "  Total GOPS = %lld",
                  static_cast<long long>(rewriter.Gops()));
    line(text, kPulldownLogInfo);
    std::snprintf(text, sizeof text, "  Average bitrate = %lld bits/sec",
                  static_cast<long long>(average));
    line(text, kPulldownLogInfo);
    std::snprintf(text, sizeof text, "  - (MPEG stamped @ %lld bits/sec)",
                  static_cast<long long>(rewriter.BitRateValue()) * 400);
    line(text, kPulldownLogInfo);
    std::snprintf(text, sizeof text, "  Time taken = %lld seconds...",
                  static_cast<long long>(m_Clock() - startTime));
    line(text, kPulldownLogInfo);
    return finish(kPulldownOk);
}

} // namespace pulldown
