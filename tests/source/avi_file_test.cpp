// The AVI header reader against ffmpeg's files and ffprobe's reading of them, and on damaged,
// absurd and foreign input.
#include "platform/avi_file.h"
#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>
#include <sstream>
#include <sys/statvfs.h>
#include <unistd.h>

using platform::AviHeaders;
using platform::ReadAviHeaders;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct Made {
    const char* name;
    const char* size;
    const char* rate;
    double seconds;
    const char* codec;
    bool audio;
};

const Made kMade[] = {
    {"ntsc.avi", "320x240", "30000/1001", 1.0, "mjpeg", false},
    {"film.avi", "720x480", "24000/1001", 0.5, "mjpeg", false},
    {"pal.avi", "176x144", "25", 1.0, "rawvideo", false},
    {"pal_audio.avi", "640x360", "25", 1.0, "mjpeg", true},
    {"odd.avi", "352x288", "50", 0.3, "mjpeg", false},
};

AviHeaders ReadOk(const std::string& path) {
    AviHeaders h;
    EXPECT_EQ(ReadAviHeaders(path, h), platform::kAviOk) << path;
    return h;
}

} // namespace

TEST(AviFile, FfmpegFilesReadAsFfprobeReadsThem) {
    if (!media::HaveFfmpeg()) {
        VANTAQ_SKIP_OR_FAIL("ffmpeg/ffprobe not installed");
    }
    TempDir dir;
    for (const Made& m : kMade) {
        SCOPED_TRACE(m.name);
        std::string path = dir.File(m.name);
        ASSERT_TRUE(media::MakeAvi(path, m.size, m.rate, m.seconds, m.codec, m.audio));
        media::Probe probe;
        ASSERT_TRUE(media::ProbeFile(path, probe));
        AviHeaders h = ReadOk(path);
        EXPECT_EQ(static_cast<int>(h.info.width), probe.width);
        EXPECT_EQ(static_cast<int>(h.info.height), probe.height);
        uint32_t common = std::gcd(h.info.rate, h.info.scale);
        EXPECT_EQ(h.info.rate / common, probe.rateNum);
        EXPECT_EQ(h.info.scale / common, probe.rateDen);
        EXPECT_EQ(static_cast<long long>(h.info.length), probe.frames);
        EXPECT_EQ(static_cast<int>(h.info.streams), probe.streams);
        EXPECT_EQ(h.hasAudio, probe.audio);
        EXPECT_FALSE(h.openDml);
        EXPECT_EQ(h.riffParts, 1u);
        EXPECT_EQ(h.info.fileType, "AVI");
        EXPECT_EQ(h.info.caps, platform::kAviCapsCanRead);
        EXPECT_EQ(h.info.editCount, 0u);
    }
}

// ffmpeg starts a new RIFF part ("AVIX") after each gigabyte; the frames of every part count.
TEST(AviFile, OpenDmlFileOverOneGibibyte) {
    TempDir dir;
    struct statvfs fs {};
    if (!media::HaveFfmpeg() || ::statvfs(dir.Path().c_str(), &fs) != 0 ||
        static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < (4ull << 30)) {
        GTEST_SKIP() << "needs ffmpeg and 4 GiB of free space";
    }
    std::string path = dir.File("big.avi");
    // 400 frames of 1920x1080 4:2:0 are 1.16 GiB; a flat colour costs ffmpeg almost nothing.
    ASSERT_TRUE(media::Run("ffmpeg -nostdin -v error -y -threads 1 -f lavfi -i "
                           "color=c=gray:size=1920x1080:rate=25 -frames:v 400 -c:v rawvideo "
                           "-pix_fmt yuv420p '" +
                           path + "'"));
    media::Probe probe;
    ASSERT_TRUE(media::ProbeFile(path, probe));
    auto start = std::chrono::steady_clock::now();
    AviHeaders h = ReadOk(path);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GT(h.fileSize, 1ull << 30);
    EXPECT_TRUE(h.openDml);
    EXPECT_GE(h.riffParts, 2u);
    EXPECT_EQ(h.info.fileType, "AVI (OpenDML)");
    EXPECT_EQ(h.info.width, 1920u);
    EXPECT_EQ(h.info.height, 1080u);
    EXPECT_EQ(static_cast<long long>(h.info.length), probe.frames);
    EXPECT_EQ(h.info.length, 400u);
    // The main header counts only the first part; the reader must not take it.
    EXPECT_LT(h.mainHeaderFrames, 400u);
    // Reading a few headers; reading the frames would take seconds.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 200);

    // A recording cut inside its last part: the frames before the cut, over every part.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(h.fileSize - 1000000)), 0);
    ASSERT_EQ(ReadAviHeaders(path, h), platform::kAviOk);
    EXPECT_TRUE(h.truncated);
    EXPECT_EQ(h.headerFrames, 400u);
    EXPECT_GT(h.info.length, 300u);
    EXPECT_LT(h.info.length, 400u);
}

