// One run of the encoder: reads a control list, probes the source, runs ffmpeg for every
// requested output and publishes the outputs under their final names.
#include "encode_job.h"

#include "child_process.h"
#include "ecl_list.h"
#include "line_output.h"
#include "partial_files.h"
#include "platform/avi_file.h"
#include "platform/files.h"
#include "platform/frame_server.h"
#include "pulldown/picture_count.h"
#include "rate_fit.h"
#include "rate_refit.h"
#include "source/av_probe.h"
#include "source/avi_source.h"
#include "source/dvd_fit.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
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

// The cause of an ffmpeg failure from its message `line`, keeping `before` unless the line
// says more: a full disk, or the error of ffmpeg's own rate control or writer.
std::string FailureCause(const std::string& line, const std::string& before) {
    if (line.find("No space left on device") != std::string::npos) {
        return "the disk is full (No space left on device)";
    }
    if (before.find("disk is full") != std::string::npos) {
        return before;
    }
    if (line.find("bitrate too low") != std::string::npos ||
        line.find("failed to converge") != std::string::npos) {
        return "ffmpeg's rate control cannot reach the mean rate of the list: " + line;
    }
    // A line of ffmpeg's (it names its component in brackets or says "Error") beats a line of
    // the C library that follows an abort.
    if (line.find("rror") != std::string::npos || line.rfind("[", 0) == 0 || before.empty()) {
        return line;
    }
    return before;
}

class EncodeJob {
public:
    explicit EncodeJob(const Tools& tools) : m_Tools(tools) {}
    ~EncodeJob() { Cleanup(); }

    int Run(const std::string& eclPath);

private:
    // An output under its temporary name (held: locked) until it is complete.
    struct Output {
        std::string final;
        enc::HeldPartial temp;
    };
    struct VideoRun {
        enc::PassKind kind;
        bool writesStream;
    };

    int Prepare(const std::string& eclPath);
    int ProbeAvi(const std::string& path, enc::SourceInfo& info);
    int ProbeVideoFile(const std::string& path);
    int OpenScript(const std::string& path);
    bool MakeTemp(const std::string& final, Output& out);
    void RemoveLeftovers();
    bool RunFfmpeg(const std::vector<std::string>& args, const std::string& what);
    // After the analysis: fails when it covers fewer frames than the range, and fits the
    // later passes to what ffmpeg's planner can do (see rate_fit.h). `next` is the first run
    // still to come.
    bool FitLaterPasses(const std::string& logPrefix, size_t next, bool analysed);
    // Fails when `have` frames fall short of the range.
    bool WholeRange(int64_t have, const std::string& what);
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
    enc::HeldPartial m_LogDir;    // ffmpeg's pass logs
    std::string m_AnalysisHeader; // the first line of the analysis file of this encode
    int m_RunsDone = 0;
    int m_TotalRuns = 0;
    int m_LastPercent = -1;
    bool m_QuietProgress = false; // a run beyond the planned ones shows no progress
    std::string m_RefitTemp;      // the stream of a second final pass while it is written
    std::string m_SourceIdentity; // the source's path, size and time when the encode began
    bool m_ShortEndNoted = false;
};

