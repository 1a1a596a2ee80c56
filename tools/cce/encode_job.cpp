// One run of the encoder: reads a control list, probes the source, runs ffmpeg for every
// requested output and publishes the outputs under their final names.
#include "encode_job.h"

#include "child_process.h"
#include "ecl_list.h"
#include "line_output.h"
#include "platform/avi_file.h"
#include "platform/files.h"
#include "platform/frame_server.h"
#include "rate_fit.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace cce {

namespace {

namespace fs = std::filesystem;

// Progress and notes; a reader that has gone ends no encode.
void Say(const std::string& line) {
    enc::Say(line);
}

void Fail(const std::string& line) {
    enc::SayError("ERROR: " + line);
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) {
        return false;
    }
    return std::equal(tail.rbegin(), tail.rend(), s.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// The longest line an analysis file may hold: ffmpeg writes about a hundred bytes per frame,
// and the first line names two paths.
constexpr std::streamsize kMaxAnalysisLine = 64 * 1024;
constexpr const char* kAnalysisHeader = "; cce analysis: ";

// Control characters of a path would break the header line; they are written as escapes.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

// A file as one text that changes whenever the file is replaced or rewritten: its path, size
// and modification time (seconds and nanoseconds).
std::string FileIdentity(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return Escaped(canonical.string()) + " (missing)";
    }
    char written[48];
    std::snprintf(written, sizeof written, "%lld.%09ld", static_cast<long long>(st.st_mtim.tv_sec),
                  static_cast<long>(st.st_mtim.tv_nsec));
    return Escaped(canonical.string()) + " (" + std::to_string(st.st_size) + " bytes, written " +
           written + ")";
}

// Reads an analysis file that this encoder wrote: the line `header`, then one ffmpeg line per
// frame. Returns the number of frame lines, or -1 when the file is no regular file, no
// analysis, or one made for other settings (another header line). With `copyTo`, the frame
// lines are copied there, as ffmpeg's pass log.
int64_t ReadAnalysis(const std::string& path, const std::string& header,
                     const std::string& copyTo = std::string()) {
    platform::FileFacts facts;
    if (!platform::RegularFileFacts(path, facts)) {
        return -1;
    }
    std::ifstream in(path, std::ios::binary);
    std::ofstream out;
    if (!copyTo.empty()) {
        out.open(copyTo, std::ios::binary | std::ios::trunc);
        if (!out) {
            return -1;
        }
    }
    std::vector<char> line(kMaxAnalysisLine);
    if (!in.getline(line.data(), kMaxAnalysisLine) || header != line.data()) {
        return -1;
    }
    int64_t n = 0;
    while (in.getline(line.data(), kMaxAnalysisLine)) {
        if (std::strncmp(line.data(), "in:", 3) != 0) {
            return -1;
        }
        if (out.is_open()) {
            out << line.data() << '\n';
        }
        ++n;
    }
    // A line longer than the buffer stops the reading with the failbit before the end.
    if (!in.eof() || (out.is_open() && !out.flush())) {
        return -1;
    }
    return n;
}

// Writes `header` and ffmpeg's pass log `log` into `path`.
bool WriteAnalysis(const std::string& log, const std::string& header, const std::string& path) {
    std::ifstream in(log, std::ios::binary);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!in || !out) {
        return false;
    }
    out << header << '\n' << in.rdbuf();
    out.flush();
    return static_cast<bool>(out);
}

// Appends the sequence end code unless the stream already ends with it.
bool EnsureSequenceEnd(const std::string& path) {
    static const char kEnd[4] = {0x00, 0x00, 0x01, static_cast<char>(0xB7)};
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!f) {
        return false;
    }
    f.seekg(0, std::ios::end);
    const std::streamoff size = f.tellg();
    char tail[4] = {1, 1, 1, 1};
    if (size >= 4) {
        f.seekg(size - 4);
        f.read(tail, 4);
    }
    if (size >= 4 && std::memcmp(tail, kEnd, 4) == 0) {
        return true;
    }
    f.clear();
    f.seekp(0, std::ios::end);
    f.write(kEnd, 4);
    f.flush();
    return static_cast<bool>(f);
}

