// `CMainWindow`: the handlers of the job list, the job editor and the template controls.
#include "app/main_window.h"

#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/message_boxes.h"
#include "run/output_clash.h"
#include "source/source_info.h"
#include "store/key_store.h"
#include "templates/template_selection.h"

namespace app {

using namespace platform::main_window;

jobs::TrackedJobs CMainWindow::Tracked() {
    // The run finds its job by its run key, so the list operations' changes to this copy need
    // not reach it.
    m_TrackedCurrent = CurrentJob();
    return jobs::TrackedJobs{m_TrackedCurrent, m_Editor->EditedJob()};
}

void CMainWindow::OnMoveJobUp() {
    jobs::MoveJobUp(m_Dialog, m_Store, m_Log, Tracked());
}

bool CMainWindow::SelectedJobsElsewhere(const std::string& action) {
    bool wait = false;
    for (int row : m_Dialog.GetSelectedRows(kJobList)) {
        std::string why;
        if (m_Hooks.withdrawJob && m_Hooks.withdrawJob(row, action, why)) {
            m_Log.Write("WARNING: " + why, logging::kLogWarning);
            wait = true;
        }
    }
    return wait;
}

void CMainWindow::OnDeleteJob() {
    if (SelectedJobsElsewhere("deleted")) {
        return;
    }
    jobs::DeleteSelectedJob(m_Dialog, m_Store, m_Log, Tracked());
}

void CMainWindow::OnMoveJobDown() {
    jobs::MoveJobDown(m_Dialog, m_Store, m_Log, Tracked());
}

void CMainWindow::OnResetJob() {
    if (SelectedJobsElsewhere("reset")) {
        return;
    }
    jobs::ResetSelectedJob(m_Dialog, m_Store, m_Log, Tracked());
}

void CMainWindow::OnClearJobList() {
    int count = m_Dialog.GetCount(kJobList);
    if (count == 0) {
        return;
    }
    std::string jobsText = std::to_string(count) + (count == 1 ? " job" : " jobs");
    // One key press must not wipe the queue: the count is asked for, Cancel is the default.
    if (m_Boxes.Ask("Remove all " + jobsText + " from the Job List?\nThis cannot be undone.",
                    "Vantaq", {"Clear", "Cancel"}, 1, 1) != 0) {
        return;
    }
    // The names for the debug lines, from the store a few thousand at a time, not row by row
    // through the list; none are read when those lines are not written.
    std::vector<jobs::JobListEntry> removed;
    if (m_Log.DebugInfo()) {
        removed = jobs::ReadJobNames(m_Store);
    }
    if (!jobs::ClearQueue(m_Dialog, m_Store, m_Log, Tracked())) {
        return;
    }
    m_Queue.SetTimer(kTimerTidyStore, 0);
    m_Log.Write("Cleared the Job List: removed " + jobsText + ".", logging::kLogInfo);
    for (const jobs::JobListEntry& job : removed) {
        m_Log.Write("  Removed job " + job.name, logging::kLogDebug);
    }
}

void CMainWindow::OnJobSelectionChanged() {
    m_Editor->OnJobSelectionChanged();
    jobs::UpdateSelectionButtons(m_Dialog, Processing() ? CurrentJob() : -1);
}

void CMainWindow::OnJobDoubleClick() {
    m_Editor->LoadJobIntoEditor();
}

void CMainWindow::OnNewJob(const std::string& path) {
    if (!m_Editor->NewJob(path)) {
        m_Boxes.ShowError(source::UnreadableSourcesText({path}), "Vantaq",
                          platform::MessageBoxButtons::Ok);
    }
}

void CMainWindow::OnAddJob() {
    m_ClashingJob = -1;
    m_Editor->AddOrReplaceJob();
    if (m_ClashingJob < 0) {
        return;
    }
    int position = m_ClashingJob;
    m_ClashingJob = -1;
    std::string name;
    jobs::GetJobString(m_Store, position, jobs::kName, jobs::kWholeValue, name);
    // OK, the answer where nobody can answer, is the choice that loses nothing.
    int answer = m_Boxes.ShowError(
        "Job " + name + " writes the same output file as job " + m_ClashingWith +
            ".\n\nOK keeps the output of " + m_ClashingWith + ": if that job is complete when " +
            name + " starts, " + name + " ends with an error instead of writing over it.\n\n" +
            "Cancel lets " + name + " replace that output.",
        "Same output file", platform::MessageBoxButtons::OkCancel);
    if (answer == platform::kAnswerCancel) {
        jobs::SetJobNumber(m_Store, position, run::kReplaceOutput, 1);
        m_Log.Write("Job " + name + " will replace the output of job " + m_ClashingWith,
                    logging::kLogInfo);
    }
}

void CMainWindow::WarnOutputClash(int position) {
    std::string other;
    if (run::FindOutputClash(m_Store, m_Settings, position, other) < 0) {
        return;
    }
    std::string name;
    jobs::GetJobString(m_Store, position, jobs::kName, jobs::kWholeValue, name);
    m_Log.Write("Warning: Job " + name + " writes " +
                    run::JobStreamPath(m_Store, m_Settings, position) +
                    ", the same output as job " + other + ".",
                logging::kLogWarning);
    jobs::SetJobNumber(m_Store, position, run::kReplaceOutput, 0);
    m_ClashingJob = position;
    m_ClashingWith = other;
}

void CMainWindow::OnCancelEdit() {
    m_Editor->CancelEdit();
}

void CMainWindow::OnSelchangeTemplate() {
    m_Editor->ApplyTemplate();
}

void CMainWindow::OnSetTemplateDefault() {
    uint64_t failedWrites = m_Store.FailedWrites();
    templates::SaveTemplateDefault(m_Dialog, m_Store);
    LogFailedWrites(failedWrites, "store the template default");
}

void CMainWindow::OnBitrateAvgKillFocus() {
    m_Editor->OnBitrateAvgKillFocus();
}

void CMainWindow::OnBitrateAvgSpin(int step) {
    m_Editor->OnBitrateAvgSpin(step);
}

void CMainWindow::OnChapterBrowse() {
    if (m_Hooks.onChapterBrowse) {
        m_Hooks.onChapterBrowse();
    }
}

void CMainWindow::OnConvertToFilm() {
    if (m_Hooks.onConvertToFilm) {
        m_Hooks.onConvertToFilm();
    }
}

void CMainWindow::OnCalc() {
    if (m_Hooks.onCalc) {
        m_Hooks.onCalc();
    }
}

} // namespace app
