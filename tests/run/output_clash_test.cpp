// Jobs whose encodes write the same stream: found when added, refused at the start of a job
// when the other job is complete and its stream is there.
#include "ecl/ecl_writer.h"
#include "jobs/job_store.h"
#include "run/output_clash.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct ClashRig {
    ClashRig() { std::filesystem::create_directories(dir.File("out")); }
    void Add(const std::string& name, const std::string& input, const char* status) {
        jobs::JobRecord r;
        r.name = name;
        r.input = input;
        r.status = status;
        int position = 0;
        ASSERT_TRUE(jobs::AppendJobRecord(store.Store(), r, position));
    }
    testing_support::TempDir dir;
    testing_support::TempStore store;
    env::Settings settings;
};

} // namespace

TEST(OutputClash, SourcesOfOneNameMeetInOneFolder) {
    ClashRig rig;
    rig.settings.m_OutputSameDir = true;
    rig.Add("mp4", rig.dir.File("clip.mp4"), jobs::kStatusComplete);
    rig.Add("mkv", rig.dir.File("clip.mkv"), jobs::kStatusPending);
    rig.Add("other", rig.dir.File("a/clip.mkv"), jobs::kStatusPending);
    std::string other;
    EXPECT_EQ(run::FindOutputClash(rig.store.Store(), rig.settings, 1, other), 0);
    EXPECT_EQ(other, "mp4");
    // Side by side only: another folder writes beside its own source.
    EXPECT_EQ(run::FindOutputClash(rig.store.Store(), rig.settings, 2, other), -1);

    // With one output folder the folders of the sources no longer matter.
    rig.settings.m_OutputSameDir = false;
    rig.settings.m_OutputDirectory = rig.dir.File("out");
    EXPECT_EQ(run::FindOutputClash(rig.store.Store(), rig.settings, 2, other), 0);
    EXPECT_EQ(run::JobStreamPath(rig.store.Store(), rig.settings, 2), rig.dir.File("out/clip.mpv"));
}

TEST(OutputClash, TheRunKeepsACompleteJobsStreamUnlessToldToReplaceIt) {
    ClashRig rig;
    rig.settings.m_OutputSameDir = false;
    rig.settings.m_OutputDirectory = rig.dir.File("out");
    rig.Add("first", rig.dir.File("a/clip.mp4"), jobs::kStatusComplete);
    rig.Add("second", rig.dir.File("b/clip.mkv"), jobs::kStatusPending);
    ecl::EclState ecl;
    ecl.m_OutputPath = rig.dir.File("out/clip.mpv");
    std::string other;
    std::string line;
    // Nothing written yet: nothing to keep.
    EXPECT_FALSE(run::OutputClashes(rig.store.Store(), rig.settings, 1, ecl, other, line));

    testing_support::WriteFile(ecl.m_OutputPath, "stream");
    ASSERT_TRUE(run::OutputClashes(rig.store.Store(), rig.settings, 1, ecl, other, line));
    EXPECT_EQ(other, "first");
    EXPECT_EQ(line, "Job second would write " + ecl.m_OutputPath +
                        ", the output of the completed job first; not encoded. Change its name "
                        "or output folder, or choose to replace that output.");

    jobs::SetJobNumber(rig.store.Store(), 1, run::kReplaceOutput, 1);
    EXPECT_FALSE(run::OutputClashes(rig.store.Store(), rig.settings, 1, ecl, other, line));
    jobs::SetJobNumber(rig.store.Store(), 1, run::kReplaceOutput, 0);
    // A job that is not complete has no finished output to keep.
    jobs::SetJobString(rig.store.Store(), 0, jobs::kStatus, jobs::kStatusError);
    EXPECT_FALSE(run::OutputClashes(rig.store.Store(), rig.settings, 1, ecl, other, line));
}

