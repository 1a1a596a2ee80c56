// CAviSource's open results and values, and the File Info texts of ShowSourceInfo.
#include "log/log.h"
#include "source/avi_source.h"
#include "source/source_info.h"
#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

using source::CAviSource;
using source::FormatSourceInfo;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class RowsView : public logging::LogView {
public:
    void AppendRow(int level, const std::string& text) override { rows.push_back({level, text}); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void SetTopRow(int) override {}
    std::vector<std::pair<int, std::string>> rows;
};

// Rows end in the message; the timestamp in front is the log's business.
bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string WriteSpec(const TempDir& dir, const std::string& name, const media::AviSpec& spec) {
    EXPECT_TRUE(WriteFile(dir.File(name), media::BuildAvi(spec)));
    return dir.File(name);
}

} // namespace

TEST(AviSource, RateInThousandthsRoundsHalfUp) {
    EXPECT_EQ(source::RateInThousandths(30000, 1001), 29970);
    EXPECT_EQ(source::RateInThousandths(24000, 1001), 23976);
    EXPECT_EQ(source::RateInThousandths(60000, 1001), 59940);
    EXPECT_EQ(source::RateInThousandths(25, 1), 25000);
    EXPECT_EQ(source::RateInThousandths(2500000, 100000), 25000);
    // Both are taken as unsigned 32-bit numbers.
    EXPECT_EQ(source::RateInThousandths(0xFFFFFFFFu, 0xFFFFFFFFu), 1000);
    EXPECT_EQ(source::RateInThousandths(1, 2000), 1); // 0.5 thousandths round up
    EXPECT_EQ(source::RateInThousandths(0, 1001), 0);
    EXPECT_EQ(source::RateInThousandths(30000, 0), 0);
}

TEST(AviSource, OpenResultsAndValues) {
    TempDir dir;
    media::AviSpec spec;
    spec.width = 720;
    spec.height = 480;
    spec.streams[0].length = 107892;
    std::string good = WriteSpec(dir, "good.avi", spec);

    CAviSource source(good, VANTAQ_PROGRAM_DIR);
    ASSERT_EQ(source.Open(), 0);
    EXPECT_EQ(source.Width(), 720);
    EXPECT_EQ(source.Height(), 480);
    EXPECT_EQ(source.Length(), 107892);
    EXPECT_EQ(source.Rate(), 29970);
    EXPECT_EQ(source.FileType(), "AVI");
    EXPECT_FALSE(source.OpenAudioStream());
    source.Close();

    // Quotes anywhere in the path are removed, as when a path was pasted with them.
    CAviSource quoted("\"" + good + "\"");
    EXPECT_EQ(quoted.Path(), good);
    EXPECT_EQ(quoted.Open(), 0);
    CAviSource inner("\"" + dir.Path() + "/go\"od.avi");
    EXPECT_EQ(inner.Open(), 0);

    EXPECT_EQ(CAviSource(dir.File("missing.avi")).Open(), 1);
    ASSERT_TRUE(WriteFile(dir.File("text.avi"), "not a video"));
    EXPECT_EQ(CAviSource(dir.File("text.avi")).Open(), 1);
    ASSERT_TRUE(WriteFile(dir.File("cut.avi"), media::BuildAvi(spec).substr(0, 100)));
    EXPECT_EQ(CAviSource(dir.File("cut.avi")).Open(), 1);

    // Readable files whose information cannot be used.
    media::AviSpec zeroRate = spec;
    zeroRate.streams[0].rate = 0;
    EXPECT_EQ(CAviSource(WriteSpec(dir, "rate0.avi", zeroRate)).Open(), 2);
    media::AviSpec zeroScale = spec;
    zeroScale.streams[0].scale = 0;
    EXPECT_EQ(CAviSource(WriteSpec(dir, "scale0.avi", zeroScale)).Open(), 2);
    media::AviSpec audioOnly = spec;
    audioOnly.streams[0].type = "auds";
    EXPECT_EQ(CAviSource(WriteSpec(dir, "audio.avi", audioOnly)).Open(), 2);
}

