// One queue through the real runner, encoder and pulldown pass: a film job ends "Complete" with
// its 29.97 stream beside the source.
#include "app/job_row_details.h"
#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "platform/fake_ui_queue.h"
#include "platform/posix/posix_processes.h"
#include "pulldown/pulldown_worker.h"
#include "run_fixture.h"
#include "store/paths.h"
#include "support/media.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

using run_test::RunFixture;

namespace {

const std::string kProgramDir = VANTAQ_PROGRAM_DIR;

// Puts the real runner (with its own .ini pointing at the built encoder), the source
// inspection and the pulldown workers behind the fixture's controller.
void UseRealPrograms(RunFixture& f, pulldown::PulldownWorkers& workers) {
    namespace fs = std::filesystem;
    // The real runner, with its own .ini pointing at the built encoder.
    fs::remove(f.dir.File("EclCCE"));
    fs::copy_file(kProgramDir + "/EclCCE", f.dir.File("EclCCE"));
    testing_support::WriteFile(f.dir.File("EclCCE.ini"),
                               "[EclCCE]\r\nCCE=" + kProgramDir + "/cce\r\n");
    f.controller = nullptr;
    run::RunServices services;
    services.store = &f.store.Store();
    services.log = &f.log;
    services.dialog = &f.dialog;
    services.queue = &f.queue;
    services.window = &f.window;
    services.settings = &f.settings;
    services.processes = std::make_shared<platform::PosixProcesses>();
    services.programPath = f.dir.File("vantaq");
    services.inspect = [](const std::string& path) {
        return ecl::ReadSourceFacts(path, kProgramDir);
    };
    services.startPulldown = [&workers](const std::string& source, const std::string& target) {
        workers.Start(source, target);
    };
    services.now = [] { return static_cast<int64_t>(std::time(nullptr)); };
    services.cceVersion = [] { return 5; };
    f.controller = std::make_unique<run::RunController>(std::move(services));
}

} // namespace

TEST(RealQueue, FilmJobEncodesAndGetsItsPulldownPass) {
    RunFixture f;
    namespace fs = std::filesystem;
    pulldown::PulldownWorkers workers(f.queue);
    UseRealPrograms(f, workers);

    ASSERT_TRUE(
        media::MakeAvi(f.dir.File("media/film.avi"), "176x144", "24000/1001", 2, "mjpeg", false));
    f.AddJob("film", 2, 1);
    jobs::SetJobNumber(f.store.Store(), 0, jobs::kEndFrame, 48);
    jobs::SetJobNumber(f.store.Store(), 0, jobs::kProgressive, 1);
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    // The pulldown worker reports through the queue; wait for its end.
    ASSERT_TRUE(f.queue.RunUntil(
        [&] { return workers.Running() == 0 && f.Logged("0   Pulldown successfull."); }, 20000))
        << testing::PrintToString(f.lines.rows) << testing::PrintToString(f.output);
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Complete");
    std::string stream = f.dir.File("media/film.mpv");
    EXPECT_EQ(fs::file_size(stream), fs::file_size(stream + ".m2v"));
    EXPECT_TRUE(f.Logged("0 No more jobs!!!"));
    // The stream's report is made before the run goes on, so its line is the job's.
    EXPECT_TRUE(fs::exists(f.dir.File("media/film.mpv.report.json")))
        << testing::PrintToString(f.lines.rows);
    auto row = [&](const std::string& start) {
        return std::find_if(f.lines.rows.begin(), f.lines.rows.end(),
                            [&](const std::string& r) { return r.rfind(start, 0) == 0; }) -
               f.lines.rows.begin();
    };
    EXPECT_LT(row("0   Stream: "), row("0 No more jobs!!!"))
        << testing::PrintToString(f.lines.rows);
}

TEST(RealQueue, AnalysisOnlyJobIsCompleteWithoutAStream) {
    RunFixture f;
    pulldown::PulldownWorkers workers(f.queue);
    UseRealPrograms(f, workers);
    const std::string tpl = std::string(store::kTemplatePath) + "\\2";
    ASSERT_TRUE(f.store.Store().WriteNumber(store::kHive, tpl, "Video out", 0));
    ASSERT_TRUE(f.store.Store().WriteNumber(store::kHive, tpl, "Vaf out", 1));
    ASSERT_TRUE(
        media::MakeAvi(f.dir.File("media/vaf.avi"), "176x144", "24000/1001", 1, "mjpeg", false));
    f.AddJob("vaf", 2);
    jobs::SetJobNumber(f.store.Store(), 0, jobs::kEndFrame, 24);
    f.controller->OnStartProcessing();
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Complete")
        << testing::PrintToString(f.lines.rows) << testing::PrintToString(f.output);
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("media/vaf.mpv")));
    EXPECT_GT(std::filesystem::file_size(f.dir.File("media/vaf.vaf")), 0u);
}

