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
// its status image. The list stops before the first job whose name cannot be read; when a job
// key exists there, a warning names it so that a damaged queue does not hide silently (`log`
// may be null).
void RefreshJobList(platform::Dialog& dialog, store::KeyStore& store, logging::Log* log);

// Replaces row `position` by the job's current name (read with the one-row capacity; empty when
// unreadable) shown with `image`, keeping the row selected when it was. Does nothing when the
// row does not exist.
void RefreshJobRow(platform::Dialog& dialog, store::KeyStore& store, int position, int image);

// Move up, Delete, Move down and Reset enabled; Start and Clear exactly when no run is in
// progress; Stop exactly when one is.
void UpdateJobButtons(platform::Dialog& dialog, bool processing);

// Deletes the job keys 0 to rows - 1 (rows counted once, at the start) and removes every row.
// Logs nothing.
void ClearJobList(platform::Dialog& dialog, store::KeyStore& store);

// The job editor's idle state: Add disabled with the caption "&Add Job", New Job and Cancel
// disabled, the six check boxes disabled and cleared, the other inputs disabled with their
// values kept, and the name, input, chapter and File Info texts emptied.
void ResetJobEditor(platform::Dialog& dialog);

// The fixed spin ranges of the Job Info panel, set once when the window initialises.
void SetJobSpinRanges(platform::Dialog& dialog);

} // namespace jobs
