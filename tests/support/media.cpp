// Test media helpers: ffmpeg and ffprobe runs, and a writer of AVI headers.
#include "support/media.h"

#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace media {
namespace {

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

std::string Chunk(const std::string& id, const std::string& body) {
    std::string out = id;
    Put32(out, static_cast<uint32_t>(body.size()));
    out += body;
    if (body.size() % 2 != 0) {
        out.push_back('\0');
    }
    return out;
}

std::string List(const std::string& type, const std::string& body) {
    return Chunk("LIST", type + body);
}

std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    ::pclose(pipe);
    return out;
}

} // namespace

std::string Output(const std::string& command) {
    return Capture(command);
}

bool Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool HaveFfmpeg() {
    return Run("ffmpeg -version >/dev/null 2>&1") && Run("ffprobe -version >/dev/null 2>&1");
}

bool MakeOnce(const std::string& arguments, const std::string& path) {
    namespace fs = std::filesystem;
    const std::string extension = fs::path(path).extension().string();
    char name[32];
    std::snprintf(name, sizeof name, "%016zx",
                  std::hash<std::string>{}(arguments + " " + extension));
    const fs::path kept =
        fs::path(testing_support::TestBinDir()) / "media-cache" / (std::string(name) + extension);
    std::error_code error;
    if (fs::is_regular_file(kept, error) &&
        fs::copy_file(kept, path, fs::copy_options::overwrite_existing, error)) {
        return true;
    }
    if (!Run("ffmpeg " + arguments + " '" + path + "'")) {
        return false;
    }
    // Written under a name of this process's own and renamed, so no test sees half a file.
    fs::create_directories(kept.parent_path(), error);
    fs::path part = kept;
    part += ".part" + std::to_string(::getpid());
    if (fs::copy_file(path, part, fs::copy_options::overwrite_existing, error)) {
        fs::rename(part, kept, error);
    }
    if (error) {
        fs::remove(part, error);
    }
    return true;
}

bool MakeAvi(const std::string& path, const std::string& size, const std::string& rate,
             double seconds, const std::string& codec, bool audio) {
    std::ostringstream cmd;
    cmd << "-nostdin -v error -y -threads 1 -f lavfi -i testsrc2=size=" << size << ":rate=" << rate;
    if (audio) {
        cmd << " -f lavfi -i sine=frequency=440:sample_rate=48000";
    }
    cmd << " -t " << seconds << " -c:v " << codec;
    if (codec == "rawvideo") {
        cmd << " -pix_fmt yuv420p";
    }
    if (audio) {
        cmd << " -c:a pcm_s16le -ac 2";
    }
    return MakeOnce(cmd.str(), path);
}

const std::vector<VideoSample>& VideoSamples() {
    static const std::string kVideo = "-f lavfi -i testsrc2=size=176x144:rate=";
    static const std::string kTone = " -f lavfi -i sine=frequency=440:sample_rate=48000";
    static const std::vector<VideoSample> kSamples = {
        {"h264.mp4", kVideo + "25" + kTone,
         "-t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2"},
        {"matroska.mkv", kVideo + "30000/1001",
         "-t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"},
        {"mjpeg.mov", kVideo + "24000/1001", "-t 1 -c:v mjpeg -q:v 5"},
        {"interlaced.ts", "-f lavfi -i testsrc2=size=352x288:rate=25" + kTone,
         "-t 1 -c:v mpeg2video -flags +ilme+ildct -top 1 -b:v 2M -c:a mp2"},
        {"mpeg2.mpg", kVideo + "30000/1001" + kTone,
         "-t 1 -c:v mpeg2video -b:v 1M -c:a mp2 -f vob"},
        {"pal.dv", "-f lavfi -i testsrc2=size=720x576:rate=25",
         "-t 1 -c:v dvvideo -pix_fmt yuv420p -f dv"},
        // A phone's variable rate: 30 fps for a second, then 20 fps.
        {"variable.mp4", kVideo + "30",
         "-frames:v 50 -vf 'setpts=if(lt(N\\,30)\\,N/30\\,1+(N-30)/20)/TB' -fps_mode vfr "
         "-c:v libx264 -preset ultrafast -pix_fmt yuv420p"},
        // Pixels 16:11 wide: 176x144 shown as 16:9.
        {"anamorphic.mkv", kVideo + "25",
         "-t 1 -vf setsar=16/11 -c:v libx264 -preset ultrafast -pix_fmt yuv420p"},
    };
    return kSamples;
}

