// The program's own control list, written for a stored job, drives the runner and encoder to
// a real stream: the contract between the ECL writer and the encoder.
#include "ecl/ecl_writer.h"
#include "encoder_fixture.h"
#include "jobs/job_store.h"
#include "store/paths.h"
#include "support/test_support.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <filesystem>

using encoder_test::kProgramDir;
using encoder_test::RunProgram;
using testing_support::FileExists;

TEST(WrittenEcl, StoredJobEncodesThroughTheRunner) {
    testing_support::TempStore t;
    testing_support::TempDir dir;
    auto& s = t.Store();
    s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 0);
    templates::InitTemplates(s);

    std::string source = dir.File("Clip one.avi");
    ASSERT_TRUE(encoder_test::MakeSource(source, "24000/1001", 3, false));
    jobs::JobRecord job;
    job.name = "Clip one";
    job.input = source;
    job.templateKey = "2"; // One Pass VBR
    job.method = 2;
    job.aspectRatio = 2;
    job.bitrateMin = 0;
    job.bitrateMax = 4000;
    job.bitrateAvg = 2000;
    job.qFactor = 40;
    job.bias = 60;
    job.passes = 1;
    job.quality = 16;
    job.startFrame = 10;
    job.endFrame = 60;
    job.progressive = 1;
    job.topFieldFirst = 1;
    job.chapters = "0,24";
    ASSERT_TRUE(jobs::WriteJobRecord(s, 0, job));

    ecl::SourceFacts facts{true, 176, 144, 24000, 1001, 72};
    ecl::EclState state;
    env::Settings settings;
    std::string eclPath = ecl::WriteEcl(
        s, 0, 5, settings, [&](const std::string&) { return facts; }, state);
    ASSERT_EQ(eclPath, dir.File("Clip one.ecl"));

    auto run = RunProgram({kProgramDir + "/EclCCE", "-ecl", eclPath, "-batch"});
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_TRUE(FileExists(state.m_OutputPath)) << run.output;
    auto facts2 = encoder_test::ScanStream(state.m_OutputPath);
    ASSERT_TRUE(facts2.valid);
    EXPECT_EQ(facts2.pictures, 50);
    EXPECT_EQ(facts2.width, 176);
    EXPECT_EQ(facts2.frameRateCode, 1);
    EXPECT_EQ(facts2.aspectCode, 2);
    EXPECT_TRUE(facts2.endsWithSequenceEnd);
    // The chapter at source frame 24 is picture 14 of the range: a GOP starts there.
    int start = 0;
    bool chapterStartsGop = false;
    for (const auto& gop : facts2.gops) {
        chapterStartsGop = chapterStartsGop || (start == 14 && gop.closed && gop.firstType == 'I');
        start += gop.pictures;
    }
    EXPECT_TRUE(chapterStartsGop);
}
