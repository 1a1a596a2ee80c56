// Pulldown throughput and memory on a 1 GiB stream, against cp and ffmpeg's mpeg2_metadata filter.
#include "pulldown/pulldown.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Measure {
    double seconds = 0;
    double peakMiB = 0;
    int status = -1;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs a program (no shell) and waits for it, with its wall time and peak resident memory.
Measure Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    Measure m;
    double start = Now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return m;
    }
    int raw = 0;
    struct rusage usage {};
    wait4(pid, &raw, 0, &usage);
    m.seconds = Now() - start;
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    m.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return m;
}

// Runs the pulldown pass with the program's own option set in a child process of its own, so
// that its peak resident memory is measured alone.
Measure Pulldown(const std::string& in, const std::string& out) {
    Measure m;
    double start = Now();
    pid_t pid = fork();
    if (pid == 0) {
        pulldown::PulldownOptions options;
        options.m_DropFrame = 1;
        pulldown::PulldownProcessor processor(in, out, options, {});
        _exit(processor.Run());
    }
    int raw = 0;
    struct rusage usage {};
    wait4(pid, &raw, 0, &usage);
    m.seconds = Now() - start;
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    m.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return m;
}

// Reads a file once so that the runs find it in the page cache.
void Warm(const std::string& path) {
    std::vector<char> buf(1 << 20);
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        while (std::fread(buf.data(), 1, buf.size(), f) > 0) {
        }
        std::fclose(f);
    }
}

// Repeats the pictures of `base` (a stream without end code) to at least `bytes`, then ends it.
bool BuildBigStream(const std::string& base, const std::string& path, uint64_t bytes) {
    std::vector<char> data;
    if (FILE* f = std::fopen(base.c_str(), "rb")) {
        std::vector<char> buf(1 << 20);
        size_t n = 0;
        while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
            data.insert(data.end(), buf.begin(), buf.begin() + static_cast<long>(n));
        }
        std::fclose(f);
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (data.empty() || out == nullptr) {
        return false;
    }
    uint64_t written = 0;
    while (written < bytes) {
        written += std::fwrite(data.data(), 1, data.size(), out);
    }
    std::fwrite("\x00\x00\x01\xB7", 1, 4, out);
    return std::fclose(out) == 0;
}

} // namespace

int main() {
    const char* sizeEnv = std::getenv("VANTAQ_BENCH_MIB");
    uint64_t mib = sizeEnv ? std::strtoull(sizeEnv, nullptr, 10) : 1024;
    namespace fs = std::filesystem;
    fs::path dir = fs::read_symlink("/proc/self/exe").parent_path() / "pulldown-bench-work";
    fs::create_directories(dir);
    std::string base = (dir / "base.mpv").string(), big = (dir / "big.mpv").string();
    std::string cpOut = (dir / "copy.mpv").string(), pdOut = (dir / "big.mpv.m2v").string();
    std::string ffOut = (dir / "ffmpeg.m2v").string();

    std::printf("making a %llu MiB 23.976 stream (720x480, 8 Mbit/s, GOP 12)...\n",
                static_cast<unsigned long long>(mib));
    Measure gen = Spawn({"ffmpeg",     "-v",       "error",
                         "-nostdin",   "-y",       "-f",
                         "lavfi",      "-i",       "testsrc2=size=720x480:rate=24000/1001",
                         "-t",         "10",       "-c:v",
                         "mpeg2video", "-g",       "12",
                         "-bf",        "2",        "-b:v",
                         "8M",         "-maxrate", "9M",
                         "-bufsize",   "1835k",    "-f",
                         "mpeg2video", base});
    if (gen.status != 0 || !BuildBigStream(base, big, mib << 20)) {
        std::fprintf(stderr, "could not make the stream\n");
        return 2;
    }
    double size = static_cast<double>(fs::file_size(big));
    Warm(big);

    // Best of a few runs for the fast ones; ffmpeg once.
    Measure cp, pd;
    // Each run starts with no dirty pages of an earlier one waiting to be written back.
    for (int i = 0; i < 3; ++i) {
        sync();
        Measure c = Spawn({"cp", big, cpOut});
        fs::remove(cpOut);
        sync();
        Measure p = Pulldown(big, pdOut);
        if (i == 0 || c.seconds < cp.seconds) {
            cp = c;
        }
        if (i == 0 || p.seconds < pd.seconds) {
            pd = p;
        }
    }
    bool complete = pd.status == 0 && fs::file_size(pdOut) == fs::file_size(big);
    fs::remove(pdOut);
    sync();
    Measure ff =
        Spawn({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", big, "-c:v", "copy", "-bsf:v",
               "mpeg2_metadata=frame_rate=30000/1001", "-f", "mpeg2video", ffOut});
    fs::remove(ffOut);
    fs::remove(big);
    fs::remove(base);

    auto mbps = [size](const Measure& m) { return size / (1 << 20) / m.seconds; };
    std::printf("stream            %.0f MiB\n", size / (1 << 20));
    std::printf("cp                %.3f s  %8.1f MiB/s (status %d)\n", cp.seconds, mbps(cp),
                cp.status);
    std::printf("ffmpeg bsf        %.3f s  %8.1f MiB/s (status %d)\n", ff.seconds, mbps(ff),
                ff.status);
    std::printf("pulldown          %.3f s  %8.1f MiB/s (code %d, output %s)\n", pd.seconds,
                mbps(pd), pd.status, complete ? "complete" : "INCOMPLETE");
    double vsCp = cp.seconds / pd.seconds, vsFf = ff.seconds / pd.seconds;
    std::printf("pulldown / cp     %.2f x   (target >= 0.5)  %s\n", vsCp,
                vsCp >= 0.5 ? "ok" : "MISSED");
    std::printf("pulldown / ffmpeg %.2f x   (target >= 5)    %s\n", vsFf,
                vsFf >= 5 ? "ok" : "MISSED");
    std::printf("pulldown peak RSS %.1f MiB (target < 16)    %s\n", pd.peakMiB,
                pd.peakMiB < 16 ? "ok" : "MISSED");
    bool ok =
        complete && cp.status == 0 && ff.status == 0 && vsCp >= 0.5 && vsFf >= 5 && pd.peakMiB < 16;
    return ok ? 0 : 1;
}