bool MakeVideo(const std::string& dir, const VideoSample& sample) {
    return MakeOnce("-nostdin -v error -y -threads 1 " + sample.inputs + " " + sample.arguments,
                    dir + "/" + sample.file);
}

bool CutFile(const std::string& path, uint64_t keep) {
    return Run("truncate -s " + std::to_string(keep) + " '" + path + "'");
}

std::string ProbeEntry(const std::string& path, const std::string& entry) {
    std::string out = Capture("ffprobe -v error -count_packets -select_streams v:0 "
                              "-show_entries stream=" +
                              entry + " -of default=nw=1:nk=1 '" + path + "'");
    // A transport stream lists its streams under the program too: the first line is enough.
    return out.substr(0, out.find_first_of("\r\n"));
}

bool ProbeFile(const std::string& path, Probe& probe) {
    std::string out = Capture("ffprobe -v error -show_entries "
                              "stream=codec_type,width,height,r_frame_rate,nb_frames "
                              "-of default=nw=1 '" +
                              path + "'");
    std::istringstream lines(out);
    std::string line;
    bool inVideo = false, videoSeen = false;
    probe = Probe{};
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_type") {
            ++probe.streams;
            inVideo = value == "video" && !videoSeen;
            videoSeen = videoSeen || value == "video";
            probe.audio = probe.audio || value == "audio";
        } else if (inVideo && key == "width") {
            probe.width = std::atoi(value.c_str());
        } else if (inVideo && key == "height") {
            probe.height = std::atoi(value.c_str());
        } else if (inVideo && key == "r_frame_rate") {
            std::sscanf(value.c_str(), "%u/%u", &probe.rateNum, &probe.rateDen);
        } else if (inVideo && key == "nb_frames") {
            probe.frames = std::atoll(value.c_str());
        }
    }
    return videoSeen;
}

std::string BuildAvi(const AviSpec& spec) {
    std::string header;
    if (spec.mainHeader) {
        std::string avih;
        Put32(avih, 33367);
        Put32(avih, spec.maxBytesPerSec);
        Put32(avih, 0);
        Put32(avih, spec.flags);
        Put32(avih, spec.totalFrames);
        Put32(avih, 0);
        Put32(avih, static_cast<uint32_t>(spec.streams.size()));
        Put32(avih, spec.suggestedBuffer);
        Put32(avih, spec.width);
        Put32(avih, spec.height);
        avih.append(16, '\0');
        header += Chunk("avih", avih);
    }
    for (const StreamSpec& s : spec.streams) {
        std::string strh = s.type + "none";
        Put32(strh, 0); // flags
        Put32(strh, 0); // priority, language
        Put32(strh, 0); // initial frames
        Put32(strh, s.scale);
        Put32(strh, s.rate);
        Put32(strh, 0); // start
        Put32(strh, s.length);
        Put32(strh, 0); // suggested buffer
        Put32(strh, 0xFFFFFFFF);
        Put32(strh, 0); // sample size
        Put32(strh, 0); // frame rectangle
        Put32(strh, 0);
        strh.resize(s.strhSize, '\0');
        std::string strf;
        Put32(strf, 40);
        Put32(strf, static_cast<uint32_t>(s.formatWidth));
        Put32(strf, static_cast<uint32_t>(s.formatHeight));
        strf.append(28, '\0');
        header += List("strl", Chunk("strh", strh) + Chunk("strf", strf));
    }
    std::string body =
        "AVI " + List("hdrl", header) + List("movi", std::string(spec.moviBytes, '\0'));
    return Chunk("RIFF", body);
}

} // namespace media
