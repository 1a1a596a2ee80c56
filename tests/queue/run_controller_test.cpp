// Whole queues through the run controller with a scripted runner: order, statuses, the pauses,
// stopping, the two-part method, the pulldown hand-over and the failure paths.
#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "platform/posix/posix_processes.h"
#include "run/process_runner.h"
#include "run/run_record.h"
#include "run_fixture.h"
#include "store/paths.h"
#include "support/store_faults.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

using run_test::RunFixture;
namespace ids = platform::main_window;

TEST(RunController, PauseIsAHundredthOfTheEncodeAtMostFiveMinutes) {
    EXPECT_EQ(run::WaitMilliseconds(2 * 3600), 72000u);
    EXPECT_EQ(run::WaitMilliseconds(10 * 3600), 300000u);
    EXPECT_EQ(run::WaitMilliseconds(0), 0u);
    EXPECT_EQ(run::WaitMilliseconds(-5), 300000u); // a clock stepped back never waits forever
    RunFixture f;
    f.controller->SetProcessTimes(0, 50 * 60);
    f.controller->WaitBeforeNext(run::MY_TIMER_PART2);
    EXPECT_EQ(f.queue.TimeUntil(run::MY_TIMER_PART2), 30000);
    EXPECT_TRUE(f.Logged("3   Waiting to start next process for 30.000 seconds"));
}

TEST(RunController, RunsThePendingJobsInOrderAndStopsWhenDry) {
    RunFixture f;
    f.AddJob("first", 2);
    f.AddJob("second", 2);
    f.AddJob("third", 3);
    jobs::SetJobString(f.store.Store(), 1, jobs::kStatus, jobs::kStatusComplete);
    f.window.exitKeyword = true;
    f.controller->OnStartProcessing();
    EXPECT_TRUE(f.controller->State().m_Processing);
    EXPECT_TRUE(f.dialog.IsEnabled(ids::kExit)); // it asks during a run
    f.RunQueue();

    EXPECT_EQ(f.Status(0), "Complete");
    EXPECT_EQ(f.Status(2), "Complete");
    std::string runs = f.RunnerLog();
    EXPECT_NE(runs.find("first.ecl"), std::string::npos);
    EXPECT_EQ(runs.find("second.ecl"), std::string::npos);
    EXPECT_LT(runs.find("first.ecl"), runs.find("third.ecl"));
    EXPECT_TRUE(f.Logged("0 Starting Job: third"));
    EXPECT_TRUE(f.Logged("0 No more jobs!!!"));
    // One "complete" line before the third job starts, one before the queue ends.
    EXPECT_EQ(
        std::count_if(f.lines.rows.begin(), f.lines.rows.end(),
                      [](const std::string& r) { return r.rfind("0 Job: complete in ", 0) == 0; }),
        2);
    // Each row runs, then is drawn again with its status once its stream's report is made.
    EXPECT_EQ(f.window.rowImages,
              (std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {2, 1}, {2, 2}}));
    EXPECT_FALSE(f.controller->State().m_Processing);
    EXPECT_EQ(f.controller->State().m_CurrentJob, -1);
    EXPECT_TRUE(f.dialog.IsEnabled(ids::kExit));
    EXPECT_TRUE(f.window.closed);
    std::string ini = testing_support::ReadFile(f.dir.File("EclCCE.ini"));
    EXPECT_NE(ini.find("Priority=-1"), std::string::npos);
}

TEST(RunController, ProgressLinesFillTheBarHalfAPartAndStayOutOfTheLog) {
    RunFixture f;
    f.AddJob("progress two", 0);
    f.AddJob("progress nostream", 2);
    f.controller->OnStartProcessing();
    f.RunQueue();
    // Per runner: "encoding ...", "50% / ...", "not a progress line", "100% / ...".
    EXPECT_EQ(f.bar, (std::vector<int>{0, 25, 25, 50, 50, 75, 75, 100, 0, 50, 50, 100}));
    for (const std::string& row : f.lines.rows) {
        EXPECT_EQ(row.find("% / "), std::string::npos) << row;
    }
    EXPECT_EQ(f.Status(1), "Error");
    EXPECT_EQ(f.window.finished, (std::vector<std::pair<int, int>>{{1, 1}}));
    // A line after the run moves nothing.
    f.controller->OnRunnerLine("40% / late", run::MY_TIMER_PASS1);
    EXPECT_EQ(f.dialog.GetProgressPos(ids::kProgress), 0);
}

