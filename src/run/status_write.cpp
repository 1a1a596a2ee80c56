// The run's status writes, and the end of the run when the store refuses one.
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "run/chapter_files.h"
#include "run/run_controller.h"
#include "store/key_store.h"

namespace run {

bool RunController::WriteJobStatus(int job, const char* status) {
    store::KeyStore& store = *m_Services.store;
    if (jobs::SetJobString(store, job, jobs::kStatus, status)) {
        const std::string written = status;
        m_State.m_JobsCompleted += written == jobs::kStatusComplete ? 1 : 0;
        m_State.m_JobsFailed += written == jobs::kStatusError ? 1 : 0;
        if (written == jobs::kStatusComplete) {
            WriteJobChapterFiles(m_State.m_Ecl, *m_Services.log);
        }
        m_Progress.FinishJob();
        return true;
    }
    // Going on would find the same job pending again and encode it again, without end.
    std::string name;
    jobs::GetJobString(store, job, jobs::kName, jobs::kWholeValue, name);
    m_Services.log->Write("ERROR: Could not mark job " + name + " \"" + status + "\": the store " +
                              store.Path() + " refused the write (" + store.LastError() +
                              "). Processing stopped.",
                          logging::kLogError);
    EndRunAfterStoreFailure();
    return false;
}

void RunController::EndRunAfterStoreFailure() {
    RunWindow& window = *m_Services.window;
    m_State.m_Processing = false;
    if (window.InTray()) {
        window.UpdateTrayIcon("Vantaq - Idle");
    }
    window.ResetJobEditor();
    window.UpdateJobButtons();
    window.RefreshJobList();
    m_Services.dialog->Enable(platform::main_window::kNewJob, true);
    m_Services.dialog->Enable(platform::main_window::kExit, true);
    m_State.m_CurrentJob = -1;
    if (window.HasExitKeyword()) {
        window.CloseWindowAfterFailure();
    }
}

} // namespace run
