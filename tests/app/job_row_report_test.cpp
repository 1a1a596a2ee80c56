// A finished job's row carries the DVD-Video verdict of the report kept beside its stream.
#include "app/job_row_details.h"
#include "env/settings.h"
#include "jobs/job_store.h"
#include "pulldown/report_format.h"
#include "pulldown/stream_report_file.h"
#include "store/paths.h"
#include "support/test_support.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

namespace {

// A report with one rule broken (a 30-picture GOP) or none.
std::string ReportText(bool compliant) {
    pulldown::StreamReport r;
    r.readable = true;
    r.endCode = true;
    r.sequence.mpeg2 = true;
    r.sequence.width = 720;
    r.sequence.height = 480;
    r.sequence.aspectCode = 2;
    r.sequence.frameRateCode = 4;
    r.sequence.frameRate = 30000.0 / 1001;
    r.sequence.bitRate = 5000000;
    r.sequence.vbvBufferBits = 112 * 16384;
    size_t gop = compliant ? 15 : 30;
    for (size_t i = 0; i < 60; ++i) {
        if (i % gop == 0) {
            pulldown::ReportGop g;
            g.firstPicture = i;
            r.gops.push_back(g);
        }
        pulldown::ReportPicture p;
        p.bytes = 10000;
        p.type = i % gop == 0 ? 1 : 3;
        p.flags = pulldown::kPictureTopFieldFirst;
        p.temporalReference = static_cast<uint16_t>(i % gop);
        r.pictures.push_back(p);
    }
    pulldown::CompleteReport(r);
    EXPECT_EQ(r.dvd.compliant, compliant) << testing::PrintToString(r.dvd.reasons);
    return pulldown::ReportToJson(r);
}

} // namespace

TEST(JobRowReport, FinishedJobsShowTheVerdictOfTheirReport) {
    testing_support::TempStore temp;
    testing_support::TempDir media;
    env::Settings settings;
    store::KeyStore& s = temp.Store();
    for (int job = 0; job < 4; ++job) {
        jobs::JobRecord record;
        record.name = "job " + std::to_string(job);
        record.status = job == 3 ? jobs::kStatusPending : jobs::kStatusComplete;
        ASSERT_TRUE(jobs::WriteJobRecord(s, job, record));
        ASSERT_TRUE(jobs::SetJobString(s, job, jobs::kInput,
                                       media.File("clip" + std::to_string(job) + ".avi")));
    }
    // Job 0 is compliant, job 1 not, job 2 has no report, job 3 is not finished.
    ASSERT_TRUE(testing_support::WriteFile(media.File("clip0.report.json"), ReportText(true)));
    ASSERT_TRUE(testing_support::WriteFile(media.File("clip1.report.json"), ReportText(false)));
    ASSERT_TRUE(testing_support::WriteFile(media.File("clip3.report.json"), ReportText(true)));
    app::JobActivity idle;
    auto line = [&](int job) { return app::JobDetailsLine(s, settings, job, idle); };
    EXPECT_EQ(line(0),
              "Complete  |  no template  |  " + media.File("clip0.mpv") + "  |  DVD-Video: yes");
    EXPECT_EQ(line(1).substr(line(1).size() - 18), "  |  DVD-Video: no");
    EXPECT_EQ(line(2).find("DVD-Video"), std::string::npos);
    EXPECT_EQ(line(3).find("DVD-Video"), std::string::npos);
    EXPECT_EQ(app::JobStreamReport(s, settings, 0), media.File("clip0.report.json"));
    EXPECT_EQ(app::JobStreamReport(s, settings, 2), "");
    EXPECT_EQ(app::JobStreamReport(s, settings, 3), "");

    // With the 2:3 pass the stream is NAME.mpv.m2v and its report NAME.mpv.report.json.
    ASSERT_TRUE(jobs::SetJobNumber(s, 1, jobs::kTelecide, 1));
    EXPECT_EQ(line(1).find("DVD-Video"), std::string::npos);
    ASSERT_TRUE(testing_support::WriteFile(media.File("clip1.mpv.report.json"), ReportText(true)));
    EXPECT_EQ(line(1).substr(line(1).size() - 19), "  |  DVD-Video: yes");

    // A report cut short or not a report at all shows no verdict.
    ASSERT_TRUE(testing_support::WriteFile(media.File("clip0.report.json"),
                                           ReportText(true).substr(0, 40)));
    EXPECT_EQ(line(0).find("DVD-Video"), std::string::npos);
}

TEST(JobRowReport, AJobMeantForDvdWhoseStreamIsNotSaysWhyWithTheWarning) {
    testing_support::TempStore temp;
    testing_support::TempDir media;
    env::Settings settings;
    store::KeyStore& s = temp.Store();
    s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 0);
    templates::InitTemplates(s);
    const std::string dvdTemplate = std::string(store::kTemplatePath) + "\\1";
    ASSERT_TRUE(s.WriteNumber(store::kHive, dvdTemplate, "DVD compliant", 1));
    struct Case {
        const char* templateKey;
        bool compliant;
        bool warned;
    };
    const Case cases[] = {{"1", false, true}, {"1", true, false}, {"2", false, false}};
    for (int job = 0; job < 3; ++job) {
        const Case& c = cases[job];
        jobs::JobRecord record;
        record.name = "job " + std::to_string(job);
        record.status = jobs::kStatusComplete;
        record.templateKey = c.templateKey;
        record.input = media.File("clip" + std::to_string(job) + ".avi");
        ASSERT_TRUE(jobs::WriteJobRecord(s, job, record));
        ASSERT_TRUE(testing_support::WriteFile(
            media.File("clip" + std::to_string(job) + ".report.json"), ReportText(c.compliant)));
        const std::string line = app::JobDetailsLine(s, settings, job, app::JobActivity());
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind("Complete \u2014 not DVD-Video: GOP of 30 pictures", 0) == 0,
                  c.warned);
        EXPECT_EQ(line.rfind("Complete  |  ", 0) == 0, !c.warned);
        EXPECT_EQ(app::JobRowImage(s, settings, job),
                  c.warned ? jobs::kImageWarning : jobs::kImageComplete);
    }
}
