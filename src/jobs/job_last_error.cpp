// The reason of a job's last failure in its key.
#include "jobs/job_last_error.h"

#include "jobs/job_store.h"
#include "platform/files.h"

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

bool ClearJobError(store::KeyStore& store, int position) {
    return SetJobString(store, position, kLastError, std::string());
}

bool NoteMissingSource(store::KeyStore& store, int position) {
    std::string input;
    if (!GetJobString(store, position, kInput, kWholeValue, input)) {
        return false;
    }
    // A command line's quotes around the path are not part of it.
    std::string path;
    for (char c : input) {
        if (c != '"') {
            path += c;
        }
    }
    if (path.empty()) {
        SetJobLastError(store, position, "No source file is set for the job.");
        return true;
    }
    platform::FileFacts facts;
    if (platform::RegularFileFacts(path, facts)) {
        return false;
    }
    SetJobLastError(store, position, "Source file not found: " + path);
    return true;
}

} // namespace jobs
