// The job panels' shared helpers: the job list rows, the job buttons, clearing the queue, and the
// idle state and spin ranges of the job editor.
#pragma once

#include <string>

namespace platform {
class Dialog;
}
namespace store {
class KeyStore;
}
namespace logging {
class Log;
}

namespace jobs {

// Removes every row of the job list and appends one row per stored job, in queue order, with
// its status image. A job whose name cannot be read is listed with an empty name; the list
// stops at the first missing position, and when a job key exists beyond it a warning names it
// so that a damaged queue does not hide silently (`log` may be null).
void RefreshJobList(platform::Dialog& dialog, store::KeyStore& store, logging::Log* log);

// Replaces row `position` by the job's current name (whole; empty when unreadable) shown with
// `image`, keeping the row selected when it was. Does nothing when the row does not exist.
void RefreshJobRow(platform::Dialog& dialog, store::KeyStore& store, int position, int image);

// Move up, Delete, Move down and Reset enabled; Start and Clear exactly when no run and no
// pulldown pass is in progress; Stop exactly when a run is, its hint saying why when not. With
// the job being encoded (`currentJob`) as UpdateSelectionButtons takes it.
void UpdateJobButtons(platform::Dialog& dialog, bool processing, bool passRunning = false,
                      int currentJob = -1);

// Delete and Reset disabled, their hints saying why, while the only selected job is the one
// being encoded (`currentJob`, -1 when none); enabled otherwise.
void UpdateSelectionButtons(platform::Dialog& dialog, int currentJob);

// Why Add Job cannot store the job in the panel yet ("" when it can, or when it is Replace):
// no source chosen, or no template chosen.
std::string AddJobReason(const platform::Dialog& dialog);

// Deletes the job keys 0 to rows - 1 (rows counted once, at the start) and removes every row.
// When the store cannot be changed, logs an error, keeps the rows and returns false; logs
// nothing otherwise.
bool ClearJobList(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log);

// Logs that a change to the store failed and left it as it was: "ERROR: Could not <what>: the
// store <path> was not changed (<the store's error>)."
void LogStoreFailure(logging::Log& log, const std::string& what, const store::KeyStore& store);

// The job editor's idle state: Add disabled with the caption "&Add Job", New Job and Cancel
// disabled, the six check boxes disabled and cleared, the other inputs disabled with their
// values kept, and the name, input, chapter and File Info texts emptied.
void ResetJobEditor(platform::Dialog& dialog);

// The fixed spin ranges of the Job Info panel, set once when the window initialises.
void SetJobSpinRanges(platform::Dialog& dialog);

} // namespace jobs
