#include "disc_steps.h"

#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <unistd.h>

namespace author_tool {

std::string PackageOf(const std::string& tool) {
    if (tool == "mplex") {
        return "mjpegtools";
    }
    if (tool == "ffmpeg" || tool == "ffprobe") {
        return "ffmpeg";
    }
    return tool == "spumux" ? "dvdauthor" : tool; // dvdauthor, genisoimage, xorriso
}

bool HaveTool(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t at = 0;
    while (at <= dirs.size()) {
        size_t colon = dirs.find(':', at);
        std::string dir = dirs.substr(at, colon == dirs.npos ? dirs.npos : colon - at);
        if (!dir.empty() && access((dir + "/" + tool).c_str(), X_OK) == 0) {
            return true;
        }
        if (colon == dirs.npos) {
            break;
        }
        at = colon + 1;
    }
    return false;
}

namespace {

int RunCaptured(const std::vector<std::string>& argv, std::vector<std::string>& lines,
                std::string& error, const std::string& inPath = "",
                const std::string& outPath = "") {
    enc::ChildProcess child;
    enc::SpawnOptions options;
    struct Fds {
        int in = -1;
        int out = -1;
        ~Fds() {
            if (in >= 0) {
                close(in);
            }
            if (out >= 0) {
                close(out);
            }
        }
    } fds;
    if (!inPath.empty() && (fds.in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
        error = "cannot read " + inPath + ": " + std::strerror(errno);
        return -1;
    }
    if (!outPath.empty() &&
        (fds.out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) < 0) {
        error = "cannot write " + outPath + ": " + std::strerror(errno);
        return -1;
    }
    // A termination signal between two programs ends the work before the next one starts.
    if (enc::ReceivedSignal() != 0) {
        error = "stopped by " + enc::SignalName(enc::ReceivedSignal());
        return -1;
    }
    options.stdinFd = fds.in;
    options.stdoutFd = fds.out;
    options.captureOutput = true;
    options.mergeStderr = true;
    options.parentDeathSignal = SIGTERM;
    if (!child.Start(argv, options, error)) {
        error = "cannot be started: " + error;
        return -1;
    }
    enc::ForwardTo(child.Pid(), false);
    child.ReadLines([&lines](const std::string& line) { lines.push_back(line); });
    int status = child.Wait();
    enc::ForwardTo(0, false);
    if (enc::ReceivedSignal() != 0) {
        error = "stopped by " + enc::SignalName(enc::ReceivedSignal());
        return -1;
    }
    return status;
}

} // namespace

bool RunTool(const std::vector<std::string>& argv, std::string& error, const std::string& inPath,
             const std::string& outPath) {
    std::vector<std::string> lines;
    std::string why;
    int status = RunCaptured(argv, lines, why, inPath, outPath);
    if (status == 0) {
        return true;
    }
    error = status < 0 ? argv[0] + ": " + why
                       : argv[0] + " failed (exit " + std::to_string(status) + ")";
    const size_t first = lines.size() > 6 ? lines.size() - 6 : 0;
    for (size_t i = first; i < lines.size(); ++i) {
        error += "\n  " + argv[0] + ": " + lines[i];
    }
    return false;
}

bool ProbeAudio(const std::string& path, int& channels, int& sampleRate, std::string& error) {
    std::vector<std::string> lines;
    std::string why;
    int status =
        RunCaptured({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                     "stream=channels,sample_rate", "-of", "default=noprint_wrappers=1", path},
                    lines, why);
    if (status != 0) {
        error = "ffprobe cannot read " + path + (why.empty() ? "" : ": " + why);
        for (const std::string& line : lines) {
            error += "\n  ffprobe: " + line;
        }
        return false;
    }
    channels = 0;
    sampleRate = 0;
    for (const std::string& line : lines) {
        if (line.rfind("channels=", 0) == 0) {
            channels = std::atoi(line.c_str() + 9);
        } else if (line.rfind("sample_rate=", 0) == 0) {
            sampleRate = std::atoi(line.c_str() + 12);
        }
    }
    return true;
}

bool EncodeTitleAudio(const std::string& source, double startSeconds, double seconds, int channels,
                      const std::string& out, std::string& error) {
    char start[32];
    char length[32];
    std::snprintf(start, sizeof start, "%.6f", startSeconds);
    std::snprintf(length, sizeof length, "%.6f", seconds);
    const bool surround = channels >= 6;
    return RunTool({"ffmpeg", "-nostdin",
                    "-v",     "error",
                    "-y",     "-ss",
                    start,    "-i",
                    source,   "-t",
                    length,   "-map",
                    "0:a:0",  "-vn",
                    "-ac",    surround ? "6" : "2",
                    "-ar",    "48000",
                    "-c:a",   "ac3",
                    "-b:a",   surround ? "448k" : "192k",
                    out},
                   error);
}

bool EncodeMenuVideo(const std::string& stillPng, bool pal, const std::string& out,
                     std::string& error) {
    return RunTool({"ffmpeg",
                    "-nostdin",
                    "-v",
                    "error",
                    "-y",
                    "-loop",
                    "1",
                    "-framerate",
                    pal ? "25" : "30000/1001",
                    "-i",
                    stillPng,
                    "-f",
                    "lavfi",
                    "-i",
                    "anullsrc=r=48000:cl=stereo",
                    "-t",
                    "1",
                    "-target",
                    pal ? "pal-dvd" : "ntsc-dvd",
                    "-aspect",
                    "4:3",
                    out},
                   error);
}

} // namespace author_tool
