// Inspection of video files through libavformat: headers, the index and packet headers.
#include "source/av_probe.h"

#include "platform/files.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace source {
namespace {

// The frame rates MPEG-2 can carry (ISO/IEC 13818-2), in no particular order.
constexpr uint32_t kMpegRates[8][2] = {{24000, 1001}, {24, 1},       {25, 1}, {30000, 1001},
                                       {30, 1},       {60000, 1001}, {50, 1}, {60, 1}};

// Rates above this are left as they are, for the inspection to refuse by name.
constexpr double kMaxConvertedFps = 120;

// A frame whose distance to the next differs from the nominal one by more than this share
// makes the rate variable; millisecond timestamps of a constant rate stay far inside it.
constexpr double kIntervalTolerance = 0.5;
// An average rate further than this share from the nominal one makes the rate variable.
constexpr double kAverageTolerance = 0.005;
// A rate this near an MPEG rate is that rate (containers with coarse time bases).
constexpr double kSnapTolerance = 0.001;

struct InputCloser {
    void operator()(AVFormatContext* ctx) const {
        if (ctx != nullptr) {
            avformat_close_input(&ctx);
        }
    }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// Nothing an inspection needs comes near this in one piece (a two-hour file's index takes a few
// MiB), but a table that claims millions of entries it does not hold would be allocated whole
// and filled for seconds: the library then gives up on that table instead.
constexpr size_t kMaxAvAllocation = 128u << 20;

void PrepareAvLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A damaged file would otherwise fill standard error with the demuxers' complaints.
        av_log_set_level(AV_LOG_QUIET);
        av_max_alloc(kMaxAvAllocation);
    });
}

double Fps(AVRational r) {
    return r.num > 0 && r.den > 0 ? av_q2d(r) : 0.0;
}

bool SnapToMpeg(double fps, uint32_t& rate, uint32_t& scale) {
    for (const auto& m : kMpegRates) {
        double mpeg = static_cast<double>(m[0]) / m[1];
        if (std::fabs(fps - mpeg) <= mpeg * kSnapTolerance) {
            rate = m[0];
            scale = m[1];
            return true;
        }
    }
    return false;
}

std::string ContainerName(const AVFormatContext* ctx) {
    std::string name = ctx->iformat->name;
    if (name.rfind("mov,", 0) == 0) {
        const AVDictionaryEntry* brand = av_dict_get(ctx->metadata, "major_brand", nullptr, 0);
        return brand != nullptr && std::strncmp(brand->value, "qt", 2) == 0 ? "QuickTime" : "MP4";
    }
    if (name.rfind("matroska", 0) == 0) {
        return "Matroska";
    }
    if (name == "mpegts") {
        return "MPEG-TS";
    }
    if (name == "mpeg" || name == "mpegvideo") {
        return name == "mpeg" ? "MPEG-PS" : "MPEG video";
    }
    if (name == "dv") {
        return "DV";
    }
    return ctx->iformat->long_name != nullptr ? ctx->iformat->long_name : name;
}

// Demuxers that make a "video" of one picture or of text: no source for an encode.
bool NotAVideoContainer(const AVFormatContext* ctx) {
    std::string name = ctx->iformat->name;
    return name == "image2" || name == "tty" || name.find("_pipe") != std::string::npos;
}

FieldOrder OrderOf(AVFieldOrder order) {
    switch (order) {
    case AV_FIELD_PROGRESSIVE:
        return FieldOrder::Progressive;
    case AV_FIELD_TT:
    case AV_FIELD_TB:
        return FieldOrder::TopFirst;
    case AV_FIELD_BB:
    case AV_FIELD_BT:
        return FieldOrder::BottomFirst;
    default:
        return FieldOrder::Unknown;
    }
}

// The presentation times of the video frames, in the stream's time base, from the index when
// it lists every frame (MP4, MOV); `inFile` counts the entries whose data lies in the file.
bool TimesFromIndex(AVStream* st, uint64_t fileSize, std::vector<int64_t>& times, int64_t& inFile) {
    int entries = avformat_index_get_entries_count(st);
    if (st->nb_frames <= 0 || entries != st->nb_frames) {
        return false;
    }
    times.reserve(static_cast<size_t>(entries));
    inFile = 0;
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(st, i);
        if (e == nullptr) {
            return false;
        }
        times.push_back(e->timestamp);
        if (e->pos >= 0 &&
            static_cast<uint64_t>(e->pos) + static_cast<uint64_t>(e->size) <= fileSize) {
            ++inFile;
        }
    }
    return true;
}

