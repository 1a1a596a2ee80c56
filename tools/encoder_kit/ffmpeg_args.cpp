// Builds the argument vectors of the ffmpeg runs that carry out an encode plan.
#include "ffmpeg_args.h"

#include "effort.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace enc {

namespace {

// ffmpeg's scene-change threshold that switches scene detection off; closed GOPs need it, and
// GOP lengths stay as the plan says.
constexpr const char* kNoSceneDetection = "1000000000";
// The non-linear quantiser table of ffmpeg's encoder reaches only this far.
constexpr const char* kNonLinearQmax = "28";

std::string Kbps(int64_t kbps) {
    return std::to_string(kbps) + "k";
}

std::string Seconds(int64_t frames, int num, int den) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f",
                  static_cast<double>(frames) * den / static_cast<double>(num));
    return buf;
}

std::string AspectText(const EncodePlan& plan) {
    switch (plan.aspectCode) {
    case 1:
        return std::to_string(plan.width) + ":" + std::to_string(plan.height);
    case 3:
        return "16:9";
    case 4:
        return "221:100";
    default:
        return "4:3";
    }
}

void CommonInput(std::vector<std::string>& a, const std::string& ffmpeg, const EncodePlan& plan,
                 const SourceInfo& source) {
    const std::string& input = source.scriptInput.empty() ? plan.sourcePath : source.scriptInput;
    a = {ffmpeg,      "-nostdin", "-hide_banner", "-loglevel", "error", "-nostats",
         "-progress", "pipe:1",   "-threads",     "1",         "-i",    FileUrl(input)};
}

// Quality and Bias: how hard the encoder searches, and how much the rate varies.
void AppendEffort(std::vector<std::string>& a, const EncodePlan& plan) {
    const std::vector<std::string> effort = EffortArguments(plan.quality, plan.mpeg1);
    const std::vector<std::string> bias = BiasArguments(plan.bias, plan.mode);
    a.insert(a.end(), effort.begin(), effort.end());
    a.insert(a.end(), bias.begin(), bias.end());
}

// Scales the source whole into the part of the picture its display aspect fills and pads the
// rest black, centred: never stretched.
std::string FitChain(const EncodePlan& plan, const SourceInfo& source) {
    const double frameDar = plan.aspectCode == 3 ? 16.0 / 9.0 : 4.0 / 3.0;
    const double dar = source.darNum > 0 && source.darDen > 0
                           ? static_cast<double>(source.darNum) / source.darDen
                           : static_cast<double>(source.width) / source.height;
    int activeW = plan.width;
    int activeH = plan.height;
    if (dar > frameDar * 1.001) {
        activeH = static_cast<int>(std::lround(plan.height * frameDar / dar)) & ~1;
    } else if (dar < frameDar / 1.001) {
        activeW = static_cast<int>(std::lround(plan.width * dar / frameDar)) & ~1;
    }
    const std::string w = std::to_string(plan.width);
    const std::string h = std::to_string(plan.height);
    std::string chain = ",scale=" + std::to_string(activeW) + ":" + std::to_string(activeH);
    if (!plan.progressive) {
        chain += ":interl=1";
    }
    if (activeW != plan.width || activeH != plan.height) {
        chain += ",pad=" + w + ":" + h + ":" + std::to_string((plan.width - activeW) / 4 * 2) +
                 ":" + std::to_string((plan.height - activeH) / 4 * 2) + ":black";
    }
    return chain + ",setsar=1";
}

} // namespace

std::string FileUrl(const std::string& path) {
    return "file:" + path;
}

std::string KeyFrameExpression(const EncodePlan& plan) {
    std::string e = "expr:eq(n,0)+gte(n,prev_forced_n+" + std::to_string(plan.gopN) + ")";
    for (int64_t c : plan.chapterFrames) {
        e += "+eq(n," + std::to_string(c - plan.encodeFirst) + ")";
    }
    return e;
}

