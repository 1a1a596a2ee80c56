// The job list's operations over the job store and the list rows.
#include "jobs/job_list.h"

#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"

namespace jobs {

namespace ui = platform::main_window;

namespace {

// Moves the row of `upper` below the row of `upper` + 1 after their jobs were swapped, with the
// tracked positions following their jobs, and selects `selectRow`.
void SwapRows(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log, int upper,
              TrackedJobs tracked, int selectRow) {
    if (!SwapJobs(store, upper, upper + 1)) {
        LogStoreFailure(log,
                        "move job " +
                            dialog.GetRowText(ui::kJobList, selectRow == upper ? upper + 1 : upper),
                        store);
        return;
    }
    std::string text = dialog.GetRowText(ui::kJobList, upper);
    dialog.DeleteRow(ui::kJobList, upper);
    tracked.currentJob = FollowSwap(tracked.currentJob, upper, upper + 1);
    tracked.editedJob = FollowSwap(tracked.editedJob, upper, upper + 1);
    int lower = upper + 1;
    int image = tracked.currentJob == lower ? kImageRunning : JobStatusImage(store, lower);
    dialog.InsertRow(ui::kJobList, lower, text, image);
    dialog.SetSelection(ui::kJobList, selectRow);
}

} // namespace

int FollowSwap(int position, int a, int b) {
    if (position == a) {
        return b;
    }
    if (position == b) {
        return a;
    }
    return position;
}

void MoveJobUp(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
               TrackedJobs tracked) {
    int s = dialog.GetSelection(ui::kJobList);
    if (s <= 0) {
        return;
    }
    SwapRows(dialog, store, log, s - 1, tracked, s - 1);
}

void MoveJobDown(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                 TrackedJobs tracked) {
    int s = dialog.GetSelection(ui::kJobList);
    int n = dialog.GetCount(ui::kJobList);
    if (s < 0 || s >= n - 1) {
        return;
    }
    SwapRows(dialog, store, log, s, tracked, s + 1);
}

void DeleteSelectedJob(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                       TrackedJobs tracked) {
    int s = dialog.GetSelection(ui::kJobList);
    int n = dialog.GetCount(ui::kJobList);
    if (s < 0 || s == tracked.currentJob) {
        return;
    }
    if (!DeleteJobAt(store, s, n)) {
        LogStoreFailure(log, "delete job " + dialog.GetRowText(ui::kJobList, s), store);
        return;
    }
    dialog.DeleteRow(ui::kJobList, s);
    if (tracked.currentJob > s) {
        --tracked.currentJob;
    }
    if (tracked.editedJob == s) {
        tracked.editedJob = -1;
    } else if (tracked.editedJob > s) {
        --tracked.editedJob;
    }
}

void ResetSelectedJob(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                      TrackedJobs tracked) {
    int s = dialog.GetSelection(ui::kJobList);
    if (s < 0 || s == tracked.currentJob) {
        return;
    }
    if (!SetJobString(store, s, kStatus, kStatusPending)) {
        LogStoreFailure(log, "reset job " + dialog.GetRowText(ui::kJobList, s), store);
        return;
    }
    jobs::RefreshJobList(dialog, store, nullptr);
    // The reload shows stored statuses only; the job being encoded keeps its running icon.
    if (tracked.currentJob >= 0) {
        jobs::RefreshJobRow(dialog, store, tracked.currentJob, kImageRunning);
    }
    dialog.SetSelection(ui::kJobList, s);
}

void ClearQueue(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                TrackedJobs tracked) {
    if (jobs::ClearJobList(dialog, store, log)) {
        tracked.editedJob = -1;
    }
}

} // namespace jobs
