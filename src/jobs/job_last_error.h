// Why a job last failed, kept in the job's key beside its record ("LastError", a value that
// readers of the record ignore).
#pragma once

#include "store/key_store.h"

#include <cstddef>
#include <string>

namespace jobs {

inline constexpr const char* kLastError = "LastError";
// The longest reason kept; a longer one is cut (a line of the encoder can be long).
inline constexpr size_t kLastErrorMax = 500;

// Stores `reason` as the job's failure unless one is kept already for this run of the job (the
// first failure explains the run; ClearJobError forgets it when a run of the job begins): line
// breaks become blanks and it is cut to kLastErrorMax characters. False when the store refuses
// the write.
bool SetJobLastError(store::KeyStore& store, int position, const std::string& reason);

// The job's last failure, or "" when none is stored.
std::string GetJobLastError(store::KeyStore& store, int position);

// Forgets the job's failure: a run of it begins. False when the store refused.
bool ClearJobError(store::KeyStore& store, int position);

// When the job's source file does not exist (or is no regular file), stores "Source file not
// found: <path>" as its failure (or that it has none) and returns true; false when the source is
// there.
bool NoteMissingSource(store::KeyStore& store, int position);

} // namespace jobs
