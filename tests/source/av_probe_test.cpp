// Video files of every container read through libavformat: the inspected fields against what
// ffprobe reads, the shape flags, damaged and unreadable files, and the speed on a long file.
#include "log/log.h"
#include "source/av_probe.h"
#include "source/avi_source.h"
#include "source/source_info.h"
#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <sys/resource.h>

using testing_support::TempDir;

namespace {

// One set of sources for every test of this file: made once, they are the slow part.
class AvSources : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Dir = new TempDir;
        for (const media::VideoSample& sample : media::VideoSamples()) {
            ASSERT_TRUE(media::MakeVideo(s_Dir->Path(), sample)) << sample.file;
        }
    }
    static void TearDownTestSuite() {
        delete s_Dir;
        s_Dir = nullptr;
    }
    void SetUp() override {
        if (!media::HaveFfmpeg()) {
            GTEST_SKIP() << "no ffmpeg";
        }
    }
    static std::string File(const std::string& name) { return s_Dir->File(name); }
    static TempDir* s_Dir;
};
TempDir* AvSources::s_Dir = nullptr;

class TextRowsView : public logging::LogView {
public:
    void AppendRow(int, const std::string& text) override { rows.push_back(text); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void SetTopRow(int) override {}
    std::vector<std::string> rows;
};

long long Number(const std::string& text) {
    return std::atoll(text.c_str());
}

} // namespace

TEST_F(AvSources, FieldsMatchFfprobeInEveryContainer) {
    struct Expect {
        const char* file;
        const char* container;
        bool audio;
    };
    const Expect cases[] = {
        {"h264.mp4", "MP4", true},
        {"matroska.mkv", "Matroska", false},
        {"mjpeg.mov", "QuickTime", false},
        {"interlaced.ts", "MPEG-TS", true},
        {"mpeg2.mpg", "MPEG-PS", true},
        {"pal.dv", "DV", false},
        {"anamorphic.mkv", "Matroska", false},
    };
    const std::map<std::string, source::FieldOrder> orders = {
        {"progressive", source::FieldOrder::Progressive},
        {"tt", source::FieldOrder::TopFirst},
        {"tb", source::FieldOrder::TopFirst},
        {"bb", source::FieldOrder::BottomFirst},
        {"bt", source::FieldOrder::BottomFirst}};
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = File(c.file);
        source::AvProbe probe;
        std::string error;
        ASSERT_EQ(source::ProbeAvSource(path, probe, error), source::kAvOk) << error;
        EXPECT_EQ(probe.width, Number(media::ProbeEntry(path, "width")));
        EXPECT_EQ(probe.height, Number(media::ProbeEntry(path, "height")));
        EXPECT_EQ(probe.frames, Number(media::ProbeEntry(path, "nb_read_packets")));
        EXPECT_EQ(std::to_string(probe.rate) + "/" + std::to_string(probe.scale),
                  media::ProbeEntry(path, "avg_frame_rate"));
        EXPECT_EQ(std::to_string(probe.sarNum) + ":" + std::to_string(probe.sarDen),
                  media::ProbeEntry(path, "sample_aspect_ratio"));
        EXPECT_EQ(probe.container, c.container);
        std::string order = media::ProbeEntry(path, "field_order");
        EXPECT_EQ(probe.fieldOrder,
                  orders.count(order) ? orders.at(order) : source::FieldOrder::Unknown)
            << order;
        EXPECT_EQ(probe.hasAudio, c.audio);
        EXPECT_FALSE(probe.variableRate);
        EXPECT_FALSE(probe.truncated);
        EXPECT_NEAR(probe.seconds, 1.0, 0.05);

        // The AVI reader's record carries the same values for the editor, Calc and the ECL.
        source::CAviSource avi(path);
        ASSERT_EQ(avi.Open(), source::CAviSource::kOpenOk) << avi.Error();
        ASSERT_NE(avi.AvFacts(), nullptr);
        EXPECT_EQ(avi.Length(), probe.frames);
        EXPECT_EQ(avi.Width(), probe.width);
        EXPECT_EQ(avi.FileType(), probe.fileType);
    }
}

TEST_F(AvSources, VariableRateIsCountedAtItsNominalRate) {
    std::string path = File("variable.mp4");
    source::AvProbe probe;
    std::string error;
    ASSERT_EQ(source::ProbeAvSource(path, probe, error), source::kAvOk) << error;
    EXPECT_TRUE(probe.variableRate);
    EXPECT_EQ(probe.packets, Number(media::ProbeEntry(path, "nb_read_packets")));
    EXPECT_EQ(probe.packets, 50);
    // 30 frames in the first second, 20 in the next: nearly 2 s at the nominal 30 fps, as
    // many frames as ffmpeg's fps filter makes of them.
    EXPECT_EQ(probe.rate, 30u);
    EXPECT_EQ(probe.scale, 1u);
    EXPECT_EQ(probe.frames, Number(media::Output("ffmpeg -nostdin -v error -i '" + path +
                                                 "' -vf fps=30 -f framecrc - | grep -c '^0,'")));
    EXPECT_GT(probe.frames, 55);
}

