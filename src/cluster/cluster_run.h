// The run on a Slurm cluster: Start hands each pending job to sbatch (at most N at once) under a
// name that holds its run key, a timer follows them through squeue, scontrol and sacct and their
// log files, and each job's status is written by the window when Slurm reports its end. A
// submission whose answer is missing is looked for by that name, never taken as not made. Stop
// cancels what is still queued or running and puts back to "Pending" only what Slurm confirms
// it cancelled.
#pragma once

#include "cluster/cluster_settings.h"
#include "cluster/slurm_query.h"
#include "ecl/ecl_writer.h"
#include "platform/background_calls.h"
#include "run/run_controller.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cluster {

// The window's timer that follows the cluster's jobs.
inline constexpr int MY_TIMER_CLUSTER_POLL = 8;
// How often the jobs are followed; the environment variable shortens it (for tests).
inline constexpr uint32_t kPollMilliseconds = 15000;
inline constexpr const char* kPollEnvironment = "VANTAQ_SLURM_POLL_MS";
// The interval for a value of kPollEnvironment (null or not a number from 1 to
// kPollMilliseconds: the constant).
uint32_t PollInterval(const char* environmentValue);

// How far the shared storage's clock may lag this machine's when the outputs' times are
// compared with the time a job was handed over.
inline constexpr int64_t kClockSlackSeconds = 60;

// A Slurm command that has not answered after this long is given up (a client retries for a
// minute when the controller cannot be reached), and the poll waits twice as long each time
// squeue did not answer, up to the longest pause.
inline constexpr int kCommandTimeoutMs = 20000;
inline constexpr uint32_t kLongestPollMilliseconds = 120000;

// A followed job that no Slurm command knows any more ends after this many polls; a submission
// whose sbatch gave no answer and that Slurm does not know goes back to "Pending" after as many.
inline constexpr int kUnknownPollsBeforeError = 3;

// How long Stop waits for the cancelled jobs to end before it reports those still going.
inline constexpr int kCancelWaitMs = 15000;

// A job COMPLETING (or held by its node) for longer than this is reported in its row and the log.
inline constexpr int64_t kOutageSeconds = 60;

// The job's value that keeps, after its end, where and how it ran on the cluster.
inline constexpr const char* kSlurmJobValue = "Slurm Job";

// The programs beside the window's program that a submission names.
inline constexpr const char* kJobProgram = "vantaq-job";
inline constexpr const char* kTrampoline = "vantaq-job-exec.sh";

struct ClusterServices {
    store::KeyStore* store = nullptr;
    logging::Log* log = nullptr;
    platform::Dialog* dialog = nullptr;
    platform::UiQueue* queue = nullptr;
    run::RunWindow* window = nullptr;
    const env::Settings* settings = nullptr;
    std::string programPath; // vantaq-job and the trampoline lie beside it
    ecl::SourceInspector inspect;
    std::function<int64_t()> now; // whole seconds of the system clock
    std::function<int()> cceVersion;
    CommandRunner runCommand; // sbatch, scontrol, sacct, scancel
    uint32_t pollMilliseconds = kPollMilliseconds;
};

// A job handed to Slurm, as the window sees it.
struct ClusterJob {
    int position = -1; // where the job was last seen in the list
    std::string key;   // its run key, which finds it wherever the list moves it
    std::string name;
    std::string input;
    std::string submission;        // the name it is submitted under (its name and run key)
    std::string slurmId;           // empty while sbatch's answer is missing
    std::string state = "PENDING"; // Slurm's JobState at the last poll
    std::string reason;            // Slurm's reason for the state, "" for none
    std::string node;              // where it runs, and how it ended (as the last poll saw it)
    std::string exitCode;
    std::string runTime;
    int progress = -1; // the encoder's last reported percentage, -1 before any
    std::string eclPath;
    std::string logPath;
    ecl::EclState ecl;
    int telecide = 0;
    int64_t submitTime = 0;
    int unknownPolls = 0;
    bool cancelRequested = false;       // Stop (or Delete, Reset) has asked Slurm to cancel it
    bool withdrawn = false;             // Delete or Reset asked for it: not handed over again
    int64_t stateSince = 0;             // when its state or reason last changed
    std::string warning;                // an outage reported in its row, "" for none
    std::vector<std::string> resources; // its sbatch arguments for partition, time and CPUs
};

