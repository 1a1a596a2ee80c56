// `CMainWindow`: the handlers of the job list, the job editor and the template controls.
#include "app/main_window.h"

#include "jobs/job_panels.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/message_boxes.h"
#include "store/key_store.h"
#include "templates/template_selection.h"

namespace app {

using namespace platform::main_window;

jobs::TrackedJobs CMainWindow::Tracked() {
    m_NoJob = -1;
    return jobs::TrackedJobs{m_Run != nullptr ? m_Run->m_CurrentJob : m_NoJob,
                             m_Editor->EditedJob()};
}

void CMainWindow::OnMoveJobUp() {
    jobs::MoveJobUp(m_Dialog, m_Store, m_Log, Tracked());
}

void CMainWindow::OnDeleteJob() {
    jobs::DeleteSelectedJob(m_Dialog, m_Store, m_Log, Tracked());
}

void CMainWindow::OnMoveJobDown() {
    jobs::MoveJobDown(m_Dialog, m_Store, m_Log, Tracked());
}

void CMainWindow::OnResetJob() {
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
    std::vector<std::string> names;
    for (int row = 0; row < count; ++row) {
        names.push_back(m_Dialog.GetRowText(kJobList, row));
    }
    if (!jobs::ClearQueue(m_Dialog, m_Store, m_Log, Tracked())) {
        return;
    }
    m_Log.Write("Cleared the Job List: removed " + jobsText + ".", logging::kLogInfo);
    for (const std::string& name : names) {
        m_Log.Write("  Removed job " + name, logging::kLogDebug);
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
    m_Editor->NewJob(path);
}

void CMainWindow::OnAddJob() {
    m_Editor->AddOrReplaceJob();
}

void CMainWindow::OnCancelEdit() {
    m_Editor->CancelEdit();
}

void CMainWindow::OnSelchangeTemplate() {
    templates::ApplySelectedTemplate(m_Dialog, m_Store);
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
