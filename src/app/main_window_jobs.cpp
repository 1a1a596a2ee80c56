// `CMainWindow`: the handlers of the job list, the job editor and the template controls.
#include "app/main_window.h"

#include "ecl/ecl_writer.h"
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
    jobs::RemovedJobs removed;
    jobs::DeleteSelectedJob(m_Dialog, m_Store, m_Log, Tracked(), &removed);
    const size_t n = removed.names.size();
    if (n == 0) {
        return;
    }
    if (n == 1) {
        m_Log.Write("Deleted job " + removed.names.front() + " (Edit > Undo brings it back).",
                    logging::kLogInfo);
    } else {
        m_Log.Write("Deleted " + std::to_string(n) + " jobs (Edit > Undo brings them back):",
                    logging::kLogInfo);
        // A long selection's names are detail.
        for (const std::string& name : removed.names) {
            m_Log.Write("  Deleted job " + name,
                        n <= kNamedDeletes ? logging::kLogInfo : logging::kLogDebug);
        }
    }
    m_Undo = std::move(removed);
    m_UndoWhat = "Delete";
}

void CMainWindow::OnUndo() {
    if (m_UndoWhat.empty()) {
        m_Log.Write("Nothing to undo.", logging::kLogInfo);
        return;
    }
    std::vector<int> at;
    if (!jobs::RestoreRemovedJobs(m_Store, m_Undo, at)) {
        // Kept: the next Undo tries again.
        jobs::LogStoreFailure(m_Log, "undo the " + m_UndoWhat, m_Store);
        return;
    }
    // The job loaded for Replace stays on its job as the others come back around it.
    int& edited = m_Editor->EditedJob();
    for (int p : at) {
        if (edited >= 0 && p <= edited) {
            ++edited;
        }
    }
    jobs::RefreshJobList(m_Dialog, m_Store, &m_Log);
    if (CurrentJob() >= 0) {
        jobs::RefreshJobRow(m_Dialog, m_Store, CurrentJob(), jobs::kImageRunning);
    }
    const bool inPlace = at == m_Undo.positions;
    const size_t n = at.size();
    m_Log.Write("Undo " + m_UndoWhat + ": put back " +
                    (n == 1 ? "job " + m_Undo.names.front() : std::to_string(n) + " jobs") +
                    (inPlace ? " where " + std::string(n == 1 ? "it was." : "they were.")
                             : " after the last job, since the Job List has changed."),
                logging::kLogInfo);
    m_Undo = jobs::RemovedJobs{};
    m_UndoWhat.clear();
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
    // A list the store can clear in place is kept whole for Undo; a longer one is set aside
    // by the store and tidied away in idle slices, so it cannot come back.
    jobs::RemovedJobs kept;
    std::vector<int> all;
    if (count < store::KeyStore::kSetAsideFrom) {
        for (int p = 0; p < count; ++p) {
            all.push_back(p);
        }
    }
    const bool undoable = !all.empty() && jobs::ReadRemovedJobs(m_Store, all, kept);
    // One key press must not wipe the queue: the count is asked for, Cancel is the default.
    if (m_Boxes.Ask("Remove all " + jobsText + " from the Job List?\n" +
                        (undoable ? "Edit > Undo brings them back." : "This cannot be undone."),
                    "Vantaq", {"Clear", "Cancel"}, 1, 1) != 0) {
        return;
    }
    // The names for the debug lines, from the store a few thousand at a time, not row by row
    // through the list; none are read when those lines are not written.
    std::vector<std::string> removed = kept.names;
    if (!undoable && m_Log.DebugInfo()) {
        for (jobs::JobListEntry& job : jobs::ReadJobNames(m_Store)) {
            removed.push_back(std::move(job.name));
        }
    }
    if (!jobs::ClearQueue(m_Dialog, m_Store, m_Log, Tracked())) {
        return;
    }
    m_Queue.SetTimer(kTimerTidyStore, 0);
    m_Log.Write("Cleared the Job List: removed " + jobsText +
                    (undoable ? " (Edit > Undo brings them back)." : "."),
                logging::kLogInfo);
    for (const std::string& name : removed) {
        m_Log.Write("  Removed job " + name, logging::kLogDebug);
    }
    // Without a record of these jobs, an older one must not come back after them.
    m_Undo = std::move(kept);
    m_UndoWhat = undoable ? "Clear" : "";
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
    m_AddingByUser = true;
    m_Editor->AddOrReplaceJob();
    m_AddingByUser = false;
}

bool CMainWindow::PlaceNewJob(const jobs::JobRecord& job,
                              std::vector<std::pair<std::string, int>>& extras) {
    // Each job keeps the record of its own run: the ECL, and the runner's log and the job
    // description named after it.
    const int eclNumber = run::FreeEclNumber(m_Store, job.input);
    auto placed = [&] {
        if (eclNumber != 0) {
            extras.emplace_back(jobs::kEclNumber, eclNumber);
            m_Log.Write("Job " + job.name + " uses the ECL file " +
                            ecl::EclPathFor(job.input, eclNumber) + ", since another job uses " +
                            ecl::EclPathFor(job.input) + ".",
                        logging::kLogInfo);
        }
        return true;
    };
    std::string other;
    if (run::FindNewJobOutputClash(m_Store, m_Settings, job.input, 0, other) < 0) {
        return placed();
    }
    const std::string stream =
        ecl::ReplaceExtension(ecl::OutputBase(m_Settings, job.input), ".mpv");
    const int outputNumber = run::FreeOutputNumber(m_Store, m_Settings, job.input);
    const std::string renamed =
        ecl::ReplaceExtension(ecl::OutputBase(m_Settings, job.input, outputNumber), ".mpv");
    if (!m_AddingByUser) {
        // Nobody to ask (a job list): the job is kept, under a name of its own.
        extras.emplace_back(jobs::kOutputNumber, outputNumber);
        m_Log.Write("Warning: Job " + job.name + " writes " + renamed + ", since " + stream +
                        " is the output of job " + other + ".",
                    logging::kLogWarning);
        return placed();
    }
    const std::vector<std::string> buttons = {"Replace", "Add with another output name", "Cancel"};
    int answer = m_Boxes.Ask(
        "Job " + job.name + " would write " + stream + ", the output file of job " + other +
            ".\n\nReplace: " + job.name + " writes over that file when it runs.\n" +
            "Add with another output name: " + job.name + " writes " + renamed +
            " instead.\nCancel: " + job.name + " is not added and stays in the editor.",
        "Same output file", buttons, 1, 2);
    if (answer == 0) {
        extras.emplace_back(run::kReplaceOutput, 1);
        m_Log.Write("Job " + job.name + " will replace " + stream + ", the output of job " + other +
                        ".",
                    logging::kLogInfo);
        return placed();
    }
    if (answer == 1) {
        extras.emplace_back(jobs::kOutputNumber, outputNumber);
        m_Log.Write("Job " + job.name + " writes " + renamed + ", since " + stream +
                        " is the output of job " + other + ".",
                    logging::kLogInfo);
        return placed();
    }
    m_Log.Write("Job " + job.name + " was not added: it would write " + stream +
                    ", the output of job " + other + ".",
                logging::kLogInfo);
    return false;
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
