// The run inside the window: the "start" and "exit" keywords drive a queue through the
// controller, and the window's shared state follows the run.
#include "app/run_wiring.h"
#include "cluster/cluster_run.h"
#include "jobs/job_store.h"
#include "main_window_fixture.h"
#include "platform/control_ids.h"
#include "platform/posix/posix_processes.h"
#include "support/store_faults.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

using app_testing::MainWindowRig;
namespace ids = platform::main_window;

namespace {

// The window's logic with a real run controller behind it; no runner beside the program, so
// every job fails to start and each step follows at once.
struct WiredRig : MainWindowRig {
    // `showStatus`: the run is shown in the title and the tray tip as in the program.
    explicit WiredRig(bool showStatus = false) : wiring(dialog, temp.Store(), log) {
        app::MainWindowHooks hooks;
        wiring.AddHooks(hooks);
        hooks.pulldownUtility = [this, forward = hooks.pulldownUtility](const std::string& p) {
            events.push_back("utility:" + p);
            forward(p);
        };
        Build(std::move(hooks));
        run::RunServices services;
        services.store = &temp.Store();
        services.log = &log;
        services.dialog = &dialog;
        services.queue = &queue;
        services.window = &wiring;
        services.settings = &window->m_Settings;
        services.processes = std::make_shared<platform::PosixProcesses>();
        services.programPath = programPath;
        services.startPulldown = [this](const std::string& source, const std::string&) {
            events.push_back("pulldown:" + source);
        };
        services.now = [this] { return static_cast<int64_t>(queue.Now() / 1000); };
        services.cceVersion = [] { return 5; };
        controller = std::make_unique<run::RunController>(std::move(services));
        if (showStatus) {
            wiring.ShowRunStatus(queue, [this] { return static_cast<int64_t>(queue.Now()); });
        }
        wiring.Attach(window.get(), controller.get());
    }
    // Starts with `line` and runs the queue to its end; without a runner every step follows at
    // once.
    void RunQueue(const std::string& line) {
        Start(line);
        for (int i = 0; i < 20 && controller->State().m_Processing; ++i) {
            queue.RunUntil([&] { return queue.QueuedMessages() == 0; }, 2000);
            queue.FireNextTimer();
        }
    }

    app::RunWiring wiring;
    std::unique_ptr<run::RunController> controller;
};

} // namespace

TEST(RunWiring, StartAndExitKeywordsRunTheQueueAndCloseTheWindow) {
    WiredRig rig;
    rig.AddJob("one");
    rig.AddJob("two");
    rig.RunQueue("vantaq -start -exit");
    EXPECT_FALSE(rig.controller->State().m_Processing);
    EXPECT_EQ(rig.controller->State().m_CurrentJob, -1);
    for (int job : {0, 1}) {
        std::string status;
        jobs::GetJobString(rig.temp.Store(), job, jobs::kStatus, 255, status);
        EXPECT_EQ(status, "Error");
    }
    EXPECT_TRUE(rig.Saw("log:2:  ERROR: Couldn't start ECLCCE Process"));
    EXPECT_TRUE(rig.Saw("log:0:No more jobs!!!"));
    EXPECT_TRUE(rig.Saw("end"));
    EXPECT_EQ(rig.window->m_ExitStatus, 0);
    EXPECT_TRUE(rig.dialog.IsEnabled(ids::kStart));
    EXPECT_FALSE(rig.dialog.IsEnabled(ids::kStop));
}

// A status the store refuses (another process holds its write lock) ends the run, and the
// "exit" keyword then ends the program with status 1.
TEST(RunWiring, TitleAndTipShowTheRunThenTheIdleTextsAndTheEndIsNotified) {
    WiredRig rig(true);
    rig.AddJob("one");
    rig.AddJob("two");
    rig.dialog.SetTitle("Vantaq 1.0.0.0");
    rig.RunQueue("vantaq -start -minimize");
    EXPECT_FALSE(rig.controller->State().m_Processing);
    EXPECT_EQ(rig.dialog.GetTitle(), "Vantaq 1.0.0.0");
    // In the tray from the first job on: the second job's start shows there (no progress line
    // came, so no share and no time left), and the queue's end leaves the idle text.
    EXPECT_TRUE(rig.Saw("tray-update:Vantaq \u2014 job 2 of 2"))
        << testing::PrintToString(rig.events);
    std::vector<std::string> tray;
    for (const std::string& e : rig.events) {
        if (e.rfind("tray-", 0) == 0) {
            tray.push_back(e);
        }
    }
    ASSERT_GE(tray.size(), 3u);
    EXPECT_EQ(tray[tray.size() - 2], "tray-update:Vantaq Idle");
    EXPECT_EQ(tray.back(), "tray-notify:Vantaq: Queue finished: 0 jobs completed, 2 failed.");
}

