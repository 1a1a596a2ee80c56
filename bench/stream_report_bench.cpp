// Stream report throughput on a stream in memory, against a memchr scan for start codes over the
// same buffer, measured in the same run, in turn, as medians of several rounds.
//
// The stream is 10 s of 720x480 noise encoded by ffmpeg at 8 Mbit/s, repeated to the size asked
// for. Environment: VANTAQ_BENCH_MIB (stream size, default 512), VANTAQ_BENCH_ROUNDS (default 5).
#include "pulldown/stream_report.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::strtoull(v, nullptr, 10) : fallback;
}

std::string MakeSample() {
    char dir[] = "/tmp/vantaq-report-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return {};
    }
    std::string path = std::string(dir) + "/sample.m2v";
    std::string cmd = "ffmpeg -v error -nostdin -y -f lavfi -i "
                      "'testsrc2=size=720x480:rate=30000/1001,noise=alls=40:allf=t+u' -t 10 "
                      "-c:v mpeg2video -b:v 8M -maxrate 9.8M -bufsize 1835008 -g 15 -bf 2 "
                      "-f mpeg2video " +
                      path;
    std::string bytes;
    if (std::system(cmd.c_str()) == 0) {
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            char buf[1 << 16];
            size_t n = 0;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
                bytes.append(buf, n);
            }
            std::fclose(f);
        }
    }
    std::remove(path.c_str());
    rmdir(dir);
    return bytes;
}

// The plain way to find start codes: memchr for each 0x01, then a look at the two bytes before.
uint64_t MemchrStartCodes(const uint8_t* p, size_t n) {
    uint64_t count = 0;
    const uint8_t* end = p + n;
    const uint8_t* at = p + 2;
    while (at < end) {
        const void* hit = std::memchr(at, 1, static_cast<size_t>(end - at));
        if (hit == nullptr) {
            break;
        }
        at = static_cast<const uint8_t*>(hit);
        count += at[-1] == 0 && at[-2] == 0;
        ++at;
    }
    return count;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    const uint64_t mib = EnvNumber("VANTAQ_BENCH_MIB", 512);
    const int rounds = static_cast<int>(std::max<uint64_t>(1, EnvNumber("VANTAQ_BENCH_ROUNDS", 5)));
    std::string sample = MakeSample();
    if (sample.empty()) {
        std::fprintf(stderr, "stream_report_bench: ffmpeg could not make the sample stream\n");
        return 1;
    }
    std::vector<uint8_t> stream;
    stream.reserve(mib << 20);
    while (stream.size() + sample.size() <= (mib << 20)) {
        stream.insert(stream.end(), sample.begin(), sample.end());
    }
    const uint8_t end[] = {0, 0, 1, 0xB7};
    stream.insert(stream.end(), end, end + 4);
    const double gib = static_cast<double>(stream.size()) / (1 << 30);

    std::vector<double> report, baseline;
    uint64_t pictures = 0, codes = 0;
    for (int round = 0; round < rounds; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        pulldown::StreamReportBuilder builder;
        constexpr size_t kPiece = 1 << 20; // as read from a file
        for (size_t at = 0; at < stream.size(); at += kPiece) {
            builder.Feed(stream.data() + at, std::min(kPiece, stream.size() - at));
        }
        pulldown::StreamReport r = builder.Finish();
        auto t1 = std::chrono::steady_clock::now();
        codes = MemchrStartCodes(stream.data(), stream.size());
        auto t2 = std::chrono::steady_clock::now();
        pictures = r.pictures.size();
        report.push_back(gib / std::chrono::duration<double>(t1 - t0).count());
        baseline.push_back(gib / std::chrono::duration<double>(t2 - t1).count());
    }
    std::printf("stream: %.0f MiB in memory, %llu pictures, %llu start codes\n", gib * 1024,
                static_cast<unsigned long long>(pictures), static_cast<unsigned long long>(codes));
    std::printf("stream report (whole report, 1 MiB pieces): %6.2f GiB/s (median of %d)\n",
                Median(report), rounds);
    std::printf("memchr start-code scan (baseline):        %6.2f GiB/s (median of %d)\n",
                Median(baseline), rounds);
    return Median(report) >= 1.0 ? 0 : 2;
}
