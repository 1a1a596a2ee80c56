// Working the queue: taking jobs, starting the runner, reacting to its end, pacing the queue.
#include "run/run_controller.h"

#include "ecl/ecl_rewrite.h"
#include "env/startup_checks.h"
#include "env/user_files.h"
#include "jobs/job_errors.h"
#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/command_line.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/message_boxes.h"
#include "platform/message_registry.h"
#include "run/cce_window.h"
#include "run/encode_outputs.h"
#include "run/process_runner.h"
#include "run/progress_line.h"

#include <cstdio>
#include <limits>

using logging::kLogDebug;
using logging::kLogError;
using logging::kLogInfo;
using logging::kLogWarning;
namespace ids = platform::main_window;

namespace run {

namespace {

constexpr int kCceWindowTries = 50;
// A job's name is read whole, however long.
constexpr size_t kWholeText = std::numeric_limits<size_t>::max();

} // namespace

uint32_t WaitMilliseconds(int32_t seconds) {
    uint32_t delay = static_cast<uint32_t>(seconds) * 10u;
    return delay > kMaxWaitMilliseconds ? kMaxWaitMilliseconds : delay;
}

RunController::RunController(RunServices services)
    : m_Services(std::move(services)), m_Progress([this] {
          return m_Services.milliseconds ? m_Services.milliseconds() : m_Services.now() * 1000;
      }) {
    platform::UiQueue& q = *m_Services.queue;
    m_LineMessage = q.RegisterMessage(platform::kUpmLineName);
    m_FinishedMessage = q.RegisterMessage(platform::kUpmFinishedName);
    m_PulldownLineMessage = q.RegisterMessage(platform::kUpmPulldownLineName);
    m_PulldownUpdateMessage = q.RegisterMessage(platform::kUpmPulldownUpdateName);
    m_PulldownFinishedMessage = q.RegisterMessage(platform::kUpmPulldownFinishedName);
}

std::string RunController::EclCcePath() const {
    return env::GetEclCcePath(m_Services.programPath);
}

bool RunController::OnMessage(platform::Message& message) {
    if (message.message == m_FinishedMessage) {
        OnProcessFinished(message.wparam, message.lparam);
    } else if (message.message == m_LineMessage) {
        if (message.text) {
            OnRunnerLine(*message.text, message.lparam);
        }
    } else if (message.message == m_PulldownLineMessage) {
        OnPulldownLine(message.text ? *message.text : std::string(),
                       static_cast<int>(message.lparam));
    } else if (message.message == m_PulldownUpdateMessage) {
        OnPulldownUpdate(message.wparam, message.lparam);
    } else if (message.message == m_PulldownFinishedMessage) {
        OnPulldownFinished(static_cast<int>(message.wparam));
    } else {
        return false;
    }
    return true;
}

bool RunController::OnTimer(int timerId) {
    switch (timerId) {
    case MY_TIMER_NEXT_JOB:
        m_Services.queue->KillTimer(MY_TIMER_NEXT_JOB);
        StartNextJob();
        return true;
    case MY_TIMER_PART2:
        m_Services.queue->KillTimer(MY_TIMER_PART2);
        StartPart2(m_State.m_CurrentJob);
        return true;
    case MY_TIMER_RESTART_JOB:
        m_Services.queue->KillTimer(MY_TIMER_RESTART_JOB);
        StartNextJob();
        return true;
    default:
        return false;
    }
}

void RunController::OnStartProcessing() {
    // The run and a pulldown pass share one output path; Start waits for the pass's end.
    if (m_State.m_Processing || m_State.m_PulldownRunning) {
        m_Services.log->Write("WARNING: A run or a pulldown pass is in progress; Start waits "
                              "until it has ended.",
                              kLogWarning);
        return;
    }
    m_State.m_Processing = true;
    m_State.m_FirstJob = true;
    m_State.m_StopRequested = false;
    m_State.m_JobsCompleted = 0;
    m_State.m_JobsFailed = 0;
    m_Progress.StartRun();
    m_Services.window->ResetJobEditor();
    m_Services.window->UpdateJobButtons();
    m_Services.dialog->Enable(ids::kExit, false);
    StartNextJob();
}

void RunController::StartNextJob() {
    logging::Log& log = *m_Services.log;
    RunWindow& window = *m_Services.window;
    platform::Dialog& dialog = *m_Services.dialog;
    int64_t now = m_Services.now();

    log.Write("m_FirstJob = " + std::to_string(m_State.m_FirstJob ? 1 : 0), kLogDebug);
    if (!m_State.m_FirstJob) {
        log.Write("Job: complete in " + std::to_string(now - m_State.m_JobStartTime) + " seconds",
                  kLogInfo);
        log.Write("---", kLogInfo);
    }
    m_State.m_FirstJob = false;
    int count = static_cast<int>(jobs::ReadJobNames(*m_Services.store).size());
    m_State.m_CurrentJob = jobs::FindFirstPending(*m_Services.store, count);
    m_State.m_EclPath.clear();
    m_State.m_Ecl = ecl::EclState();
    dialog.SetProgressPos(ids::kProgress, 0);
    m_State.m_JobStartTime = now;

    if (m_State.m_CurrentJob < 0) {
        m_State.m_Processing = false;
        if (window.InTray()) {
            window.UpdateTrayIcon("Vantaq - Idle");
        }
        log.Write("No more jobs!!!", kLogInfo);
        window.ResetJobEditor();
        window.UpdateJobButtons();
        dialog.Enable(ids::kExit, true);
        dialog.Enable(ids::kNewJob, true);
        m_State.m_CurrentJob = -1;
        if (window.InTray()) {
            window.UpdateTrayIcon("Vantaq Idle");
        }
        window.OnQueueFinished(m_State.m_JobsCompleted, m_State.m_JobsFailed);
        if (window.HasExitKeyword()) {
            window.CloseWindow();
        }
        return;
    }

    int job = m_State.m_CurrentJob;
    dialog.SetSelection(ids::kJobList, job);
    window.RefreshJobRow(job, jobs::kImageRunning);
    std::string name;
    jobs::GetJobString(*m_Services.store, job, jobs::kName, kWholeText, name);
    log.Write("---", kLogInfo);
    log.Write("Starting Job: " + name, kLogInfo);
    jobs::ClearJobError(*m_Services.store, job);
    jobs::NoteMissingSource(*m_Services.store, job);

    m_State.m_EclPath = ecl::WriteEcl(*m_Services.store, job, m_Services.cceVersion(),
                                      *m_Services.settings, m_Services.inspect, m_State.m_Ecl);
    log.Write("ECL Path: " + m_State.m_EclPath, kLogDebug);
    if (m_State.m_EclPath.empty()) {
        // The runner still starts and fails, so the job ends like any failed encode.
        log.Write("  ERROR: Could not write the ECL file for the source \"" +
                      m_State.m_Ecl.m_SourcePath + "\"",
                  kLogError);
    }

    const env::RunnerProfile ini = env::LocateRunnerProfile(EclCcePath());
    std::string error;
    bool written = false;
    if (m_Services.settings->m_CcePriority == 1) {
        written = env::WriteRunnerProfileString(ini, "EclCCE", "Priority", "64", error);
        log.Write("Setting CCE Priority to Idle", kLogDebug);
    } else {
        written = env::WriteRunnerProfileString(ini, "EclCCE", "Priority", "-1", error);
        log.Write("Setting CCE Priority to Default", kLogDebug);
    }
    if (!written) {
        // The encode still runs, at whatever priority the profile already holds.
        log.Write("  WARNING: The encoder's priority could not be set: " + error, kLogWarning);
    }

    StartJobProgress(job, count);
    if (StartEclCce(MY_TIMER_PASS1)) {
        if (m_TwoPart) {
            log.Write("  RoBa First part started.", kLogInfo);
        }
    }
}

void RunController::StartJobProgress(int job, int count) {
    store::KeyStore& store = *m_Services.store;
    int method = 0;
    jobs::GetJobNumber(store, job, jobs::kMethod, method);
    m_TwoPart = method == 0;
    // The frames an encode covers are its stored range; a range that is not set (End not after
    // Start) leaves the length unknown.
    auto frames = [&store](int position) {
        int first = 0;
        int last = 0;
        jobs::GetJobNumber(store, position, jobs::kStartFrame, first);
        jobs::GetJobNumber(store, position, jobs::kEndFrame, last);
        return last > first ? static_cast<int64_t>(last) - first : int64_t{0};
    };
    int64_t queued = 0;
    bool known = true;
    for (int position = job + 1; position < count; ++position) {
        std::string status;
        jobs::GetJobString(store, position, jobs::kStatus, jobs::kStatusSearchCapacity, status);
        if (status != jobs::kStatusPending) {
            continue;
        }
        int64_t n = frames(position);
        known = known && n > 0;
        queued += n;
    }
    m_Progress.StartJob(frames(job), queued, known);
    m_Services.window->OnRunProgress();
}

void RunController::OnRunnerLine(const std::string& line, int64_t id) {
    int percent = ParseProgressLine(line);
    if (percent < 0 || !m_State.m_Processing || m_State.m_PulldownRunning) {
        return;
    }
    int position;
    if (id == MY_TIMER_PASS1) {
        position = m_TwoPart ? percent / 2 : percent;
    } else if (id == MY_TIMER_PASS2) {
        position = 50 + percent / 2;
    } else {
        return;
    }
    // A pulldown pass before may have left its picture count as the range.
    m_Services.dialog->SetProgressRange(ids::kProgress, 0, 100);
    m_Services.dialog->SetProgressPos(ids::kProgress, position);
    m_Progress.SetPercent(position);
    m_Services.window->OnRunProgress();
}

bool RunController::StartEclCce(int id) {
    std::string runner = EclCcePath();
    std::string command;
    // The usual form quotes both paths; a path holding a quote needs the escaped form.
    if (runner.find('"') == std::string::npos && m_State.m_EclPath.find('"') == std::string::npos) {
        command = "\"" + runner + "\" -ecl \"" + m_State.m_EclPath + "\" -batch";
    } else {
        platform::BuildCommandLine({runner, "-ecl", m_State.m_EclPath, "-batch"}, command);
    }
    auto runnerObject =
        std::make_unique<CProcessRunner>(command, *m_Services.queue, id, m_Services.processes);
    if (CProcessRunner::Start(std::move(runnerObject))) {
        m_State.m_ProcessStartTime = m_Services.now();
        return true;
    }
    m_Services.log->Write("  ERROR: Couldn't start ECLCCE Process", kLogError);
    // A runner that never ran is no reason to pause before the next step.
    m_State.m_ProcessStartTime = m_Services.now();
    return false;
}

void RunController::OnProcessFinished(uint64_t /*error*/, int64_t id) {
    m_State.m_ProcessEndTime = m_Services.now();
    if (id == MY_TIMER_PASS1) {
        m_Services.log->Write("In OnProcessFinished(MY_TIMER_PASS1)", kLogDebug);
        OnPass1Finished(m_State.m_CurrentJob);
    } else {
        m_Services.log->Write("In OnProcessFinished(MY_TIMER_PASS2)", kLogDebug);
        OnPass2Finished(m_State.m_CurrentJob);
    }
}

bool RunController::EncodeWroteOutputs() const {
    return CheckEncodeOutputs(m_State.m_Ecl, m_State.m_JobStartTime, *m_Services.log);
}

void RunController::CompleteJob(int job, const char* status) {
    if (!WriteJobStatus(job, status)) {
        return;
    }
    if (m_Services.sleep) {
        m_Services.sleep(500);
    }
    m_Services.window->RefreshJobList();
    WaitBeforeNext(MY_TIMER_NEXT_JOB);
}

void RunController::OnPass1Finished(int job) {
    if (m_State.m_StopRequested) {
        StopProcessing();
        return;
    }
    int method = 0;
    jobs::GetJobNumber(*m_Services.store, job, jobs::kMethod, method);
    if (method == 0) {
        m_Services.log->Write("  RoBa first part complete.", kLogInfo);
        m_State.m_CurrentJob = job;
        WaitBeforeNext(MY_TIMER_PART2);
        return;
    }
    FinishEncodedJob(job);
}

void RunController::FinishEncodedJob(int job) {
    if (!EncodeWroteOutputs()) {
        CompleteJob(job, jobs::kStatusError);
        return;
    }
    int telecide = 0;
    jobs::GetJobNumber(*m_Services.store, job, jobs::kTelecide, telecide);
    if (telecide == 1 && !m_State.m_Ecl.m_VideoOut) {
        m_Services.log->Write("  No video stream was asked for, so there is no pulldown run",
                              kLogWarning);
    } else if (telecide == 1) {
        StartAfterEncodePulldown(job);
        return;
    }
    CompleteJob(job, jobs::kStatusComplete);
}

void RunController::StopProcessing() {
    RunWindow& window = *m_Services.window;
    m_State.m_Processing = false;
    if (window.InTray()) {
        window.UpdateTrayIcon("Vantaq - Idle");
    }
    m_Services.log->Write("Processing Stopped!!!!!", kLogWarning);
    window.ResetJobEditor();
    window.UpdateJobButtons();
    if (!jobs::SetJobString(*m_Services.store, m_State.m_CurrentJob, jobs::kStatus,
                            jobs::kStatusPending)) {
        jobs::LogStoreFailure(*m_Services.log, "mark the stopped job \"Pending\"",
                              *m_Services.store);
    }
    window.RefreshJobList();
    m_Services.dialog->Enable(ids::kNewJob, true);
    m_Services.dialog->Enable(ids::kExit, true);
    m_State.m_CurrentJob = -1;
}

void RunController::WaitBeforeNext(int timerId) {
    int32_t seconds = static_cast<int32_t>(m_State.m_ProcessEndTime - m_State.m_ProcessStartTime);
    uint32_t delay = WaitMilliseconds(seconds);
    char line[96];
    std::snprintf(line, sizeof line, "  Waiting to start next process for %2.3f seconds",
                  delay / 1000.0);
    m_Services.log->Write(line, kLogDebug);
    m_Services.queue->SetTimer(timerId, delay);
}

void RunController::OnStopProcessing() {
    m_State.m_StopRequested = true;
    if (m_Services.cceVersion() == 1) {
        std::string name;
        jobs::GetJobString(*m_Services.store, m_State.m_CurrentJob, jobs::kName, kWholeText, name);
        bool found =
            m_Services.windows && FindCceWindow(kCceWindowTries, name, *m_Services.windows,
                                                m_Services.sleep ? SleepFunction(m_Services.sleep)
                                                                 : SleepFunction(SleepMilliseconds),
                                                m_State.m_CceWindow) > 0;
        if (!found || !m_Services.windows->RequestClose(m_State.m_CceWindow)) {
            m_Services.window->UpdateJobButtons();
        }
        return;
    }
    m_Services.boxes->ShowError(
        "With this version of CCE you need to shut down CCE manually.\n\nI'm working on a fix.",
        "Shut Down CCE", platform::MessageBoxButtons::Ok);
}

// ---- the second part of the two-part method ----

bool RunController::RewriteEclForPart2() {
    if (!ecl::RewriteEclForPart2(m_State.m_EclPath, m_Services.cceVersion() == 1)) {
        return false;
    }
    if (m_Services.sleep) {
        m_Services.sleep(500);
    }
    return true;
}

void RunController::StartPart2(int job) {
    logging::Log& log = *m_Services.log;
    if (!RewriteEclForPart2()) {
        log.Write("  ERROR: Could not modifying ECL file.", kLogError);
        if (m_RestartedJob == job) {
            // The second try failed too: give the job up rather than loop on it.
            m_RestartedJob = -1;
            CompleteJob(job, jobs::kStatusError);
            return;
        }
        log.Write("  An error has occured!!! The program will try to restart the current job.",
                  kLogInfo);
        m_RestartedJob = job;
        // The job is still pending, so the restart takes it again from its first part.
        m_State.m_FirstJob = true;
        m_Services.queue->SetTimer(MY_TIMER_RESTART_JOB, 1000);
        return;
    }
    if (StartEclCce(MY_TIMER_PASS2)) {
        int method = 0;
        jobs::GetJobNumber(*m_Services.store, job, jobs::kMethod, method);
        if (method == 0) {
            log.Write("  RoBa Second part started.", kLogInfo);
        }
    }
}

void RunController::OnPass2Finished(int job) {
    if (m_State.m_StopRequested) {
        StopProcessing();
        return;
    }
    m_Services.log->Write("  RoBa second part complete.", kLogInfo);
    if (m_RestartedJob == job) {
        m_RestartedJob = -1;
    }
    FinishEncodedJob(job);
}

} // namespace run
