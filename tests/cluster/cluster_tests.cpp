// The queue on a real one-node Slurm cluster (two CPUs), driven through the cluster run as the
// window drives it, with real sources, the real vantaq-job, runner and encoder; and vantaq-job
// on its own.
#include "cluster/cluster_run.h"
#include "cluster/job_description.h"
#include "cluster/job_result.h"
#include "env/startup_checks.h"
#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "platform/fake_ui_queue.h"
#include "platform/memory_dialog.h"
#include "platform/posix/posix_processes.h"
#include "platform/posix/program_output.h"
#include "run/output_clash.h"
#include "store/paths.h"
#include "support/media.h"
#include "support/test_support.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string kProgramDir = VANTAQ_PROGRAM_DIR;

class Window : public run::RunWindow {
public:
    void ResetJobEditor() override {}
    void UpdateJobButtons() override {}
    void RefreshJobList() override {}
    void RefreshJobRow(int, int) override {}
    bool InTray() const override { return false; }
    void UpdateTrayIcon(const std::string&) override {}
    void CloseWindow() override {}
    bool HasExitKeyword() const override { return false; }
    bool HasDeleteMpvKeyword() const override { return false; }
    void OnQueueFinished(int completed, int failed) override {
        finished = std::to_string(completed) + " completed, " + std::to_string(failed) + " failed";
    }
    std::string finished; // what the end of the queue reported
};

// A store with the default templates, the settings and jobs of short real sources.
class Queue {
public:
    Queue() {
        store::KeyStore& s = store.Store();
        for (const char* flag :
             {"EnableLogging", "DeleteMPV", "AutoBias", "CCEPriority", "HideCCEWindow"}) {
            s.WriteNumber(store::kHive, store::kRootPath, flag, 0);
        }
        s.WriteNumber(store::kHive, store::kRootPath, "OutputSameDir", 1);
        s.WriteString(store::kHive, store::kRootPath, "OutputDirectory", "");
        templates::InitTemplates(s);
    }

    // A one-pass job of a `seconds` long film source, made unless `makeSource` is false; with
    // `pulldown` the job asks for the 2:3 pulldown pass.
    void AddJob(const std::string& name, double seconds, bool makeSource = true,
                bool pulldown = false) {
        std::string source = dir.File(name + ".avi");
        if (makeSource) {
            ASSERT_TRUE(media::MakeAvi(source, "176x144", "24000/1001", seconds, "mjpeg", false));
        }
        jobs::JobRecord r;
        r.name = name;
        r.input = source;
        r.templateKey = "2";
        r.method = 2;
        r.bitrateMax = 8000;
        r.bitrateAvg = 4000;
        r.passes = 1;
        r.aspectRatio = 2;
        r.qFactor = 40;
        r.bias = 30;
        r.quality = 16;
        // The last frame of the source (23.976 frames a second), as a whole count.
        r.endFrame = static_cast<int>(std::ceil(seconds * 24000 / 1001));
        r.telecide = pulldown ? 1 : 0;
        r.progressive = pulldown ? 1 : 0;
        int count = jobs::JobCount(store.Store());
        ASSERT_TRUE(jobs::WriteJobRecord(store.Store(), count, r));
    }

    // A job that encodes for several seconds (about 3 s here, unloaded), long enough to be
    // stopped or killed on the node however loaded the machine is: copies of one 640x480
    // source of a minute.
    void AddLongJob(const std::string& name) {
        std::string source = dir.File("long.avi");
        if (!testing_support::FileExists(source)) {
            ASSERT_TRUE(media::MakeAvi(source, "640x480", "24000/1001", 60, "mjpeg", false));
        }
        std::filesystem::copy_file(source, dir.File(name + ".avi"));
        AddJob(name, 60, false);
    }

    std::string Status(int job) {
        std::string status;
        jobs::GetJobString(store.Store(), job, jobs::kStatus, 255, status);
        return status;
    }

    testing_support::TempDir dir;
    testing_support::TempStore store;
};

bool Slurm(const std::vector<std::string>& argv, std::string& output, int& status) {
    return platform::RunProgram(argv, output, status, cluster::kCommandTimeoutMs);
}

// The Slurm commands as the run gives them: with a timeout a test may shorten, counting sbatch's
// answers. Shared with the commands' threads, which may outlive a test.
struct Commands {
    std::atomic<int> timeoutMs{cluster::kCommandTimeoutMs};
    std::atomic<int> sbatchAnswers{0};
};

// The first `program` in PATH.
std::string InPath(const std::string& program) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    for (size_t at = 0; at <= path.size();) {
        size_t colon = std::min(path.find(':', at), path.size());
        std::string file = path.substr(at, colon - at) + "/" + program;
        if (::access(file.c_str(), X_OK) == 0) {
            return file;
        }
        at = colon + 1;
    }
    return program;
}