// A source must be a readable regular file: a device or a pipe would never end.
bool CheckSourceFile(const std::string& path) {
    platform::FileFacts facts;
    if (access(path.c_str(), R_OK) != 0) {
        Fail("cannot read the source " + path + ": " + std::strerror(errno));
        return false;
    }
    if (!platform::RegularFileFacts(path, facts)) {
        Fail("the source " + path + " is not a regular file");
        return false;
    }
    return true;
}

std::string PriorityReport() {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, 0);
    long io = syscall(SYS_ioprio_get, 1, 0);
    static const char* const kClasses[] = {"normal", "realtime", "best-effort", "idle"};
    const char* ioClass = io < 0 ? "unknown" : kClasses[(io >> 13) & 3];
    return "  Priority: nice " + std::to_string(nice) + ", I/O class " + ioClass;
}

class EncodeJob {
public:
    explicit EncodeJob(const Tools& tools) : m_Tools(tools) {}
    ~EncodeJob() { Cleanup(); }

    int Run(const std::string& eclPath);

private:
    struct Output {
        std::string final;
        std::string temp;
    };
    struct VideoRun {
        enc::PassKind kind;
        bool writesStream;
    };

    int Prepare(const std::string& eclPath);
    int ProbeAvi(const std::string& path, enc::SourceInfo& info);
    int OpenScript(const std::string& path);
    bool MakeTemp(const std::string& final, Output& out);
    bool RunFfmpeg(const std::vector<std::string>& args, const std::string& what);
    void Progress(int64_t doneInRun);
    int RefitRate(const std::string& logPrefix);
    void Cleanup();

    Tools m_Tools;
    enc::EncodePlan m_Plan;
    enc::SourceInfo m_Source;
    std::vector<VideoRun> m_Runs;
    bool m_Audio = false;
    bool m_ReuseVaf = false;
    bool m_PublishVaf = false;
    Output m_Video;
    Output m_Vaf;
    Output m_AudioFile;
    std::string m_LogDir;
    std::string m_AnalysisHeader; // the first line of the analysis file of this encode
    int m_RunsDone = 0;
    int m_TotalRuns = 0;
    int m_LastPercent = -1;
    bool m_QuietProgress = false; // a run beyond the planned ones shows no progress
    std::string m_RefitTemp;      // the stream of a second final pass while it is written
};