int EncodeJob::Prepare(const std::string& eclPath) {
    enc::EclList list;
    std::string error;
    if (!enc::LoadEcl(eclPath, list, error) || !enc::BuildPlan(list, m_Plan, error)) {
        Fail(error);
        return kExitBadList;
    }
    RemoveLeftovers();
    enc::EncodePlan& p = m_Plan;
    const bool script = EndsWithNoCase(p.sourcePath, ".avs");
    // Any file that is no AVI by its content is read through libavformat, as the window
    // inspected it.
    platform::AviHeaders aviHeaders;
    const bool videoFile =
        !script && platform::ReadAviHeaders(p.sourcePath, aviHeaders) == platform::kAviNotAvi;
    const int opened = script      ? OpenScript(p.sourcePath)
                       : videoFile ? ProbeVideoFile(p.sourcePath)
                                   : ProbeAvi(p.sourcePath, m_Source);
    if (opened != kExitOk) {
        return opened;
    }
    const double want = static_cast<double>(p.rateNum) / p.rateDen;
    const double have = static_cast<double>(m_Source.rateNum) / m_Source.rateDen;
    if (p.fitPicture && std::fabs(want - have) > want * 0.001) {
        // A fitted source is converted to the list's rate by ffmpeg's fps filter, frames
        // repeated or dropped; the range counts frames at that rate, as the list's writer did.
        const int64_t frames = source::FramesAtRate(
            m_Source.frames, source::RateInThousandths(m_Source.rateNum, m_Source.rateDen),
            source::RateInThousandths(p.rateNum, p.rateDen));
        p.notes.push_back("the source is fitted from " + std::to_string(m_Source.rateNum) + "/" +
                          std::to_string(m_Source.rateDen) + " fps to " +
                          std::to_string(p.rateNum) + "/" + std::to_string(p.rateDen) +
                          " fps: " + std::to_string(frames) +
                          " frames, ffmpeg's fps filter repeating or "
                          "dropping frames");
        m_Source.frames = frames;
        m_Source.rateNum = p.rateNum;
        m_Source.rateDen = p.rateDen;
        m_Source.variableRate = true;
        m_Source.retime = true;
    } else if (std::fabs(want - have) > want * 0.001) {
        Fail("frame_rate_idx=" + std::to_string(p.rateIndex) + " does not match the source's " +
             std::to_string(m_Source.rateNum) + "/" + std::to_string(m_Source.rateDen) + " fps");
        return kExitSource;
    }
    if (p.encodeEnd > m_Source.frames) {
        Fail("the range ends at frame " + std::to_string(p.encodeEnd - 1) + " but the source has " +
             std::to_string(m_Source.frames) + " frames (0 to " +
             std::to_string(m_Source.frames - 1) + ")");
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
    m_SourceIdentity = FileIdentity(p.sourcePath);
    m_AnalysisHeader = std::string(kAnalysisHeader) + "source " + m_SourceIdentity;
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
            // The analysis was made by the first part at its own (one-pass) rates; planned
            // from it directly, ffmpeg misses the mean by more than 5 %. At least one refining
            // pass at the stream's rates comes first.
            for (int i = 2; i < std::max(p.passes, 3); ++i) {
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
    // A reused analysis is read, not rewritten (its refining pass only serves this stream).
    m_PublishVaf =
        p.vafOut && !m_ReuseVaf && std::any_of(m_Runs.begin(), m_Runs.end(), [](const VideoRun& r) {
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
        if (!m_LogDir.CreateFolder(enc::TemporaryFolder(), error)) {
            Fail("cannot make a folder for the analysis in " + enc::TemporaryFolder() + ": " +
                 error);
            return kExitOutput;
        }
        if (m_ReuseVaf &&
            ReadAnalysis(p.vafPath, m_AnalysisHeader, m_LogDir.Path() + "/pass-0.log") != count) {
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
    options.parentDeathSignal = SIGKILL;
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

// Inspects a video file as the window did (headers and packet counts through libavformat):
// the same frame count, nominal rate and audio.
int EncodeJob::ProbeVideoFile(const std::string& path) {
    if (!CheckSourceFile(path)) {
        return kExitSource;
    }
    source::AvProbe probe;
    std::string error;
    if (source::ProbeAvSource(path, probe, error) != source::kAvOk) {
        Fail("cannot read the source " + path + ": " + error);
        return kExitSource;
    }
    m_Source = enc::SourceInfo();
    m_Source.width = probe.width;
    m_Source.height = probe.height;
    m_Source.frames = probe.frames;
    m_Source.rateNum = static_cast<int>(probe.rate);
    m_Source.rateDen = static_cast<int>(probe.scale);
    m_Source.hasAudio = probe.hasAudio;
    m_Source.audioChannels = probe.audioChannels;
    m_Source.videoStream = probe.streamIndex;
    m_Source.darNum = probe.darNum;
    m_Source.darDen = probe.darDen;
    m_Source.retime = true;
    // A rate no MPEG-2 stream carries is shown at the nearer DVD rate the same way: frames at
    // the new rate, repeated or dropped by ffmpeg's fps filter.
    m_Source.variableRate = probe.variableRate || probe.rateConverted;
    Say("  Source " + path + ": " + probe.fileType + ", " + std::to_string(probe.width) + "x" +
        std::to_string(probe.height) + ", " + std::to_string(probe.rate) + "/" +
        std::to_string(probe.scale) + " fps, " + std::to_string(probe.frames) + " frames");
    if (probe.variableRate) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", probe.seconds);
        m_Plan.notes.push_back(
            "the source has a variable frame rate (" + std::to_string(probe.packets) +
            " frames in " + seconds + " s): it is encoded at its nominal rate " +
            std::to_string(probe.rate) + "/" + std::to_string(probe.scale) + " fps as " +
            std::to_string(probe.frames) +
            " frames, ffmpeg's fps filter repeating or dropping frames where the timing needs");
    }
    if (probe.rateConverted) {
        char fps[32];
        std::snprintf(fps, sizeof fps, "%.3f", probe.sourceFps);
        m_Plan.notes.push_back(
            "the source has " + std::string(fps) +
            " frames a second, which no MPEG-2 stream carries: it is encoded at " +
            std::to_string(probe.rate) + "/" + std::to_string(probe.scale) + " fps as " +
            std::to_string(probe.frames) +
            " frames, ffmpeg's fps filter repeating or dropping frames");
    }
    if (probe.truncated) {
        m_Plan.notes.push_back(path + " is truncated: the " + std::to_string(probe.frames) +
                               " whole frames before the cut are read (its headers count " +
                               std::to_string(probe.headerFrames) + ")");
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
    std::string error;
    if (!out.temp.CreateFile(final, error)) {
        Fail("cannot write " + final + ": " + error);
        return false;
    }
    return true;
}

// An encoder that was killed could not remove its unfinished files: they go before this
// encode writes the same outputs. Files of an encoder still running stay.
void EncodeJob::RemoveLeftovers() {
    std::vector<std::string> removed = enc::RemoveStaleWorkFolders(enc::TemporaryFolder());
    for (const std::string* final : {&m_Plan.videoPath, &m_Plan.vafPath, &m_Plan.audioPath}) {
        if (!final->empty()) {
            const std::vector<std::string> more = enc::RemoveStaleTemporaries(*final);
            removed.insert(removed.end(), more.begin(), more.end());
        }
    }
    for (const std::string& path : removed) {
        Say("  Removed " + path + ", left by an encoder that was killed");
    }
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
    // Should this process be killed, ffmpeg ends with it; its files go at the next encode.
    options.parentDeathSignal = SIGKILL;
    // ffmpeg's own error lines come through the same pipe, so that the last one can name the
    // cause of a failure; they are passed on to stderr as before.
    options.mergeStderr = true;
    std::string error;
    if (!ffmpeg.Start(args, options, error)) {
        Fail(error);
        return false;
    }
    enc::ForwardTo(ffmpeg.Pid(), false);
    const double framesPerMicrosecond =
        static_cast<double>(m_Plan.rateNum) / (m_Plan.rateDen * 1e6);
    std::string cause;
    ffmpeg.ReadLines([&](const std::string& line) {
        if (line.rfind("frame=", 0) == 0) {
            Progress(std::atoll(line.c_str() + 6));
        } else if (line.rfind("out_time_us=", 0) == 0 && what == "audio") {
            Progress(static_cast<int64_t>(std::atof(line.c_str() + 12) * framesPerMicrosecond));
        } else if (!line.empty() && line.find('=') == std::string::npos) {
            // Not a progress line (key=value): one of ffmpeg's messages (loglevel error).
            enc::SayError(line);
            cause = FailureCause(line, cause);
        }
    });
    const int status = ffmpeg.Wait();
    enc::ForwardTo(0, false);
    if (enc::ReceivedSignal() != 0) {
        return false;
    }
    if (status != 0) {
        Fail("ffmpeg failed in the " + what + " run (exit status " + std::to_string(status) + ")" +
             (cause.empty() ? std::string() : ": " + cause));
        return false;
    }
    ++m_RunsDone;
    return true;
}

bool EncodeJob::WholeRange(int64_t have, const std::string& what) {
    const int64_t want = m_Plan.encodeEnd - m_Plan.encodeFirst;
    if (have >= want) {
        return true;
    }
    // A video file's container may list a frame or two that does not decode (a damaged frame,
    // an edit list): a range to its end, of a file unchanged since the encode began, that
    // falls short by that little has reached the source's real end. A file cut or rewritten
    // meanwhile has another size or time.
    const int64_t missing = want - have;
    if (m_Source.retime && m_Source.scriptInput.empty() && have > 0 &&
        m_Plan.encodeEnd >= m_Source.frames && missing <= 2 + want / 100 &&
        FileIdentity(m_Plan.sourcePath) == m_SourceIdentity) {
        if (!m_ShortEndNoted) {
            m_ShortEndNoted = true;
            Say("  Note: " + std::to_string(missing) + " of the " + std::to_string(want) +
                " frames the source's container lists do not decode: " + what + " " +
                std::to_string(have) + ", to the source's end");
        }
        return true;
    }
    Fail(what + " " + std::to_string(std::max<int64_t>(have, 0)) + " of the " +
         std::to_string(want) + " frames the list asks for (" + std::to_string(m_Plan.encodeFirst) +
         " to " + std::to_string(m_Plan.encodeEnd - 1) +
         "): the source ended early or could not be read to the end");
    return false;
}

bool EncodeJob::FitLaterPasses(const std::string& logPrefix, size_t next, bool analysed) {
    enc::EncodePlan& p = m_Plan;
    int64_t frames = 0;
    const double coarsest = enc::CoarsestMeanKbps(
        logPrefix + "-0.log", enc::CoarsestQuantiser(p.nonLinear), p.rateNum, p.rateDen, frames);
    if (analysed && !WholeRange(frames, "the analysis covers")) {
        return false;
    }
    if (p.mode != enc::RateMode::MultipassVbr || next >= m_Runs.size()) {
        return true;
    }
    const enc::MultipassFit fit = enc::FitMultipass(coarsest, p.avgKbps, p.minKbps);
    const std::string need = std::to_string(static_cast<int64_t>(coarsest + 0.5));
    if (!fit.planFits) {
        // The planner of a later pass would give up and ffmpeg abort; a single pass at the
        // mean codes the stream as small as ffmpeg can.
        Say("  Note: this video needs about " + need + " kbit/s at the coarsest quantiser, " +
            "more than the mean of " + std::to_string(p.avgKbps) +
            " kbit/s allows ffmpeg's multipass rate control: the stream is coded in one pass " +
            "aiming at the mean" + (p.minKbps > 0 ? " (the minimum is kept)" : ""));
        m_Runs.resize(next);
        m_Runs.push_back({enc::PassKind::Single, true});
        m_TotalRuns = static_cast<int>(m_Runs.size()) + (m_Audio ? 1 : 0);
    } else if (!fit.floorFits && p.minKbps > 0) {
        Say("  Note: the minimum of " + std::to_string(p.minKbps) + " kbit/s and the about " +
            need + " kbit/s this video needs at the coarsest quantiser leave ffmpeg's " +
            "multipass rate control no room within the mean of " + std::to_string(p.avgKbps) +
            " kbit/s: the later passes keep the mean and the peak without a minimum");
        p.minKbps = 0;
    }
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
    const std::string logPrefix = m_LogDir.Path() + "/pass";
    if (m_ReuseVaf && !FitLaterPasses(logPrefix, 0, false)) {
        return kExitSource;
    }
    for (size_t i = 0; i < m_Runs.size(); ++i) {
        const VideoRun run = m_Runs[i];
        const std::string what = "video pass " + std::to_string(i + 1);
        auto args = enc::VideoRunArgs(m_Tools.ffmpeg, p, m_Source, run.kind, logPrefix,
                                      run.writesStream ? m_Video.temp.Path() : std::string());
        if (!RunFfmpeg(args, what)) {
            return enc::ReceivedSignal() ? 128 + enc::ReceivedSignal() : kExitEncode;
        }
        if (run.kind == enc::PassKind::Analysis && !FitLaterPasses(logPrefix, i + 1, true)) {
            return kExitSource;
        }
    }
    if (p.videoOut && !m_Runs.empty() && m_Runs.back().kind == enc::PassKind::Final) {
        const int refit = RefitRate(logPrefix);
        if (refit != kExitOk) {
            return refit;
        }
    }
    if (m_Audio &&
        !RunFfmpeg(enc::AudioRunArgs(m_Tools.ffmpeg, p, m_Source, m_AudioFile.temp.Path()),
                   "audio")) {
        return enc::ReceivedSignal() ? 128 + enc::ReceivedSignal() : kExitEncode;
    }

    if (p.videoOut) {
        std::error_code ec;
        if (fs::file_size(m_Video.temp.Path(), ec) == 0 || ec) {
            Fail("ffmpeg wrote no video stream");
            return kExitEncode;
        }
        // ffmpeg ends without an error when its source ends early (a file cut short while it
        // is read): only the pictures written tell.
        if (!WholeRange(pulldown::CountPictures(m_Video.temp.Path()), "the video stream holds")) {
            return kExitSource;
        }
        if (p.seqEndcode && !EnsureSequenceEnd(m_Video.temp.Path())) {
            Fail("cannot append the sequence end code to " + m_Video.temp.Path());
            return kExitOutput;
        }
    }
    if (m_PublishVaf && !WriteAnalysis(logPrefix + "-0.log", m_AnalysisHeader, m_Vaf.temp.Path())) {
        Fail("cannot write the analysis file " + p.vafPath);
        return kExitOutput;
    }
    for (Output* out : {&m_Video, &m_Vaf, &m_AudioFile}) {
        if (out->temp.Path().empty()) {
            continue;
        }
        const std::string temp = out->temp.Path();
        std::string error;
        if (!out->temp.Publish(out->final, error)) {
            Fail("cannot rename " + temp + " to " + out->final + ": " + error);
            return kExitOutput;
        }
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
    const uint64_t firstBytes = fs::file_size(m_Video.temp.Path(), ec);
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
        if (std::rename(m_RefitTemp.c_str(), m_Video.temp.Path().c_str()) != 0) {
            Fail("cannot rename " + m_RefitTemp + " to " + m_Video.temp.Path() + ": " +
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
        out->temp.Remove();
    }
    m_LogDir.Remove();
}

} // namespace

int RunEncode(const std::string& eclPath, const Tools& tools) {
    int status;
    {
        EncodeJob job(tools);
        status = job.Run(eclPath);
    } // the unfinished files are gone from here on
    if (const int sig = enc::ReceivedSignal(); sig != 0 && status != kExitOk) {
        status = 128 + sig;
        enc::SayError("cce: stopped by " + enc::SignalName(sig) +
                      "; ffmpeg has ended and the unfinished outputs are removed");
    }
    return status;
}

} // namespace cce