TEST(AvProbeRates, RatesNoMpegStreamCarriesAreShownAtTheNearerDvdRate) {
    if (!media::HaveFfmpeg()) {
        GTEST_SKIP() << "no ffmpeg";
    }
    TempDir dir;
    struct Case {
        const char* rate;
        uint32_t num;
        uint32_t den;
        bool converted;
    };
    const Case cases[] = {{"10", 25, 1, true},
                          {"15", 25, 1, true},
                          {"26777/1000", 25, 1, true},
                          {"40", 30000, 1001, true},
                          {"30000/1001", 30000, 1001, false},
                          {"50", 50, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const std::string path = dir.File("clip.mp4");
        ASSERT_TRUE(media::Run(std::string("ffmpeg -nostdin -v error -y -f lavfi -i "
                                           "testsrc2=size=64x48:rate=") +
                               c.rate + " -t 2 -c:v libx264 -pix_fmt yuv420p '" + path + "'"));
        source::AvProbe probe;
        std::string error;
        ASSERT_EQ(source::ProbeAvSource(path, probe, error), source::kAvOk) << error;
        EXPECT_EQ(probe.rateConverted, c.converted);
        EXPECT_FALSE(probe.variableRate);
        EXPECT_EQ(probe.rate, c.num);
        EXPECT_EQ(probe.scale, c.den);
        // As many frames as ffmpeg's fps filter makes of the file at that rate.
        EXPECT_EQ(probe.frames,
                  Number(media::Output("ffmpeg -nostdin -v error -i '" + path +
                                       "' -vf fps=" + std::to_string(c.num) + "/" +
                                       std::to_string(c.den) + " -f framecrc - | grep -c '^0,'")));
    }
}

TEST_F(AvSources, ShapeFlagsFollowTheDisplayAspectAndFieldOrder) {
    TextRowsView view;
    logging::Log log(view, "");
    source::SourceInfoFields fields;
    ASSERT_FALSE(source::InspectSource(File("anamorphic.mkv"), "", log, fields));
    EXPECT_EQ(fields.aspectChoice, 3); // 176x144 with 16:11 pixels is 16:9
    EXPECT_EQ(fields.fieldOrder, 1);
    ASSERT_FALSE(source::InspectSource(File("matroska.mkv"), "", log, fields));
    EXPECT_EQ(fields.aspectChoice, 2); // 11:9 is nearer 4:3
    ASSERT_FALSE(source::InspectSource(File("interlaced.ts"), "", log, fields));
    EXPECT_EQ(fields.fieldOrder, 2);
    EXPECT_EQ(fields.frameRate, "25.000");
    EXPECT_EQ(fields.frames, "25");

    EXPECT_EQ(source::NearestAspectChoice(16, 9), 3);
    EXPECT_EQ(source::NearestAspectChoice(4, 3), 2);
    EXPECT_EQ(source::NearestAspectChoice(3, 2), 2); // 1.5 is nearer 4:3 on a ratio scale
    EXPECT_EQ(source::NearestAspectChoice(8, 5), 3); // 1.6 is nearer 16:9
    EXPECT_EQ(source::NearestAspectChoice(0, 0), 0);
}

TEST_F(AvSources, CutFilesCountTheFramesBeforeTheCutOrAreRefused) {
    namespace fs = std::filesystem;
    // A transport stream cut in its middle still plays up to the cut.
    std::string ts = File("cut.ts");
    fs::copy_file(File("interlaced.ts"), ts, fs::copy_options::overwrite_existing);
    ASSERT_TRUE(media::CutFile(ts, fs::file_size(ts) / 2));
    source::AvProbe probe;
    std::string error;
    ASSERT_EQ(source::ProbeAvSource(ts, probe, error), source::kAvOk) << error;
    EXPECT_EQ(probe.frames, Number(media::ProbeEntry(ts, "nb_read_packets")));
    EXPECT_GT(probe.frames, 5);
    EXPECT_LT(probe.frames, 25);

    // An MP4 whose index comes first, cut: only the frames whose data is there count.
    std::string faststart = File("faststart.mp4");
    ASSERT_TRUE(media::Run("ffmpeg -nostdin -v error -y -i '" + File("h264.mp4") +
                           "' -c copy -movflags +faststart '" + faststart + "'"));
    ASSERT_TRUE(media::CutFile(faststart, fs::file_size(faststart) * 2 / 3));
    ASSERT_EQ(source::ProbeAvSource(faststart, probe, error), source::kAvOk) << error;
    EXPECT_TRUE(probe.truncated);
    EXPECT_EQ(probe.headerFrames, 25);
    EXPECT_GT(probe.frames, 0);
    EXPECT_LT(probe.frames, 25);

    // Cut right after its index, no frame is left: refused, not counted from the index.
    std::string data = testing_support::ReadFile(faststart);
    size_t mdat = data.find("mdat");
    ASSERT_NE(mdat, std::string::npos);
    ASSERT_TRUE(media::CutFile(faststart, mdat + 8));
    EXPECT_EQ(source::ProbeAvSource(faststart, probe, error), source::kAvNoFrames);

    // An MP4 whose index is at its end has none left when cut in its middle.
    std::string cut = File("cut.mp4");
    fs::copy_file(File("h264.mp4"), cut, fs::copy_options::overwrite_existing);
    ASSERT_TRUE(media::CutFile(cut, fs::file_size(cut) / 2));
    EXPECT_NE(source::ProbeAvSource(cut, probe, error), source::kAvOk);
}

TEST_F(AvSources, UnreadableFilesNameThemselvesAndTheKindsThatWork) {
    namespace fs = std::filesystem;
    testing_support::WriteFile(File("notes.mp4"), "This is a text file, not a video.\n");
    ASSERT_TRUE(media::Run("ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=1 -c:a aac '" +
                           File("audio.mp4") + "'"));
    fs::create_directories(File("folder.mkv"));
    struct Case {
        const char* file;
        source::AvProbeError error;
    };
    const Case cases[] = {{"notes.mp4", source::kAvNotMedia},
                          {"audio.mp4", source::kAvNoVideo},
                          {"folder.mkv", source::kAvCannotOpen},
                          {"missing.mkv", source::kAvCannotOpen}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        source::AvProbe probe;
        std::string error;
        EXPECT_EQ(source::ProbeAvSource(File(c.file), probe, error), c.error);
        EXPECT_FALSE(error.empty());

        TextRowsView view;
        logging::Log log(view, "");
        const std::vector<std::string>& lines = view.rows;
        source::SourceInfoFields fields;
        EXPECT_TRUE(source::InspectSource(File(c.file), "", log, fields));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[1].find(File(c.file)), std::string::npos) << lines[1];
        EXPECT_NE(lines[1].find("MP4, MKV, MOV, MPEG-TS"), std::string::npos) << lines[1];
    }
    std::string text = source::UnreadableSourcesText({File("notes.mp4"), File("audio.mp4")});
    EXPECT_NE(text.find(File("notes.mp4")), std::string::npos);
    EXPECT_NE(text.find(File("audio.mp4")), std::string::npos);
    EXPECT_NE(text.find("AVI files, .avs scripts"), std::string::npos);
}