TEST(RunWiring, AJobShowsEncodingWhileItRunsAndItsStatusOnceEnded) {
    WiredRig rig(true);
    rig.AddJob("one");
    rig.AddJob("two");
    // One pass, so the failed start ends the job at once.
    jobs::SetJobNumber(rig.temp.Store(), 0, jobs::kMethod, 2);
    rig.Start("vantaq");
    rig.window->OnStartProcessing();
    EXPECT_EQ(rig.window->JobDetails(0).rfind("Encoding  |", 0), 0u) << rig.window->JobDetails(0);
    // Ended, and the pause before the next job: its stored status, not "Encoding".
    rig.queue.RunUntilIdle();
    rig.controller->OnTimer(run::MY_TIMER_STATUS_SHOWN);
    ASSERT_EQ(rig.controller->State().m_CurrentJob, 0);
    ASSERT_TRUE(rig.queue.IsTimerPending(run::MY_TIMER_NEXT_JOB));
    EXPECT_EQ(rig.window->JobDetails(0).rfind("Error: No source file is set for the job.  |", 0),
              0u)
        << rig.window->JobDetails(0);
}

TEST(RunWiring, ARefusedStatusWriteEndsAnExitRunWithStatusOne) {
    WiredRig rig;
    rig.AddJob("one");
    rig.temp.Store().SetBusyTimeout(50);
    testing_support::LockHolder holder(rig.temp.Path());
    ASSERT_TRUE(holder.Hold());
    rig.RunQueue("vantaq -start -exit");
    holder.Release();
    EXPECT_FALSE(rig.controller->State().m_Processing);
    EXPECT_TRUE(rig.Saw("end"));
    EXPECT_EQ(rig.window->m_ExitStatus, 1);
    std::string status;
    jobs::GetJobString(rig.temp.Store(), 0, jobs::kStatus, 255, status);
    EXPECT_EQ(status, "Pending");
}

TEST(RunWiring, TheWindowReadsTheRunsOwnState) {
    WiredRig rig;
    rig.AddJob("one");
    rig.AddJob("two");
    rig.Start("vantaq");
    // A run on job 1: the window sees it without any hand-over. Its list operations never
    // write the run's state: the run finds its job again by the job's run key.
    run::RunState state;
    rig.window->AttachRun(state, [&state] { return state.m_CurrentJob; });
    state.m_Processing = true;
    state.m_CurrentJob = 1;
    EXPECT_TRUE(rig.window->Processing());
    rig.dialog.SetSelection(ids::kJobList, 1);
    rig.window->OnMoveJobUp();
    EXPECT_EQ(state.m_CurrentJob, 1);

    // No pulldown utility while a run or a pass is in progress; afterwards it starts.
    rig.window->OnPulldownUtility("/tmp/a.mpv");
    state.m_Processing = false;
    state.m_PulldownRunning = true;
    rig.window->OnPulldownUtility("/tmp/b.mpv");
    EXPECT_FALSE(rig.Saw("utility:/tmp/a.mpv"));
    EXPECT_FALSE(rig.Saw("utility:/tmp/b.mpv"));
    // Back on the controller's own state.
    rig.wiring.Attach(rig.window.get(), rig.controller.get());
    const run::RunState& real = rig.controller->State();
    rig.window->OnPulldownUtility("/tmp/c.mpv");
    EXPECT_TRUE(rig.Saw("pulldown:/tmp/c.mpv"));
    EXPECT_TRUE(real.m_PulldownRunning);
    // Nor a run beside the pass: it would take over the pass's output path.
    EXPECT_FALSE(rig.dialog.IsEnabled(ids::kStart));
    rig.window->OnStartProcessing();
    EXPECT_FALSE(real.m_Processing);
    // Its end clears the pass.
    rig.controller->OnPulldownFinished(2);
    EXPECT_FALSE(real.m_PulldownRunning);
    EXPECT_FALSE(rig.window->RunBusy());

    // A FIFO is never handed to the pass, which would wait on it for good.
    testing_support::TempDir dir;
    std::string fifo = dir.File("pipe.mpv");
    ASSERT_TRUE(testing_support::MakeFifo(fifo));
    rig.window->OnPulldownUtility(fifo);
    EXPECT_FALSE(rig.Saw("pulldown:" + fifo));
    EXPECT_FALSE(rig.window->RunBusy());
    EXPECT_TRUE(rig.dialog.IsEnabled(ids::kStart));
}

