// The run's status writes, and the end of the run when the store refuses one.
#include "jobs/job_store.h"
#include "log/log.h"
#include "run/chapter_files.h"
#include "run/run_controller.h"
#include "store/key_store.h"

namespace run {

bool RunController::WriteJobStatus(int job, const char* status) {
    store::KeyStore& store = *m_Services.store;
    bool written = true;
    if (!m_CurrentKey.empty()) {
        written = EndJob(m_CurrentKey, job, status);
    } else if (!jobs::SetJobString(store, job, jobs::kStatus, status)) {
        // Going on would find the same job pending again and encode it again, without end.
        std::string name;
        jobs::GetJobString(store, job, jobs::kName, jobs::kWholeValue, name);
        m_Services.log->Write("ERROR: Could not mark job " + name + " \"" + status +
                                  "\": the store " + store.Path() + " refused the write (" +
                                  store.LastError() + "). Processing stopped.",
                              logging::kLogError);
        written = false;
    } else {
        const std::string text = status;
        m_State.m_JobsCompleted += text == jobs::kStatusComplete ? 1 : 0;
        m_State.m_JobsFailed += text == jobs::kStatusError ? 1 : 0;
    }
    if (!written) {
        EndRun(RunEnd::kFailed);
        return false;
    }
    if (std::string(status) == jobs::kStatusComplete) {
        WriteJobChapterFiles(m_State.m_Ecl, *m_Services.log);
    }
    m_Progress.FinishJob();
    return true;
}

} // namespace run