int EncodeJob::Prepare(const std::string& eclPath) {
    enc::EclList list;
    std::string error;
    if (!enc::LoadEcl(eclPath, list, error) || !enc::BuildPlan(list, m_Plan, error)) {
        Fail(error);
        return kExitBadList;
    }
    enc::EncodePlan& p = m_Plan;
    const bool script = EndsWithNoCase(p.sourcePath, ".avs");
    const int opened = script ? OpenScript(p.sourcePath) : ProbeAvi(p.sourcePath, m_Source);
    if (opened != kExitOk) {
        return opened;
    }
    if (p.encodeEnd > m_Source.frames) {
        Fail("the range ends at frame " + std::to_string(p.encodeEnd - 1) + " but the source has " +
             std::to_string(m_Source.frames) + " frames (0 to " +
             std::to_string(m_Source.frames - 1) + ")");
        return kExitSource;
    }
    const double want = static_cast<double>(p.rateNum) / p.rateDen;
    const double have = static_cast<double>(m_Source.rateNum) / m_Source.rateDen;
    if (std::fabs(want - have) > want * 0.001) {
        Fail("frame_rate_idx=" + std::to_string(p.rateIndex) + " does not match the source's " +
             std::to_string(m_Source.rateNum) + "/" + std::to_string(m_Source.rateDen) + " fps");
        return kExitSource;
    }
    if (p.listedFrames != m_Source.frames) {
        p.notes.push_back("the list gives the source " + std::to_string(p.listedFrames) +
                          " frames; it has " + std::to_string(m_Source.frames));
    }
    for (auto [on, out] : {std::pair{p.videoOut, &p.videoPath}, std::pair{p.vafOut, &p.vafPath},
                           std::pair{p.audioOut, &p.audioPath}}) {
        if (on && SamePath(*out, p.sourcePath)) {
            Fail("the output " + *out + " is the source itself");
            return kExitOutput;
        }
        // Renaming a finished output over the script's AVI would destroy the source.
        if (on && script && SamePath(*out, m_Source.scriptInput)) {
            Fail("the output " + *out + " is the file the script " + p.sourcePath + " reads");
            return kExitOutput;
        }
    }
    if ((p.videoOut && p.vafOut && SamePath(p.videoPath, p.vafPath)) ||
        (p.videoOut && p.audioOut && SamePath(p.videoPath, p.audioPath)) ||
        (p.vafOut && p.audioOut && SamePath(p.vafPath, p.audioPath))) {
        Fail("two outputs of the list have the same file name");
        return kExitOutput;
    }

    // Decide the runs. A multipass encode reuses a fitting analysis (the VAF file written by
    // an earlier run with vid_out=0) as its first pass, unless the list asks for a new one.
    // The VAF's first line records what it was made from; only an analysis of the same source
    // files, range and settings fits.
    const int64_t count = p.encodeEnd - p.encodeFirst;
    const bool multipass = p.mode == enc::RateMode::MultipassVbr;
    m_AnalysisHeader = std::string(kAnalysisHeader) + "source " + FileIdentity(p.sourcePath);
    if (script) {
        m_AnalysisHeader += ", input " + FileIdentity(m_Source.scriptInput);
    }
    m_AnalysisHeader += ", frames " + std::to_string(p.encodeFirst) + " to " +
                        std::to_string(p.encodeEnd - 1) + ", " + p.analysisSettings;
    if (p.videoOut) {
        m_ReuseVaf =
            multipass && !p.createNewVaf && ReadAnalysis(p.vafPath, m_AnalysisHeader) == count;
        if (multipass && p.createNewVaf) {
            p.notes.push_back("create_new_vaf=1: the analysis is made anew");
        } else if (multipass && !m_ReuseVaf && access(p.vafPath.c_str(), F_OK) == 0) {
            p.notes.push_back("the analysis in " + p.vafPath +
                              " does not fit this source, range and settings: it is made anew");
        }
        if (m_ReuseVaf) {
            for (int i = 2; i < std::max(p.passes, 2); ++i) {
                m_Runs.push_back({enc::PassKind::Refine, false});
            }
            m_Runs.push_back({enc::PassKind::Final, true});
        } else if (multipass && p.passes >= 2) {
            m_Runs.push_back({enc::PassKind::Analysis, false});
            for (int i = 2; i < p.passes; ++i) {
                m_Runs.push_back({enc::PassKind::Refine, false});
            }
            m_Runs.push_back({enc::PassKind::Final, true});
        } else {
            m_Runs.push_back({p.vafOut ? enc::PassKind::Analysis : enc::PassKind::Single, true});
        }
    } else if (p.vafOut) {
        m_Runs.push_back({enc::PassKind::Analysis, false});
    }
    m_PublishVaf = p.vafOut && std::any_of(m_Runs.begin(), m_Runs.end(), [](const VideoRun& r) {
                       return r.kind == enc::PassKind::Analysis || r.kind == enc::PassKind::Refine;
                   });
    m_Audio = p.audioOut && m_Source.hasAudio;
    if (p.audioOut && !m_Source.hasAudio) {
        p.notes.push_back("the source has no audio: no audio file is written");
    }
    m_TotalRuns = static_cast<int>(m_Runs.size()) + (m_Audio ? 1 : 0);

    if ((p.videoOut && !MakeTemp(p.videoPath, m_Video)) ||
        (m_PublishVaf && !MakeTemp(p.vafPath, m_Vaf)) ||
        (m_Audio && !MakeTemp(p.audioPath, m_AudioFile))) {
        return kExitOutput;
    }
    if (!m_Runs.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/cce-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            Fail("cannot make a folder for the analysis: " + std::string(std::strerror(errno)));
            return kExitOutput;
        }
        m_LogDir = pattern;
        if (m_ReuseVaf &&
            ReadAnalysis(p.vafPath, m_AnalysisHeader, m_LogDir + "/pass-0.log") != count) {
            Fail("cannot read the analysis " + p.vafPath);
            return kExitOutput;
        }
    }
    return kExitOk;
}

