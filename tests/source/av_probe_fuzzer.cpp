// libFuzzer target: the libavformat inspection never crashes, never hangs and, when it accepts
// a file, reports values every later step can divide by and print.
#include "source/av_probe.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The first byte of an input picks the file name's extension: demuxers take it as a hint.
const char* const kExtensions[] = {".mp4", ".mkv", ".mov", ".ts", ".mpg", ".dv", ".m2ts", ""};

struct Scratch {
    std::string dir;
    Scratch() {
        char pattern[] = "/tmp/vantaq-probe-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            std::abort();
        }
        dir = made;
    }
    ~Scratch() {
        for (const char* e : kExtensions) {
            std::remove((dir + "/in" + e).c_str());
        }
        rmdir(dir.c_str());
    }
};

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "probe fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Scratch scratch;
    const char* extension = "";
    if (size > 0) {
        extension = kExtensions[data[0] % (sizeof kExtensions / sizeof kExtensions[0])];
        ++data;
        --size;
    }
    std::string path = scratch.dir + "/in" + extension;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    source::AvProbe probe;
    std::string error;
    source::AvProbeError result = source::ProbeAvSource(path, probe, error);
    std::remove(path.c_str());
    if (result != source::kAvOk) {
        Check(!error.empty(), "an error without a reason");
        return 0;
    }
    Check(probe.width > 0 && probe.height > 0 && probe.width <= 65536 && probe.height <= 65536,
          "an impossible picture size");
    Check(probe.rate > 0 && probe.scale > 0, "a frame rate of 0");
    Check(probe.frames >= 1 && probe.frames <= INT32_MAX, "a frame count out of range");
    Check((probe.sarNum > 0) == (probe.darNum > 0), "a sample aspect without display aspect");
    Check(probe.fileType.size() <= 63, "a file type text too long");
    Check(!probe.truncated || probe.packets < probe.headerFrames, "a cut without missing frames");
    return 0;
}
