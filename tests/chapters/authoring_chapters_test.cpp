// Chapter times for dvdauthor: the times of chapter frames at the MPEG frame rates, the range,
// odd entries, and the file beside a stream.
#include "chapters/authoring_chapters.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using chapters::AuthoringChapterTimes;
using testing_support::ReadFile;
using testing_support::TempDir;

TEST(AuthoringChapters, TimesAreThoseOfTheFramesRoundedUpToTheMillisecond) {
    struct Row {
        std::vector<std::string> entries;
        int64_t first;
        int64_t end;
        int num;
        int den;
        const char* times;
    };
    const Row rows[] = {
        // 240 film frames are 10.010 s; 24 frames 1.001 s.
        {{"240", "24"}, 0, 1000, 24000, 1001, "0:00:00.000,0:00:01.001,0:00:10.010"},
        // PAL: 250 frames are 10 s; an hour and a bit.
        {{"250", "90125"}, 0, 100000, 25, 1, "0:00:00.000,0:00:10.000,1:00:05.000"},
        // NTSC video: frame 1 starts at 33.3667 ms, so 0:00:00.034 (never before the picture);
        // frame 31 at 1.0344 s.
        {{"1", "31"}, 0, 100, 30000, 1001, "0:00:00.000,0:00:00.034,0:00:01.035"},
        // The range starts at 100: times count from there; outside entries and repeats drop.
        {{"50", "100", "150", "150", "400"}, 100, 400, 25, 1, "0:00:00.000,0:00:02.000"},
        // Blanks and trailing colons as in a chapter line; words and negatives are no frames.
        {{" 48:", "x", "-5", "", "72 "}, 0, 100, 24, 1, "0:00:00.000,0:00:02.000,0:00:03.000"},
        // No rate or an empty range: nothing.
        {{"10"}, 0, 100, 0, 1, ""},
        {{"10"}, 50, 50, 25, 1, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(AuthoringChapterTimes(row.entries, row.first, row.end, row.num, row.den),
                  row.times)
            << row.times;
    }
}

TEST(AuthoringChapters, FileLiesBesideTheStreamAndIsReplacedWhole) {
    TempDir dir;
    const std::string stream = dir.File("Movie.mpv.m2v");
    std::string error;
    ASSERT_TRUE(chapters::WriteAuthoringChapters(stream, "0:00:00.000,0:00:10.010", error))
        << error;
    EXPECT_EQ(chapters::AuthoringChaptersPath(stream), dir.File("Movie.mpv.m2v.chapters.txt"));
    EXPECT_EQ(ReadFile(dir.File("Movie.mpv.m2v.chapters.txt")), "0:00:00.000,0:00:10.010\n");
    ASSERT_TRUE(chapters::WriteAuthoringChapters(stream, "0:00:00.000", error));
    EXPECT_EQ(ReadFile(dir.File("Movie.mpv.m2v.chapters.txt")), "0:00:00.000\n");
    // A folder that is gone: a reason, and no file left behind.
    EXPECT_FALSE(chapters::WriteAuthoringChapters(dir.File("gone/x.mpv"), "0:00:00.000", error));
    EXPECT_NE(error.find("gone"), std::string::npos) << error;
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}
