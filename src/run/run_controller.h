// The run controller: the one owner of a run. It works the job queue one job after another on
// this machine (the runner as a child, the two-part method, the pulldown pass after an encode),
// or hands the jobs to a remote executor (the Slurm cluster), and writes the life of every job
// (begin run, begin job, job ended, end run) in one place for both. Driven by clicks, the
// runner's messages and one-shot timers; it never waits on the window's thread.
#pragma once

#include "ecl/ecl_writer.h"
#include "env/settings.h"
#include "platform/background_calls.h"
#include "platform/processes.h"
#include "platform/ui_queue.h"
#include "run/encoder_errors.h"
#include "run/run_progress.h"
#include "run/run_record.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace store {
class KeyStore;
}
namespace logging {
class Log;
}
namespace platform {
class Dialog;
} // namespace platform

namespace run {

// Timers of the main window that the run arms.
inline constexpr int MY_TIMER_NEXT_JOB = 4;
inline constexpr int MY_TIMER_PART2 = 5;
// Retry of a job whose control list could not be prepared for its second part.
inline constexpr int MY_TIMER_RESTART_JOB = 3;
// Stop: the runner's group is killed when it is still there this long after it was asked to end.
inline constexpr int MY_TIMER_STOP_KILL = 9;
// The pause after a job's status was written, before the list is redrawn.
inline constexpr int MY_TIMER_STATUS_SHOWN = 10;
// The pause after the control list was rewritten, before the second part starts.
inline constexpr int MY_TIMER_PART2_RUNNER = 11;
// True for the timers above.
bool IsRunTimer(int timerId);

// Longest pause between two encoder runs.
inline constexpr uint32_t kMaxWaitMilliseconds = 300000;
// How long a stopped runner has to end before its group is killed.
inline constexpr uint32_t kStopGraceMilliseconds = 10000;
// The pauses that keep the order of effects of the run's short waits.
inline constexpr uint32_t kShortPauseMilliseconds = 500;
// How often the next job looks again whether the last one's stream report is done.
inline constexpr uint32_t kReportPollMilliseconds = 100;

// What the run needs of the main window beyond its controls.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    virtual void ResetJobEditor() = 0;
    virtual void UpdateJobButtons() = 0;
    virtual void RefreshJobList() = 0;
    // Redraws one row of the job list with `image` (1 marks the job being encoded).
    virtual void RefreshJobRow(int row, int image) = 0;
    virtual bool InTray() const = 0;
    virtual void UpdateTrayIcon(const std::string& tip) = 0;
    // Closes the window by the cancel path (the "exit" keyword), never asking.
    virtual void CloseWindow() = 0;
    // Closes it the same way when the run ended on a failure; the program then ends with a
    // non-zero status.
    virtual void CloseWindowAfterFailure() { CloseWindow(); }
    // The start-up keywords the run consults.
    virtual bool HasExitKeyword() const = 0;
    virtual bool HasDeleteMpvKeyword() const = 0;
    // The job's share done or its time left may have changed (called often during an encode).
    virtual void OnRunProgress() {}
    // The queue ran dry after a run that ended `completed` jobs "Complete" and `failed` "Error".
    virtual void OnQueueFinished(int /*completed*/, int /*failed*/) {}
};

// Everything the controller works with; the pointers must outlive it.
struct RunServices {
    store::KeyStore* store = nullptr;
    logging::Log* log = nullptr;
    platform::Dialog* dialog = nullptr;
    platform::UiQueue* queue = nullptr;
    RunWindow* window = nullptr;
    const env::Settings* settings = nullptr;
    std::shared_ptr<platform::Processes> processes;
    std::string programPath;
    ecl::SourceInspector inspect;
    // Starts a pulldown run on a worker that reports through the UI queue's pulldown messages.
    std::function<void(const std::string& source, const std::string& target)> startPulldown;
    std::function<int64_t()> now;          // whole seconds of the system clock
    std::function<int64_t()> milliseconds; // a clock that never goes back; empty: now()
    std::function<int()> cceVersion;       // the installed encoder's release code
};