// The cluster as the place where a run's jobs go. The run controller owns the run; this hands
// its jobs to sbatch (at most N at once), follows them and reports their ends to it. Every
// Slurm command runs off the window's thread.
class ClusterRun : public run::RemoteExecutor {
public:
    // `owner` must outlive this object.
    ClusterRun(ClusterServices services, run::RunOwner& owner);

    // run::RemoteExecutor
    bool Chosen() override;
    void StartRun() override;
    void Stop(bool afterRunning) override;
    bool Active() const override { return m_Active; }
    bool OnTimer(int timerId) override;
    void Resume(int position, const run::RunRecord& record) override;
    bool GoOn() override;

    // The answers of the Slurm commands; false for any other message.
    bool OnMessage(platform::Message& message);
    // One round: every followed job asked after (off the window's thread), ended ones
    // finished, free places filled.
    void Poll();
    // A Slurm command is still to answer.
    bool Busy() const { return m_Calls.Pending() > 0; }

    // Delete or Reset of the job at `position` (`action`: "deleted", "reset"). False when the
    // job is not on the cluster: the action goes ahead. Else the action waits, with the reason in
    // `why`: the job's Slurm job is cancelled, and once Slurm confirms it the job is "Pending"
    // and not handed over again by this run.
    bool Withdraw(int position, const std::string& action, std::string& why);

    // The job at queue position `position` while Slurm has it, or null.
    const ClusterJob* JobAt(int position) const;
    const std::vector<ClusterJob>& Jobs() const { return m_Jobs; }
    // The jobs' mean share done, those that reported none counting as 0%; -1 while none has
    // reported any.
    int AverageProgress() const;

private:
    void SubmitJobs();
    // Prepares one job and hands it to sbatch; false when nothing could be handed over.
    bool Submit(int position);
    // Looks for the job's submission and hands it to sbatch when there is none.
    bool Hand(const ClusterJob& job);
    void Submitted(ClusterJob job, const std::string& answer);
    // Keeps the job's Slurm id in its key; false when the store refused.
    bool SaveSlurmId(ClusterJob& job);
    // A submission found (or not) by its name in a poll.
    void Found(ClusterJob& job, const std::string& how, const std::string& id);
    void WarnIfStuck(ClusterJob& job, const SlurmJobInfo& info);
    int NextPending() const;
    void ApplyPoll(const std::string& answer);
    // `info`: what Slurm said of the job this round, or null when no command knew it.
    void Follow(ClusterJob& job, const SlurmJobInfo* info);
    void Finish(ClusterJob& job, const SlurmJobInfo& info);
    void Cancelled(const std::string& answer);
    // The job's position now (the queue may have moved under it); -1 when it is gone.
    int CurrentPosition(ClusterJob& job) const;
    bool OutputsThere(const ClusterJob& job) const;
    void SetStatus(const ClusterJob& job, const char* status);
    void Forget(const ClusterJob& job);
    void ShowRunningRows();
    void ShowProgress();
    // Ends the run when nothing is on the cluster and nothing more will be handed over.
    void EndIfDone();
    void EndRun(run::RunEnd how);

    ClusterServices m_Services;
    run::RunOwner& m_Owner;
    platform::BackgroundCalls m_Calls;
    ClusterSettings m_Settings;
    std::vector<ClusterJob> m_Jobs;
    std::vector<std::string> m_Withdrawn; // run keys of the jobs Delete or Reset took back
    bool m_Active = false;
    bool m_SubmitBlocked = false; // sbatch or the store refused: nothing more is handed over
    bool m_Submitting = false;    // an sbatch is on its way
    bool m_Polling = false;       // a poll's commands are on their way
    bool m_Cancelling = false;    // Stop's scancel is on its way
    bool m_NoMoreJobs = false;    // Stop After This Job, or only following jobs left earlier
    uint32_t m_PollDelay = 0;     // the next poll's delay
};

} // namespace cluster
