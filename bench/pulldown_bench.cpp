// Pulldown throughput and memory on a large stream, against cp of the same file and ffmpeg's
// mpeg2_metadata rewrite, all measured in the same run, in turn, as medians of several rounds.
//
// Environment: VANTAQ_BENCH_MIB (stream size, default 1024), VANTAQ_BENCH_DIR (where the
// streams go, default /dev/shm: the figures are about the pass, not the disk),
// VANTAQ_BENCH_ROUNDS (default 5).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Measure {
    double seconds = 0;
    double peakMiB = 0;
    int status = -1;
};

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtoull(v, nullptr, 10) : fallback;
}

// Runs a program (no shell, standard output to /dev/null) and waits for it, with its wall time
// and peak resident memory.
Measure Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Measure m;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return m;
    }
    int raw = 0;
    struct rusage usage {};
    wait4(pid, &raw, 0, &usage);
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    m.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return m;
}

// Encodes 5 seconds of 23.976 1920x1080 test pattern at 40 Mbit/s into `path`: variable rate, or
// constant rate, where the encoder fills the easy pictures up with zero bytes.
bool Encode(const std::string& path, bool constantRate) {
    std::vector<std::string> args = {
        "ffmpeg",     "-v",       "error",
        "-nostdin",   "-y",       "-f",
        "lavfi",      "-i",       "testsrc2=size=1920x1080:rate=24000/1001",
        "-t",         "5",        "-c:v",
        "mpeg2video", "-g",       "12",
        "-bf",        "2",        "-b:v",
        "40M",        "-maxrate", "40M",
        "-bufsize",   "9781k"};
    if (constantRate) {
        args.insert(args.end(), {"-minrate", "40M"});
    }
    args.insert(args.end(), {"-f", "mpeg2video", path});
    return Spawn(args).status == 0;
}

// Repeats the pictures of `base` (a stream without end code) to at least `bytes`, then ends it.
// A small buffer only: the peak memory of a child includes that of this process when it starts.
bool Repeat(const std::string& base, const std::string& path, uint64_t bytes) {
    FILE* in = std::fopen(base.c_str(), "rb");
    FILE* out = std::fopen(path.c_str(), "wb");
    bool ok = in != nullptr && out != nullptr;
    std::vector<char> buf(1 << 16);
    uint64_t written = 0;
    while (ok) {
        size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n == 0) { // the end of one copy: stop there once there is enough
            if (written >= bytes) {
                break;
            }
            ok = written > 0 && std::fseek(in, 0, SEEK_SET) == 0;
            continue;
        }
        ok = std::fwrite(buf.data(), 1, n, out) == n;
        written += n;
    }
    ok = ok && std::fwrite("\x00\x00\x01\xB7", 1, 4, out) == 4;
    if (in != nullptr) {
        std::fclose(in);
    }
    return out != nullptr && std::fclose(out) == 0 && ok;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Rounds of cp, the pulldown pass and (when `ffOut` is set) ffmpeg on one stream, in turn.
struct Figures {
    std::vector<double> cp, pulldown, ffmpeg, vsCp, vsFfmpeg, peakMiB;
    bool ok = true; // every command succeeded and every output is complete
};

Figures Measure3(const std::string& tool, const std::string& stream, const std::string& work,
                 bool withFfmpeg, int rounds) {
    Figures f;
    const std::string copy = work + "/copy.mpv", target = work + "/pulldown.m2v",
                      ffOut = work + "/ffmpeg.m2v";
    for (int i = 0; i < rounds; ++i) {
        // Each command starts with no dirty pages of an earlier one waiting to be written back.
        sync();
        Measure c = Spawn({"cp", stream, copy});
        fs::remove(copy);
        sync();
        Measure p = Spawn({tool, "--drop-frame=1", stream, target});
        std::error_code ec;
        f.ok = f.ok && c.status == 0 && p.status == 0 &&
               fs::file_size(target, ec) == fs::file_size(stream, ec);
        fs::remove(target);
        f.cp.push_back(c.seconds);
        f.pulldown.push_back(p.seconds);
        f.vsCp.push_back(c.seconds / p.seconds);
        f.peakMiB.push_back(p.peakMiB);
        if (withFfmpeg) {
            sync();
            Measure m = Spawn({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", stream, "-c:v",
                               "copy", "-bsf:v", "mpeg2_metadata=frame_rate=30000/1001", "-f",
                               "mpeg2video", ffOut});
            fs::remove(ffOut);
            f.ok = f.ok && m.status == 0;
            f.ffmpeg.push_back(m.seconds);
            f.vsFfmpeg.push_back(m.seconds / p.seconds);
        }
    }
    return f;
}