// A two-hour file, made without encoding: one second of tiny H.264 repeated with stream copy,
// in a container with a frame count (MP4) and one whose packets are counted (MKV). The bound
// is on the processor time, which other work on the machine does not stretch; the wall time
// is printed beside it.
TEST_F(AvSources, TwoHourFileIsInspectedInUnderASecond) {
    std::string second = File("second.mkv");
    ASSERT_TRUE(media::Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=32x32:rate=25 "
                           "-t 1 -c:v libx264 -preset ultrafast -g 25 '" +
                           second + "'"));
    for (const char* name : {"long.mkv", "long.mp4"}) {
        SCOPED_TRACE(name);
        std::string path = File(name);
        ASSERT_TRUE(media::Run("ffmpeg -nostdin -v error -y -stream_loop 7199 -i '" + second +
                               "' -c copy '" + path + "'"));
        source::AvProbe probe;
        std::string error;
        auto start = std::chrono::steady_clock::now();
        std::clock_t cpuStart = std::clock();
        ASSERT_EQ(source::ProbeAvSource(path, probe, error), source::kAvOk) << error;
        double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("[ measure  ] %s: %lld frames inspected in %.3f s (processor %.3f s)\n", name,
                    static_cast<long long>(probe.frames), wall, cpu);
        EXPECT_EQ(probe.frames, 7200 * 25);
        EXPECT_FALSE(probe.variableRate);
        EXPECT_LT(cpu, 1.0);
    }
}

// A file of 3 KB whose sample table claims 89 million or 2^31 frames: refused at once, naming
// the claim, without building or walking a table of that size (before, the first cost 2 GB and
// many seconds, the second was queued with that many frames).
TEST(AvProbeClaims, FrameCountsTheFileCannotHoldAreRefusedCheaply) {
    TempDir dir;
    for (const auto& [seed, claim] : {std::pair<std::string, int64_t>{"89m", 89000000},
                                      std::pair<std::string, int64_t>{"2g", 2147483600}}) {
        std::string bytes = testing_support::ReadFile(
            std::string(VANTAQ_SOURCE_DIR) + "/tests/source/fuzz-seeds/av_probe/h264-mp4-claims-" +
            seed + "-frames");
        ASSERT_GT(bytes.size(), 1u);
        std::string path = dir.File("claims.mp4");
        ASSERT_TRUE(testing_support::WriteFile(path, bytes.substr(1))); // the fuzzer's byte
        source::AvProbe probe;
        std::string error;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(source::ProbeAvSource(path, probe, error), source::kAvBadVideo) << seed;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << seed;
        EXPECT_EQ(error, "its headers claim " + std::to_string(claim) + " frames, more than its " +
                             std::to_string(bytes.size() - 1) + " bytes can hold");
    }
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 400 * 1024) << "peak KiB";
}
