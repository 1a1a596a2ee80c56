// The reason of a job's last failure in its key.
#include "jobs/job_last_error.h"

#include "jobs/job_store.h"

namespace jobs {

bool SetJobLastError(store::KeyStore& store, int position, const std::string& reason) {
    // The first failure of a run explains it; later ones follow from it.
    if (!GetJobLastError(store, position).empty()) {
        return true;
    }
    std::string text = reason.substr(0, kLastErrorMax);
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return SetJobString(store, position, kLastError, text);
}

std::string GetJobLastError(store::KeyStore& store, int position) {
    std::string text;
    if (!GetJobString(store, position, kLastError, kLastErrorMax + 1, text)) {
        return std::string();
    }
    return text;
}

} // namespace jobs
