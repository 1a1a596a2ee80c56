// `CMainWindow`: the job list's details and context menu, sources dropped on the window, and
// the notification at the end of the queue.
#include "app/main_window.h"

#include "cluster/job_description.h"
#include "ecl/ecl_writer.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/message_boxes.h"
#include "run/cce_data.h"
#include "source/source_info.h"

namespace app {

using namespace platform::main_window;

std::string CMainWindow::JobDetails(int row) {
    JobActivity activity = m_Hooks.jobActivity ? m_Hooks.jobActivity(row) : JobActivity();
    return JobDetailsLine(m_Store, m_Settings, row, activity);
}

std::string CMainWindow::JobReportPath(int row) {
    return JobStreamReport(m_Store, m_Settings, row);
}

std::string CMainWindow::JobLogPath(int row) {
    std::string input;
    if (!jobs::GetJobString(m_Store, row, jobs::kInput, jobs::kWholeValue, input) ||
        input.empty()) {
        return std::string();
    }
    std::string path = cluster::JobLogPathFor(ecl::EclPathFor(input));
    platform::ReadOnlyFile file;
    return file.Open(path) ? path : std::string();
}

void CMainWindow::OnJobLogFailed(const std::string& path) {
    m_Log.Write("ERROR: Could not open the job's log " + path, logging::kLogError);
}

void CMainWindow::JobDetailsChanged(int row) {
    m_Host.JobDetailsChanged(row);
}

void CMainWindow::OnOpenOutputFolder() {
    int row = m_Dialog.GetSelection(kJobList);
    if (row < 0) {
        return;
    }
    std::string stream = JobOutputStream(m_Store, m_Settings, row);
    if (stream.empty()) {
        m_Log.Write("ERROR: Job " + m_Dialog.GetRowText(kJobList, row) +
                        " has no source with a full path, so it has no output folder.",
                    logging::kLogError);
        return;
    }
    std::string folder = stream.substr(0, stream.rfind('/') + 1);
    if (!m_Host.OpenFolder(folder)) {
        OnOutputFolderFailed(folder);
    }
}

int CMainWindow::OnDropSources(const std::vector<std::string>& paths) {
    if (paths.size() == 1) {
        if (m_Dialog.IsEnabled(kNewJob)) {
            OnNewJob(paths[0]);
        }
        return 0;
    }
    if (paths.empty()) {
        return 0;
    }
    // As while a job list file is read: New Job waits, then is as it was.
    bool newJob = m_Dialog.IsEnabled(kNewJob);
    m_Dialog.Enable(kNewJob, false);
    std::vector<std::string> unreadable;
    int added = run::AddSourceJobs(paths, Builder(), m_Dialog, m_Log, &unreadable);
    m_Dialog.Enable(kNewJob, newJob);
    // One message for the whole batch, after the readable files are in the queue.
    if (!unreadable.empty()) {
        m_Boxes.ShowError(source::UnreadableSourcesText(unreadable), "Vantaq",
                          platform::MessageBoxButtons::Ok);
    }
    return added;
}

void CMainWindow::OnQueueFinished(int completed, int failed) {
    if (completed + failed == 0) {
        return;
    }
    m_Tray.Notify("Vantaq", "Queue finished: " + std::to_string(completed) +
                                (completed == 1 ? " job" : " jobs") + " completed, " +
                                std::to_string(failed) + " failed.");
}

} // namespace app
