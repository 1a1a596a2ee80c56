// Why a job failed, kept with the job as its "LastError" value so that its row can name it.
#pragma once

#include "jobs/job_last_error.h"

#include <string>

namespace store {
class KeyStore;
}

namespace jobs {

// Forgets the job's error: a run of it begins. False when the store refused.
bool ClearJobError(store::KeyStore& store, int position);
// Keeps `text` as the job's error unless one is kept already (the first error of a run is the
// one that explains it). False when the store refused.
bool NoteJobError(store::KeyStore& store, int position, const std::string& text);
// The job's error, "" when none is kept.
std::string JobError(store::KeyStore& store, int position);

// When the job's source file does not exist (or is no regular file), notes "Source file not
// found: <path>" as its error (or that it has none) and returns true; false when the source is
// there.
bool NoteMissingSource(store::KeyStore& store, int position);

} // namespace jobs
