// Source inspection speed: opening 1,000 AVI files with CAviSource beside stat() of the same
// files, measured in the same run (best of five rounds each).
#include "source/avi_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 1000;
constexpr int kRounds = 5;

double BestSeconds(const std::function<bool()>& work) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        if (!work()) {
            return -1;
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main() {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("vantaq-avi-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string sample = (dir / "sample.avi").string();
    // Two seconds of 640x480 at 29.97 with audio: a header list like a capture's.
    std::string make = "ffmpeg -nostdin -v error -y -threads 1 -f lavfi -i "
                       "testsrc2=size=640x480:rate=30000/1001 -f lavfi -i sine -t 2 -c:v mjpeg "
                       "-c:a pcm_s16le '" +
                       sample + "'";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "avi_inspect_bench: ffmpeg could not make the sample file\n");
        fs::remove_all(dir);
        return 1;
    }
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back((dir / ("source-" + std::to_string(i) + ".avi")).string());
        fs::copy_file(sample, paths.back(), fs::copy_options::overwrite_existing);
    }

    double inspect = BestSeconds([&] {
        for (const std::string& p : paths) {
            source::CAviSource source(p);
            if (source.Open() != 0 || source.Length() != 60) {
                return false;
            }
            source.Close();
        }
        return true;
    });
    double statOnly = BestSeconds([&] {
        for (const std::string& p : paths) {
            struct stat st {};
            if (::stat(p.c_str(), &st) != 0) {
                return false;
            }
        }
        return true;
    });
    fs::remove_all(dir);
    if (inspect < 0 || statOnly < 0) {
        std::fprintf(stderr, "avi_inspect_bench: a file could not be inspected\n");
        return 1;
    }
    std::printf("inspect %d AVI files: %.3f ms (%.2f us each)\n", kFiles, inspect * 1e3,
                inspect * 1e6 / kFiles);
    std::printf("stat the same files:  %.3f ms (%.2f us each)\n", statOnly * 1e3,
                statOnly * 1e6 / kFiles);
    std::printf("ratio inspect/stat:   %.1f\n", inspect / statOnly);
    return 0;
}