void Row(const char* name, const std::vector<double>& seconds, double mib) {
    double s = Median(seconds);
    std::printf("  %-22s %7.3f s  %8.1f MiB/s\n", name, s, mib / s);
}

// `values` are the rounds' figures; the median is judged, the spread shown beside it.
bool Verdict(const char* what, const std::vector<double>& values, double goal, bool atLeast) {
    double value = Median(values);
    bool ok = atLeast ? value >= goal : value < goal;
    auto [low, high] = std::minmax_element(values.begin(), values.end());
    std::printf("  %-30s %6.2f  (%.2f to %.2f)  goal %s %g  %s\n", what, value, *low, *high,
                atLeast ? ">=" : "<", goal, ok ? "ok" : "MISSED");
    return ok;
}

} // namespace

int main() {
    uint64_t mib = EnvNumber("VANTAQ_BENCH_MIB", 1024);
    int rounds = static_cast<int>(std::max<uint64_t>(1, EnvNumber("VANTAQ_BENCH_ROUNDS", 5)));
    const char* dirEnv = std::getenv("VANTAQ_BENCH_DIR");
    fs::path base = dirEnv != nullptr && *dirEnv != '\0' ? fs::path(dirEnv)
                    : fs::is_directory("/dev/shm")       ? fs::path("/dev/shm")
                                                         : fs::temp_directory_path();
    fs::path work = base / ("vantaq-pulldown-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::string tool =
        (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin/vantaq-pulldown")
            .string();
    std::string vbr = (work / "vbr.mpv").string(), cbr = (work / "cbr.mpv").string();
    std::string bigVbr = (work / "big-vbr.mpv").string(), bigCbr = (work / "big-cbr.mpv").string();

    std::printf("pulldown bench: %llu MiB streams in %s, medians of %d rounds\n",
                static_cast<unsigned long long>(mib), work.c_str(), rounds);
    bool made = Encode(vbr, false) && Encode(cbr, true) && Repeat(vbr, bigVbr, mib << 20) &&
                Repeat(cbr, bigCbr, mib << 20);
    fs::remove(vbr);
    fs::remove(cbr);
    if (!made) {
        std::fprintf(stderr, "could not make the streams (ffmpeg, space in %s?)\n", work.c_str());
        fs::remove_all(work);
        return 2;
    }
    double vbrMiB = static_cast<double>(fs::file_size(bigVbr)) / (1 << 20);
    double cbrMiB = static_cast<double>(fs::file_size(bigCbr)) / (1 << 20);
    Figures v = Measure3(tool, bigVbr, work.string(), true, rounds);
    Figures c = Measure3(tool, bigCbr, work.string(), false, rounds);
    fs::remove_all(work);

    std::printf("40 Mbit/s variable rate, %.0f MiB:\n", vbrMiB);
    Row("cp", v.cp, vbrMiB);
    Row("ffmpeg mpeg2_metadata", v.ffmpeg, vbrMiB);
    Row("vantaq-pulldown", v.pulldown, vbrMiB);
    std::printf("40 Mbit/s constant rate (zero stuffing), %.0f MiB:\n", cbrMiB);
    Row("cp", c.cp, cbrMiB);
    Row("vantaq-pulldown", c.pulldown, cbrMiB);
    std::printf("per round, median (lowest to highest); ratios are the throughput of the pass\n"
                "over that of the other command in the same round:\n");
    bool ok = v.ok && c.ok;
    std::vector<double> peaks = v.peakMiB;
    peaks.insert(peaks.end(), c.peakMiB.begin(), c.peakMiB.end());
    ok = Verdict("pulldown / cp", v.vsCp, 0.8, true) && ok;
    ok = Verdict("pulldown / ffmpeg", v.vsFfmpeg, 5, true) && ok;
    ok = Verdict("pulldown / cp, zero stuffing", c.vsCp, 0.5, true) && ok;
    // The highest peak is the one judged.
    ok = Verdict("pulldown peak RSS, MiB", {*std::max_element(peaks.begin(), peaks.end())}, 16,
                 false) &&
         ok;
    if (!v.ok || !c.ok) {
        std::printf("  a command failed or a pulldown output was incomplete\n");
    }
    return ok ? 0 : 1;
}
