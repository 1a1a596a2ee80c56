// cce: the stand-in MPEG-2 encoder. Usage: cce [-batch] [-ecl] [--] LIST.ecl
#include "child_process.h"
#include "encode_job.h"
#include "env/file_version_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Usage() {
    std::fprintf(stderr, "usage: cce [-ecl] LIST.ecl [-batch]\n"
                         "       cce [-batch] -- LIST.ecl\n"
                         "       cce --version\n"
                         "Encodes what the encoder control list asks for with ffmpeg.\n"
                         "CCE_FFMPEG and CCE_FFPROBE name other ffmpeg and ffprobe programs.\n");
}

} // namespace

int main(int argc, char** argv) {
    // ffmpeg ends at once on SIGTERM; one that hangs is killed after this grace, well before
    // the runner's own (the encoder still removes its files then).
    constexpr unsigned kFfmpegGraceSeconds = 2;
    enc::InstallSignalForwarding(kFfmpegGraceSeconds);
    std::string ecl;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--" && i + 2 == argc && ecl.empty()) {
            // Whatever follows "--" is the list, even a name that looks like an option.
            ecl = argv[++i];
            continue;
        }
        if (a == "--version") {
            // The version resource is read back, so every build of these sources (the test
            // copies carry other FileVersions) reports its own.
            env::CFileVersionInfo info;
            if (!info.OpenModule()) {
                std::printf("cce (no version resource)\n");
                return 0;
            }
            std::printf("cce %s\n", info.QueryString("FileVersion").c_str());
            return 0;
        }
        if (a == "-batch" || a == "/batch") {
            continue;
        }
        if ((a == "-ecl" || a == "/ecl") && i + 1 < argc) {
            ecl = argv[++i];
        } else if (ecl.empty() && !a.empty() && a[0] != '-') {
            ecl = a;
        } else {
            Usage();
            return cce::kExitBadList;
        }
    }
    if (ecl.empty()) {
        Usage();
        return cce::kExitBadList;
    }
    cce::Tools tools;
    if (const char* f = std::getenv("CCE_FFMPEG"); f && *f) {
        tools.ffmpeg = f;
    }
    if (const char* f = std::getenv("CCE_FFPROBE"); f && *f) {
        tools.ffprobe = f;
    }
    return cce::RunEncode(ecl, tools);
}