// A capture that ended early: the headers are whole, the file ends inside a frame. The whole
// frames before the cut are read, as many as ffprobe lists with their bytes inside the file.
TEST(AviFile, RecordingCutShortReadsTheWholeFramesBeforeTheCut) {
    if (!media::HaveFfmpeg()) {
        VANTAQ_SKIP_OR_FAIL("ffmpeg/ffprobe not installed");
    }
    TempDir dir;
    const std::string whole = dir.File("whole.avi");
    ASSERT_TRUE(media::MakeAvi(whole, "176x144", "25", 4, "mjpeg", true));
    // Where each video frame's bytes lie in the whole file.
    std::vector<std::pair<uint64_t, uint64_t>> frames;
    std::istringstream packets(media::Output("ffprobe -v error -select_streams v:0 -show_entries "
                                             "packet=pos,size -of csv=p=0 '" +
                                             whole + "'"));
    for (std::string line; std::getline(packets, line);) {
        frames.push_back({std::stoull(line.substr(0, line.find(','))),
                          std::stoull(line.substr(0, line.find(',')))});
        frames.back().second = std::stoull(line.substr(line.find(',') + 1));
    }
    ASSERT_EQ(frames.size(), 100u);
    const std::string bytes = testing_support::ReadFile(whole);
    for (double share : {0.3, 0.62, 0.97}) {
        SCOPED_TRACE(share);
        const size_t cut = static_cast<size_t>(bytes.size() * share);
        const std::string path = dir.File("cut.avi");
        ASSERT_TRUE(WriteFile(path, bytes.substr(0, cut)));
        const auto expected = std::count_if(
            frames.begin(), frames.end(), [&](const auto& f) { return f.first + f.second <= cut; });
        AviHeaders h = ReadOk(path);
        EXPECT_TRUE(h.truncated);
        EXPECT_EQ(h.headerFrames, 100u);
        EXPECT_EQ(static_cast<long>(h.info.length), expected);
        EXPECT_TRUE(h.hasAudio);
    }
    EXPECT_FALSE(ReadOk(whole).truncated);
}

TEST(AviFile, HandBuiltHeaderValuesComeThrough) {
    TempDir dir;
    media::AviSpec spec;
    spec.streams.push_back(media::StreamSpec{"auds", 1, 48000, 48000, 0, 0, 56});
    ASSERT_TRUE(WriteFile(dir.File("a.avi"), media::BuildAvi(spec)));
    AviHeaders h = ReadOk(dir.File("a.avi"));
    EXPECT_EQ(h.info.maxBytesPerSec, 1234u);
    EXPECT_EQ(h.info.flags, 0x10u);
    EXPECT_EQ(h.info.suggestedBufferSize, 4096u);
    EXPECT_EQ(h.info.streams, 2u);
    EXPECT_EQ(h.info.rate, 30000u);
    EXPECT_EQ(h.info.scale, 1001u);
    EXPECT_EQ(h.info.length, 100u);
    EXPECT_TRUE(h.hasAudio);

    // The format's picture size stands in for a main header without one; a negative
    // (top-down) height counts by its magnitude.
    spec.width = spec.height = 0;
    spec.streams[0].formatHeight = -240;
    ASSERT_TRUE(WriteFile(dir.File("b.avi"), media::BuildAvi(spec)));
    h = ReadOk(dir.File("b.avi"));
    EXPECT_EQ(h.info.width, 320u);
    EXPECT_EQ(h.info.height, 240u);

    // The first video stream decides, even behind an audio stream.
    media::AviSpec audioFirst;
    audioFirst.streams = {media::StreamSpec{"auds", 1, 44100, 44100, 0, 0, 56},
                          media::StreamSpec{"vids", 1, 25, 250, 320, 240, 56},
                          media::StreamSpec{"vids", 1, 50, 7, 320, 240, 56}};
    ASSERT_TRUE(WriteFile(dir.File("c.avi"), media::BuildAvi(audioFirst)));
    h = ReadOk(dir.File("c.avi"));
    EXPECT_EQ(h.info.rate, 25u);
    EXPECT_EQ(h.info.length, 250u);
}

TEST(AviFile, ForeignAndMissingInputIsRefused) {
    TempDir dir;
    AviHeaders h;
    EXPECT_EQ(ReadAviHeaders(dir.File("missing.avi"), h), platform::kAviCannotOpen);
    EXPECT_EQ(ReadAviHeaders(dir.Path(), h), platform::kAviCannotOpen);
    const std::pair<const char*, std::string> cases[] = {
        {"empty.avi", ""},
        {"short.avi", "RI"},
        {"text.avi", "hello, this is not a video file at all\n"},
        {"wave.avi", std::string("RIFF\x24\0\0\0WAVEfmt ", 16) + std::string(28, '\0')},
    };
    for (const auto& [name, bytes] : cases) {
        ASSERT_TRUE(WriteFile(dir.File(name), bytes));
        EXPECT_EQ(ReadAviHeaders(dir.File(name), h), platform::kAviNotAvi) << name;
    }
}

