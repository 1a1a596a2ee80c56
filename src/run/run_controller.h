// The run controller: works the job queue one job after another, with the two-part method and
// the pulldown pass after an encode, driven by clicks, the runner's messages and one-shot timers.
#pragma once

#include "ecl/ecl_writer.h"
#include "env/settings.h"
#include "platform/top_level_windows.h"
#include "platform/ui_queue.h"
#include "run/encoder_errors.h"
#include "run/run_progress.h"

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
class MessageBoxes;
class Processes;
} // namespace platform

namespace run {

// Timers of the main window that the run arms.
inline constexpr int MY_TIMER_NEXT_JOB = 4;
inline constexpr int MY_TIMER_PART2 = 5;
// Retry of a job whose control list could not be prepared for its second part.
inline constexpr int MY_TIMER_RESTART_JOB = 3;
// Longest pause between two encoder runs.
inline constexpr uint32_t kMaxWaitMilliseconds = 300000;

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
    // Closes the window by the cancel path (the "exit" keyword).
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
    platform::MessageBoxes* boxes = nullptr;
    RunWindow* window = nullptr;
    const env::Settings* settings = nullptr;
    std::shared_ptr<platform::Processes> processes;
    platform::TopLevelWindows* windows = nullptr; // the encoder window search; may be null
    std::string programPath;
    ecl::SourceInspector inspect;
    // Starts a pulldown run on a worker that reports through the UI queue's pulldown messages.
    std::function<void(const std::string& source, const std::string& target)> startPulldown;
    std::function<int64_t()> now;                // whole seconds of the system clock
    std::function<int64_t()> milliseconds;       // a clock that never goes back; empty: now()
    std::function<void(int milliseconds)> sleep; // the short waits between steps
    std::function<int()> cceVersion;             // the installed encoder's release code
};

// The run's state. The controller owns it; the main window reads it (and its job-list
// operations keep `m_CurrentJob` on its job) and keeps no copy.
struct RunState {
    bool m_Processing = false;
    bool m_FirstJob = false;
    bool m_StopRequested = false;
    bool m_UtilityPulldown = false;
    bool m_PulldownRunning = false; // a pulldown pass (utility or after-encode) is going
    int m_CurrentJob = -1;
    // Jobs this run marked "Complete" and "Error".
    int m_JobsCompleted = 0;
    int m_JobsFailed = 0;
    std::string m_EclPath;
    ecl::EclState m_Ecl; // m_SourcePath, m_OutputPath, m_SourceFrames
    int64_t m_JobStartTime = 0;
    int64_t m_ProcessStartTime = 0;
    int64_t m_ProcessEndTime = 0;
    platform::WindowId m_CceWindow = platform::kNoWindow;
};

class RunController {
public:
    explicit RunController(RunServices services);

    const RunState& State() const { return m_State; }
    RunState& MutableState() { return m_State; }
    // The current job's share done and the time left.
    const RunProgress& Progress() const { return m_Progress; }

    // Start (control 1046, the "start" keyword) and Stop (control 1047, the tray menu).
    void OnStartProcessing();
    void OnStopProcessing();
    // Menu item 153: the pulldown pass on a chosen ".mpv" file.
    void OnPulldownUtility(const std::string& chosenPath);

    // Routes the runner's and the pulldown's messages; false for any other message.
    bool OnMessage(platform::Message& message);
    // Timers 3, 4 and 5; false for any other timer.
    bool OnTimer(int timerId);

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

private:
    void StopProcessing();
    // The job's last encode has ended: the pulldown pass when asked for, else its status.
    void FinishEncodedJob(int job);
    void CompleteJob(int job, const char* status);
    // Writes the job's "Status". When the store refuses, logs it, ends the run with the job
    // left as it is (closing the window on the "exit" keyword) and returns false.
    bool WriteJobStatus(int job, const char* status);
    void EndRunAfterStoreFailure();
    // True when every output the list asked for was written; logs each one missing.
    bool EncodeWroteOutputs() const;
    bool StartEclCce(int id);
    std::string EclCcePath() const;
    // Starts the estimates for job `job` of a queue of `count`.
    void StartJobProgress(int job, int count);

    RunServices m_Services;
    RunState m_State;
    RunProgress m_Progress;
    EncoderErrors m_EncoderErrors; // the current job's error lines of the runner and encoder
    bool m_TwoPart = false;        // the current job runs the two-part method
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
