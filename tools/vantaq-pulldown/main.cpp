// vantaq-pulldown: runs the pulldown processor on one stream file from the command line.
#include "pulldown/pulldown.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 64;

const char kHelp[] =
    "Usage: vantaq-pulldown [options] SOURCE [TARGET]\n"
    "\n"
    "Rewrites an MPEG-2 video elementary stream so that 23.976 progressive pictures play\n"
    "as 29.97 frames a second through 2:3 pulldown: the frame-rate code of every sequence\n"
    "header, progressive_sequence, the GOP time codes and the field flags of every picture\n"
    "are changed in place; nothing else. TARGET defaults to SOURCE with \".m2v\" appended\n"
    "and may not be SOURCE itself. Log lines go to standard output, progress (pictures\n"
    "done) to standard error when it is a terminal. The exit status is the result code,\n"
    "also when standard output is closed early (as by `| head -1`):\n"
    "  0 success, 1 bad frame-rate index, 2 cannot open SOURCE or it is no regular file\n"
    "  (a pipe or device), 3 SOURCE is empty, 4 cannot open or write TARGET, 6 not an\n"
    "  MPEG video stream, 7/8 cannot take or restore the input position, 9 the stream\n"
    "  ends before the next start code (for example without a sequence end code), 10 the\n"
    "  stream is not at 23.976 frames a second, 11 a picture is not coded as a progressive\n"
    "  frame (2:3 pulldown only; it also marks every picture's vbv_delay as variable\n"
    "  rate), 64 bad command line.\n"
    "\n"
    "Options (defaults in brackets):\n"
    "  --set-frame-rate=N        no pulldown: stamp the frame rate N instead, 1 = 23.976,\n"
    "                            2 = 25, 3 = 29.97; time codes are then left unless\n"
    "                            --drop-frame is given  [off]\n"
    "  --aspect=N                aspect_ratio_information: 0 leave, 1 = 1:1, 2 = 4:3,\n"
    "                            3 = 16:9, 4 = 2.21:1  [0]\n"
    "  --field-order=N           top_field_first: 0 by the cadence, 1 top field first\n"
    "                            (ODD), 2 bottom field first (EVEN)  [0]\n"
    "  --no-rff                  clear repeat_first_field everywhere, no pulldown\n"
    "  --no-timecodes            leave the GOP time codes as they are\n"
    "  --progressive-sequence=N  0 default (write 0), 1 progressive, 2 interlaced  [0]\n"
    "  --progressive-frame=N     0 by the cadence, 1 all progressive, 2 all interlaced  [0]\n"
    "  --drop-frame=N            drop_frame_flag of the time codes: 0 default (clear),\n"
    "                            1 set, 2 clear; 1 and 2 also turn the time-code\n"
    "                            recalculation back on  [0]\n"
    "                            Note: the program's own pulldown runs (after an encode and\n"
    "                            from its menu) use the defaults plus --drop-frame=1.\n"
    "  -h, --help                show this text\n";

bool ParseInt(const char* text, int low, int high, int& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "vantaq-pulldown: %s\nTry 'vantaq-pulldown --help'.\n", message.c_str());
    return kUsageError;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

int main(int argc, char** argv) {
    // A reader that goes away (`vantaq-pulldown ... | head -1`) must not end the pass half way:
    // writes to it fail instead, and the pass goes on to its result code.
    std::signal(SIGPIPE, SIG_IGN);
    pulldown::PulldownOptions options;
    std::vector<std::string> paths;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.size() < 2 || arg[0] != '-') {
            paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (arg == "--no-rff") {
            options.m_NoRff = true;
            continue;
        }
        if (arg == "--no-timecodes") {
            options.m_NoTimecodes = true;
            continue;
        }
        size_t eq = arg.find('=');
        if (eq == std::string::npos) {
            return Usage("unknown option " + arg);
        }
        std::string name = arg.substr(0, eq);
        const char* value = argv[i] + eq + 1;
        bool ok = false;
        if (name == "--set-frame-rate") {
            ok = ParseInt(value, -999, 999, options.m_FrameRateIndex); // the processor checks it
            options.m_SetFrameRate = true;
        } else if (name == "--aspect") {
            ok = ParseInt(value, 0, 4, options.m_AspectRatio);
        } else if (name == "--field-order") {
            ok = ParseInt(value, 0, 2, options.m_FieldOrder);
        } else if (name == "--progressive-sequence") {
            ok = ParseInt(value, 0, 2, options.m_ProgressiveSequence);
        } else if (name == "--progressive-frame") {
            ok = ParseInt(value, 0, 2, options.m_ProgressiveFrame);
        } else if (name == "--drop-frame") {
            ok = ParseInt(value, 0, 2, options.m_DropFrame);
        } else {
            return Usage("unknown option " + name);
        }
        if (!ok) {
            return Usage("bad value in " + arg);
        }
    }
    if (paths.empty() || paths.size() > 2) {
        return Usage(paths.empty() ? "missing SOURCE" : "too many file names");
    }
    std::string source = paths[0];
    std::string target = paths.size() == 2 ? paths[1] : source + ".m2v";
    // Only a file has an end: a device such as /dev/zero would be read, and the target
    // written, without one.
    struct stat st {};
    if (stat(source.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "vantaq-pulldown: %s is not a regular file\n", source.c_str());
        return pulldown::kPulldownOpenInputFailed;
    }
    if (target == source || SameFile(source, target)) {
        std::fprintf(stderr, "vantaq-pulldown: refusing to overwrite the source %s\n",
                     source.c_str());
        return pulldown::kPulldownOpenOutputFailed;
    }

    bool progress = isatty(STDERR_FILENO) == 1;
    pulldown::PulldownCallbacks callbacks;
    bool stdoutBroken = false;
    callbacks.OnLine = [&stdoutBroken](const std::string& line, int) {
        // Once standard output cannot be written, the rest of the lines are dropped.
        if (!stdoutBroken && (std::printf("%s\n", line.c_str()) < 0 || std::fflush(stdout) != 0)) {
            stdoutBroken = true;
        }
    };
    if (progress) {
        callbacks.OnUpdate = [](int64_t pictures) {
            std::fprintf(stderr, "\r%lld pictures", static_cast<long long>(pictures));
        };
    }
    pulldown::PulldownProcessor processor(source, target, options, callbacks);
    int code = processor.Run();
    if (progress) {
        std::fputs("\n", stderr);
    }
    return code;
}