// Every prefix of a file is a truncated file; none may be read past its end (ASan watches).
TEST(AviFile, EveryTruncationIsAnErrorNeverACrash) {
    TempDir dir;
    media::AviSpec spec;
    spec.moviBytes = 64;
    std::string whole = media::BuildAvi(spec);
    for (size_t n = 0; n < whole.size(); ++n) {
        ASSERT_TRUE(WriteFile(dir.File("t.avi"), whole.substr(0, n)));
        AviHeaders h;
        platform::AviError e = ReadAviHeaders(dir.File("t.avi"), h);
        EXPECT_TRUE(e == platform::kAviTruncated || e == platform::kAviNotAvi) << n << ": " << e;
    }
    ASSERT_TRUE(WriteFile(dir.File("t.avi"), whole));
    AviHeaders h;
    EXPECT_EQ(ReadAviHeaders(dir.File("t.avi"), h), platform::kAviOk);
}

TEST(AviFile, AbsurdHeaderValuesAreRefused) {
    TempDir dir;
    struct Case {
        const char* what;
        void (*edit)(media::AviSpec&);
        platform::AviError expected;
    };
    const Case cases[] = {
        {"rate 0", [](media::AviSpec& s) { s.streams[0].rate = 0; }, platform::kAviBadHeader},
        {"scale 0", [](media::AviSpec& s) { s.streams[0].scale = 0; }, platform::kAviBadHeader},
        {"a frame per hour",
         [](media::AviSpec& s) {
             s.streams[0].rate = 1;
             s.streams[0].scale = 3600;
         },
         platform::kAviBadHeader},
        {"4 billion fps",
         [](media::AviSpec& s) {
             s.streams[0].rate = 0xFFFFFFFF;
             s.streams[0].scale = 1;
         },
         platform::kAviBadHeader},
        {"width 0 everywhere",
         [](media::AviSpec& s) {
             s.width = 0;
             s.streams[0].formatWidth = 0;
         },
         platform::kAviBadHeader},
        {"huge width", [](media::AviSpec& s) { s.width = 1u << 30; }, platform::kAviBadHeader},
        {"length beyond int", [](media::AviSpec& s) { s.streams[0].length = 0x80000000u; },
         platform::kAviBadHeader},
        {"short stream header", [](media::AviSpec& s) { s.streams[0].strhSize = 20; },
         platform::kAviBadHeader},
        {"no main header", [](media::AviSpec& s) { s.mainHeader = false; },
         platform::kAviBadHeader},
        {"audio only", [](media::AviSpec& s) { s.streams[0].type = "auds"; },
         platform::kAviNoVideo},
        {"no streams", [](media::AviSpec& s) { s.streams.clear(); }, platform::kAviNoVideo},
    };
    for (const Case& c : cases) {
        media::AviSpec spec;
        c.edit(spec);
        ASSERT_TRUE(WriteFile(dir.File("x.avi"), media::BuildAvi(spec)));
        AviHeaders h;
        EXPECT_EQ(ReadAviHeaders(dir.File("x.avi"), h), c.expected) << c.what;
    }

    // Sizes that point past the file or the enclosing list.
    std::string file = media::BuildAvi(media::AviSpec{});
    std::string riffTooBig = file;
    riffTooBig[4] = '\xFF';
    riffTooBig[5] = '\xFF';
    ASSERT_TRUE(WriteFile(dir.File("r.avi"), riffTooBig));
    AviHeaders h;
    EXPECT_EQ(ReadAviHeaders(dir.File("r.avi"), h), platform::kAviTruncated);
    std::string hdrlTooBig = file;
    hdrlTooBig[16] = '\xF0'; // the header list's size, past the RIFF's end
    hdrlTooBig[17] = '\xFF';
    ASSERT_TRUE(WriteFile(dir.File("h.avi"), hdrlTooBig));
    EXPECT_EQ(ReadAviHeaders(dir.File("h.avi"), h), platform::kAviTruncated);
}

// Random bytes in the header region: any answer is fine, a crash or an overread is not.
TEST(AviFile, ScrambledHeadersNeverCrash) {
    TempDir dir;
    std::string good = media::BuildAvi(media::AviSpec{});
    std::mt19937 random(20240611);
    int accepted = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = good;
        int flips = 1 + static_cast<int>(random() % 6);
        for (int k = 0; k < flips; ++k) {
            bytes[12 + random() % (bytes.size() - 12)] = static_cast<char>(random());
        }
        ASSERT_TRUE(WriteFile(dir.File("s.avi"), bytes));
        AviHeaders h;
        if (ReadAviHeaders(dir.File("s.avi"), h) == platform::kAviOk) {
            ++accepted;
            EXPECT_GT(h.info.rate, 0u);
            EXPECT_GT(h.info.scale, 0u);
            EXPECT_GT(h.info.width, 0u);
        }
    }
    // Most flips land in values the reader takes as they are.
    EXPECT_GT(accepted, 0);
}