// The cluster run over a Queue, with the window's in-memory stand-ins and a fast poll.
class ClusterTest : public testing::Test, public platform::MessageHandler {
protected:
    void SetUp() override {
        std::ifstream state(VANTAQ_SLURM_STATE);
        std::string line;
        if (!std::getline(state, line)) {
            FAIL() << "no test cluster: run these tests through ctest, whose fixture starts it";
        }
        if (line.rfind("SKIP: ", 0) == 0) {
            VANTAQ_SKIP_OR_FAIL("Slurm cannot be started here: " + line.substr(6));
        }
        ASSERT_EQ(line.rfind("SLURM_CONF=", 0), 0u) << line;
        setenv("SLURM_CONF", line.substr(11).c_str(), 1);
        std::string output;
        int status = -1;
        ASSERT_TRUE(Slurm({"scontrol", "ping"}, output, status) && status == 0) << output;

        queue.SetHandler(this);
        cluster::ClusterServices services;
        services.store = &q.store.Store();
        services.log = &log;
        services.dialog = &dialog;
        services.queue = &queue;
        services.window = &window;
        services.settings = &settings;
        services.programPath = kProgramDir + "/vantaq";
        services.inspect = [](const std::string& path) {
            return ecl::ReadSourceFacts(path, kProgramDir);
        };
        services.now = [] { return static_cast<int64_t>(std::time(nullptr)); };
        services.cceVersion = [] { return env::GetCceVersion(kProgramDir + "/vantaq"); };
        std::shared_ptr<Commands> commands = m_Commands;
        services.runCommand = [commands](const std::vector<std::string>& argv, std::string& output,
                                         int& status) {
            bool ran = platform::RunProgram(argv, output, status, commands->timeoutMs);
            commands->sbatchAnswers += argv[0] == "sbatch";
            return ran;
        };
        services.pollMilliseconds = 100;
        run::RunServices own;
        own.store = &q.store.Store();
        own.log = &log;
        own.dialog = &dialog;
        own.queue = &queue;
        own.window = &window;
        own.settings = &settings;
        own.processes = std::make_shared<platform::PosixProcesses>();
        own.programPath = services.programPath;
        own.inspect = services.inspect;
        own.now = services.now;
        own.cceVersion = services.cceVersion;
        m_Own = own;
        m_Services = services;
        MakeRun();
    }
    // The program's run and its cluster executor, made anew as a new start of the program does.
    void MakeRun() {
        run.reset();
        owner = std::make_unique<run::RunController>(m_Own);
        run = std::make_unique<cluster::ClusterRun>(m_Services, *owner);
        owner->SetRemote(run.get());
    }
    void TearDown() override {
        if (!m_Path.empty()) {
            setenv("PATH", m_Path.c_str(), 1);
        }
        if (run && run->Active()) {
            Stop();
        }
        queue.SetHandler(nullptr);
    }
    int64_t OnMessage(platform::Message& message) override {
        if (run) {
            run->OnMessage(message);
        }
        return 0;
    }
    void OnTimer(int timerId) override { owner->OnTimer(timerId); }

    // Delivers the Slurm commands' answers until none is outstanding.
    bool Answered() {
        return queue.RunUntil([&] { return !run->Busy(); }, 60000);
    }
    // Start with the cluster chosen, once every job that fits has been handed over.
    void Start(const cluster::ClusterSettings& where) {
        ASSERT_TRUE(cluster::WriteClusterSettings(q.store.Store(), where));
        owner->OnStartProcessing();
        ASSERT_TRUE(Answered());
    }
    void Stop() {
        owner->OnStopProcessing();
        Answered();
    }

    // Lets real time pass at the poll's pace, firing the poll timer, until `done` or 90 s.
    bool PollUntil(const std::function<bool()>& done, const std::function<void()>& each = {}) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            queue.FireNextTimer();
            queue.RunUntil([&] { return !run->Busy(); }, 60000);
            if (each) {
                each();
            }
        }
        return true;
    }
    bool AnyRunning() const {
        const auto& jobs = run->Jobs();
        return std::any_of(jobs.begin(), jobs.end(),
                           [](const cluster::ClusterJob& j) { return j.state == "RUNNING"; });
    }
    std::string SlurmState(const std::string& id) {
        cluster::SlurmJobInfo info;
        cluster::QueryJob(Slurm, id, info);
        return info.state;
    }
    std::string Rows() const { return testing::PrintToString(lines.rows); }

    // Puts a script `program` earlier in PATH than the real one, which it finds in $REAL.
    void Fault(const std::string& program, const std::string& body) {
        if (m_Path.empty()) {
            m_Path = std::getenv("PATH");
            setenv("PATH", (m_Faults.Path() + ":" + m_Path).c_str(), 1);
        }
        std::string file = m_Faults.File(program);
        std::ofstream(file) << "#!/bin/sh\nREAL=" << InPath(program) << "\n" << body << "\n";
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    }
    // How many jobs the controller was given for the job `name` by this test program (the run
    // keys in the names hold its process id; the cluster outlives a test program).
    int Submissions(const std::string& name) {
        std::string output;
        int status = -1;
        EXPECT_TRUE(Slurm({"squeue", "-h", "-t", "all", "-o", "%j"}, output, status) && status == 0)
            << output;
        std::string head = cluster::SlurmJobName(name) + ".vq-";
        std::string ours = "-" + std::to_string(::getpid()) + "-";
        int count = 0;
        for (size_t at = 0; at < output.size(); at = output.find('\n', at) + 1) {
            std::string line = output.substr(at, output.find('\n', at) - at);
            count += line.rfind(head, 0) == 0 && line.find(ours) != std::string::npos;
            if (output.find('\n', at) == std::string::npos) {
                break;
            }
        }
        return count;
    }
    std::string Value(int job, const char* name) {
        std::string text;
        jobs::GetJobString(q.store.Store(), job, name, jobs::kWholeValue, text);
        return text;
    }

    Queue q;
    testing_support::LogLines lines;
    logging::Log log{lines, std::string()};
    platform::MemoryDialog dialog{platform::MainWindowControls()};
    platform::FakeUiQueue queue;
    Window window;
    env::Settings settings;
    run::RunServices m_Own;
    cluster::ClusterServices m_Services;
    std::unique_ptr<run::RunController> owner;
    std::unique_ptr<cluster::ClusterRun> run;
    std::shared_ptr<Commands> m_Commands = std::make_shared<Commands>();
    testing_support::TempDir m_Faults;
    std::string m_Path; // PATH before the faults
};

