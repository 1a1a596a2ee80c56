// A failed encode says why: the error lines kept from the runner's output, their report in the
// log and the job's key, and the run's own check of the stream's frames.
#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "run/chapter_files.h"
#include "run/encode_outputs.h"
#include "run/encoder_errors.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using testing_support::FileExists;
using testing_support::LogLines;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TempStore;
using testing_support::WriteFile;

namespace {

struct Rig {
    TempStore store;
    TempDir dir;
    LogLines lines;
    logging::Log log{lines, ""};

    Rig() {
        jobs::JobRecord job;
        job.name = "Clip";
        EXPECT_TRUE(jobs::WriteJobRecord(store.Store(), 0, job));
    }
};

// A stream of `pictures` picture start codes behind a sequence header.
std::string Stream(int pictures) {
    std::string s("\x00\x00\x01\xB3 header", 11);
    for (int i = 0; i < pictures; ++i) {
        s += std::string("\x00\x00\x01\x00 picture data", 17);
    }
    return s;
}

} // namespace

TEST(EncoderErrors, KeepsTheLastErrorLinesOfRunnerAndEncoder) {
    run::EncoderErrors errors;
    for (const char* line : {"12% / Clip", "  Note: chapter points need closed GOPs",
                             "[mpeg2video @ 0x1] [lavc rc] Error: bitrate too low",
                             "ERROR: ffmpeg failed in the video pass 2 run (exit status 134)"}) {
        errors.Feed(line);
    }
    ASSERT_EQ(errors.Lines().size(), 1u);
    EXPECT_EQ(errors.Reason(), "ffmpeg failed in the video pass 2 run (exit status 134)");
    errors.Feed("EclCCE: ERROR: cannot run the encoder /x/cce\r");
    EXPECT_EQ(errors.Reason(), "EclCCE: cannot run the encoder /x/cce");
    for (int i = 0; i < 10; ++i) {
        errors.Feed("ERROR: line " + std::to_string(i) + std::string(1000, 'x'));
    }
    ASSERT_EQ(errors.Lines().size(), run::EncoderErrors::kMaxLines);
    EXPECT_EQ(errors.Lines().back().size(), run::EncoderErrors::kMaxLineLength);
    EXPECT_EQ(errors.Lines().front().rfind("ERROR: line 5", 0), 0u);
    errors.Clear();
    EXPECT_EQ(errors.Reason(), "");
}

TEST(EncoderErrors, FailureReachesTheLogAndTheJob) {
    Rig rig;
    run::EncoderErrors errors;
    errors.Feed("ERROR: ffmpeg failed in the video pass 1 run (exit status 1): the disk is full "
                "(No space left on device)");
    run::RecordEncodeFailure(errors, "The encoder wrote no video stream /m/a.mpv", rig.log,
                             rig.store.Store(), 0);
    EXPECT_TRUE(rig.lines.Has("2   Encoder: ERROR: ffmpeg failed in the video pass 1 run (exit "
                              "status 1): the disk is full (No space left on device)"));
    EXPECT_EQ(jobs::GetJobLastError(rig.store.Store(), 0),
              "ffmpeg failed in the video pass 1 run (exit status 1): the disk is full (No "
              "space left on device)");
    // Without an encoder line the run's own finding is the reason (in a new run of the job: the
    // first failure of a run is the one kept); the record reads as before.
    jobs::ClearJobError(rig.store.Store(), 0);
    run::RecordEncodeFailure(run::EncoderErrors(), "The encoder wrote no video stream /m/a.mpv",
                             rig.log, rig.store.Store(), 0);
    EXPECT_EQ(jobs::GetJobLastError(rig.store.Store(), 0),
              "The encoder wrote no video stream /m/a.mpv");
    jobs::JobRecord back;
    ASSERT_TRUE(jobs::ReadJobRecord(rig.store.Store(), 0, back));
    EXPECT_EQ(back.name, "Clip");
}

TEST(EncodeOutputs, ShortStreamIsNoWholeEncode) {
    Rig rig;
    ecl::EclState state;
    state.m_OutputPath = rig.dir.File("a.mpv");
    state.m_EncodeFirst = 10;
    state.m_EncodeLast = 40; // 30 frames
    ASSERT_TRUE(WriteFile(state.m_OutputPath, Stream(29)));
    std::string problem;
    EXPECT_FALSE(run::CheckEncodeOutputs(state, 0, rig.log, &problem));
    EXPECT_EQ(problem, "The stream " + state.m_OutputPath +
                           " holds 29 of the 30 frames asked "
                           "for (10 to 39)");
    EXPECT_TRUE(rig.lines.Has("2   ERROR: " + problem));
    ASSERT_TRUE(WriteFile(state.m_OutputPath, Stream(30)));
    EXPECT_TRUE(run::CheckEncodeOutputs(state, 0, rig.log, &problem));
}

TEST(ChapterFiles, BesideEveryStreamOfAJobWithChapterPoints) {
    Rig rig;
    ecl::EclState state;
    state.m_OutputPath = rig.dir.File("film.mpv");
    state.m_EncodeFirst = 0;
    state.m_EncodeLast = 72;
    state.m_FrameRateIndex = 1;
    state.m_ChapterEntries = {"24", "48"};
    ASSERT_TRUE(WriteFile(state.m_OutputPath, Stream(72)));
    ASSERT_TRUE(WriteFile(state.m_OutputPath + ".m2v", Stream(72)));
    run::WriteJobChapterFiles(state, rig.log);
    const char* kTimes = "0:00:00.000,0:00:01.001,0:00:02.002\n";
    EXPECT_EQ(ReadFile(rig.dir.File("film.mpv.chapters.txt")), kTimes);
    EXPECT_EQ(ReadFile(rig.dir.File("film.mpv.m2v.chapters.txt")), kTimes);
    EXPECT_TRUE(
        rig.lines.Has("0   Chapters for authoring: " + rig.dir.File("film.mpv.chapters.txt")));
    // Without chapter points, no file.
    state.m_OutputPath = rig.dir.File("plain.mpv");
    state.m_ChapterEntries.clear();
    ASSERT_TRUE(WriteFile(state.m_OutputPath, Stream(72)));
    run::WriteJobChapterFiles(state, rig.log);
    EXPECT_FALSE(FileExists(rig.dir.File("plain.mpv.chapters.txt")));
}
