// The run's status writes, and the end of the run when the store refuses one.
#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/files.h"
#include "pulldown/stream_report_file.h"
#include "run/chapter_files.h"
#include "run/run_controller.h"
#include "store/key_store.h"
#include "templates/template_store.h"

namespace run {

bool RunController::WriteJobStatus(int job, const char* status) {
    const bool written = EndJob(m_CurrentKey, job, status);
    if (!written) {
        EndRun(RunEnd::kFailed);
        return false;
    }
    if (std::string(status) == jobs::kStatusComplete) {
        WriteJobChapterFiles(m_State.m_Ecl, *m_Services.log);
        ReportStream(job);
    }
    m_Progress.FinishJob();
    return true;
}

void RunController::ReportStream(int position) {
    const ecl::EclState& e = m_State.m_Ecl;
    if (!e.m_VideoOut || e.m_OutputPath.empty()) {
        return;
    }
    // After the 2:3 pass the stream of the job is the pass's result.
    std::string stream = e.m_OutputPath;
    platform::FileFacts facts;
    if (platform::RegularFileFacts(stream + ".m2v", facts) && !m_State.m_UtilityPulldown) {
        int telecide = 0;
        jobs::GetJobNumber(*m_Services.store, position, jobs::kTelecide, telecide);
        stream = telecide == 1 ? stream + ".m2v" : stream;
    }
    // Reading a long stream takes seconds: not on the window's thread.
    m_Calls.Call(
        [stream] {
            pulldown::StreamReportOutcome outcome = pulldown::MakeStreamReportFile(stream);
            return std::string(outcome.ok ? "1" : "0") + outcome.line;
        },
        [this, position, stream](std::string& answer) {
            bool ok = !answer.empty() && answer[0] == '1';
            m_Services.log->Write(answer.substr(1), ok ? logging::kLogInfo : logging::kLogError);
            if (ok) {
                WarnOfMissedDvdTarget(position, stream);
            }
            // The finished job's row shows the verdict (unless the row is now the running job's).
            if (position >= 0 && position < jobs::JobCount(*m_Services.store) &&
                !(m_State.m_Processing && position == CurrentPosition())) {
                m_Services.window->RefreshJobRow(position,
                                                 jobs::JobStatusImage(*m_Services.store, position));
            }
        });
}

void RunController::WarnOfMissedDvdTarget(int position, const std::string& stream) {
    store::KeyStore& store = *m_Services.store;
    std::string key;
    pulldown::DvdVerdict verdict;
    if (position < 0 || position >= jobs::JobCount(store) ||
        !jobs::GetJobString(store, position, jobs::kTemplate, jobs::kTemplateCapacity, key) ||
        !templates::TemplateTargetsDvd(store, key) ||
        !pulldown::ReadDvdVerdict(pulldown::ReportPathFor(stream), verdict) || verdict.compliant) {
        return;
    }
    std::string reasons;
    for (const std::string& reason : verdict.reasons) {
        reasons += (reasons.empty() ? "" : "; ") + reason;
    }
    m_Services.log->Write("  WARNING: the stream is not DVD-Video, which its template asks for" +
                              (reasons.empty() ? std::string() : ": " + reasons),
                          logging::kLogWarning);
}

} // namespace run