TEST(RunController, PriorityIsWrittenBeforeTheRunnerStarts) {
    RunFixture f;
    f.settings.m_CcePriority = 1;
    f.AddJob("one", 2);
    f.controller->OnStartProcessing();
    std::string ini = testing_support::ReadFile(f.dir.File("EclCCE.ini"));
    EXPECT_NE(ini.find("[EclCCE]\r\nCCE=/nowhere\r\nPriority=64\r\n"), std::string::npos) << ini;
    EXPECT_TRUE(f.Logged("3 Setting CCE Priority to Idle"));
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Complete");
}

TEST(RunController, APriorityThatCannotBeWrittenIsLoggedAndTheJobStillRuns) {
    RunFixture f;
    // A folder where the profile belongs: the write's final rename fails.
    std::filesystem::remove(f.dir.File("EclCCE.ini"));
    std::filesystem::create_directory(f.dir.File("EclCCE.ini"));
    f.AddJob("one", 2);
    f.controller->OnStartProcessing();
    ASSERT_EQ(std::count_if(f.lines.rows.begin(), f.lines.rows.end(),
                            [](const std::string& r) {
                                return r.rfind(
                                           "1   WARNING: The encoder's priority could not be set: ",
                                           0) == 0 &&
                                       r.find("EclCCE.ini") != std::string::npos;
                            }),
              1);
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Complete");
}

TEST(RunController, StopDuringAnEncodeEndsTheRunnerAndLeavesTheJobPending) {
    RunFixture f;
    f.AddJob("slow one", 2);
    f.AddJob("two", 2);
    f.controller->OnStartProcessing();
    f.controller->OnStopProcessing();
    EXPECT_TRUE(f.boxes.shown.empty());
    EXPECT_TRUE(f.Logged("1   Stopping the encoder."));
    // The runner never lets go by itself: only the signal to its group ends it.
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Pending");
    EXPECT_EQ(f.Status(1), "Pending");
    EXPECT_TRUE(f.Logged("1 Processing Stopped!!!!!"));
    EXPECT_FALSE(f.controller->State().m_Processing);
    EXPECT_TRUE(f.dialog.IsEnabled(ids::kNewJob));
    EXPECT_TRUE(f.dialog.IsEnabled(ids::kExit));
    EXPECT_EQ(f.RunnerLog().find("two.ecl"), std::string::npos);
    EXPECT_FALSE(f.queue.IsTimerPending(run::MY_TIMER_STOP_KILL));
    std::string handle;
    jobs::GetJobString(f.store.Store(), 0, run::kRunHandleValue, 255, handle);
    EXPECT_EQ(handle, ""); // nothing for a later start to follow
}

TEST(RunController, StopWhileWaitingEndsTheRunAtOnceAndStopAfterThisJobKeepsTheResult) {
    RunFixture f;
    f.AddJob("one", 2);
    f.AddJob("two", 2);
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    f.controller->OnTimer(run::MY_TIMER_STATUS_SHOWN); // then the pause before the next job
    ASSERT_TRUE(f.queue.IsTimerPending(run::MY_TIMER_NEXT_JOB));
    f.controller->OnStopProcessing();
    EXPECT_FALSE(f.controller->State().m_Processing);
    EXPECT_FALSE(f.queue.IsTimerPending(run::MY_TIMER_NEXT_JOB));
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Complete");
    EXPECT_EQ(f.Status(1), "Pending");
    EXPECT_EQ(f.RunnerLog().find("two.ecl"), std::string::npos);

    // Stop After This Job during an encode: that job ends "Complete", the next never starts.
    f.AddJob("slow three", 2);
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.controller->State().m_Processing);
    f.controller->OnStopAfterThisJob();
    EXPECT_TRUE(f.Logged("0 Processing stops when the current job has ended."));
    testing_support::WriteFile(f.dir.File("go"), "");
    f.RunQueue();
    EXPECT_EQ(f.Status(1), "Complete"); // "two" ran: it was the first pending job
    EXPECT_EQ(f.Status(2), "Pending");
    EXPECT_FALSE(f.controller->State().m_Processing);
}