TEST(AviSource, AudioStreamOfARealFile) {
    if (!media::HaveFfmpeg()) {
        VANTAQ_SKIP_OR_FAIL("ffmpeg not installed");
    }
    TempDir dir;
    ASSERT_TRUE(media::MakeAvi(dir.File("a.avi"), "160x120", "25", 0.2, "mjpeg", true));
    CAviSource source(dir.File("a.avi"));
    ASSERT_EQ(source.Open(), 0);
    EXPECT_EQ(source.FileInfo().streams, 2u);
    EXPECT_TRUE(source.OpenAudioStream());
    source.Close();
    EXPECT_FALSE(source.OpenAudioStream());
}

TEST(SourceInfo, LengthIsCountedAtTheRoundedFrameRate) {
    // 107892 frames at 29.97 are counted at 30: 3596.4 s.
    source::SourceInfoFields f = FormatSourceInfo(720, 480, 107892, 29970, "AVI");
    EXPECT_EQ(f.resolution, "720 x 480");
    EXPECT_EQ(f.frames, "107892");
    EXPECT_EQ(f.frameRate, "29.970");
    EXPECT_EQ(f.length, "00:59:56:12");
    EXPECT_EQ(f.type, "AVI");
    EXPECT_EQ(f.sourceFrames, 107892);
    EXPECT_DOUBLE_EQ(f.sourceSeconds, 107892 / 30.0);

    f = FormatSourceInfo(720, 576, 90000, 25000, "AVI");
    EXPECT_EQ(f.length, "01:00:00:00");
    EXPECT_EQ(f.frameRate, "25.000");

    f = FormatSourceInfo(720, 480, 1439, 23976, "AVI");
    EXPECT_EQ(f.frameRate, "23.976");
    EXPECT_EQ(f.length, "00:00:59:23");

    // Past 99 hours the hours field simply widens.
    f = FormatSourceInfo(16, 16, 360000 * 25 + 25 * 61, 25000, "AVI");
    EXPECT_EQ(f.length, "100:01:01:00");

    f = FormatSourceInfo(16, 16, 0, 25000, "AVI");
    EXPECT_EQ(f.length, "00:00:00:00");
    EXPECT_EQ(f.sourceSeconds, 0.0);
}

TEST(SourceInfo, SlowSourcesAreCountedAtOneFramePerSecond) {
    // 0.2 fps rounds to 0 frames per second; dividing by it must not happen.
    source::SourceInfoFields f = FormatSourceInfo(16, 16, 10, 200, "AVI");
    EXPECT_EQ(f.frameRate, "0.200");
    EXPECT_EQ(f.length, "00:00:10:00");
    EXPECT_DOUBLE_EQ(f.sourceSeconds, 10.0);
}

TEST(SourceInfo, InspectFillsFieldsOrLogsOneError) {
    TempDir dir;
    RowsView view;
    logging::Log log(view, dir.File("vantaq.log"));
    media::AviSpec spec;
    spec.width = 720;
    spec.height = 576;
    spec.streams[0].rate = 25;
    spec.streams[0].scale = 1;
    spec.streams[0].length = 90000;
    std::string path = WriteSpec(dir, "pal.avi", spec);

    source::SourceInfoFields f;
    EXPECT_FALSE(source::InspectSource("\"" + path + "\"", VANTAQ_PROGRAM_DIR, log, f));
    EXPECT_EQ(f.resolution, "720 x 576");
    EXPECT_EQ(f.length, "01:00:00:00");
    EXPECT_EQ(f.sourceFrames, 90000);
    EXPECT_TRUE(view.rows.empty());

    // A failure leaves the fields as they were and logs the path as given.
    source::SourceInfoFields kept = f;
    spec.streams[0].rate = 0;
    std::string bad = WriteSpec(dir, "bad.avi", spec);
    EXPECT_TRUE(source::InspectSource(bad, VANTAQ_PROGRAM_DIR, log, f));
    EXPECT_EQ(f.length, kept.length);
    EXPECT_EQ(f.sourceFrames, kept.sourceFrames);
    // The AVI reader's own line, then one that names the file, the reason and the kinds that
    // work.
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0].first, logging::kLogError);
    EXPECT_TRUE(EndsWith(view.rows[0].second, "  AVI Error: could not load " + bad))
        << view.rows[0].second;
    EXPECT_EQ(view.rows[1].first, logging::kLogError);
    EXPECT_NE(view.rows[1].second.find(bad + " cannot be a source: "), std::string::npos)
        << view.rows[1].second;
    EXPECT_TRUE(EndsWith(view.rows[1].second,
                         std::string("Sources can be ") + source::kSourceKindsText + "."));

    EXPECT_TRUE(source::InspectSource(dir.File("none.avi"), VANTAQ_PROGRAM_DIR, log, f));
    ASSERT_EQ(view.rows.size(), 4u);
    EXPECT_NE(view.rows[3].second.find("the file cannot be opened"), std::string::npos)
        << view.rows[3].second;
}

