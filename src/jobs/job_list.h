// The job list's operations: move, delete and reset the selected job, and clear the queue. Each
// changes the job store first and then brings the rows into line, so that row i always shows
// the job stored at position i. When the store cannot be changed, an error line is logged and
// the rows and positions are left as the store has them.
#pragma once

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

struct RemovedJobs;

// Positions that must stay on their job while the queue shifts under them: the job being
// encoded (`m_CurrentJob`, -1 when none) and the job loaded into the editor for Replace
// (-1 when none). Both belong to the caller.
struct TrackedJobs {
    int& currentJob;
    int& editedJob;
};

// Moves the selected jobs (one or several, as a block) up one row and keeps them selected.
// Does nothing when row 0 is selected or nothing is.
void MoveJobUp(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
               TrackedJobs tracked);
// Moves the selected jobs down one row and keeps them selected. Does nothing when the last row
// is selected or nothing is.
void MoveJobDown(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                 TrackedJobs tracked);
// Deletes the selected jobs except the one being encoded; later jobs move up. A deleted edited
// job leaves the editor without a stored job (editedJob -1). With `removed`, the deleted jobs
// are kept there whole (nothing is deleted when they cannot be read); it is left empty when
// nothing was deleted.
void DeleteSelectedJob(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                       TrackedJobs tracked, RemovedJobs* removed = nullptr);
// Sets the selected jobs back to "Pending" and reloads the rows, keeping the selection and the
// running icon of the job being encoded. Leaves the job being encoded alone.
void ResetSelectedJob(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                      TrackedJobs tracked);
// Deletes every listed job and removes the rows; no job is left to replace. False (and a logged
// error, rows kept) when the store refused.
bool ClearQueue(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                TrackedJobs tracked);

// `position` after rows `a` and `b` traded places.
int FollowSwap(int position, int a, int b);

} // namespace jobs