TEST(RunController, TwoPartJobRewritesItsListBetweenTheParts) {
    RunFixture f;
    f.AddJob("roba", 0);
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    std::string ecl = f.dir.File("media/roba.ecl");
    std::string part1 = testing_support::ReadFile(ecl);
    EXPECT_NE(part1.find("\r\nvid_out=0\r\n"), std::string::npos);
    EXPECT_NE(part1.find("\r\nvideo_type=2\r\n"), std::string::npos);
    EXPECT_TRUE(f.Logged("0   RoBa First part started."));
    EXPECT_TRUE(f.Logged("0   RoBa first part complete."));
    EXPECT_EQ(f.Status(0), "Pending");
    f.RunQueue();
    std::string part2 = testing_support::ReadFile(ecl);
    std::string expected = part1;
    expected.replace(expected.find("vid_out=0"), 9, "vid_out=1");
    expected.replace(expected.find("video_type=2"), 12, "video_type=4");
    EXPECT_EQ(part2, expected);
    EXPECT_TRUE(f.Logged("0   RoBa Second part started."));
    EXPECT_TRUE(f.Logged("0   RoBa second part complete."));
    EXPECT_EQ(f.Status(0), "Complete");
}

TEST(RunController, TwoPartJobOnTheOldestEncoderSwitchesTheVideoMode) {
    RunFixture f;
    f.cceVersion = 1;
    f.AddJob("roba", 0);
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    std::string ecl = f.dir.File("media/roba.ecl");
    std::string part1 = testing_support::ReadFile(ecl);
    ASSERT_TRUE(f.controller->RewriteEclForPart2());
    std::string expected = part1;
    expected.replace(expected.find("vid_out=0"), 9, "vid_out=1");
    expected.replace(expected.find("vmode=0"), 7, "vmode=2");
    EXPECT_EQ(testing_support::ReadFile(ecl), expected);
}

TEST(RunController, StopDuringTheFirstPartSkipsTheSecond) {
    RunFixture f;
    f.AddJob("roba", 0);
    f.controller->OnStartProcessing();
    f.controller->OnStopProcessing();
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Pending");
    EXPECT_FALSE(f.Logged("0   RoBa Second part started."));
    EXPECT_FALSE(f.queue.IsTimerPending(run::MY_TIMER_PART2));
}

TEST(RunController, TwoPartRewriteChangesWholeLinesOnly) {
    // A folder and a title holding the very texts the rewrite looks for.
    for (int code : {5, 1}) {
        RunFixture f;
        f.cceVersion = code;
        std::filesystem::create_directories(f.dir.File("media/video_type=2 vmode=0"));
        f.AddJob("video_type=2 vmode=0/vid_out=0", 0);
        f.controller->OnStartProcessing();
        ASSERT_TRUE(f.Settle());
        std::string ecl = f.dir.File("media/video_type=2 vmode=0/vid_out=0.ecl");
        std::string expected = testing_support::ReadFile(ecl);
        const char* mode = code == 1 ? "\r\nvmode=0\r\n" : "\r\nvideo_type=2\r\n";
        expected.replace(expected.find("\r\nvid_out=0\r\n"), 13, "\r\nvid_out=1\r\n");
        expected.replace(expected.find(mode), std::string(mode).size(),
                         code == 1 ? "\r\nvmode=2\r\n" : "\r\nvideo_type=4\r\n");
        f.RunQueue();
        EXPECT_EQ(testing_support::ReadFile(ecl), expected);
        EXPECT_EQ(f.Status(0), "Complete") << code;
    }
}

TEST(RunController, UnwritableListIsRetriedOnceThenTheJobFails) {
    // In place of the list between the parts: a folder, or a FIFO that no one writes.
    for (bool fifo : {false, true}) {
        RunFixture f;
        f.AddJob("roba", 0);
        f.AddJob("after", 2);
        f.controller->OnStartProcessing();
        ASSERT_TRUE(f.Settle());
        std::string ecl = f.dir.File("media/roba.ecl");
        std::filesystem::remove(ecl);
        if (fifo) {
            ASSERT_TRUE(testing_support::MakeFifo(ecl));
        } else {
            std::filesystem::create_directory(ecl);
        }
        EXPECT_TRUE(testing_support::EndsWithoutWaitingOn(ecl, [&] { f.RunQueue(); }));
        EXPECT_TRUE(f.Logged("2   ERROR: Could not modifying ECL file."));
        EXPECT_TRUE(f.Logged("0   An error has occured!!! The program will try to restart the "
                             "current job."));
        EXPECT_EQ(f.Status(0), "Error") << fifo;
        EXPECT_EQ(f.Status(1), "Complete") << fifo;
    }
}