// Reads every video packet's header (other streams discarded, nothing decoded), at most
// kMaxCountedFrames of them and one more; false when there are more.
bool TimesFromPackets(AVFormatContext* ctx, int video, std::vector<int64_t>& times,
                      int64_t& lastDuration) {
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (static_cast<int>(i) != video) {
            ctx->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet) {
        return true;
    }
    while (av_read_frame(ctx, packet.get()) >= 0) {
        if (packet->stream_index == video) {
            if (times.size() >= static_cast<size_t>(kMaxCountedFrames)) {
                return false;
            }
            int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            times.push_back(t);
            lastDuration = packet->duration;
        }
        av_packet_unref(packet.get());
    }
    return true;
}

} // namespace

void NearestDvdRate(double fps, uint32_t& rate, uint32_t& scale) {
    const bool pal = std::fabs(std::log(fps / 25.0)) <= std::fabs(std::log(fps / (30000.0 / 1001)));
    rate = pal ? 25 : 30000;
    scale = pal ? 1 : 1001;
}

void NearestMpegRate(double fps, uint32_t& rate, uint32_t& scale) {
    double best = -1;
    for (const auto& m : kMpegRates) {
        double d = std::fabs(std::log(fps / (static_cast<double>(m[0]) / m[1])));
        if (best < 0 || d < best) {
            best = d;
            rate = m[0];
            scale = m[1];
        }
    }
}

const char* AvProbeErrorText(AvProbeError error) {
    switch (error) {
    case kAvOk:
        return "no error";
    case kAvCannotOpen:
        return "the file cannot be opened (missing, unreadable or not a regular file)";
    case kAvNotMedia:
        return "it is not a video file that can be read";
    case kAvNoVideo:
        return "it holds no video stream";
    case kAvBadVideo:
        return "its video stream has no picture size or frame rate";
    case kAvNoFrames:
        return "no video frame can be read from it (damaged)";
    }
    return "unknown error";
}