cluster::ClusterSettings OnSlurm(int maxJobs) {
    cluster::ClusterSettings s;
    s.m_UseSlurm = true;
    s.m_MaxJobs = maxJobs;
    s.m_SbatchOptions = {"--cpus-per-task=1"};
    return s;
}

TEST_F(ClusterTest, FourJobsRunTwoAtATimeAndComplete) {
    // Slurm reads "%" (and "\\") in the log's path as a pattern.
    const std::string names[] = {"a", "b\\x", "c 100%20x%j", "d"};
    for (int job = 0; job < 3; ++job) {
        q.AddJob(names[job], 1);
    }
    q.AddJob(names[3], 1, true, true);
    Start(OnSlurm(2));
    ASSERT_TRUE(owner->State().m_Processing);
    EXPECT_EQ(run->Jobs().size(), 2u);
    size_t mostHandedOver = 0;
    size_t mostRunning = 0;
    std::vector<int> progress;
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); },
                          [&] {
                              mostHandedOver = std::max(mostHandedOver, run->Jobs().size());
                              size_t running = 0;
                              for (const cluster::ClusterJob& j : run->Jobs()) {
                                  running += j.state == "RUNNING";
                                  progress.push_back(j.progress);
                              }
                              mostRunning = std::max(mostRunning, running);
                          }))
        << Rows();
    EXPECT_EQ(mostHandedOver, 2u);
    EXPECT_EQ(mostRunning, 2u);
    EXPECT_FALSE(owner->State().m_Processing);
    EXPECT_EQ(window.finished, "4 completed, 0 failed");
    for (int job = 0; job < 4; ++job) {
        EXPECT_EQ(q.Status(job), "Complete") << Rows();
        media::Probe probe;
        std::string stream = q.dir.File(names[job] + ".mpv");
        ASSERT_TRUE(media::ProbeFile(stream, probe)) << stream;
        EXPECT_EQ(probe.width, 176);
        EXPECT_EQ(probe.height, 144);
        // The node's log holds the runner's progress and the job's end.
        std::string jobLog =
            testing_support::ReadFile(cluster::JobLogPathFor(q.dir.File(names[job] + ".ecl")));
        EXPECT_NE(jobLog.find("100% / "), std::string::npos) << jobLog;
        EXPECT_NE(jobLog.find("\nComplete\n"), std::string::npos) << jobLog;
    }
    // The pulldown pass ran on the node: the same stream, now with the 29.97 cadence.
    media::Probe film;
    media::Probe video;
    ASSERT_TRUE(media::ProbeFile(q.dir.File("d.mpv"), film));
    ASSERT_TRUE(media::ProbeFile(q.dir.File("d.mpv.m2v"), video));
    EXPECT_EQ(film.rateNum * 1001, 24000u * film.rateDen);
    EXPECT_EQ(video.rateNum * 1001 % (30000u * video.rateDen), 0u);
    EXPECT_EQ(testing_support::ReadFile(q.dir.File("d.mpv")).size(),
              testing_support::ReadFile(q.dir.File("d.mpv.m2v")).size());
    EXPECT_TRUE(lines.Has("0 Starting Job: " + names[2]));
    // One submission line with its Slurm id per job (the ids depend on the tests run before
    // on the same cluster), and one end line per job.
    auto count = [&](const std::string& head) {
        return std::count_if(lines.rows.begin(), lines.rows.end(),
                             [&](const std::string& r) { return r.rfind(head, 0) == 0; });
    };
    EXPECT_EQ(count("0   Submitted to Slurm as job "), 4) << Rows();
    EXPECT_EQ(count("0 Job: complete in "), 4);
    EXPECT_EQ(lines.rows.back(), "0 No more jobs!!!");
}