TEST(RunController, AnEncodeWithoutAStreamIsAnError) {
    RunFixture f;
    f.AddJob("nostream", 2);
    f.AddJob("fine", 2);
    f.controller->OnStartProcessing();
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Error");
    EXPECT_TRUE(f.Logged("2   ERROR: The encoder wrote no video stream " +
                         f.dir.File("media/nostream.mpv")));
    EXPECT_EQ(f.Status(1), "Complete");
}

TEST(RunController, OnlyTheOutputsTheListAskedForAreChecked) {
    // Template 3 without video output, with the analysis: a job ends "Complete" with the
    // analysis alone and "Error" without it; without the analysis too, a job asks for nothing
    // and ends "Complete" (with no pulldown run for want of a stream).
    RunFixture f;
    const std::string tpl = std::string(store::kTemplatePath) + "\\3";
    ASSERT_TRUE(f.store.Store().WriteNumber(store::kHive, tpl, "Video out", 0));
    ASSERT_TRUE(f.store.Store().WriteNumber(store::kHive, tpl, "Vaf out", 1));
    f.AddJob("analysis", 3);
    f.AddJob("noanalysis", 3);
    f.controller->OnStartProcessing();
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Complete");
    EXPECT_EQ(f.Status(1), "Error");
    EXPECT_TRUE(f.Logged("2   ERROR: The encoder wrote no analysis file " +
                         f.dir.File("media/noanalysis.vaf")));
    EXPECT_FALSE(f.Logged("2   ERROR: The encoder wrote no video stream " +
                          f.dir.File("media/noanalysis.mpv")));

    ASSERT_TRUE(f.store.Store().WriteNumber(store::kHive, tpl, "Vaf out", 0));
    f.AddJob("nothing", 3, 1);
    f.controller->OnStartProcessing();
    f.RunQueue();
    EXPECT_EQ(f.Status(2), "Complete");
    EXPECT_TRUE(f.Logged("1   No video stream was asked for, so there is no pulldown run"));
    EXPECT_TRUE(f.pulldowns.empty());
}

TEST(RunController, RunnerThatCannotStartFailsTheJobAndTheQueueGoesOn) {
    RunFixture f;
    f.AddJob("one", 2);
    std::filesystem::permissions(f.dir.File("EclCCE"), std::filesystem::perms::owner_read);
    f.clockSeconds = 1700000000; // a real clock: the start time must not stay at 0
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    f.controller->OnTimer(run::MY_TIMER_STATUS_SHOWN);
    EXPECT_EQ(f.queue.TimeUntil(run::MY_TIMER_NEXT_JOB), 0);
    f.RunQueue();
    EXPECT_TRUE(f.Logged("2   ERROR: Couldn't start ECLCCE Process"));
    EXPECT_EQ(f.Status(0), "Error");
    EXPECT_TRUE(f.Logged("0 No more jobs!!!"));
}

TEST(RunController, AMissingSourceFailsTheJobWithoutAListOrAnEncode) {
    RunFixture f;
    f.AddJob("missing", 2);
    f.AddJob("two", 2);
    f.controller->OnStartProcessing();
    f.RunQueue();
    EXPECT_EQ(f.Status(0), "Error");
    EXPECT_EQ(f.Status(1), "Complete");
    EXPECT_TRUE(f.Logged("2   ERROR: The source \"" + f.dir.File("media/missing.avi") +
                         "\" is missing or cannot be read; the job is not encoded"));
    EXPECT_FALSE(testing_support::FileExists(f.dir.File("media/missing.ecl")));
    EXPECT_EQ(f.RunnerLog().find("missing"), std::string::npos);
    EXPECT_EQ(jobs::GetJobLastError(f.store.Store(), 0),
              "Source file not found: " + f.dir.File("media/missing.avi"));
}