// With the cluster chosen, Start hands the jobs to sbatch as argument vectors, a poll follows
// them, one ends while the other runs (its row keeps the running image), and Stop cancels the
// rest; the run's state that the window reads follows the cluster run.
TEST(RunWiring, ClusterChoiceSubmitsFollowsAndStopCancels) {
    WiredRig rig(true);
    cluster::ClusterSettings where;
    where.m_UseSlurm = true;
    where.m_Partition = "encode";
    where.m_MaxJobs = 2;
    where.m_SbatchOptions = {"--comment=a b $HOME \"q\""};
    ASSERT_TRUE(cluster::WriteClusterSettings(rig.temp.Store(), where));
    rig.AddJob("one");
    rig.AddJob("two");
    rig.AddJob("three");
    for (int job : {0, 1, 2}) {
        jobs::SetJobString(rig.temp.Store(), job, jobs::kInput,
                           rig.logDir.File("s" + std::to_string(job) + ".avi"));
    }
    std::vector<std::vector<std::string>> calls;
    bool slurmDown = false;
    std::string queueLines = "41|RUNNING|None\n42|PENDING|Priority\n";
    int submitted = 40;
    cluster::ClusterServices services;
    services.store = &rig.temp.Store();
    services.log = &rig.log;
    services.dialog = &rig.dialog;
    services.queue = &rig.queue;
    services.window = &rig.wiring;
    services.settings = &rig.window->m_Settings;
    services.programPath = rig.programPath;
    services.inspect = [](const std::string&) {
        return ecl::SourceFacts{true, 176, 144, 24000, 1001, 24};
    };
    services.now = [] { return int64_t{1000}; };
    services.cceVersion = [] { return 5; };
    // The jobs that have ended, as scontrol tells them.
    std::map<std::string, std::string> ended = {{"41", "COMPLETED"}};
    services.runCommand = [&](const std::vector<std::string>& argv, std::string& out, int& status) {
        // The searches for a submission by its name before each sbatch find none; they are
        // not counted among the calls.
        bool lookup = argv[0] == "sacct" || (argv[0] == "squeue" && argv[4] != "-j");
        if (!lookup) {
            calls.push_back(argv);
        }
        if (slurmDown) {
            out = "squeue: no answer within 20 s";
            return false;
        }
        if (argv[0] == "scancel") {
            ended[argv[1]] = "CANCELLED";
            queueLines.clear();
        }
        auto end = argv[0] == "scontrol" ? ended.find(argv.back()) : ended.end();
        out = lookup                ? ""
              : argv[0] == "sbatch" ? std::to_string(++submitted) + ";main\n"
              : argv[0] == "squeue" ? queueLines
              : end != ended.end()  ? "JobId=" + end->first + " JobState=" + end->second +
                                         " Reason=None ExitCode=0:0\n"
                                   : "";
        status = argv[0] == "scontrol" && end == ended.end() ? 1 : 0;
        return true;
    };
    cluster::ClusterRun clusterRun(std::move(services), *rig.controller);
    rig.controller->SetRemote(&clusterRun);
    rig.wiring.AttachCluster(&clusterRun);
    // The Slurm commands answer off the window's thread.
    auto answered = [&] { return rig.queue.RunUntil([&] { return !clusterRun.Busy(); }, 10000); };
    rig.dialog.SetTitle("Vantaq 1.0.0.0");

    rig.Start("vantaq -start -deletempv");
    ASSERT_TRUE(answered());
    ASSERT_TRUE(answered());
    ASSERT_EQ(calls.size(), 2u);
    // Submitted under its name and run key, by which it is found again.
    ASSERT_EQ(calls[0].size(), 13u);
    EXPECT_EQ(calls[0][3].rfind("one.vq-", 0), 0u) << calls[0][3];
    EXPECT_EQ(calls[0], (std::vector<std::string>{
                            "sbatch", "--parsable", "-J", calls[0][3], "-o",
                            rig.logDir.File("s0.job.log"), "--open-mode=append", "-p", "encode",
                            "--comment=a b $HOME \"q\"", "/opt/vantaq/vantaq-job-exec.sh",
                            "/opt/vantaq/vantaq-job", rig.logDir.File("s0.job.reg")}));
    EXPECT_TRUE(testing_support::FileExists(rig.logDir.File("s0.ecl")));
    // The node deletes the ".mpv" after its pulldown pass as the keyword asks.
    EXPECT_NE(testing_support::ReadFile(rig.logDir.File("s1.job.reg"))
                  .find("\"DeleteMPV\"=dword:00000001"),
              std::string::npos);
    EXPECT_TRUE(rig.Saw("log:0:  Submitted to Slurm as job 42"));
    ASSERT_NE(rig.wiring.ClusterJobAt(1), nullptr);
    EXPECT_EQ(rig.wiring.ClusterJobAt(2), nullptr);
    EXPECT_TRUE(rig.window->Processing());
    EXPECT_TRUE(rig.dialog.IsEnabled(ids::kStop));
    EXPECT_FALSE(rig.dialog.IsEnabled(ids::kStart));

    testing_support::WriteFile(rig.logDir.File("s0.job.log"), "Starting Job: one\n42% / one\n");
    rig.queue.FireNextTimer(); // a poll: one squeue for both jobs
    ASSERT_TRUE(answered());
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls.back()[0], "squeue");
    EXPECT_EQ(rig.wiring.ClusterJobAt(0)->state, "RUNNING");
    EXPECT_EQ(rig.wiring.ClusterJobAt(1)->state, "PENDING");
    // Each job's row shows its Slurm job, state and progress.
    EXPECT_EQ(rig.window->JobDetails(0).rfind("Slurm job 41 RUNNING 42%  |", 0), 0u)
        << rig.window->JobDetails(0);
    // A job Slurm keeps waiting shows why.
    EXPECT_EQ(rig.window->JobDetails(1).rfind("Slurm job 42 PENDING (Priority)  |", 0), 0u)
        << rig.window->JobDetails(1);
    EXPECT_EQ(rig.window->JobDetails(2).rfind("Pending  |", 0), 0u) << rig.window->JobDetails(2);
    EXPECT_EQ(rig.dialog.GetTitle(), "Vantaq \u2014 2 jobs on the Slurm cluster, 21%");
    // Slurm out of reach: nothing is concluded, and the next poll waits longer.
    slurmDown = true;
    rig.queue.FireNextTimer();
    ASSERT_TRUE(answered());
    EXPECT_EQ(calls.size(), 4u);
    EXPECT_TRUE(rig.Saw("log:1:WARNING: Slurm does not answer (squeue: squeue: no answer within "
                        "20 s); asking again later."));
    EXPECT_EQ(rig.queue.TimeUntil(cluster::MY_TIMER_CLUSTER_POLL), 2 * cluster::kPollMilliseconds);
    slurmDown = false;
    // The first ends without its stream: "Error"; the third takes its place, the second keeps
    // running and keeps its row's running image.
    queueLines = "41|COMPLETED|None\n42|RUNNING|None\n";
    rig.queue.FireNextTimer();
    ASSERT_TRUE(answered());
    ASSERT_TRUE(answered()); // the third job's sbatch
    EXPECT_TRUE(rig.Saw("log:0:  Slurm job 41 (one): Error")) << testing::PrintToString(rig.events);
    EXPECT_EQ(rig.dialog.GetRowImage(ids::kJobList, 0), jobs::kImageError);
    EXPECT_EQ(rig.dialog.GetRowImage(ids::kJobList, 1), jobs::kImageRunning);
    EXPECT_EQ(rig.dialog.GetRowImage(ids::kJobList, 2), jobs::kImageRunning);
    EXPECT_EQ(calls.back()[0], "sbatch");

    rig.window->OnStopProcessing();
    ASSERT_TRUE(answered());
    EXPECT_EQ(rig.dialog.GetTitle(), "Vantaq 1.0.0.0");
    for (const char* id : {"42", "43"}) {
        EXPECT_EQ(std::count(calls.begin(), calls.end(), std::vector<std::string>{"scancel", id}),
                  1);
    }
    EXPECT_FALSE(rig.window->Processing());
    EXPECT_TRUE(rig.dialog.IsEnabled(ids::kStart));
    EXPECT_TRUE(rig.Saw("log:1:Processing Stopped!!!!!"));
    for (int job : {1, 2}) {
        std::string status;
        jobs::GetJobString(rig.temp.Store(), job, jobs::kStatus, 255, status);
        EXPECT_EQ(status, "Pending");
        EXPECT_EQ(rig.dialog.GetRowImage(ids::kJobList, job), jobs::kImagePending);
    }
    EXPECT_FALSE(rig.queue.IsTimerPending(cluster::MY_TIMER_CLUSTER_POLL));
}