// Probes an AVI source (or the AVI behind a script) with ffprobe.
int EncodeJob::ProbeAvi(const std::string& path, enc::SourceInfo& info) {
    if (!CheckSourceFile(path)) {
        return kExitSource;
    }
    enc::ChildProcess probe;
    enc::SpawnOptions options;
    options.captureOutput = true;
    std::string error;
    if (!probe.Start(enc::ProbeArgs(m_Tools.ffprobe, path), options, error)) {
        Fail(error);
        return kExitEncode;
    }
    enc::ForwardTo(probe.Pid(), false);
    std::vector<std::string> lines;
    probe.ReadLines([&lines](const std::string& l) { lines.push_back(l); });
    const int status = probe.Wait();
    enc::ForwardTo(0, false);
    if (enc::ReceivedSignal() != 0) {
        return 128 + enc::ReceivedSignal();
    }
    if (status != 0 || !enc::ParseProbe(lines, info, error)) {
        Fail("cannot read the source " + path + (error.empty() ? "" : ": " + error));
        return kExitSource;
    }
    // ffprobe states the frames an AVI's headers count; of a recording cut short only the
    // frames before the cut can be read.
    platform::AviHeaders headers;
    if (platform::ReadAviHeaders(path, headers) == platform::kAviOk && headers.truncated) {
        m_Plan.notes.push_back(path + " is truncated: the " + std::to_string(headers.info.length) +
                               " whole frames before the cut are read (its headers count " +
                               std::to_string(headers.headerFrames) + ")");
        info.frames = headers.info.length;
    }
    return kExitOk;
}

// Plays a script through the frame-server module in system/ beside this program: the clip's
// picture, rate and length stand for the source's, and ffmpeg reads the script's AVI through
// the module's filter chains.
int EncodeJob::OpenScript(const std::string& path) {
    if (!CheckSourceFile(path)) {
        return kExitSource;
    }
    const std::string program = platform::ProgramFilePath();
    const size_t slash = program.rfind('/');
    if (slash == std::string::npos) {
        Fail("cannot find this program's folder, so not the frame server for " + path);
        return kExitSource;
    }
    const std::string module = platform::FrameServerModulePath(program.substr(0, slash));
    vantaq_fs_info clip{};
    int code = VANTAQ_FS_OK;
    std::string error;
    switch (platform::OpenScriptClip(module, path, clip, code, error)) {
    case platform::kFrameServerOk:
        break;
    case platform::kFrameServerFailed:
        Fail("the script " + path + ": " + error);
        return kExitSource;
    case platform::kFrameServerMissing:
    case platform::kFrameServerBadModule:
        Fail(error + "; the script " + path + " cannot be played");
        return kExitSource;
    }
    if (clip.width == 0 || clip.height == 0 || clip.rate == 0 || clip.scale == 0 ||
        clip.length == 0 || clip.rate > INT32_MAX || clip.scale > INT32_MAX) {
        Fail("the script " + path + " gives a clip without picture, frame rate or frames");
        return kExitSource;
    }
    // The AVI itself is probed too: ffmpeg must be able to read it, and its audio channels
    // carry over to the clip.
    const int probed = ProbeAvi(clip.source, m_Source);
    if (probed != kExitOk) {
        return probed;
    }
    m_Source.width = static_cast<int>(clip.width);
    m_Source.height = static_cast<int>(clip.height);
    m_Source.frames = clip.length;
    m_Source.rateNum = static_cast<int>(clip.rate);
    m_Source.rateDen = static_cast<int>(clip.scale);
    m_Source.hasAudio = m_Source.hasAudio && clip.has_audio != 0;
    m_Source.scriptInput = clip.source;
    m_Source.scriptVideoFilter = clip.video_filter;
    m_Source.scriptAudioFilter = clip.audio_filter;
    Say("  Script " + path + ": " + std::to_string(clip.width) + "x" + std::to_string(clip.height) +
        ", " + std::to_string(clip.rate) + "/" + std::to_string(clip.scale) + " fps, " +
        std::to_string(clip.length) + " frames of " + clip.source);
    return kExitOk;
}

