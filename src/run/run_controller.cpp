// Working the queue: taking jobs, starting the runner, reacting to its end, pacing the queue.
#include "run/run_controller.h"

#include "ecl/ecl_rewrite.h"
#include "env/startup_checks.h"
#include "env/user_files.h"
#include "jobs/job_last_error.h"
#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/command_line.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/message_registry.h"
#include "run/encode_outputs.h"
#include "run/output_clash.h"
#include "run/process_runner.h"
#include "run/progress_line.h"

#include <csignal>
#include <cstdio>

using logging::kLogDebug;
using logging::kLogError;
using logging::kLogInfo;
using logging::kLogWarning;
namespace ids = platform::main_window;

namespace run {

bool IsRunTimer(int timerId) {
    switch (timerId) {
    case MY_TIMER_RESTART_JOB:
    case MY_TIMER_NEXT_JOB:
    case MY_TIMER_PART2:
    case MY_TIMER_STOP_KILL:
    case MY_TIMER_STATUS_SHOWN:
    case MY_TIMER_PART2_RUNNER:
        return true;
    default:
        return false;
    }
}

uint32_t WaitMilliseconds(int32_t seconds) {
    uint32_t delay = static_cast<uint32_t>(seconds) * 10u;
    return delay > kMaxWaitMilliseconds ? kMaxWaitMilliseconds : delay;
}

RunController::RunController(RunServices services)
    : m_Services(std::move(services)), m_Progress([this] {
          return m_Services.milliseconds ? m_Services.milliseconds() : m_Services.now() * 1000;
      }),
      m_Calls(*m_Services.queue) {
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
    if (m_Calls.OnMessage(message)) {
        return true;
    }
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
    if (!IsRunTimer(timerId)) {
        return m_Remote != nullptr && m_Remote->OnTimer(timerId);
    }
    m_Services.queue->KillTimer(timerId);
    if (timerId == m_WaitingTimer) {
        m_WaitingTimer = 0;
    }
    switch (timerId) {
    case MY_TIMER_NEXT_JOB:
        // The finished job's stream report comes first: its line belongs under that job, and
        // the program may end right after the queue does.
        if (Busy()) {
            m_WaitingTimer = MY_TIMER_NEXT_JOB;
            m_Services.queue->SetTimer(MY_TIMER_NEXT_JOB, kReportPollMilliseconds);
            break;
        }
        StartNextJob();
        break;
    case MY_TIMER_RESTART_JOB:
        StartNextJob();
        break;
    case MY_TIMER_PART2:
        StartPart2(CurrentPosition());
        break;
    case MY_TIMER_STOP_KILL:
        if (RunnerRunning()) {
            m_Services.log->Write("  WARNING: The encoder did not end within " +
                                      std::to_string(kStopGraceMilliseconds / 1000) +
                                      " seconds; it is killed.",
                                  kLogWarning);
            m_Services.processes->SignalGroup(m_Runner.pid, SIGKILL);
        }
        break;
    case MY_TIMER_STATUS_SHOWN:
        m_Services.window->RefreshJobList();
        if ((m_State.m_StopRequested || m_State.m_StopAfterJob) && !Busy()) {
            StartNextJob(); // ends the run without a pause before it
        } else if (m_State.m_StopRequested || m_State.m_StopAfterJob) {
            m_WaitingTimer = MY_TIMER_NEXT_JOB;
            m_Services.queue->SetTimer(MY_TIMER_NEXT_JOB, kReportPollMilliseconds);
        } else {
            WaitBeforeNext(MY_TIMER_NEXT_JOB);
        }
        break;
    case MY_TIMER_PART2_RUNNER:
        if (StartEclCce(MY_TIMER_PASS2)) {
            m_Services.log->Write("  RoBa Second part started.", kLogInfo);
        }
        break;
    default:
        break;
    }
    return true;
}

void RunController::KillRunTimers() {
    for (int timer : {MY_TIMER_RESTART_JOB, MY_TIMER_NEXT_JOB, MY_TIMER_PART2, MY_TIMER_STOP_KILL,
                      MY_TIMER_STATUS_SHOWN, MY_TIMER_PART2_RUNNER}) {
        m_Services.queue->KillTimer(timer);
    }
    m_WaitingTimer = 0;
}

// ---- the run's life ----

void RunController::BeginRun() {
    m_State.m_Processing = true;
    m_State.m_FirstJob = true;
    m_State.m_StopRequested = false;
    m_State.m_StopAfterJob = false;
    m_State.m_CurrentJob = -1;
    m_State.m_JobsCompleted = 0;
    m_State.m_JobsFailed = 0;
    m_Progress.StartRun();
    m_Services.window->ResetJobEditor();
    m_Services.window->UpdateJobButtons();
    // Exit stays: it asks, as the close box does, whether to leave the encode running.
    m_Services.dialog->Enable(ids::kExit, true);
}

void RunController::OnStartProcessing() {
    // A run that only follows the jobs an earlier start left goes on with the queue.
    if (m_State.m_Processing && m_State.m_StopAfterJob && !m_State.m_StopRequested &&
        !(m_Remote && m_Remote->Active())) {
        m_State.m_StopAfterJob = false;
        m_Services.log->Write("The queue goes on after the job being followed.", kLogInfo);
        m_Services.window->UpdateJobButtons();
        return;
    }
    if (m_State.m_Processing && m_State.m_StopAfterJob && !m_State.m_StopRequested && m_Remote &&
        m_Remote->Active() && m_Remote->GoOn()) {
        m_State.m_StopAfterJob = false;
        m_Services.log->Write("The queue goes on after the jobs being followed.", kLogInfo);
        m_Services.window->UpdateJobButtons();
        return;
    }
    // The run and a pulldown pass share one output path; Start waits for the pass's end.
    if (m_State.m_Processing || m_State.m_PulldownRunning) {
        m_Services.log->Write("WARNING: A run or a pulldown pass is in progress; Start waits "
                              "until it has ended.",
                              kLogWarning);
        return;
    }
    if (m_Remote && m_Remote->Chosen()) {
        BeginRun();
        m_Remote->StartRun();
        return;
    }
    BeginRun();
    StartNextJob();
}

std::string RunController::BeginJob(int position) {
    store::KeyStore& store = *m_Services.store;
    m_Services.window->RefreshJobRow(position, jobs::kImageRunning);
    std::string name;
    jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, name);
    m_Services.log->Write("---", kLogInfo);
    m_Services.log->Write("Starting Job: " + name, kLogInfo);
    std::string key = NewRunKey(m_Services.now());
    if (!jobs::SetJobString(store, position, kRunKeyValue, key)) {
        // The job runs all the same, known by its position; a later start cannot follow it.
        jobs::LogStoreFailure(*m_Services.log, "mark job " + name + " as running", store);
        return std::string();
    }
    return key;
}

