// The job list's operations over the job store and the list rows.
#include "jobs/job_list.h"

#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "jobs/removed_jobs.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"

#include <algorithm>
#include <vector>

namespace jobs {

namespace ui = platform::main_window;

namespace {

// "VERB job NAME" for one selected row, "VERB N jobs" for several: what a failure names.
std::string WhatRows(platform::Dialog& dialog, const std::string& verb,
                     const std::vector<int>& rows) {
    return rows.size() == 1 ? verb + " job " + dialog.GetRowText(ui::kJobList, rows.front())
                            : verb + " " + std::to_string(rows.size()) + " jobs";
}

// Swaps the jobs at `upper` and `upper` + 1, with the tracked positions following their jobs,
// and, when `rowsToo`, their two rows. False (and a logged error) when the store refused.
bool SwapRows(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log, int upper,
              TrackedJobs tracked, int movedRow, bool rowsToo) {
    if (!SwapJobs(store, upper, upper + 1)) {
        LogStoreFailure(log, "move job " + dialog.GetRowText(ui::kJobList, movedRow), store);
        return false;
    }
    tracked.currentJob = FollowSwap(tracked.currentJob, upper, upper + 1);
    tracked.editedJob = FollowSwap(tracked.editedJob, upper, upper + 1);
    if (rowsToo) {
        std::string text = dialog.GetRowText(ui::kJobList, upper);
        dialog.DeleteRow(ui::kJobList, upper);
        int lower = upper + 1;
        int image = tracked.currentJob == lower ? kImageRunning : JobStatusImage(store, lower);
        dialog.InsertRow(ui::kJobList, lower, text, image);
    }
    return true;
}

// The list shown anew from the store, `rows` selected. The reload shows stored statuses only:
// the job being encoded gets its running icon back.
void ShowStoreAgain(platform::Dialog& dialog, store::KeyStore& store, int current,
                    const std::vector<int>& rows) {
    jobs::RefreshJobList(dialog, store, nullptr);
    if (current >= 0) {
        jobs::RefreshJobRow(dialog, store, current, kImageRunning);
    }
    dialog.SetSelectedRows(ui::kJobList, rows);
}

// The selected rows, each moved by `step` (-1 up, +1 down) as one block; nothing moves when
// the block already touches that end of the list. The moved rows stay selected.
void MoveSelection(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                   TrackedJobs tracked, int step) {
    std::vector<int> rows = dialog.GetSelectedRows(ui::kJobList);
    int n = dialog.GetCount(ui::kJobList);
    if (rows.empty() || (step < 0 && rows.front() == 0) || (step > 0 && rows.back() >= n - 1)) {
        return;
    }
    if (step > 0) {
        std::reverse(rows.begin(), rows.end());
    }
    // The rows end up selected where they are now: moved by `step`, or where they were when
    // the store refused a move.
    std::vector<int> selected;
    bool refused = false;
    const int current = tracked.currentJob;
    const int edited = tracked.editedJob;
    const std::string what = WhatRows(dialog, "move", rows);
    // One row moves with its neighbour; a block is shown anew once it has moved, since each
    // row moved one at a time would read its page of the list again.
    const bool rowByRow = rows.size() == 1;
    // One unit for the whole block; each swap is a step of its own inside it.
    store::KeyStore::Transaction unit(store);
    for (int row : rows) {
        int upper = step < 0 ? row - 1 : row;
        refused = refused || !SwapRows(dialog, store, log, upper, tracked, row, rowByRow);
        selected.push_back(refused ? row : row + step);
    }
    if (unit.Ok() && !unit.Commit()) {
        // Nothing moved after all: the rows and the tracked jobs are as they were.
        LogStoreFailure(log, what, store);
        tracked.currentJob = current;
        tracked.editedJob = edited;
        std::sort(rows.begin(), rows.end());
        ShowStoreAgain(dialog, store, current, rows);
        return;
    }
    std::sort(selected.begin(), selected.end());
    if (rowByRow) {
        dialog.SetSelectedRows(ui::kJobList, selected);
    } else {
        ShowStoreAgain(dialog, store, tracked.currentJob, selected);
    }
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
    MoveSelection(dialog, store, log, tracked, -1);
}

void MoveJobDown(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                 TrackedJobs tracked) {
    MoveSelection(dialog, store, log, tracked, +1);
}

void DeleteSelectedJob(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                       TrackedJobs tracked, RemovedJobs* removed) {
    if (removed != nullptr) {
        *removed = RemovedJobs{};
    }
    std::vector<int> rows = dialog.GetSelectedRows(ui::kJobList);
    // The job being encoded stays.
    rows.erase(std::remove(rows.begin(), rows.end(), tracked.currentJob), rows.end());
    std::sort(rows.begin(), rows.end());
    if (rows.empty()) {
        return;
    }
    const int count = dialog.GetCount(ui::kJobList);
    RemovedJobs kept;
    if (removed != nullptr && !ReadRemovedJobs(store, rows, kept)) {
        LogStoreFailure(log, WhatRows(dialog, "delete", rows), store);
        return;
    }
    // All of them in one unit, the later jobs renumbered once whatever the selection's size.
    if (!DeleteJobsAt(store, rows, count)) {
        LogStoreFailure(log, WhatRows(dialog, "delete", rows), store);
        return;
    }
    if (removed != nullptr) {
        kept.countAfter = count - static_cast<int>(rows.size());
        *removed = std::move(kept);
    }
    // How many of the deleted rows were above `position`.
    auto goneAbove = [&rows](int position) {
        return static_cast<int>(std::lower_bound(rows.begin(), rows.end(), position) -
                                rows.begin());
    };
    if (tracked.editedJob >= 0) {
        tracked.editedJob = std::binary_search(rows.begin(), rows.end(), tracked.editedJob)
                                ? -1
                                : tracked.editedJob - goneAbove(tracked.editedJob);
    }
    if (tracked.currentJob >= 0) {
        tracked.currentJob -= goneAbove(tracked.currentJob);
    }
    if (rows.size() == 1) {
        dialog.DeleteRow(ui::kJobList, rows.front());
        return;
    }
    jobs::RefreshJobList(dialog, store, nullptr);
    // The reload shows stored statuses only; the job being encoded keeps its running icon.
    if (tracked.currentJob >= 0) {
        jobs::RefreshJobRow(dialog, store, tracked.currentJob, kImageRunning);
    }
}

void ResetSelectedJob(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                      TrackedJobs tracked) {
    std::vector<int> rows = dialog.GetSelectedRows(ui::kJobList);
    bool changed = false;
    // One unit for the whole selection; each job is a step of its own inside it.
    store::KeyStore::Transaction unit(store);
    for (int s : rows) {
        if (s == tracked.currentJob) {
            continue;
        }
        if (!SetJobString(store, s, kStatus, kStatusPending)) {
            LogStoreFailure(log, "reset job " + dialog.GetRowText(ui::kJobList, s), store);
            break;
        }
        changed = true;
    }
    if (changed && unit.Ok() && !unit.Commit()) {
        LogStoreFailure(log, WhatRows(dialog, "reset", rows), store);
        changed = false;
    }
    if (changed) {
        ShowStoreAgain(dialog, store, tracked.currentJob, rows);
    }
}

bool ClearQueue(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                TrackedJobs tracked) {
    if (!jobs::ClearJobList(dialog, store, log)) {
        return false;
    }
    tracked.editedJob = -1;
    return true;
}

} // namespace jobs