bool EncodeJob::MakeTemp(const std::string& final, Output& out) {
    out.final = final;
    out.temp = final + ".cce-" + std::to_string(getpid()) + ".part";
    int fd = open(out.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("cannot write " + final + ": " + std::strerror(errno));
        out.temp.clear();
        return false;
    }
    close(fd);
    return true;
}

void EncodeJob::Progress(int64_t doneInRun) {
    if (m_QuietProgress) {
        return;
    }
    const int64_t count = m_Plan.encodeEnd - m_Plan.encodeFirst;
    doneInRun = std::clamp<int64_t>(doneInRun, 0, count);
    const int64_t total = count * std::max(m_TotalRuns, 1);
    const int percent = static_cast<int>((m_RunsDone * count + doneInRun) * 100 / total);
    if (percent != m_LastPercent) {
        m_LastPercent = percent;
        Say(std::to_string(percent) + "% / " + m_Plan.title);
    }
}

bool EncodeJob::RunFfmpeg(const std::vector<std::string>& args, const std::string& what) {
    if (enc::ReceivedSignal() != 0) {
        return false;
    }
    enc::ChildProcess ffmpeg;
    enc::SpawnOptions options;
    options.captureOutput = true;
    std::string error;
    if (!ffmpeg.Start(args, options, error)) {
        Fail(error);
        return false;
    }
    enc::ForwardTo(ffmpeg.Pid(), false);
    const double framesPerMicrosecond =
        static_cast<double>(m_Plan.rateNum) / (m_Plan.rateDen * 1e6);
    ffmpeg.ReadLines([&](const std::string& line) {
        if (line.rfind("frame=", 0) == 0) {
            Progress(std::atoll(line.c_str() + 6));
        } else if (line.rfind("out_time_us=", 0) == 0 && what == "audio") {
            Progress(static_cast<int64_t>(std::atof(line.c_str() + 12) * framesPerMicrosecond));
        }
    });
    const int status = ffmpeg.Wait();
    enc::ForwardTo(0, false);
    if (enc::ReceivedSignal() != 0) {
        return false;
    }
    if (status != 0) {
        Fail("ffmpeg failed in the " + what + " run (exit status " + std::to_string(status) + ")");
        return false;
    }
    ++m_RunsDone;
    return true;
}

int EncodeJob::Run(const std::string& eclPath) {
    const int prepared = Prepare(eclPath);
    if (prepared != kExitOk) {
        return prepared;
    }
    const enc::EncodePlan& p = m_Plan;
    Say("Encoding \"" + p.title + "\": frames " + std::to_string(p.encodeFirst) + " to " +
        std::to_string(p.encodeEnd - 1) + " of " + p.sourcePath);
    Say(PriorityReport());
    for (const std::string& note : p.notes) {
        Say("  Note: " + note);
    }
    if (m_TotalRuns == 0) {
        Say("  Nothing to write: video, analysis and audio output are all off");
        return kExitOk;
    }
    Progress(0);
    const std::string logPrefix = m_LogDir + "/pass";
    for (size_t i = 0; i < m_Runs.size(); ++i) {
        const VideoRun& run = m_Runs[i];
        const std::string what = "video pass " + std::to_string(i + 1);
        auto args = enc::VideoRunArgs(m_Tools.ffmpeg, p, m_Source, run.kind, logPrefix,
                                      run.writesStream ? m_Video.temp : std::string());
        if (!RunFfmpeg(args, what)) {
            return enc::ReceivedSignal() ? 128 + enc::ReceivedSignal() : kExitEncode;
        }
    }
    if (p.videoOut && !m_Runs.empty() && m_Runs.back().kind == enc::PassKind::Final) {
        const int refit = RefitRate(logPrefix);
        if (refit != kExitOk) {
            return refit;
        }
    }
    if (m_Audio &&
        !RunFfmpeg(enc::AudioRunArgs(m_Tools.ffmpeg, p, m_Source, m_AudioFile.temp), "audio")) {
        return enc::ReceivedSignal() ? 128 + enc::ReceivedSignal() : kExitEncode;
    }

    if (p.videoOut) {
        std::error_code ec;
        if (fs::file_size(m_Video.temp, ec) == 0 || ec) {
            Fail("ffmpeg wrote no video stream");
            return kExitEncode;
        }
        if (p.seqEndcode && !EnsureSequenceEnd(m_Video.temp)) {
            Fail("cannot append the sequence end code to " + m_Video.temp);
            return kExitOutput;
        }
    }
    if (m_PublishVaf && !WriteAnalysis(logPrefix + "-0.log", m_AnalysisHeader, m_Vaf.temp)) {
        Fail("cannot write the analysis file " + p.vafPath);
        return kExitOutput;
    }
    for (Output* out : {&m_Video, &m_Vaf, &m_AudioFile}) {
        if (out->temp.empty()) {
            continue;
        }
        if (std::rename(out->temp.c_str(), out->final.c_str()) != 0) {
            Fail("cannot rename " + out->temp + " to " + out->final + ": " + std::strerror(errno));
            return kExitOutput;
        }
        out->temp.clear();
        Say("  Wrote " + out->final);
    }
    if (m_ReuseVaf) {
        Say("  Encoded from the analysis in " + p.vafPath);
    }
    if (m_LastPercent != 100) {
        Say("100% / " + p.title);
    }
    return kExitOk;
}

