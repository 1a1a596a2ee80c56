// libFuzzer target: the fast processor must agree with the bit-at-a-time reference on any input.
#include "reference_pulldown.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A folder for the three files of each input, removed when the fuzzer exits.
struct Scratch {
    std::string dir;
    Scratch() {
        char pattern[] = "/tmp/vantaq-pulldown-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            std::abort();
        }
        dir = made;
    }
    ~Scratch() {
        for (const char* name : {"/in.mpv", "/ref.m2v", "/fast.m2v"}) {
            std::remove((dir + name).c_str());
        }
        rmdir(dir.c_str());
    }
};

const std::string& ScratchDir() {
    static const Scratch scratch;
    return scratch.dir;
}

std::string Slurp(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            out.append(buf, n);
        }
        std::fclose(f);
    }
    return out;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "pulldown fuzzer: %s differ\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the options; the rest is the stream.
    pulldown::PulldownOptions options;
    if (size > 0) {
        uint8_t o = data[0];
        options.m_DropFrame = o & 3;
        options.m_SetFrameRate = (o & 4) != 0;
        options.m_FrameRateIndex = 1 + ((o >> 3) & 3); // 4 gives the frame-rate error
        options.m_NoRff = (o & 0x20) != 0;
        options.m_FieldOrder = (o >> 6) & 3;
        ++data;
        --size;
    }
    const std::string& dir = ScratchDir();
    std::string src = dir + "/in.mpv", ref = dir + "/ref.m2v", fast = dir + "/fast.m2v";
    FILE* f = std::fopen(src.c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    pulldown_test::RunRecord a = pulldown_test::RunReference(src, ref, options);
    pulldown_test::RunRecord b = pulldown_test::RunFast(src, fast, options);
    Check(a.code == b.code, "result codes");
    Check(pulldown_test::LinesWithoutTarget(a) == pulldown_test::LinesWithoutTarget(b), "lines");
    Check(a.updates == b.updates, "progress reports");
    Check(Slurp(ref) == Slurp(fast), "outputs");
    return 0;
}