bool RunController::EndJob(const std::string& key, int hint, const char* status) {
    store::KeyStore& store = *m_Services.store;
    int position = FindJobByRunKey(store, key, hint);
    if (position < 0) {
        m_Services.log->Write("WARNING: The job is no longer in the queue; its result (" +
                                  std::string(status) + ") is not recorded.",
                              kLogWarning);
        return true;
    }
    store::KeyStore::Transaction unit(store);
    if (!unit.Ok() || !jobs::SetJobString(store, position, jobs::kStatus, status) ||
        !ClearRunRecord(store, position) || !unit.Commit()) {
        // Going on would find the same job pending again and encode it again, without end.
        std::string name;
        jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, name);
        m_Services.log->Write("ERROR: Could not mark job " + name + " \"" + status +
                                  "\": the store " + store.Path() + " refused the write (" +
                                  store.LastError() + "). Processing stopped.",
                              logging::kLogError);
        return false;
    }
    const std::string written = status;
    m_State.m_JobsCompleted += written == jobs::kStatusComplete ? 1 : 0;
    m_State.m_JobsFailed += written == jobs::kStatusError ? 1 : 0;
    return true;
}

void RunController::EndRun(RunEnd how) {
    RunWindow& window = *m_Services.window;
    platform::Dialog& dialog = *m_Services.dialog;
    KillRunTimers();
    m_State.m_Processing = false;
    m_State.m_PulldownRunning = m_State.m_PulldownRunning && m_State.m_UtilityPulldown;
    if (window.InTray()) {
        window.UpdateTrayIcon("Vantaq - Idle");
    }
    if (how == RunEnd::kQueueDone) {
        m_Services.log->Write("No more jobs!!!", kLogInfo);
    } else if (how == RunEnd::kStopped) {
        m_Services.log->Write("Processing Stopped!!!!!", kLogWarning);
    }
    dialog.SetProgressPos(ids::kProgress, 0);
    window.ResetJobEditor();
    window.UpdateJobButtons();
    if (how != RunEnd::kQueueDone) {
        window.RefreshJobList();
    }
    dialog.Enable(ids::kExit, true);
    dialog.Enable(ids::kNewJob, true);
    m_State.m_CurrentJob = -1;
    m_CurrentKey.clear();
    m_Runner = platform::ProcessIdentity();
    if (how == RunEnd::kQueueDone) {
        if (window.InTray()) {
            window.UpdateTrayIcon("Vantaq Idle");
        }
        window.OnQueueFinished(m_State.m_JobsCompleted, m_State.m_JobsFailed);
    }
    bool userStopped = how == RunEnd::kStopped && m_State.m_StopRequested;
    m_State.m_StopRequested = false;
    m_State.m_StopAfterJob = false;
    if (window.HasExitKeyword()) {
        if (how == RunEnd::kFailed) {
            window.CloseWindowAfterFailure();
        } else if (!userStopped) {
            window.CloseWindow();
        }
    }
}