// The run's state. The controller alone writes it; the window reads it.
struct RunState {
    bool m_Processing = false;
    bool m_FirstJob = false;
    bool m_StopRequested = false;
    // Stop After This Job: the job going on finishes, no other starts.
    bool m_StopAfterJob = false;
    bool m_UtilityPulldown = false;
    bool m_PulldownRunning = false; // a pulldown pass (utility or after-encode) is going
    // The position of the job being worked, −1 when none. The job itself is known by its run
    // key; the position is found again from it whenever the run acts on the job.
    int m_CurrentJob = -1;
    // Jobs this run marked "Complete" and "Error".
    int m_JobsCompleted = 0;
    int m_JobsFailed = 0;
    std::string m_EclPath;
    ecl::EclState m_Ecl; // m_SourcePath, m_OutputPath, m_SourceFrames
    int64_t m_JobStartTime = 0;
    int64_t m_ProcessStartTime = 0;
    int64_t m_ProcessEndTime = 0;
};

// How a run ends.
enum class RunEnd {
    kQueueDone, // no pending job is left
    kStopped,   // Stop, or Stop After This Job
    kFailed,    // the store refused a status, or the cluster refused the jobs
};

// The job's life as every executor reports it to the run's owner.
class RunOwner {
public:
    virtual ~RunOwner() = default;
    virtual const RunState& State() const = 0;
    // Takes the pending job at `position` for this run: its row shows it running, the log says
    // "Starting Job: NAME", and the job gets a run key (returned) that finds it wherever the
    // list moves it.
    virtual std::string BeginJob(int position) = 0;
    // The job `key` ended with `status` ("Complete", "Error", or "Pending" when it was stopped):
    // writes it and empties the job's run values. False when the store refused (logged; the
    // run must end). A job deleted meanwhile is logged and counts as written.
    virtual bool EndJob(const std::string& key, int hint, const char* status) = 0;
    // Back to idle, with the lines, the tray tip and the "exit" keyword's close of `how`.
    virtual void EndRun(RunEnd how) = 0;
};

// Where a run's jobs go when they do not run on this machine.
class RemoteExecutor {
public:
    virtual ~RemoteExecutor() = default;
    // The settings choose this executor for the next Start.
    virtual bool Chosen() = 0;
    // A run has begun (state set, buttons updated): hand the jobs over.
    virtual void StartRun() = 0;
    // Stop: cancels what runs (its jobs go back to "Pending") and ends the run. With
    // `afterRunning`, hands nothing more over and ends the run once what runs has ended.
    virtual void Stop(bool afterRunning) = 0;
    virtual bool Active() const = 0;
    // The executor's own timers; false for any other.
    virtual bool OnTimer(int timerId) = 0;
    // A job that an earlier start of the program handed over and left running there.
    virtual void Resume(int position, const RunRecord& record) = 0;
    // Start while the run only follows what it handed over (jobs an earlier start left, or
    // Stop After This Job): the rest of the queue is handed over too. False when it cannot be.
    virtual bool GoOn() = 0;
};

class RunController : public RunOwner {
public:
    explicit RunController(RunServices services);

    const RunState& State() const override { return m_State; }
    // The current job's share done and the time left.
    const RunProgress& Progress() const { return m_Progress; }
    // The remote executor that Start uses while its settings choose it; null: none.
    void SetRemote(RemoteExecutor* remote) { m_Remote = remote; }
    RemoteExecutor* Remote() const { return m_Remote; }

    // Start (control 1046, the "start" keyword) and Stop (control 1047, the tray menu).
    void OnStartProcessing();
    void OnStopProcessing();
    // Stop After This Job (button and tray menu): the jobs going on finish, no other starts.
    void OnStopAfterThisJob();
    // Menu item 153: the pulldown pass on a chosen ".mpv" file.
    void OnPulldownUtility(const std::string& chosenPath);

    // At program start, before anything else runs: the jobs an earlier start left encoding
    // (the program ended during a run) are followed to their end and finished as usual; a job
    // whose encoder has gone meanwhile is finished from its outputs, or put back to "Pending".
    // The run ends after them unless Start is given meanwhile.
    void ResumeRun();

    // The position of the job being worked, found again from its run key; −1 when none.
    int CurrentPosition();
    // Work of a finished job still going on off the window's thread (its stream report).
    bool Busy() const { return m_Calls.Pending() > 0; }