AvProbeError ProbeAvSource(const std::string& path, AvProbe& out, std::string& error) {
    out = AvProbe();
    platform::FileFacts facts;
    if (!platform::RegularFileFacts(path, facts)) {
        error = AvProbeErrorText(kAvCannotOpen);
        return kAvCannotOpen;
    }
    PrepareAvLibrary();
    AVFormatContext* raw = nullptr;
    // "file:" keeps a name with a colon from being taken for a protocol.
    int r = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, nullptr);
    Input ctx(raw);
    if (r < 0) {
        bool unreadable = r == AVERROR(EACCES) || r == AVERROR(ENOENT) || r == AVERROR(EISDIR);
        AvProbeError code = unreadable ? kAvCannotOpen : kAvNotMedia;
        error = AvProbeErrorText(code);
        return code;
    }
    if (NotAVideoContainer(ctx.get()) || avformat_find_stream_info(ctx.get(), nullptr) < 0) {
        error = AvProbeErrorText(kAvNotMedia);
        return kAvNotMedia;
    }
    int video = -1;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        AVMediaType type = st->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && video < 0 &&
            (st->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
            video = static_cast<int>(i);
        } else if (type == AVMEDIA_TYPE_AUDIO && !out.hasAudio) {
            out.hasAudio = true;
            out.audioChannels = st->codecpar->ch_layout.nb_channels;
        }
    }
    if (video < 0) {
        error = AvProbeErrorText(kAvNoVideo);
        return kAvNoVideo;
    }
    AVStream* st = ctx->streams[video];
    out.streamIndex = video;
    const AVCodecParameters* par = st->codecpar;
    out.width = par->width;
    out.height = par->height;
    out.codec = avcodec_get_name(par->codec_id);
    out.container = ContainerName(ctx.get());
    out.fileType = (out.container + " (" + out.codec + ")").substr(0, 63);
    out.fieldOrder = OrderOf(par->field_order);
    AVRational sar = av_guess_sample_aspect_ratio(ctx.get(), st, nullptr);
    if (sar.num > 0 && sar.den > 0) {
        av_reduce(&out.sarNum, &out.sarDen, sar.num, sar.den, 1 << 30);
    }
    double fps = Fps(st->avg_frame_rate) > 0 ? Fps(st->avg_frame_rate) : Fps(st->r_frame_rate);
    if (out.width <= 0 || out.height <= 0 || out.width > 65536 || out.height > 65536 ||
        fps < 0.001 || fps > 1000000.0) {
        error = AvProbeErrorText(kAvBadVideo);
        return kAvBadVideo;
    }
    if (out.sarNum > 0) {
        av_reduce(&out.darNum, &out.darDen, static_cast<int64_t>(out.width) * out.sarNum,
                  static_cast<int64_t>(out.height) * out.sarDen, 1 << 30);
    }

    // Every frame takes at least a byte of the file: a count beyond that is a claim of the
    // headers, and believing it would cost time and memory in proportion.
    if (st->nb_frames > 0 && static_cast<uint64_t>(st->nb_frames) > facts.size) {
        error = "its headers claim " + std::to_string(st->nb_frames) + " frames, more than its " +
                std::to_string(facts.size) + " bytes can hold";
        return kAvBadVideo;
    }
    std::vector<int64_t> times;
    int64_t inFile = 0;
    int64_t lastDuration = 0;
    if (TimesFromIndex(st, facts.size, times, inFile)) {
        out.headerFrames = st->nb_frames;
        out.truncated = inFile < st->nb_frames;
        times.resize(static_cast<size_t>(inFile));
    } else if (st->nb_frames > 0) {
        // A count without an index: taken as it is, at a constant rate.
        out.headerFrames = st->nb_frames;
    } else {
        if (!TimesFromPackets(ctx.get(), video, times, lastDuration)) {
            error = "it holds more than " + std::to_string(kMaxCountedFrames) + " frames";
            return kAvBadVideo;
        }
        out.counted = true;
    }
    // Only a count without an index stands without timestamps; an index whose frames all
    // lie beyond the end of the file leaves none.
    int64_t stored = out.counted || !times.empty() || out.truncated
                         ? static_cast<int64_t>(times.size())
                         : out.headerFrames;
    if (stored <= 0) {
        error = AvProbeErrorText(kAvNoFrames);
        return kAvNoFrames;
    }
    out.packets = stored;

    // A constant rate has evenly spaced frames at that rate; anything else is variable.
    std::vector<int64_t> sorted;
    for (int64_t t : times) {
        if (t != AV_NOPTS_VALUE) {
            sorted.push_back(t);
        }
    }
    std::sort(sorted.begin(), sorted.end());
    double tb = av_q2d(st->time_base);
    double step = 1.0 / fps;
    double spanSeconds = 0;
    if (sorted.size() >= 2 && tb > 0) {
        double first = static_cast<double>(sorted.front()) * tb;
        double last = static_cast<double>(sorted.back()) * tb;
        double average = static_cast<double>(sorted.size() - 1) / (last - first);
        bool variable = last <= first || std::fabs(average - fps) > fps * kAverageTolerance;
        for (size_t i = 1; i < sorted.size() && !variable; ++i) {
            double d = static_cast<double>(sorted[i] - sorted[i - 1]) * tb;
            variable = std::fabs(d - step) > step * kIntervalTolerance;
        }
        double tail = lastDuration > 0 ? static_cast<double>(lastDuration) * tb
                      : last > first   ? (last - first) / static_cast<double>(sorted.size() - 1)
                                       : step;
        spanSeconds = last - first + tail;
        if (variable) {
            out.variableRate = true;
            // The nominal rate: the base rate the stream's timing is built on (the rate of its
            // regular frames) where that is plausible for its average, else the average.
            double base = Fps(st->r_frame_rate);
            bool plausible = last > first && base >= average * 0.75 && base <= average * 1.5;
            fps = plausible ? base : last > first ? average : fps;
        }
    }
    if (out.variableRate) {
        // Encoded at the MPEG rate nearest the average, over the time the frames span.
        NearestMpegRate(fps, out.rate, out.scale);
        double nominal = static_cast<double>(out.rate) / out.scale;
        out.frames = std::max<int64_t>(1, std::llround(spanSeconds * nominal));
        out.seconds = spanSeconds;
    } else if (!SnapToMpeg(fps, out.rate, out.scale) && fps > 0 && fps <= kMaxConvertedFps) {
        // No MPEG-2 stream carries this rate: the frames are shown at the nearer DVD rate,
        // repeated or dropped by the encoder's fps filter as for a variable rate.
        out.rateConverted = true;
        out.sourceFps = fps;
        NearestDvdRate(fps, out.rate, out.scale);
        double seconds = static_cast<double>(stored) / fps;
        out.frames =
            std::max<int64_t>(1, std::llround(seconds * static_cast<double>(out.rate) / out.scale));
        out.seconds = seconds;
    } else {
        if (!SnapToMpeg(fps, out.rate, out.scale)) {
            AVRational q = av_d2q(fps, 1 << 20);
            AVRational exact = Fps(st->avg_frame_rate) > 0 ? st->avg_frame_rate : st->r_frame_rate;
            q = exact.num > 0 && exact.den > 0 ? exact : q;
            int num = 0;
            int den = 0;
            av_reduce(&num, &den, q.num, q.den, INT32_MAX);
            out.rate = static_cast<uint32_t>(num);
            out.scale = static_cast<uint32_t>(den);
        }
        out.frames = stored;
        out.seconds = static_cast<double>(stored) * out.scale / out.rate;
    }
    if (out.frames > INT32_MAX || out.rate == 0 || out.scale == 0) {
        error = AvProbeErrorText(kAvBadVideo);
        return kAvBadVideo;
    }
    return kAvOk;
}

} // namespace source
