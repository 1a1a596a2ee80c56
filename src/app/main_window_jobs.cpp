// `CMainWindow`: the handlers of the job list, the job editor and the template controls.
#include "app/main_window.h"

#include "platform/control_ids.h"
#include "store/key_store.h"
#include "templates/template_selection.h"

namespace app {

jobs::TrackedJobs CMainWindow::Tracked() {
    // The run finds its job by its run key, so the list operations' changes to this copy need
    // not reach it.
    m_TrackedCurrent = CurrentJob();
    return jobs::TrackedJobs{m_TrackedCurrent, m_Editor->EditedJob()};
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
    jobs::ClearQueue(m_Dialog, m_Store, m_Log, Tracked());
}

void CMainWindow::OnJobSelectionChanged() {
    m_Editor->OnJobSelectionChanged();
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