// Stop with the real runner in mid-encode: its whole group ends (runner, encoder, ffmpeg), no
// partial file is left and the job is pending again.
TEST(RealQueue, StopEndsTheEncoderAndLeavesNoProcessNorPartialFile) {
    RunFixture f;
    namespace fs = std::filesystem;
    pulldown::PulldownWorkers workers(f.queue);
    UseRealPrograms(f, workers);
    // ffmpeg reads the source in real time, so the encode is still going when Stop comes.
    std::string paced = f.dir.File("paced-ffmpeg");
    testing_support::WriteFile(paced, "#!/bin/sh\nexec ffmpeg -re \"$@\"\n");
    fs::permissions(paced, fs::perms::owner_all);
    setenv("CCE_FFMPEG", paced.c_str(), 1);
    ASSERT_TRUE(media::MakeAvi(f.dir.File("media/long.avi"), "176x144", "25", 8, "mjpeg", false));
    f.AddJob("long", 2);
    jobs::SetJobNumber(f.store.Store(), 0, jobs::kEndFrame, 200);
    f.controller->OnStartProcessing();
    // Running once its handle is kept for a later start.
    run::RunRecord record;
    ASSERT_TRUE(f.queue.RunUntil(
        [&] {
            return run::LoadRunRecord(f.store.Store(), 0, record) &&
                   record.where == run::RunWhere::kLocal;
        },
        20000));
    pid_t runner = record.runner.pid;
    // The encoder has started once the runner's output file says so.
    ASSERT_TRUE(f.queue.RunUntil(
        [&] {
            return testing_support::ReadFile(f.dir.File("media/long.run.log")).find("%") !=
                   std::string::npos;
        },
        20000))
        << testing_support::ReadFile(f.dir.File("media/long.run.log"));
    f.controller->OnStopProcessing();
    ASSERT_TRUE(f.queue.RunUntil([&] { return !f.controller->State().m_Processing; }, 20000));
    unsetenv("CCE_FFMPEG");
    EXPECT_EQ(f.Status(0), "Pending");
    EXPECT_TRUE(f.Logged("1 Processing Stopped!!!!!"));
    // Nothing of the group is left, and nothing half-written.
    EXPECT_NE(::kill(-runner, 0), 0);
    for (const auto& entry : fs::directory_iterator(f.dir.File("media"))) {
        std::string name = entry.path().filename().string();
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        EXPECT_NE(name, "long.mpv");
    }
    EXPECT_FALSE(run::LoadRunRecord(f.store.Store(), 0, record));
}

TEST(RealQueue, FailedEncodesSayWhyInTheLogAndTheRow) {
    RunFixture f;
    pulldown::PulldownWorkers workers(f.queue);
    UseRealPrograms(f, workers);
    // ffmpeg as a full disk shows it for the job "full", and as a source that ends early (10
    // frames written, no error) for the job "short".
    const std::string fake = f.dir.File("ffmpeg-fake");
    ASSERT_TRUE(testing_support::WriteFile(
        fake,
        "#!/bin/bash\nlast=\"${@: -1}\"\ncase \"$last\" in\n"
        "*full*) echo 'av_interleaved_write_frame(): No space left on device' >&2; exit 1 ;;\n"
        "*short*) exec ffmpeg \"${@:1:$#-1}\" -frames:v 10 \"$last\" ;;\nesac\n"
        "exec ffmpeg \"$@\"\n"));
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    for (const char* name : {"full", "short"}) {
        ASSERT_TRUE(media::MakeAvi(f.dir.File(std::string("media/") + name + ".avi"), "176x144",
                                   "24000/1001", 2, "mjpeg", false));
        f.AddJob(name, 2);
    }
    for (int job : {0, 1}) {
        jobs::SetJobNumber(f.store.Store(), job, jobs::kEndFrame, 48);
    }
    setenv("CCE_FFMPEG", fake.c_str(), 1);
    f.controller->OnStartProcessing();
    f.RunQueue();
    unsetenv("CCE_FFMPEG");

    const std::string full = "ffmpeg failed in the video pass 1 run (exit status 1): the disk is "
                             "full (No space left on device)";
    EXPECT_EQ(f.Status(0), "Error");
    EXPECT_TRUE(f.Logged("2   Encoder: ERROR: " + full)) << testing::PrintToString(f.lines.rows);
    EXPECT_EQ(jobs::GetJobLastError(f.store.Store(), 0), full);
    EXPECT_EQ(app::JobDetailsLine(f.store.Store(), f.settings, 0, {}).rfind("Error: " + full, 0),
              0u);

    // The short stream never passes as whole: cce names both counts.
    EXPECT_EQ(f.Status(1), "Error");
    const std::string reason = jobs::GetJobLastError(f.store.Store(), 1);
    EXPECT_NE(reason.find(" 10 of the 48 frames the list asks for"), std::string::npos) << reason;
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("media/short.mpv")));
}