std::vector<std::string> VideoRunArgs(const std::string& ffmpeg, const EncodePlan& plan,
                                      const SourceInfo& source, PassKind kind,
                                      const std::string& logPrefix, const std::string& output) {
    std::vector<std::string> a;
    CommonInput(a, ffmpeg, plan, source);
    const int64_t count = plan.encodeEnd - plan.encodeFirst;
    // A script's chain makes its clip first; the range counts frames of that clip.
    std::string chain = source.scriptVideoFilter.empty() ? "" : source.scriptVideoFilter + ",";
    if (source.variableRate) {
        // Frames at the nominal rate, counted from the first one: the range counts these.
        chain += "fps=" + std::to_string(plan.rateNum) + "/" + std::to_string(plan.rateDen) + ",";
    }
    chain += "trim=start_frame=" + std::to_string(plan.encodeFirst) +
             ":end_frame=" + std::to_string(plan.encodeEnd) + ",setpts=PTS-STARTPTS";
    if (!source.scriptInput.empty() || source.retime) {
        // Frame n of the range is shown at n / the MPEG rate. A clip's rate may differ from
        // that rate in the last digits (AssumeFPS(23.976)); retiming keeps ffmpeg from
        // dropping or repeating a frame over a long clip to make up the difference.
        chain += ",settb=" + std::to_string(plan.rateDen) + "/" + std::to_string(plan.rateNum) +
                 ",setpts=N";
    }
    if (plan.fitPicture) {
        chain += FitChain(plan, source);
    } else if (plan.width != source.width || plan.height != source.height) {
        chain += ",scale=" + std::to_string(plan.width) + ":" + std::to_string(plan.height);
    }
    // ffmpeg codes a stream with alternate scan as interlaced; give it the right field order.
    if (!plan.progressive || plan.alternateScan) {
        chain += plan.topFirst ? ",setfield=tff" : ",setfield=bff";
    }
    const std::string rate = std::to_string(plan.rateNum) + "/" + std::to_string(plan.rateDen);
    const std::string map =
        source.videoStream >= 0 ? "0:" + std::to_string(source.videoStream) : "0:v:0";
    a.insert(a.end(), {"-map", map, "-an", "-sn", "-dn", "-vf", chain, "-frames:v",
                       std::to_string(count), "-r", rate, "-pix_fmt", "yuv420p", "-c:v",
                       plan.mpeg1 ? "mpeg1video" : "mpeg2video", "-threads", "1"});

    a.insert(a.end(), {"-b:v", Kbps(plan.avgKbps), "-maxrate", Kbps(plan.maxKbps), "-bufsize",
                       std::to_string(kVbvBits)});
    if (plan.minKbps > 0) {
        a.insert(a.end(), {"-minrate", Kbps(plan.minKbps)});
        if (plan.mode != RateMode::Cbr) {
            // By default ffmpeg keeps a floor by lowering the quantiser as the buffer fills,
            // which spends up to twice the mean; these settings only top the buffer up to the
            // floor (the multipass planner also fails far less often with them).
            a.insert(a.end(), {"-rc_buf_aggressivity", "100", "-rc_min_vbv_use", "1"});
        }
    }
    AppendEffort(a, plan);

    // GOP structure: every I-picture is forced, so that GOPs keep their length and restart
    // at chapter points; ffmpeg's own GOP counter is moved out of the way.
    a.insert(a.end(), {"-g", "100000", "-bf", std::to_string(plan.gopM - 1), "-sc_threshold",
                       kNoSceneDetection, "-force_key_frames", KeyFrameExpression(plan)});
    std::string flags;
    if (plan.closedGops) {
        flags += "+cgop";
    }
    if (!plan.progressive) {
        flags += "+ildct+ilme";
    }
    if (!flags.empty()) {
        a.insert(a.end(), {"-flags", flags});
    }
    a.insert(a.end(), {"-aspect", AspectText(plan)});
    if (!plan.mpeg1) {
        a.insert(a.end(), {"-dc", std::to_string(plan.intraDcBits)});
        if (plan.alternateScan) {
            a.insert(a.end(), {"-alternate_scan", "1"});
        }
        if (plan.nonLinear) {
            a.insert(a.end(), {"-non_linear_quant", "1", "-qmax", kNonLinearQmax});
        }
        if (plan.dropFrame) {
            a.insert(a.end(), {"-drop_frame_timecode", "1"});
        }
    }

    switch (kind) {
    case PassKind::Single:
        break;
    case PassKind::Analysis:
        a.insert(a.end(), {"-pass", "1", "-passlogfile", logPrefix});
        break;
    case PassKind::Refine:
        a.insert(a.end(), {"-pass", "3", "-passlogfile", logPrefix});
        break;
    case PassKind::Final:
        a.insert(a.end(), {"-pass", "2", "-passlogfile", logPrefix});
        break;
    }
    if (output.empty()) {
        a.insert(a.end(), {"-f", "null", "-y", "/dev/null"});
    } else {
        a.insert(a.end(), {"-f", plan.mpeg1 ? "mpeg1video" : "mpeg2video", "-y", FileUrl(output)});
    }
    return a;
}

