// The pulldown runs of the main window: after an encode and as a utility, their lines, progress
// and the check of their result.
#include "run/run_controller.h"

#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/message_registry.h"
#include "pulldown/pulldown.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <unistd.h>

using logging::kLogError;
using logging::kLogInfo;
using logging::kLogWarning;
namespace ids = platform::main_window;

namespace run {

namespace {

std::string FileNameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

void RunController::StartAfterEncodePulldown(int job) {
    int telecide = 0;
    jobs::GetJobNumber(*m_Services.store, job, jobs::kTelecide, telecide);
    if (telecide != 1) {
        return;
    }
    m_Services.dialog->SetProgressRange(ids::kProgress, 0, m_State.m_Ecl.m_SourceFrames);
    m_State.m_UtilityPulldown = false;
    m_State.m_PulldownRunning = true;
    const std::string& source = m_State.m_Ecl.m_OutputPath;
    m_Services.startPulldown(source, source + ".m2v");
}

void RunController::OnPulldownUtility(const std::string& chosenPath) {
    // The run keeps one output path and one utility flag: no second pass beside a running one.
    if (chosenPath.empty() || m_State.m_Processing || m_State.m_PulldownRunning) {
        return;
    }
    // The stream lies where the encoder put it: the output folder for the chosen file.
    std::string source =
        env::OutputFolder(*m_Services.settings, chosenPath) + "/" + FileNameOf(chosenPath);
    // A FIFO or device would hold the pass (and so the run's Start) until someone writes to it.
    platform::FileFacts facts;
    if (!platform::RegularFileFacts(source, facts) && ::access(source.c_str(), F_OK) == 0) {
        m_Services.log->Write("  ERROR: " + source +
                                  " is not a regular file; no pulldown pass is run on it.",
                              kLogError);
        return;
    }
    m_State.m_Ecl.m_OutputPath = source;
    m_State.m_PulldownRunning = true;
    m_Services.window->ResetJobEditor();
    m_Services.window->UpdateJobButtons();
    m_Services.dialog->Enable(ids::kStop, false);
    m_State.m_StopRequested = false;
    m_State.m_UtilityPulldown = true;
    m_Services.startPulldown(source, source + ".m2v");
}

void RunController::OnPulldownLine(const std::string& text, int level) {
    m_Services.log->Write(text, static_cast<logging::LogLevel>(level));
}

void RunController::OnPulldownUpdate(uint64_t kind, int64_t pictures) {
    if (kind == platform::kPulldownUpdateTotal) {
        if (pictures > 0) {
            m_Services.dialog->SetProgressRange(
                ids::kProgress, 0, static_cast<int>(std::min<int64_t>(pictures, INT32_MAX)));
        }
        return;
    }
    m_Services.dialog->SetProgressPos(ids::kProgress,
                                      static_cast<int>(std::min<int64_t>(pictures, INT32_MAX)));
}

void RunController::OnPulldownFinished(int code) {
    logging::Log& log = *m_Services.log;
    RunWindow& window = *m_Services.window;
    m_State.m_PulldownRunning = false;
    m_Services.dialog->SetProgressPos(ids::kProgress, 0);
    const std::string& source = m_State.m_Ecl.m_OutputPath;
    std::string target = source + ".m2v";
    platform::FileFacts sourceFile;
    platform::FileFacts targetFile;
    bool ok = code == 0 && platform::RegularFileFacts(source, sourceFile) &&
              platform::RegularFileFacts(target, targetFile) && sourceFile.size == targetFile.size;
    log.Write(ok ? "  Pulldown successfull." : "  Pulldown failed.", ok ? kLogInfo : kLogError);
    if (!ok && !m_State.m_UtilityPulldown) {
        jobs::SetJobLastError(*m_Services.store, CurrentPosition(),
                              "the pulldown pass failed (code " + std::to_string(code) +
                                  (code != 0
                                       ? std::string(": ") + pulldown::PulldownResultReason(code)
                                       : std::string()) +
                                  ")");
    }
    if (ok && (m_Services.settings->m_DeleteMpv || window.HasDeleteMpvKeyword())) {
        if (::unlink(source.c_str()) == 0) {
            log.Write("  File " + source + " successfully deleted.", kLogInfo);
        } else {
            log.Write("  Error deleting file " + source + ".", kLogInfo);
        }
    }
    if (m_State.m_UtilityPulldown) {
        m_State.m_UtilityPulldown = false;
        window.ResetJobEditor();
        window.UpdateJobButtons();
        m_Services.dialog->Enable(ids::kNewJob, true);
        m_Services.dialog->Enable(ids::kExit, true);
        return;
    }
    // The pass ran on a whole encode, so its job keeps its result even when Stop came
    // meanwhile; the run then ends instead of taking the next job.
    if (!WriteJobStatus(CurrentPosition(), ok ? jobs::kStatusComplete : jobs::kStatusError)) {
        return;
    }
    window.RefreshJobList();
    if (m_State.m_StopRequested || m_State.m_StopAfterJob) {
        // No pause: the next step ends the run (once the stream's report is done).
        m_WaitingTimer = MY_TIMER_NEXT_JOB;
        m_Services.queue->SetTimer(MY_TIMER_NEXT_JOB, 0);
        return;
    }
    WaitBeforeNext(MY_TIMER_NEXT_JOB);
}

} // namespace run