TEST_F(ClusterTest, JobWithAMissingSourceEndsErrorAndJobsSharingFilesTakeTurns) {
    // One output folder for every job, in the store the nodes get and in the window's settings.
    std::string out = q.dir.File("out");
    std::filesystem::create_directories(out);
    std::filesystem::create_directories(q.dir.File("sub"));
    q.store.Store().WriteNumber(store::kHive, store::kRootPath, "OutputSameDir", 0);
    q.store.Store().WriteString(store::kHive, store::kRootPath, "OutputDirectory", out);
    settings.m_OutputSameDir = false;
    settings.m_OutputDirectory = out;
    q.AddJob("gone", 1, false);
    q.AddJob("twice", 1);
    q.AddJob("twice", 1, false); // the same source again, and so the same ECL beside it
    q.AddJob("sub/twice", 1);    // another source, whose outputs go to the same files
    // The user chose to let them replace the first one's output (else they would end "Error").
    for (int job : {2, 3}) {
        ASSERT_TRUE(jobs::SetJobNumber(q.store.Store(), job, run::kReplaceOutput, 1));
    }
    Start(OnSlurm(4));
    size_t mostHandedOver = 0;
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); },
                          [&] { mostHandedOver = std::max(mostHandedOver, run->Jobs().size()); }))
        << Rows();
    // The three that share files took turns; the one without a source was never handed over.
    EXPECT_EQ(mostHandedOver, 1u);
    EXPECT_EQ(q.Status(0), "Error");
    EXPECT_EQ(q.Status(1), "Complete");
    EXPECT_EQ(q.Status(2), "Complete");
    EXPECT_EQ(q.Status(3), "Complete");
    EXPECT_TRUE(std::any_of(lines.rows.begin(), lines.rows.end(), [](const std::string& r) {
        return r.find("gone") != std::string::npos &&
               r.find("is missing or cannot be read; the job is not encoded") != std::string::npos;
    })) << Rows();
    EXPECT_FALSE(std::any_of(lines.rows.begin(), lines.rows.end(), [](const std::string& r) {
        return r.find("(gone)") != std::string::npos;
    })) << Rows();
    // It fails here, before any Slurm job, and its row says why.
    EXPECT_EQ(Value(0, cluster::kSlurmJobValue), "");
    EXPECT_EQ(jobs::GetJobLastError(q.store.Store(), 0),
              "Source file not found: " + q.dir.File("gone.avi"));
}

TEST_F(ClusterTest, StopCancelsQueuedAndRunningJobsAndLeavesThemPending) {
    for (const char* name : {"s1", "s2", "s3"}) {
        q.AddLongJob(name);
    }
    Start(OnSlurm(2));
    ASSERT_TRUE(PollUntil([&] { return AnyRunning(); })) << Rows();
    std::vector<std::string> ids;
    for (const cluster::ClusterJob& j : run->Jobs()) {
        ids.push_back(j.slurmId);
    }
    ASSERT_EQ(ids.size(), 2u);
    Stop();
    EXPECT_FALSE(run->Active());
    EXPECT_FALSE(owner->State().m_Processing);
    for (int job = 0; job < 3; ++job) {
        EXPECT_EQ(q.Status(job), "Pending");
    }
    EXPECT_TRUE(lines.Has("1 Processing Stopped!!!!!")) << Rows();
    for (const std::string& id : ids) {
        EXPECT_TRUE(lines.Has("0   Cancelled Slurm job " + id + " (s" +
                              std::to_string(&id - ids.data() + 1) + ")"))
            << Rows();
        EXPECT_TRUE(PollUntil([&] { return SlurmState(id) == "CANCELLED"; })) << SlurmState(id);
    }
}

TEST_F(ClusterTest, KilledNodeJobEndsErrorWithSlurmsReason) {
    q.AddLongJob("k");
    Start(OnSlurm(1));
    ASSERT_TRUE(PollUntil([&] { return AnyRunning(); })) << Rows();
    std::string id = run->Jobs().front().slurmId;
    std::string output;
    int status = -1;
    ASSERT_TRUE(Slurm({"scancel", "--signal=KILL", "--batch", id}, output, status) && status == 0)
        << output;
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); })) << Rows();
    EXPECT_EQ(q.Status(0), "Error");
    std::string line = "2   ERROR: Slurm ended job " + id +
                       " (k) as FAILED, reason JobLaunchFailure, exit code 0:9";
    EXPECT_TRUE(lines.Has(line)) << Rows();
    std::string jobLog = testing_support::ReadFile(cluster::JobLogPathFor(q.dir.File("k.ecl")));
    EXPECT_NE(jobLog.find(line.substr(4)), std::string::npos) << jobLog;
    // Killed, the job left no result of its own: Slurm's words are the row's reason.
    EXPECT_EQ(jobs::GetJobLastError(q.store.Store(), 0),
              line.substr(11) + " (Slurm " + Value(0, cluster::kSlurmJobValue) + ")");
}

// Each fault below once made the queue run a job twice or lose it. Every job must end with one
// submission on the controller and the right status.
TEST_F(ClusterTest, ScancelThatFailsKeepsFollowingTheJobs) {
    Fault("scancel", "echo \"scancel: error: Kill job error on job id $1: Access/permission "
                     "denied\" >&2; exit 1");
    q.AddLongJob("cf1");
    q.AddLongJob("cf2");
    Start(OnSlurm(2));
    ASSERT_TRUE(PollUntil([&] { return AnyRunning(); })) << Rows();
    Stop();
    EXPECT_TRUE(run->Active());
    EXPECT_EQ(run->Jobs().size(), 2u); // still followed, not put back
    EXPECT_TRUE(std::any_of(lines.rows.begin(), lines.rows.end(), [](const std::string& r) {
        return r.find("ERROR: scancel did not cancel Slurm job") != std::string::npos &&
               r.find("Access/permission denied; the job is still followed") != std::string::npos;
    })) << Rows();
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); })) << Rows();
    // Start again has nothing left to hand over.
    Start(OnSlurm(2));
    EXPECT_FALSE(run->Active());
    for (int job = 0; job < 2; ++job) {
        std::string name = job == 0 ? "cf1" : "cf2";
        EXPECT_EQ(q.Status(job), "Complete")
            << testing_support::ReadFile(cluster::JobLogPathFor(q.dir.File(name + ".ecl")));
        EXPECT_EQ(Submissions(name), 1);
    }
}

