// The run on a Slurm cluster: Start hands each pending job to sbatch (at most N at once), a
// timer follows them through squeue, scontrol and sacct and their log files, and each job's status
// is written here, by the window, when Slurm reports its end. Stop cancels what is still queued or
// running and leaves those jobs "Pending".
#pragma once

#include "cluster/cluster_settings.h"
#include "cluster/slurm_query.h"
#include "ecl/ecl_writer.h"
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

// A followed job that no Slurm command knows any more ends after this many polls.
inline constexpr int kUnknownPollsBeforeError = 3;

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
    int position = -1;
    std::string name;
    std::string input;
    std::string slurmId;
    std::string state = "PENDING"; // Slurm's JobState at the last poll
    int progress = -1;             // the encoder's last reported percentage, -1 before any
    std::string eclPath;
    std::string logPath;
    ecl::EclState ecl;
    int telecide = 0;
    int64_t submitTime = 0;
    int unknownPolls = 0;
};

class ClusterRun {
public:
    // `state` is the run's state that the window reads (shared with the local run controller,
    // so that one run at a time goes and the buttons follow it); it must outlive this object.
    ClusterRun(ClusterServices services, run::RunState& state);

    // A cluster run is going.
    bool Active() const { return m_Active; }
    void OnStartProcessing(const ClusterSettings& settings);
    void OnStopProcessing();
    // The poll timer; false for any other timer.
    bool OnTimer(int timerId);
    // One round: every followed job asked after, ended ones finished, free places filled.
    void Poll();

    // The job at queue position `position` while Slurm has it, or null.
    const ClusterJob* JobAt(int position) const;
    const std::vector<ClusterJob>& Jobs() const { return m_Jobs; }
    // The jobs' mean share done, those that reported none counting as 0%; -1 while none has
    // reported any.
    int AverageProgress() const;

private:
    void SubmitJobs();
    // Hands one job to Slurm; false when sbatch refused (no more submissions this run).
    bool Submit(int position);
    int NextPending() const;
    // `listed`: what squeue said of the job this round, or null when it did not list it.
    void Follow(ClusterJob& job, const SlurmJobInfo* listed);
    void Finish(ClusterJob& job, const SlurmJobInfo& info);
    // The job's position now (the queue may have moved under it); -1 when it is gone.
    int CurrentPosition(const ClusterJob& job) const;
    bool OutputsThere(const ClusterJob& job) const;
    void SetStatus(int position, const std::string& name, const char* status);
    void ShowProgress();
    void EndRun(bool stopped);

    ClusterServices m_Services;
    run::RunState& m_State;
    ClusterSettings m_Settings;
    std::vector<ClusterJob> m_Jobs;
    bool m_Active = false;
    bool m_SubmitBlocked = false; // sbatch or the store refused: nothing more is handed over
    uint32_t m_PollDelay = 0;     // the next poll's delay
};

} // namespace cluster