    // Routes the runner's and the pulldown's messages; false for any other message.
    bool OnMessage(platform::Message& message);
    // The run's timers (IsRunTimer) and the remote executor's; false for any other timer.
    bool OnTimer(int timerId);

    // RunOwner
    std::string BeginJob(int position) override;
    bool EndJob(const std::string& key, int hint, const char* status) override;
    void EndRun(RunEnd how) override;

    // The steps, public for the window and for tests.
    void StartNextJob();
    void OnProcessFinished(uint64_t error, int64_t id);
    // One output line of the runner `id`: a progress line moves the bar (the two parts of the
    // two-part method each fill half of it). Error lines are kept for the report of a failed
    // encode (EncoderErrors); no line is logged as it comes.
    void OnRunnerLine(const std::string& line, int64_t id);
    void OnPass1Finished(int job);
    void OnPass2Finished(int job);
    void StartPart2(int job);
    bool RewriteEclForPart2();
    void WaitBeforeNext(int timerId);
    void StartAfterEncodePulldown(int job);
    void OnPulldownLine(const std::string& text, int level);
    // `kind` 0: `pictures` processed so far; `platform::kPulldownUpdateTotal`: the pass's total,
    // which becomes the progress bar's range.
    void OnPulldownUpdate(uint64_t kind, int64_t pictures);
    void OnPulldownFinished(int code);

    // For tests: the encoder's start and end times that the pause is computed from.
    void SetProcessTimes(int64_t start, int64_t end) {
        m_State.m_ProcessStartTime = start;
        m_State.m_ProcessEndTime = end;
    }

private:
    // The run's first steps, shared by Start and by a resumed run.
    void BeginRun();
    // The stopped job goes back to "Pending" (unless its outputs are complete) and the run ends.
    void StopProcessing();
    // The job's last encode has ended: the pulldown pass when asked for, else its status.
    void FinishEncodedJob(int job);
    void CompleteJob(int job, const char* status);
    // Writes the current job's "Status". When the store refuses, logs it, ends the run with
    // the job left as it is (closing the window on the "exit" keyword) and returns false.
    bool WriteJobStatus(int job, const char* status);
    // True when every output the list asked for was written; logs each one missing unless
    // `quiet`.
    bool EncodeWroteOutputs(bool quiet = false);
    bool StartEclCce(int id);
    std::string EclCcePath() const;
    // Starts the estimates for job `job` of a queue of `count`.
    void StartJobProgress(int job, int count);
    // Keeps the running encode's handle in the job's key, for a later start to follow.
    void SaveHandle(int part);
    // Follows a local encode left by an earlier start.
    void ResumeLocal(int position, const RunRecord& record);
    bool RunnerRunning() const { return m_Runner.pid > 0; }
    // The report of the stream of the job just finished at `position`, made off the window's
    // thread and logged when done.
    void ReportStream(int position);
    // Logs a warning when the finished stream of job `position` misses the DVD-Video its
    // template asks for.
    void WarnOfMissedDvdTarget(int position, const std::string& stream);
    void KillRunTimers();

    RunServices m_Services;
    RunState m_State;
    RunProgress m_Progress;
    RemoteExecutor* m_Remote = nullptr;
    platform::BackgroundCalls m_Calls;
    std::string m_CurrentKey;           // the run key of the job being worked
    platform::ProcessIdentity m_Runner; // the runner going on, pid −1 when none
    EncoderErrors m_EncoderErrors;      // the current job's error lines of the runner and encoder
    bool m_TwoPart = false;             // the current job runs the two-part method
    int m_WaitingTimer = 0;             // the step timer armed, 0 when none
    uint32_t m_LineMessage;
    uint32_t m_FinishedMessage;
    uint32_t m_PulldownLineMessage;
    uint32_t m_PulldownUpdateMessage;
    uint32_t m_PulldownFinishedMessage;
    int m_RestartedJob = -1;
};

// The pause after an encoder run of `seconds`: one hundredth of it, at most five minutes.
uint32_t WaitMilliseconds(int32_t seconds);

} // namespace run