TEST_F(ClusterTest, SbatchThatAnswersTooLateIsFoundByItsName) {
    // sbatch submits, then answers after the run has given it up.
    m_Commands->timeoutMs = 1500;
    Fault("sbatch", "out=$(\"$REAL\" \"$@\"); rc=$?; sleep 5; echo \"$out\"; exit $rc");
    q.AddJob("slow1", 1);
    q.AddJob("slow2", 1);
    Start(OnSlurm(1));
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); })) << Rows();
    EXPECT_EQ(window.finished, "2 completed, 0 failed") << Rows();
    EXPECT_EQ(Submissions("slow1"), 1);
    EXPECT_EQ(Submissions("slow2"), 1);
    EXPECT_TRUE(std::any_of(lines.rows.begin(), lines.rows.end(), [](const std::string& r) {
        // Found right after sbatch was given up, or (on a loaded machine) at a later poll.
        return r.find("  Found Slurm job ") != std::string::npos;
    })) << Rows();
}

// The program ends after sbatch answered and before the id was kept; the next start finds the
// submission by its name, follows it, and goes on with the queue on "-start".
TEST_F(ClusterTest, EndBeforeTheIdWasKeptFollowsTheSameJobAndStartGoesOn) {
    q.AddJob("lost1", 1);
    q.AddJob("lost2", 1);
    ASSERT_TRUE(cluster::WriteClusterSettings(q.store.Store(), OnSlurm(1)));
    owner->OnStartProcessing();
    // sbatch's answer is never delivered to this start of the program.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (m_Commands->sbatchAnswers == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(m_Commands->sbatchAnswers, 1);
    queue.KillTimer(cluster::MY_TIMER_CLUSTER_POLL);
    MakeRun();
    owner->ResumeRun();
    ASSERT_TRUE(run->Active());
    ASSERT_EQ(run->Jobs().size(), 1u);
    EXPECT_EQ(run->Jobs().front().slurmId, "");
    owner->OnStartProcessing(); // the "start" keyword
    ASSERT_TRUE(Answered());
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); })) << Rows();
    EXPECT_EQ(q.Status(0), "Complete") << Rows();
    EXPECT_EQ(q.Status(1), "Complete") << Rows();
    EXPECT_EQ(Submissions("lost1"), 1);
    EXPECT_EQ(Submissions("lost2"), 1);
    EXPECT_EQ(window.finished, "2 completed, 0 failed") << Rows();
}

TEST_F(ClusterTest, StopWhileTheJobEndsKeepsItsResult) {
    // scancel reaches Slurm only once the job has ended (and then answers 0).
    m_Commands->timeoutMs = 90000;
    Fault("scancel", "while squeue -h -j \"$1\" -o %T | grep -q .; do sleep 0.1; done\n"
                     "exec \"$REAL\" \"$@\"");
    q.AddJob("race", 1);
    Start(OnSlurm(1));
    Stop();
    EXPECT_FALSE(run->Active());
    EXPECT_EQ(q.Status(0), "Complete") << Rows();
    EXPECT_EQ(Submissions("race"), 1);
}