// A multipass stream whose mean rate misses the asked average by more than the tolerance gets
// one more final pass, aimed so that it lands on the average; the closer of the two streams
// is kept. Returns an ExitCode (or 128 + a signal).
int EncodeJob::RefitRate(const std::string& logPrefix) {
    std::error_code ec;
    const uint64_t firstBytes = fs::file_size(m_Video.temp, ec);
    const double first = enc::MeanKbps(m_Plan, ec ? 0 : firstBytes);
    int64_t aim = 0;
    if (ec || !enc::RefitAim(m_Plan, first, aim)) {
        return kExitOk;
    }
    char line[160];
    std::snprintf(line, sizeof line,
                  "  Note: the mean rate is %.0f kbit/s for %lld asked: the final pass runs "
                  "again aiming at %lld",
                  first, static_cast<long long>(m_Plan.avgKbps), static_cast<long long>(aim));
    Say(line);
    enc::EncodePlan again = m_Plan;
    again.avgKbps = aim;
    m_RefitTemp = m_Video.final + ".cce-" + std::to_string(getpid()) + ".refit.part";
    m_QuietProgress = true;
    const bool ran = RunFfmpeg(enc::VideoRunArgs(m_Tools.ffmpeg, again, m_Source,
                                                 enc::PassKind::Final, logPrefix, m_RefitTemp),
                               "rate refit");
    m_QuietProgress = false;
    if (!ran) {
        return enc::ReceivedSignal() ? 128 + enc::ReceivedSignal() : kExitEncode;
    }
    --m_RunsDone; // the planned runs count the progress
    const uint64_t secondBytes = fs::file_size(m_RefitTemp, ec);
    const double second = enc::MeanKbps(m_Plan, ec ? 0 : secondBytes);
    const double asked = static_cast<double>(m_Plan.avgKbps);
    if (second > 0 && std::fabs(second - asked) < std::fabs(first - asked)) {
        if (std::rename(m_RefitTemp.c_str(), m_Video.temp.c_str()) != 0) {
            Fail("cannot rename " + m_RefitTemp + " to " + m_Video.temp + ": " +
                 std::strerror(errno));
            return kExitOutput;
        }
    } else {
        std::remove(m_RefitTemp.c_str());
    }
    m_RefitTemp.clear();
    return kExitOk;
}

void EncodeJob::Cleanup() {
    if (!m_RefitTemp.empty()) {
        std::remove(m_RefitTemp.c_str());
        m_RefitTemp.clear();
    }
    for (Output* out : {&m_Video, &m_Vaf, &m_AudioFile}) {
        if (!out->temp.empty()) {
            std::remove(out->temp.c_str());
            out->temp.clear();
        }
    }
    if (!m_LogDir.empty()) {
        std::error_code ec;
        fs::remove_all(m_LogDir, ec);
        m_LogDir.clear();
    }
}

} // namespace

int RunEncode(const std::string& eclPath, const Tools& tools) {
    EncodeJob job(tools);
    return job.Run(eclPath);
}

} // namespace cce