// Uses up every free descriptor of the process but `left`, until destroyed.
class DescriptorsLeft {
public:
    explicit DescriptorsLeft(int left) {
        ::getrlimit(RLIMIT_NOFILE, &m_Saved);
        int highest = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            highest = std::max(highest, std::stoi(entry.path().filename().string()));
        }
        // Each open takes the lowest free number: once one above `highest` comes back, every
        // number below it is taken.
        for (int fd = 0; fd <= highest;) {
            fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                break;
            }
            m_Held.push_back(fd);
        }
        ::close(m_Held.back());
        m_Held.pop_back();
        rlimit low = m_Saved;
        low.rlim_cur = static_cast<rlim_t>(highest + 1 + left);
        ::setrlimit(RLIMIT_NOFILE, &low);
    }
    ~DescriptorsLeft() {
        ::setrlimit(RLIMIT_NOFILE, &m_Saved);
        for (int fd : m_Held) {
            ::close(fd);
        }
    }

private:
    rlimit m_Saved{};
    std::vector<int> m_Held;
};

TEST(RunController, RunnerWithoutADescriptorFailsTheJobAndTheQueueGoesOn) {
    RunFixture f;
    // A whole run first: a sanitized build checks each call's object the first time, and
    // needs descriptors of its own for that.
    f.AddJob("warm-up", 2);
    f.controller->OnStartProcessing();
    f.RunQueue();
    ASSERT_EQ(f.Status(0), "Complete");
    f.AddJob("one", 2);
    f.AddJob("two", 2);
    {
        // No descriptor left: neither the list nor the runner's output can be opened.
        DescriptorsLeft none(0);
        f.controller->OnStartProcessing();
    }
    f.RunQueue();
    EXPECT_TRUE(f.Logged("2   ERROR: Couldn't start ECLCCE Process"));
    EXPECT_EQ(f.Status(1), "Error");
    EXPECT_EQ(f.Status(2), "Complete");
    EXPECT_TRUE(f.Logged("0 No more jobs!!!"));
}

TEST(RunController, LongJobNameIsLoggedWhole) {
    RunFixture f;
    f.AddJob("long", 2);
    std::string name(700, 'n');
    jobs::SetJobString(f.store.Store(), 0, jobs::kName, name);
    f.controller->OnStartProcessing();
    f.RunQueue();
    EXPECT_TRUE(f.Logged("0 Starting Job: " + name));
    EXPECT_EQ(f.Status(0), "Complete");
}

TEST(RunController, NothingIsWrittenIntoTheCurrentFolder) {
    // A job whose source is no full path, and one on a program folder without its runner.
    RunFixture f;
    f.AddJob("relative", 2);
    jobs::SetJobString(f.store.Store(), 0, jobs::kInput, "relative.avi");
    f.AddJob("one", 2);
    testing_support::TempDir cwd;
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(cwd.Path());
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    std::filesystem::remove(f.dir.File("EclCCE"));
    f.RunQueue();
    std::filesystem::current_path(before);
    EXPECT_TRUE(
        f.Logged("2   ERROR: Could not write the ECL file for the source \"relative.avi\""));
    EXPECT_EQ(f.Status(0), "Error");
    EXPECT_EQ(f.Status(1), "Error");
    EXPECT_TRUE(f.Logged("2   ERROR: Couldn't start ECLCCE Process"));
    EXPECT_TRUE(std::filesystem::is_empty(cwd.Path()));
}

TEST(RunController, PulldownJobHandsItsStreamOverAndWaitsForTheResult) {
    RunFixture f;
    f.AddJob("film", 2, 1);
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    std::string stream = f.dir.File("media/film.mpv");
    ASSERT_EQ(f.pulldowns.size(), 1u);
    EXPECT_EQ(f.pulldowns[0].first, stream);
    EXPECT_EQ(f.pulldowns[0].second, stream + ".m2v");
    EXPECT_EQ(f.Status(0), "Pending");
    EXPECT_FALSE(f.queue.IsTimerPending(run::MY_TIMER_NEXT_JOB));

    // A target of the same size is a success; with "deletempv" the stream then goes.
    std::filesystem::copy_file(stream, stream + ".m2v");
    f.window.deleteMpvKeyword = true;
    f.controller->OnPulldownFinished(0);
    EXPECT_TRUE(f.Logged("0   Pulldown successfull."));
    EXPECT_TRUE(f.Logged("0   File " + stream + " successfully deleted."));
    EXPECT_FALSE(testing_support::FileExists(stream));
    EXPECT_EQ(f.Status(0), "Complete");
    EXPECT_TRUE(f.queue.IsTimerPending(run::MY_TIMER_NEXT_JOB));
}