// The real program killed (SIGKILL) after sbatch submitted and before its answer was kept: the
// next start of the program finds the submission by its name, follows it and finishes the queue,
// every job submitted once.
TEST_F(ClusterTest, ProgramKilledBeforeKeepingTheIdNeverSubmitsTwice) {
    const std::string program = kProgramDir + "/vantaq";
    if (::access(program.c_str(), X_OK) != 0) {
        VANTAQ_SKIP_OR_FAIL("the window program was not built: " + program);
    }
    // Names of their own, so that only this test's submissions are counted, whatever process
    // made them.
    const std::string first = "killed" + std::to_string(::getpid()) + "a";
    const std::string second = "killed" + std::to_string(::getpid()) + "b";
    q.AddJob(first, 1);
    q.AddJob(second, 1);
    ASSERT_TRUE(cluster::WriteClusterSettings(q.store.Store(), OnSlurm(1)));
    const std::string submitted = m_Faults.File("submitted");
    const std::string release = m_Faults.File("release");
    Fault("sbatch", "out=$(\"$REAL\" \"$@\"); rc=$?; : > '" + submitted + "'\nwhile [ ! -e '" +
                        release +
                        "' ]; do sleep 0.05; done\n"
                        "echo \"$out\"; exit $rc");
    // The first start runs in the background, its own process id kept to be killed; the second
    // is waited for, ended after 150 s should it hang.
    auto launch = [&](const std::string& arguments, const std::string& tail) {
        // Slurm is asked every 200 ms instead of every few seconds, so the follow ends soon.
        return "VANTAQ_STORE='" + q.store.Path() +
               "' VANTAQ_SLURM_POLL_MS=200 QT_QPA_PLATFORM=offscreen " +
               (tail.empty() ? "timeout 150 '" : "'") + program + "' " + arguments + " >'" +
               q.dir.File("program.txt") + "' 2>&1 </dev/null" + tail;
    };
    const std::string pidFile = q.dir.File("program.pid");
    ASSERT_EQ(std::system(launch("-start", " & echo $! >'" + pidFile + "'").c_str()), 0);
    for (int i = 0; i < 1200 && !testing_support::FileExists(submitted); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(testing_support::FileExists(submitted))
        << testing_support::ReadFile(q.dir.File("program.txt"));
    const pid_t killed = static_cast<pid_t>(std::stol(testing_support::ReadFile(pidFile)));
    ASSERT_EQ(::kill(killed, SIGKILL), 0);
    for (int i = 0; i < 1200 && ::kill(killed, 0) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // From here sbatch answers at once; the hanging one is let go.
    std::filesystem::remove(m_Faults.File("sbatch"));
    ASSERT_TRUE(testing_support::WriteFile(release, ""));

    int raw = std::system(launch("-start -exit", "").c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0)
        << raw << testing_support::ReadFile(q.dir.File("program.txt"));
    EXPECT_EQ(q.Status(0), "Complete");
    EXPECT_EQ(q.Status(1), "Complete");
    auto submissions = [&](const std::string& name) {
        std::string output;
        int status = -1;
        EXPECT_TRUE(Slurm({"squeue", "-h", "-t", "all", "-o", "%j"}, output, status) &&
                    status == 0);
        std::string head = cluster::SlurmJobName(name) + ".vq-";
        int count = 0;
        for (size_t at = output.find(head); at != std::string::npos;
             at = output.find(head, at + 1)) {
            count += at == 0 || output[at - 1] == '\n';
        }
        return count;
    };
    EXPECT_EQ(submissions(first), 1);
    EXPECT_EQ(submissions(second), 1);
}

// vantaq-job on its own: a description in, the job's pipeline run, the end in its exit status.
TEST(VantaqJob, RunsTheDescribedJobAndReportsItsEnd) {
    Queue q;
    q.AddJob("solo", 1);
    q.AddJob("missing", 1, false);
    std::string job = kProgramDir + "/vantaq-job";
    for (int position : {0, 1}) {
        std::string text;
        std::string error;
        ASSERT_TRUE(cluster::BuildJobDescription(q.store.Store(), position, false, text, error))
            << error;
        std::string path = q.dir.File("job" + std::to_string(position) + ".job.reg");
        ASSERT_TRUE(cluster::WriteDescriptionFile(path, text, error)) << error;
        std::string output;
        int status = -1;
        ASSERT_TRUE(Slurm({job, path}, output, status));
        if (position == 0) {
            EXPECT_EQ(status, 0) << output;
            EXPECT_NE(output.find("Starting Job: solo"), std::string::npos) << output;
            EXPECT_NE(output.find("100% / "), std::string::npos) << output;
            EXPECT_EQ(output.substr(output.size() - 9), "Complete\n");
            EXPECT_GT(testing_support::ReadFile(q.dir.File("solo.mpv")).size(), 0u);
        } else {
            EXPECT_EQ(status, 1) << output;
            EXPECT_EQ(output.substr(output.size() - 6), "Error\n");
        }
        // The end and its reason, beside the description, for the window.
        cluster::JobResult result;
        ASSERT_TRUE(cluster::ReadJobResult(
            q.dir.File("job" + std::to_string(position) + ".job.result"), result));
        EXPECT_EQ(result.status, position == 0 ? "Complete" : "Error");
        EXPECT_EQ(result.reason,
                  position == 0 ? "" : "Source file not found: " + q.dir.File("missing.avi"));
    }
    // The window's store is never touched by the job.
    EXPECT_EQ(q.Status(0), "Pending");
    std::string output;
    int status = -1;
    ASSERT_TRUE(Slurm({job, q.dir.File("nothing.job.reg")}, output, status));
    EXPECT_EQ(status, 2) << output;
}

} // namespace

namespace {

// Slurm's answers as the cluster run reads them, including the fall-backs for a job the
// controller has forgotten, without a cluster.
TEST(SlurmAnswers, SubmissionIdsFieldsAndFallBacks) {
    for (auto [output, id] :
         {std::pair{"12\n", "12"}, std::pair{"12;other\n", "12"}, std::pair{"  7", "7"},
          std::pair{"sbatch: error: x\n", ""}, std::pair{"12abc\n", ""}, std::pair{"", ""}}) {
        EXPECT_EQ(cluster::ParseSubmittedId(output), id) << output;
    }
    std::string line = "JobId=5 JobName=a OldReason=x Reason=TimeLimit JobState=TIMEOUT "
                       "ExitCode=0:15";
    EXPECT_EQ(cluster::FieldOf(line, "Reason"), "TimeLimit");
    EXPECT_EQ(cluster::FieldOf(line, "ExitCode"), "0:15");
    EXPECT_EQ(cluster::FieldOf(line, "Missing"), "");
    // What sbatch is given names the file exactly; the name cannot pose as another field.
    for (auto [path, pattern] : {std::pair{"/m/a b.log", "/m/a b.log"},
                                 std::pair{"/m/My%20Movie %j.log", "/m/My%%20Movie %%j.log"},
                                 std::pair{"/m/x\\y%.log", "/m/x\\\\y%.log"}}) {
        EXPECT_EQ(cluster::SlurmOutputPattern(path), pattern) << path;
    }
    EXPECT_EQ(cluster::SlurmJobName("c 1 JobState=X.v-2_"), "c_1_JobState_X.v-2_");
    EXPECT_TRUE(cluster::IsFinalState("NODE_FAIL"));
    EXPECT_FALSE(cluster::IsFinalState("COMPLETING"));

    // scontrol no longer knows the job; the accounting is off; the completion log has it.
    std::vector<std::string> asked;
    auto forgotten = [&](const std::vector<std::string>& argv, std::string& out, int& status) {
        asked.push_back(argv[0] + (argv[1] == "-c" ? " -c" : ""));
        bool log = argv[0] == "sacct" && argv[1] == "-c";
        out = log ? "FAILED|3:0\n" : "slurm_load_jobs error: Invalid job id specified\n";
        status = log ? 0 : 1;
        return true;
    };
    cluster::SlurmJobInfo info;
    ASSERT_TRUE(cluster::QueryJob(forgotten, "9", info));
    EXPECT_EQ(asked, (std::vector<std::string>{"scontrol", "sacct", "sacct -c"}));
    EXPECT_EQ(info.state, "FAILED");
    EXPECT_EQ(info.exitCode, "3:0");
    auto accounted = [](const std::vector<std::string>& argv, std::string& out, int& status) {
        status = argv[0] == "sacct" ? 0 : 1;
        out = status == 0 ? "CANCELLED by 0|0:0|None\n" : "";
        return true;
    };
    ASSERT_TRUE(cluster::QueryJob(accounted, "9", info));
    EXPECT_EQ(info.state, "CANCELLED");
    auto nobody = [](const std::vector<std::string>&, std::string& out, int& status) {
        out.clear();
        status = 0; // sacct prints nothing for a job it does not know
        return true;
    };
    EXPECT_FALSE(cluster::QueryJob(nobody, "9", info));
    // A submission is found by its name: a controller that does not answer concludes nothing;
    // one that has forgotten the job leaves the completion log, where the newest counts.
    std::string id;
    std::string error;
    auto silent = [](const std::vector<std::string>& argv, std::string& out, int& status) {
        out = argv[0] + ": error: Unable to contact slurm controller";
        status = 1;
        return argv[0] != "squeue";
    };
    EXPECT_EQ(cluster::FindSubmission(silent, "a.vq-1", id, error), cluster::Lookup::kNoAnswer);
    EXPECT_EQ(error, "squeue: error: Unable to contact slurm controller");
    auto completed = [](const std::vector<std::string>& argv, std::string& out, int& status) {
        bool log = argv[0] == "sacct" && argv[1] == "-c";
        out = log ? "7|a.vq-1\n8|b.vq-2\n12|a.vq-1\n" : "";
        status = argv[0] == "sacct" && !log ? 1 : 0;
        return true;
    };
    EXPECT_EQ(cluster::FindSubmission(completed, "a.vq-1", id, error), cluster::Lookup::kFound);
    EXPECT_EQ(id, "12");
    EXPECT_EQ(cluster::FindSubmission(completed, "a.vq-", id, error), cluster::Lookup::kNone);
    EXPECT_EQ(cluster::PollInterval("250"), 250u);
    EXPECT_EQ(cluster::PollInterval("0"), cluster::kPollMilliseconds);
    EXPECT_EQ(cluster::PollInterval("fast"), cluster::kPollMilliseconds);
    EXPECT_EQ(cluster::PollInterval(nullptr), cluster::kPollMilliseconds);
}

} // namespace

// The program ends while its job is on the cluster: the next start follows the same Slurm job to
// its end and records it, without handing the job over again.
TEST_F(ClusterTest, ANewStartFollowsTheJobsAnEarlierStartHandedOver) {
    q.AddJob("r", 1);
    Start(OnSlurm(1));
    ASSERT_EQ(run->Jobs().size(), 1u);
    std::string id = run->Jobs().front().slurmId;
    // The program ends without a Stop: nothing is cancelled.
    queue.KillTimer(cluster::MY_TIMER_CLUSTER_POLL);
    MakeRun();
    EXPECT_FALSE(owner->State().m_Processing);
    owner->ResumeRun();
    ASSERT_TRUE(owner->State().m_Processing);
    ASSERT_EQ(run->Jobs().size(), 1u);
    EXPECT_EQ(run->Jobs().front().slurmId, id);
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); })) << Rows();
    EXPECT_EQ(q.Status(0), "Complete") << Rows();
    EXPECT_TRUE(lines.Has("0 Following Slurm job " + id +
                          " (r), handed over before Vantaq last "
                          "ended"))
        << Rows();
    EXPECT_EQ(std::count_if(lines.rows.begin(), lines.rows.end(),
                            [](const std::string& r) {
                                return r.find("Submitted to Slurm as job") != std::string::npos;
                            }),
              1);
    EXPECT_FALSE(owner->State().m_Processing);
}

