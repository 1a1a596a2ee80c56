// Jobs taken out of the queue by Delete or Clear, kept whole so that Undo can put them back.
#pragma once

#include "store/key_store.h"

#include <string>
#include <vector>

namespace jobs {

struct RemovedJobs {
    std::vector<int> positions;                    // ascending: where they stood
    std::vector<std::vector<store::Value>> values; // every value of each, as stored
    std::vector<std::string> names;                // their names, for the log
    int countAfter = 0;                            // the queue's length once they had gone
};

// Reads every value of the jobs at `positions` (ascending) of the store's queue into
// `removed`; false when one of them cannot be read.
bool ReadRemovedJobs(store::KeyStore& store, const std::vector<int>& positions,
                     RemovedJobs& removed);

// Puts `removed` back in one unit: at the positions they stood at while the queue still has
// `countAfter` jobs, else after the last job. The marks of a run they may have carried are
// left out. `at` gets the positions they took; false (nothing changed) when the store refused.
bool RestoreRemovedJobs(store::KeyStore& store, const RemovedJobs& removed, std::vector<int>& at);

} // namespace jobs