TEST(RunController, PulldownResultChecks) {
    struct Case {
        int code;
        bool makeTarget;
        bool sameSize;
        const char* status;
    };
    for (const Case& c : {Case{0, true, false, "Error"}, Case{9, true, true, "Error"},
                          Case{0, false, false, "Error"}, Case{0, true, true, "Complete"}}) {
        RunFixture f;
        f.AddJob("film", 2, 1);
        f.controller->OnStartProcessing();
        ASSERT_TRUE(f.Settle());
        std::string stream = f.dir.File("media/film.mpv");
        if (c.makeTarget) {
            testing_support::WriteFile(stream + ".m2v", c.sameSize
                                                            ? testing_support::ReadFile(stream)
                                                            : std::string("shorter"));
        }
        f.controller->OnPulldownFinished(c.code);
        EXPECT_EQ(f.Status(0), c.status) << c.code << c.makeTarget << c.sameSize;
        EXPECT_TRUE(testing_support::FileExists(stream)); // kept: deleting is off
    }
}

TEST(RunController, StopDuringPulldownKeepsTheJobsResultAndEndsTheRun) {
    RunFixture f;
    f.AddJob("film", 2, 1);
    f.AddJob("next", 2);
    f.controller->OnStartProcessing();
    ASSERT_TRUE(f.Settle());
    f.controller->OnStopProcessing();
    EXPECT_TRUE(f.controller->State().m_Processing); // the pass on a whole encode goes on
    std::string stream = f.dir.File("media/film.mpv");
    testing_support::WriteFile(stream + ".m2v", testing_support::ReadFile(stream));
    f.controller->OnPulldownFinished(0);
    EXPECT_TRUE(f.Logged("0   Pulldown successfull."));
    // The run ends at its next step, after the stream's report, without a pause before it.
    EXPECT_EQ(f.queue.TimeUntil(run::MY_TIMER_NEXT_JOB), 0);
    f.RunQueue();
    EXPECT_TRUE(f.Logged("1 Processing Stopped!!!!!"));
    EXPECT_EQ(f.Status(0), "Complete");
    EXPECT_EQ(f.Status(1), "Pending");
    EXPECT_FALSE(f.queue.IsTimerPending(run::MY_TIMER_NEXT_JOB));
    EXPECT_FALSE(f.controller->State().m_Processing);
    EXPECT_TRUE(f.dialog.IsEnabled(ids::kExit));
}

TEST(RunController, UtilityRunNeverWritesAStatus) {
    RunFixture f;
    f.AddJob("film", 2);
    std::string chosen = f.dir.File("media/clip.mpv");
    f.controller->OnPulldownUtility(chosen);
    ASSERT_EQ(f.pulldowns.size(), 1u);
    EXPECT_EQ(f.pulldowns[0].second, chosen + ".m2v");
    EXPECT_FALSE(f.dialog.IsEnabled(ids::kStop));
    f.controller->OnPulldownFinished(2);
    EXPECT_TRUE(f.Logged("2   Pulldown failed."));
    EXPECT_EQ(f.Status(0), "Pending");
    EXPECT_TRUE(f.dialog.IsEnabled(ids::kNewJob));
    EXPECT_FALSE(f.queue.IsTimerPending(run::MY_TIMER_NEXT_JOB));
}