// Delete (or Reset) of a job that Slurm runs cancels it first and waits: the job is not handed
// over again and the queue goes on.
TEST_F(ClusterTest, DeleteOfARunningJobCancelsItFirst) {
    q.AddLongJob("del1");
    q.AddJob("del2", 1);
    // The encodes on the node wait for "release" (the job's environment reaches the node), so
    // the first one cannot end before it is cancelled however fast the machine is.
    const std::string release = m_Faults.File("release");
    const std::string held = m_Faults.File("held-ffmpeg");
    ASSERT_TRUE(testing_support::WriteFile(held, "#!/bin/sh\nwhile [ ! -e '" + release +
                                                     "' ]; do sleep 0.05; done\n"
                                                     "exec ffmpeg \"$@\"\n"));
    std::filesystem::permissions(held, std::filesystem::perms::owner_all);
    setenv("CCE_FFMPEG", held.c_str(), 1);
    Start(OnSlurm(1));
    ASSERT_TRUE(PollUntil([&] { return AnyRunning(); })) << Rows();
    std::string id = run->Jobs().front().slurmId;
    std::string why;
    EXPECT_FALSE(run->Withdraw(1, "deleted", why)); // not on the cluster: Delete goes ahead
    ASSERT_TRUE(run->Withdraw(0, "deleted", why));
    EXPECT_EQ(why, "The job del1 is on the Slurm cluster (job " + id +
                       "); it can be deleted once Slurm has cancelled it and its row shows "
                       "\"Pending\".");
    // Once Slurm has cancelled it, the next job may encode.
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); },
                          [&] {
                              if (SlurmState(id) == "CANCELLED") {
                                  testing_support::WriteFile(release, "");
                              }
                          }))
        << Rows();
    unsetenv("CCE_FFMPEG");
    EXPECT_EQ(SlurmState(id), "CANCELLED");
    EXPECT_EQ(q.Status(0), "Pending") << Rows();
    EXPECT_EQ(q.Status(1), "Complete") << Rows();
    EXPECT_EQ(Submissions("del1"), 1);
    EXPECT_EQ(Submissions("del2"), 1);
    EXPECT_FALSE(run->Withdraw(0, "deleted", why));
}