TEST(SourceInfo, ImpossibleSizesAndRatesAreRefusedNamingTheValue) {
    TempDir dir;
    struct Case {
        uint32_t width, height, rate, scale;
        const char* why; // "" when accepted
    };
    const Case cases[] = {
        {65535, 65535, 25, 1, "its pictures are 65535 x 65535; at most 4096 x 4096."},
        {720, 4097, 25, 1, "its pictures are 720 x 4097; at most 4096 x 4096."},
        {720, 480, 24000, 1, "it has 24000 frames a second; at most 120."},
        {720, 480, 120001, 1000, "it has 120.001 frames a second; at most 120."},
        {720, 480, 15, 1,
         "it has 15 frames a second, which no MPEG-2 stream carries (23.976, 24, 25, 29.97, "
         "30, 50, 59.94 or 60)."},
        {720, 480, 26777, 1000,
         "it has 26.777 frames a second, which no MPEG-2 stream carries (23.976, 24, 25, "
         "29.97, 30, 50, 59.94 or 60)."},
        {720, 480, 120, 1,
         "it has 120 frames a second, which no MPEG-2 stream carries (23.976, 24, 25, 29.97, "
         "30, 50, 59.94 or 60)."},
        {4096, 4096, 60, 1, ""},
        {720, 480, 30000, 1001, ""},
    };
    for (const Case& c : cases) {
        media::AviSpec spec;
        spec.width = c.width;
        spec.height = c.height;
        spec.streams[0].rate = c.rate;
        spec.streams[0].scale = c.scale;
        std::string path = WriteSpec(dir, "clip.avi", spec);
        RowsView view;
        logging::Log log(view, "");
        source::SourceInfoFields f;
        EXPECT_EQ(source::InspectSource(path, VANTAQ_PROGRAM_DIR, log, f), *c.why != '\0');
        if (*c.why == '\0') {
            // At most the note of what a new job of it becomes.
            for (const auto& row : view.rows) {
                EXPECT_EQ(row.first, logging::kLogInfo) << row.second;
            }
            continue;
        }
        ASSERT_EQ(view.rows.size(), 2u);
        EXPECT_TRUE(
            EndsWith(view.rows[1].second, "  ERROR: " + path + " cannot be a source: " + c.why))
            << view.rows[1].second;
    }
}

TEST(SourceInfo, TruncatedRecordingIsReadUpToTheCutWithAWarning) {
    if (!media::HaveFfmpeg()) {
        VANTAQ_SKIP_OR_FAIL("ffmpeg not installed");
    }
    TempDir dir;
    const std::string path = dir.File("capture.avi");
    ASSERT_TRUE(media::MakeAvi(path, "176x144", "25", 2, "mjpeg", false));
    const std::string bytes = testing_support::ReadFile(path);
    ASSERT_TRUE(testing_support::WriteFile(path, bytes.substr(0, bytes.size() / 2)));
    RowsView view;
    logging::Log log(view, dir.File("vantaq.log"));
    source::SourceInfoFields f;
    EXPECT_FALSE(source::InspectSource(path, VANTAQ_PROGRAM_DIR, log, f));
    EXPECT_GT(f.sourceFrames, 15);
    EXPECT_LT(f.sourceFrames, 50);
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0].first, logging::kLogWarning);
    EXPECT_TRUE(EndsWith(view.rows[0].second,
                         "  Warning: " + path + " is truncated: the " +
                             std::to_string(f.sourceFrames) +
                             " whole frames before the cut are used (its headers count 50)"))
        << view.rows[0].second;
    // Before it is added, the window says what a job of this small picture becomes.
    EXPECT_TRUE(EndsWith(view.rows[1].second, "fitted to DVD, 720x576 25 4:3, padded"))
        << view.rows[1].second;
}