int RunController::CurrentPosition() {
    m_State.m_CurrentJob = FindJobByRunKey(*m_Services.store, m_CurrentKey, m_State.m_CurrentJob);
    return m_State.m_CurrentJob;
}

void RunController::StartNextJob() {
    logging::Log& log = *m_Services.log;
    platform::Dialog& dialog = *m_Services.dialog;
    int64_t now = m_Services.now();

    log.Write("m_FirstJob = " + std::to_string(m_State.m_FirstJob ? 1 : 0), kLogDebug);
    if (!m_State.m_FirstJob) {
        log.Write("Job: complete in " + std::to_string(now - m_State.m_JobStartTime) + " seconds",
                  kLogInfo);
        log.Write("---", kLogInfo);
    }
    m_State.m_FirstJob = false;
    m_State.m_EclPath.clear();
    m_State.m_Ecl = ecl::EclState();
    m_CurrentKey.clear();
    m_EncoderErrors.Clear();
    dialog.SetProgressPos(ids::kProgress, 0);
    m_State.m_JobStartTime = now;
    if (m_State.m_StopAfterJob || m_State.m_StopRequested) {
        EndRun(RunEnd::kStopped);
        return;
    }
    int count = jobs::JobCount(*m_Services.store);
    m_State.m_CurrentJob = jobs::FindFirstPending(*m_Services.store, count);
    if (m_State.m_CurrentJob < 0) {
        EndRun(RunEnd::kQueueDone);
        return;
    }

    int job = m_State.m_CurrentJob;
    dialog.SetSelection(ids::kJobList, job);
    m_CurrentKey = BeginJob(job);
    jobs::ClearJobError(*m_Services.store, job);
    jobs::NoteMissingSource(*m_Services.store, job);

    m_State.m_EclPath = ecl::WriteEcl(*m_Services.store, job, m_Services.cceVersion(),
                                      *m_Services.settings, m_Services.inspect, m_State.m_Ecl);
    log.Write("ECL Path: " + m_State.m_EclPath, kLogDebug);
    if (m_State.m_Ecl.m_SourceUnreadable) {
        // Nothing to encode: the job fails here instead of in the encoder.
        log.Write("  ERROR: The source \"" + m_State.m_Ecl.m_SourcePath +
                      "\" is missing or cannot be read; the job is not encoded",
                  kLogError);
        if (!jobs::NoteMissingSource(*m_Services.store, job)) {
            jobs::SetJobLastError(*m_Services.store, job,
                                  "Source file cannot be read: " + m_State.m_Ecl.m_SourcePath);
        }
        StartJobProgress(job, count);
        m_State.m_ProcessStartTime = m_State.m_ProcessEndTime = m_Services.now();
        CompleteJob(job, jobs::kStatusError);
        return;
    }
    if (m_State.m_EclPath.empty()) {
        // The runner still starts and fails, so the job ends like any failed encode.
        log.Write("  ERROR: Could not write the ECL file for the source \"" +
                      m_State.m_Ecl.m_SourcePath + "\"",
                  kLogError);
    } else if (std::string other, clash; OutputClashes(*m_Services.store, *m_Services.settings, job,
                                                       m_State.m_Ecl, other, clash)) {
        // Another finished job's stream would be written over: this job does not run, and its
        // row says why.
        log.Write("  ERROR: " + clash, kLogError);
        jobs::SetJobLastError(*m_Services.store, job, clash);
        StartJobProgress(job, count);
        m_State.m_ProcessStartTime = m_State.m_ProcessEndTime = m_Services.now();
        CompleteJob(job, jobs::kStatusError);
        return;
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
    m_EncoderErrors.Feed(line);
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
    // The runner writes to a file beside its list and leads a group of its own, so that it
    // outlives this program and Stop can end it with everything it started.
    std::string output =
        m_State.m_EclPath.empty() ? std::string() : RunnerOutputPath(m_State.m_EclPath);
    auto runnerObject =
        output.empty()
            ? std::make_unique<CProcessRunner>(command, *m_Services.queue, id, m_Services.processes)
            : std::make_unique<CProcessRunner>(command, *m_Services.queue, id, m_Services.processes,
                                               output);
    platform::ProcessIdentity started;
    bool ok = CProcessRunner::Start(std::move(runnerObject), started);
    // A runner that never ran is no reason to pause before the next step.
    m_State.m_ProcessStartTime = m_Services.now();
    if (ok) {
        m_Runner = started;
        SaveHandle(id == MY_TIMER_PASS2 ? 2 : 1);
        return true;
    }
    m_Services.log->Write("  ERROR: Couldn't start ECLCCE Process", kLogError);
    return false;
}

void RunController::SaveHandle(int part) {
    int position = CurrentPosition();
    if (position < 0 || m_CurrentKey.empty() || m_Runner.startTicks == 0) {
        return;
    }
    RunRecord record;
    record.key = m_CurrentKey;
    record.where = RunWhere::kLocal;
    record.runner = m_Runner;
    record.part = part;
    record.eclPath = m_State.m_EclPath;
    record.ecl = m_State.m_Ecl;
    record.jobStartTime = m_State.m_JobStartTime;
    record.processStartTime = m_State.m_ProcessStartTime;
    if (!SaveRunRecord(*m_Services.store, position, record)) {
        jobs::LogStoreFailure(*m_Services.log, "keep the encoder's handle", *m_Services.store);
    }
}

void RunController::OnProcessFinished(uint64_t /*error*/, int64_t id) {
    m_State.m_ProcessEndTime = m_Services.now();
    m_Runner = platform::ProcessIdentity();
    m_Services.queue->KillTimer(MY_TIMER_STOP_KILL);
    if (!m_State.m_Processing) {
        return; // a runner of a run that has ended already
    }
    int job = CurrentPosition();
    if (id == MY_TIMER_PASS1) {
        m_Services.log->Write("In OnProcessFinished(MY_TIMER_PASS1)", kLogDebug);
        OnPass1Finished(job);
    } else {
        m_Services.log->Write("In OnProcessFinished(MY_TIMER_PASS2)", kLogDebug);
        OnPass2Finished(job);
    }
}

bool RunController::EncodeWroteOutputs(bool quiet) {
    std::string problem;
    if (CheckEncodeOutputs(m_State.m_Ecl, m_State.m_JobStartTime, quiet ? nullptr : m_Services.log,
                           &problem)) {
        return true;
    }
    if (!quiet) {
        RecordEncodeFailure(m_EncoderErrors, problem, *m_Services.log, *m_Services.store,
                            CurrentPosition());
    }
    return false;
}

void RunController::CompleteJob(int job, const char* status) {
    if (!WriteJobStatus(job, status)) {
        return;
    }
    m_WaitingTimer = MY_TIMER_STATUS_SHOWN;
    m_Services.queue->SetTimer(MY_TIMER_STATUS_SHOWN, kShortPauseMilliseconds);
}

void RunController::OnPass1Finished(int job) {
    int method = 0;
    jobs::GetJobNumber(*m_Services.store, job, jobs::kMethod, method);
    if (m_State.m_StopRequested) {
        // An encode that ended whole before Stop reached it keeps its result.
        if (method != 0 && job >= 0 && EncodeWroteOutputs(true)) {
            m_State.m_StopAfterJob = true;
            FinishEncodedJob(job);
            return;
        }
        StopProcessing();
        return;
    }
    if (method == 0) {
        m_Services.log->Write("  RoBa first part complete.", kLogInfo);
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
    if (!m_CurrentKey.empty() &&
        !EndJob(m_CurrentKey, m_State.m_CurrentJob, jobs::kStatusPending)) {
        jobs::LogStoreFailure(*m_Services.log, "mark the stopped job \"Pending\"",
                              *m_Services.store);
    }
    EndRun(RunEnd::kStopped);
}

void RunController::WaitBeforeNext(int timerId) {
    int32_t seconds = static_cast<int32_t>(m_State.m_ProcessEndTime - m_State.m_ProcessStartTime);
    uint32_t delay = WaitMilliseconds(seconds);
    char line[96];
    std::snprintf(line, sizeof line, "  Waiting to start next process for %2.3f seconds",
                  delay / 1000.0);
    m_Services.log->Write(line, kLogDebug);
    m_WaitingTimer = timerId;
    m_Services.queue->SetTimer(timerId, delay);
}

void RunController::OnStopProcessing() {
    if (m_Remote && m_Remote->Active()) {
        m_State.m_StopRequested = true;
        m_Remote->Stop(false);
        return;
    }
    if (!m_State.m_Processing) {
        return;
    }
    m_State.m_StopRequested = true;
    if (RunnerRunning()) {
        // The runner's whole group ends: the runner, the encoder and whatever they started.
        m_Services.log->Write("  Stopping the encoder.", kLogWarning);
        int error = m_Services.processes->SignalGroup(m_Runner.pid, SIGTERM);
        if (error != 0) {
            m_Services.log->Write("  ERROR: The encoder could not be stopped (error " +
                                      std::to_string(error) + ").",
                                  kLogError);
        }
        m_Services.queue->SetTimer(MY_TIMER_STOP_KILL, kStopGraceMilliseconds);
        m_Services.window->UpdateJobButtons();
        return;
    }
    if (m_State.m_PulldownRunning) {
        // The pass after a whole encode takes seconds; its job keeps its result.
        m_Services.window->UpdateJobButtons();
        return;
    }
    // Between two steps: nothing runs, so the run stops now. A job between its two parts goes
    // back to "Pending"; after a job's status was written there is no job to put back.
    int waiting = m_WaitingTimer;
    KillRunTimers();
    if (waiting == MY_TIMER_PART2 || waiting == MY_TIMER_PART2_RUNNER ||
        waiting == MY_TIMER_RESTART_JOB) {
        StopProcessing();
        return;
    }
    m_CurrentKey.clear();
    EndRun(RunEnd::kStopped);
}

void RunController::OnStopAfterThisJob() {
    if (m_Remote && m_Remote->Active()) {
        m_State.m_StopAfterJob = true;
        m_Remote->Stop(true);
        return;
    }
    if (!m_State.m_Processing || m_State.m_StopAfterJob) {
        return;
    }
    m_State.m_StopAfterJob = true;
    m_Services.log->Write("Processing stops when the current job has ended.", kLogInfo);
    if (m_WaitingTimer == MY_TIMER_NEXT_JOB) {
        m_Services.queue->KillTimer(MY_TIMER_NEXT_JOB);
        m_WaitingTimer = 0;
        StartNextJob();
        return;
    }
    m_Services.window->UpdateJobButtons();
}

// ---- the second part of the two-part method ----

bool RunController::RewriteEclForPart2() {
    return ecl::RewriteEclForPart2(m_State.m_EclPath, m_Services.cceVersion() == 1);
}

void RunController::StartPart2(int job) {
    logging::Log& log = *m_Services.log;
    if (!RewriteEclForPart2()) {
        log.Write("  ERROR: Could not modifying ECL file.", kLogError);
        if (m_RestartedJob == job) {
            // The second try failed too: give the job up rather than loop on it.
            m_RestartedJob = -1;
            jobs::SetJobLastError(*m_Services.store, job,
                                  "the control list could not be prepared for the second part");
            CompleteJob(job, jobs::kStatusError);
            return;
        }
        log.Write("  An error has occured!!! The program will try to restart the current job.",
                  kLogInfo);
        m_RestartedJob = job;
        // The job is still pending, so the restart takes it again from its first part.
        if (!m_CurrentKey.empty()) {
            ClearRunRecord(*m_Services.store, job);
        }
        m_State.m_FirstJob = true;
        m_WaitingTimer = MY_TIMER_RESTART_JOB;
        m_Services.queue->SetTimer(MY_TIMER_RESTART_JOB, 1000);
        return;
    }
    m_WaitingTimer = MY_TIMER_PART2_RUNNER;
    m_Services.queue->SetTimer(MY_TIMER_PART2_RUNNER, kShortPauseMilliseconds);
}

void RunController::OnPass2Finished(int job) {
    if (m_State.m_StopRequested) {
        if (job >= 0 && EncodeWroteOutputs(true)) {
            m_State.m_StopAfterJob = true;
            FinishEncodedJob(job);
            return;
        }
        StopProcessing();
        return;
    }
    m_Services.log->Write("  RoBa second part complete.", kLogInfo);
    if (m_RestartedJob == job) {
        m_RestartedJob = -1;
    }
    FinishEncodedJob(job);
}

// ---- a run that an earlier start left ----

void RunController::ResumeRun() {
    store::KeyStore& store = *m_Services.store;
    // Earlier versions emptied a finished job's marks instead of removing them: those go now,
    // in one unit, so that the next start finds only the jobs a run has taken.
    std::vector<int> emptied;
    std::vector<int> taken;
    for (int position : jobs::JobsHoldingValue(store, kRunHandleValue, jobs::JobCount(store))) {
        std::string handle;
        jobs::GetJobString(store, position, kRunHandleValue, jobs::kWholeValue, handle);
        (handle.empty() ? emptied : taken).push_back(position);
    }
    if (!emptied.empty()) {
        store::KeyStore::Transaction unit(store);
        for (int position : emptied) {
            ClearRunRecord(store, position);
        }
        unit.Commit();
    }
    for (int position : taken) {
        RunRecord record;
        if (!LoadRunRecord(store, position, record) || record.where == RunWhere::kNone) {
            ClearRunRecord(store, position);
            continue;
        }
        if (record.where == RunWhere::kSlurm) {
            if (m_Remote) {
                if (!m_State.m_Processing) {
                    BeginRun();
                    m_State.m_FirstJob = false;
                    m_State.m_StopAfterJob = true;
                }
                m_Remote->Resume(position, record);
            }
            continue;
        }
        if (m_State.m_Processing && !(m_Remote && m_Remote->Active())) {
            // One local encode at a time; a second handle is a leftover.
            ClearRunRecord(store, position);
            continue;
        }
        ResumeLocal(position, record);
    }
}

void RunController::ResumeLocal(int position, const RunRecord& record) {
    logging::Log& log = *m_Services.log;
    std::string name;
    jobs::GetJobString(*m_Services.store, position, jobs::kName, jobs::kWholeValue, name);
    BeginRun();
    m_State.m_FirstJob = false;
    // Following a job left running does not start the queue; Start does.
    m_State.m_StopAfterJob = true;
    m_State.m_CurrentJob = position;
    m_CurrentKey = record.key;
    m_State.m_EclPath = record.eclPath;
    m_State.m_Ecl = record.ecl;
    m_State.m_JobStartTime = record.jobStartTime;
    m_State.m_ProcessStartTime = record.processStartTime;
    int method = 0;
    jobs::GetJobNumber(*m_Services.store, position, jobs::kMethod, method);
    m_TwoPart = method == 0;
    m_Progress.StartJob(0, 0, false);
    // The share the encode reports is of the whole job, which began when the earlier start
    // took it; a start time after now (the clock was set back) says nothing.
    int64_t now = m_Services.now();
    if (record.jobStartTime > 0 && record.jobStartTime <= now) {
        m_Progress.JobBegunEarlier((now - record.jobStartTime) * 1000);
    }
    m_Services.window->RefreshJobRow(position, jobs::kImageRunning);
    m_Services.dialog->SetSelection(ids::kJobList, position);
    int id = record.part == 2 ? MY_TIMER_PASS2 : MY_TIMER_PASS1;
    if (m_Services.processes->IsRunning(record.runner)) {
        log.Write("---", kLogInfo);
        log.Write("Following Job: " + name + " (its encoder, process " +
                      std::to_string(record.runner.pid) + ", went on while Vantaq was not running)",
                  kLogInfo);
        m_Runner = record.runner;
        auto follower = std::make_unique<CProcessRunner>(std::string(), *m_Services.queue, id,
                                                         m_Services.processes,
                                                         RunnerOutputPath(record.eclPath));
        CProcessRunner::Follow(std::move(follower), record.runner);
        return;
    }
    log.Write("---", kLogInfo);
    log.Write("Finishing Job: " + name + " (its encoder ended while Vantaq was not running)",
              kLogInfo);
    bool lastPart = !m_TwoPart || record.part == 2;
    if (lastPart && !EncodeWroteOutputs(true)) {
        log.Write("  WARNING: The encode did not write all its outputs; the job is pending again.",
                  kLogWarning);
        StopProcessing();
        return;
    }
    // As if its end had just been reported.
    m_Services.queue->Post(platform::UiQueue::Make(m_FinishedMessage, 0, id));
}

} // namespace run