std::vector<std::string> AudioRunArgs(const std::string& ffmpeg, const EncodePlan& plan,
                                      const SourceInfo& source, const std::string& output) {
    std::vector<std::string> a;
    CommonInput(a, ffmpeg, plan, source);
    std::string trim = source.scriptAudioFilter.empty() ? "" : source.scriptAudioFilter + ",";
    trim += "atrim=start=" + Seconds(plan.encodeFirst, plan.rateNum, plan.rateDen) +
            ":end=" + Seconds(plan.encodeEnd, plan.rateNum, plan.rateDen) + ",asetpts=PTS-STARTPTS";
    a.insert(a.end(),
             {"-map", "0:a:0", "-vn", "-sn", "-dn", "-af", trim, "-ar",
              std::to_string(plan.sampleRate), "-ac", source.audioChannels == 1 ? "1" : "2", "-c:a",
              "mp2", "-b:a", Kbps(plan.audioKbps), "-f", "mp2", "-y", FileUrl(output)});
    return a;
}

std::vector<std::string> ProbeArgs(const std::string& ffprobe, const std::string& source) {
    return {ffprobe,
            "-v",
            "error",
            "-show_entries",
            "stream=codec_type,width,height,r_frame_rate,nb_frames,channels",
            "-of",
            "compact=p=0:nk=0",
            FileUrl(source)};
}

bool ParseProbe(const std::vector<std::string>& lines, SourceInfo& info, std::string& error) {
    info = SourceInfo();
    bool video = false;
    for (const std::string& line : lines) {
        std::map<std::string, std::string> f;
        std::istringstream in(line);
        std::string field;
        while (std::getline(in, field, '|')) {
            size_t eq = field.find('=');
            if (eq != std::string::npos) {
                f[field.substr(0, eq)] = field.substr(eq + 1);
            }
        }
        if (f["codec_type"] == "audio" && !info.hasAudio) {
            info.hasAudio = true;
            info.audioChannels = std::atoi(f["channels"].c_str());
        } else if (f["codec_type"] == "video" && !video) {
            video = true;
            info.width = std::atoi(f["width"].c_str());
            info.height = std::atoi(f["height"].c_str());
            info.frames = std::atoll(f["nb_frames"].c_str());
            std::string r = f["r_frame_rate"];
            size_t slash = r.find('/');
            info.rateNum = std::atoi(r.c_str());
            info.rateDen = slash == std::string::npos ? 1 : std::atoi(r.c_str() + slash + 1);
        }
    }
    if (!video) {
        error = "the source holds no video stream";
        return false;
    }
    if (info.width <= 0 || info.height <= 0 || info.rateNum <= 0 || info.rateDen <= 0) {
        error = "the source's picture size or frame rate cannot be read";
        return false;
    }
    if (info.frames <= 0) {
        error = "the source does not state its frame count";
        return false;
    }
    return true;
}

} // namespace enc