// A job that Slurm holds COMPLETING for over a minute is reported in its row and the log, once.
TEST_F(ClusterTest, JobHeldCompletingIsReported) {
    auto later = std::make_shared<std::atomic<int64_t>>(0);
    m_Services.now = [later] { return static_cast<int64_t>(std::time(nullptr)) + *later; };
    MakeRun();
    // The node never confirms the end: squeue shows the job COMPLETING from its start on.
    Fault("squeue",
          "\"$REAL\" \"$@\" | sed 's/|RUNNING|/|COMPLETING|/; s/|COMPLETED|/|COMPLETING|/'");
    q.AddJob("held", 1);
    Start(OnSlurm(1));
    auto held = [&] {
        const auto& jobs = run->Jobs();
        return !jobs.empty() && jobs.front().state == "COMPLETING";
    };
    ASSERT_TRUE(PollUntil(held)) << Rows();
    EXPECT_EQ(run->Jobs().front().warning, "");
    *later = cluster::kOutageSeconds + 1;
    ASSERT_TRUE(PollUntil([&] { return !run->Jobs().front().warning.empty(); })) << Rows();
    std::string warning = run->Jobs().front().warning;
    EXPECT_EQ(warning.rfind("Slurm has held the job COMPLETING for over a minute", 0), 0u)
        << warning;
    EXPECT_TRUE(
        lines.Has("1   WARNING: Slurm job " + run->Jobs().front().slurmId + " (held): " + warning))
        << Rows();
    // The node answers again: the job ends as usual.
    setenv("PATH", m_Path.c_str(), 1);
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); })) << Rows();
    EXPECT_EQ(q.Status(0), "Complete") << Rows();
}

// A job's own partition, time limit and CPUs win over the settings'.
TEST_F(ClusterTest, AJobsOwnResourcesWinOverTheSettings) {
    q.AddJob("res", 1);
    store::KeyStore& s = q.store.Store();
    ASSERT_TRUE(jobs::SetJobString(s, 0, cluster::kJobPartition, "debug"));
    ASSERT_TRUE(jobs::SetJobString(s, 0, cluster::kJobTimeLimit, "7"));
    ASSERT_TRUE(jobs::SetJobNumber(s, 0, cluster::kJobCpus, 2));
    cluster::ClusterSettings where = OnSlurm(1); // one CPU among the extra arguments
    where.m_Partition = "nosuchpartition";
    Start(where);
    ASSERT_EQ(run->Jobs().size(), 1u) << Rows();
    std::string output;
    int status = -1;
    ASSERT_TRUE(
        Slurm({"scontrol", "-o", "show", "job", run->Jobs().front().slurmId}, output, status));
    EXPECT_EQ(cluster::FieldOf(output, "Partition"), "debug") << output;
    EXPECT_EQ(cluster::FieldOf(output, "TimeLimit"), "00:07:00") << output;
    EXPECT_EQ(cluster::FieldOf(output, "NumCPUs"), "2") << output;
    ASSERT_TRUE(PollUntil([&] { return !run->Active(); })) << Rows();
    EXPECT_EQ(q.Status(0), "Complete") << Rows();
}