TEST(OutputClash, SourcesMeetByTheirStemWhateverTheirExtensionsOrAFolderLink) {
    // Each pair: two sources in the same folder, and whether their streams are the same file.
    const struct {
        const char* a;
        const char* b;
        bool clash;
    } cases[] = {
        {"a.avi", "a.mkv", true},
        {"a.", "a", true},
        {"a.b.avi", "a.b.mkv", true},
        {"a.b.avi", "a.avi", false},
        {"d.x/a", "d.x/a.avi", true},
        {"caf\xC3\xA9.avi", "caf\xC3\xA9.mp4", true},
        {"caf\xC3\xA9.avi", "cafe.avi", false},
        {"A.avi", "a.avi", false},
    };
    for (const auto& c : cases) {
        ClashRig rig;
        rig.settings.m_OutputSameDir = true;
        std::filesystem::create_directories(rig.dir.File("d.x"));
        rig.Add("a", rig.dir.File(c.a), jobs::kStatusComplete);
        rig.Add("b", rig.dir.File(c.b), jobs::kStatusPending);
        std::string other;
        EXPECT_EQ(run::FindOutputClash(rig.store.Store(), rig.settings, 1, other), c.clash ? 0 : -1)
            << c.a << " / " << c.b;
    }

    // A folder reached through a link is the folder it links to.
    ClashRig rig;
    rig.settings.m_OutputSameDir = true;
    std::filesystem::create_directories(rig.dir.File("real"));
    std::filesystem::create_directory_symlink(rig.dir.File("real"), rig.dir.File("link"));
    rig.Add("real", rig.dir.File("real/clip.avi"), jobs::kStatusComplete);
    rig.Add("linked", rig.dir.File("link/clip.mkv"), jobs::kStatusPending);
    std::string other;
    EXPECT_EQ(run::FindOutputClash(rig.store.Store(), rig.settings, 1, other), 0);
}

// Jobs of one stem get numbered names of their own, and a numbered name is found again by the
// jobs that would meet it, also a source whose own stem ends in that number.
TEST(OutputClash, NumberedNamesAreFreeAndMeetWhatTheyName) {
    ClashRig rig;
    rig.settings.m_OutputSameDir = true;
    store::KeyStore& s = rig.store.Store();
    EXPECT_EQ(run::FreeEclNumber(s, rig.dir.File("box.mp4")), 0);
    rig.Add("first", rig.dir.File("box.mp4"), jobs::kStatusComplete);
    EXPECT_EQ(run::FreeEclNumber(s, rig.dir.File("box.mkv")), 2);
    EXPECT_EQ(run::FreeEclNumber(s, rig.dir.File("a/box.mkv")), 0);
    EXPECT_EQ(run::FreeOutputNumber(s, rig.settings, rig.dir.File("box.mkv")), 2);

    rig.Add("second", rig.dir.File("box.mkv"), jobs::kStatusPending);
    jobs::SetJobNumber(s, 1, jobs::kEclNumber, 2);
    jobs::SetJobNumber(s, 1, jobs::kOutputNumber, 2);
    std::string other;
    EXPECT_EQ(run::FindOutputClash(s, rig.settings, 1, other), -1);
    EXPECT_EQ(run::JobStreamPath(s, rig.settings, 1), rig.dir.File("box.2.mpv"));
    EXPECT_EQ(ecl::JobEclPath(s, 1), rig.dir.File("box.2.ecl"));
    // A third job of the stem: the next number, also past a stream left on disk.
    EXPECT_EQ(run::FreeEclNumber(s, rig.dir.File("box.avi")), 3);
    testing_support::WriteFile(rig.dir.File("box.3.mpv.m2v"), "stream");
    EXPECT_EQ(run::FreeOutputNumber(s, rig.settings, rig.dir.File("box.avi")), 4);
    // The source box.2.avi writes what the second job writes, and its ECL is that job's.
    EXPECT_EQ(run::FindNewJobOutputClash(s, rig.settings, rig.dir.File("box.2.avi"), 0, other), 1);
    EXPECT_EQ(other, "second");
    EXPECT_EQ(run::FreeEclNumber(s, rig.dir.File("box.2.avi")), 2);
    // A source without an extension keeps the number before the outputs' extensions.
    EXPECT_EQ(ecl::ReplaceExtension(ecl::OutputBase(rig.settings, rig.dir.File("a"), 2), ".mpv"),
              rig.dir.File("a.2.mpv"));
    EXPECT_EQ(ecl::EclPathFor(rig.dir.File("a"), 2), rig.dir.File("a.2.ecl"));
}
