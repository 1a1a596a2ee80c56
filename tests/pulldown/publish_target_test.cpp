// The window's passes write under a working name and publish only a whole result: a failed
// pass leaves neither a broken target nor its working file, and an older target stays.
#include "pulldown/pulldown.h"
#include "pulldown/pulldown_worker.h"
#include "stream_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace pulldown_test;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct Result {
    int code = -1;
    bool targetAtFinish = false; // the target existed when the end was reported
    std::vector<std::string> lines;
};

Result RunPass(const std::string& source, const std::string& target) {
    Result r;
    pulldown::PulldownCallbacks callbacks;
    callbacks.OnLine = [&r](const std::string& line, int) { r.lines.push_back(line); };
    callbacks.OnFinished = [&r, target](int code) {
        r.code = code;
        r.targetAtFinish = FileExists(target);
    };
    pulldown::PulldownProcessor processor(
        source, pulldown::PassTargetOf(source, target), pulldown::WindowRunOptions(),
        pulldown::PublishWholeTarget(source, target, std::move(callbacks)));
    processor.Run();
    return r;
}

} // namespace

TEST(PublishTarget, WholeResultIsRenamedBeforeItsEndIsReported) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("s.mpv"), StreamBytes(StreamKind::kFilmClosedGop12)));
    Result r = RunPass(dir.File("s.mpv"), dir.File("s.mpv.m2v"));
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.targetAtFinish);
    EXPECT_FALSE(FileExists(dir.File("s.mpv.m2v.part")));
    EXPECT_EQ(ReadFile(dir.File("s.mpv.m2v")).size(),
              StreamBytes(StreamKind::kFilmClosedGop12).size());
    EXPECT_NE(std::find(r.lines.begin(), r.lines.end(), "  TARGET = " + dir.File("s.mpv.m2v")),
              r.lines.end());
}

TEST(PublishTarget, FailedPassLeavesNothingAndKeepsAnOlderTarget) {
    TempDir dir;
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    // Cut inside the stream: the pass passes whole blocks and then fails (code 9).
    ASSERT_TRUE(WriteFile(dir.File("cut.mpv"), s.substr(0, s.size() - 4)));
    Result r = RunPass(dir.File("cut.mpv"), dir.File("cut.m2v"));
    EXPECT_EQ(r.code, pulldown::kPulldownNextStartCode);
    EXPECT_FALSE(FileExists(dir.File("cut.m2v")));
    EXPECT_FALSE(FileExists(dir.File("cut.m2v.part")));

    ASSERT_TRUE(WriteFile(dir.File("old.m2v"), "an older result"));
    ASSERT_TRUE(WriteFile(dir.File("text.mpv"), std::string("\x00\x00\x01\xB8 not video", 15)));
    r = RunPass(dir.File("text.mpv"), dir.File("old.m2v"));
    EXPECT_EQ(r.code, pulldown::kPulldownNotVideoStream);
    EXPECT_EQ(ReadFile(dir.File("old.m2v")), "an older result");
    EXPECT_FALSE(FileExists(dir.File("old.m2v.part")));

    // A target that is the source is still refused, and the source stays whole.
    ASSERT_TRUE(WriteFile(dir.File("same.mpv"), s));
    r = RunPass(dir.File("same.mpv"), dir.File("same.mpv"));
    EXPECT_EQ(r.code, pulldown::kPulldownOpenOutputFailed);
    EXPECT_EQ(ReadFile(dir.File("same.mpv")), s);
}