// A status the store refuses (a full disk, another process holding the write lock past the
// wait) ends the run with the job left as it was, instead of encoding it again and again.
TEST(RunController, AStatusWriteTheStoreRefusesEndsTheRun) {
    for (bool fullDisk : {true, false}) {
        SCOPED_TRACE(fullDisk ? "full disk" : "lock held");
        testing_support::SmallDisk disk(1 << 20);
        if (!disk.Mounted()) {
            VANTAQ_SKIP_OR_FAIL(disk.Reason());
        }
        RunFixture f;
        store::KeyStore& s = f.store.Store();
        // The fixture's store, moved onto the small disk.
        s.Close();
        std::filesystem::copy_file(f.store.Path(), disk.File("store.sqlite"));
        ASSERT_TRUE(s.Open(disk.File("store.sqlite")));
        s.SetBusyTimeout(100);
        f.AddJob("one", 2);
        f.AddJob("two", 2);
        f.window.exitKeyword = true;
        testing_support::LockHolder holder(disk.File("store.sqlite"));
        f.controller->OnStartProcessing();
        ASSERT_TRUE(fullDisk ? disk.Fill() : holder.Hold());
        f.RunQueue();
        holder.Release();
        disk.Free();

        EXPECT_EQ(f.Status(0), "Pending");
        EXPECT_EQ(f.Status(1), "Pending");
        std::string runs = f.RunnerLog();
        EXPECT_EQ(runs.find("one.ecl"), runs.rfind("one.ecl")) << runs; // encoded once
        EXPECT_EQ(runs.find("two.ecl"), std::string::npos);
        auto error =
            std::find_if(f.lines.rows.begin(), f.lines.rows.end(), [](const std::string& r) {
                return r.rfind("2 ERROR: Could not mark job one \"Complete\": the store ", 0) == 0;
            });
        ASSERT_NE(error, f.lines.rows.end());
        EXPECT_NE(error->find(fullDisk ? "full" : "locked"), std::string::npos) << *error;
        EXPECT_FALSE(f.controller->State().m_Processing);
        EXPECT_EQ(f.controller->State().m_CurrentJob, -1);
        EXPECT_TRUE(f.dialog.IsEnabled(ids::kExit));
        EXPECT_TRUE(f.window.closedAfterFailure);
        EXPECT_FALSE(f.window.closed);
    }
}

// An encode left running by an earlier start and followed by this one: its time left comes from
// its own start, not from the moment it was followed, so it shrinks as the encode goes on.
TEST(RunController, AFollowedEncodesTimeLeftComesFromItsOwnStart) {
    RunFixture f;
    f.AddJob("followed", 2);
    const std::string log = f.dir.File("media/followed.run.log");
    ASSERT_TRUE(testing_support::WriteFile(log, "60% / followed\n"));
    // The encode: a process of its own that the test ends.
    platform::PosixProcesses processes;
    int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(out, 0);
    run::RunRecord record;
    ASSERT_EQ(processes.StartInOwnGroup({"sleep", "120"}, out, record.runner.pid), 0);
    ::close(out);
    ASSERT_TRUE(processes.Identify(record.runner.pid, record.runner));
    record.where = run::RunWhere::kLocal;
    record.key = run::NewRunKey(f.clockSeconds);
    record.eclPath = f.dir.File("media/followed.ecl");
    record.jobStartTime = f.clockSeconds - 600; // taken ten minutes ago
    record.processStartTime = record.jobStartTime;
    ASSERT_TRUE(run::SaveRunRecord(f.store.Store(), 0, record));

    f.controller->ResumeRun();
    const run::RunProgress& progress = f.controller->Progress();
    ASSERT_TRUE(f.queue.RunUntil([&] { return progress.Percent() == 60; }, 20000));
    EXPECT_EQ(progress.JobSecondsLeft(), 400); // 60% in 600 s
    f.clockSeconds += 60;
    std::ofstream(log, std::ios::app) << "66% / followed\n";
    ASSERT_TRUE(f.queue.RunUntil([&] { return progress.Percent() == 66; }, 20000));
    EXPECT_EQ(progress.JobSecondsLeft(), 340); // 66% in 660 s

    processes.SignalGroup(record.runner.pid, SIGKILL);
    processes.Reap(record.runner.pid);
    // The follower sees the end; the job without outputs ends the followed run.
    ASSERT_TRUE(f.queue.RunUntil([&] { return f.Logged("3 In OnProcessFinished(MY_TIMER_PASS1)"); },
                                 20000));
    f.RunQueue();
    EXPECT_FALSE(f.controller->State().m_Processing);
}
