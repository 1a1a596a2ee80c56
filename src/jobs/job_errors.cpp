// The job's kept error: cleared when its run begins, the first one noted, read for its row.
#include "jobs/job_errors.h"

#include "jobs/job_store.h"
#include "platform/files.h"

namespace jobs {

bool ClearJobError(store::KeyStore& store, int position) {
    return SetJobString(store, position, kLastError, std::string());
}

bool NoteJobError(store::KeyStore& store, int position, const std::string& text) {
    if (!JobError(store, position).empty()) {
        return true;
    }
    return SetJobString(store, position, kLastError, text);
}

std::string JobError(store::KeyStore& store, int position) {
    std::string text;
    GetJobString(store, position, kLastError, kWholeValue, text);
    return text;
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
        NoteJobError(store, position, "No source file is set for the job.");
        return true;
    }
    platform::FileFacts facts;
    if (platform::RegularFileFacts(path, facts)) {
        return false;
    }
    NoteJobError(store, position, "Source file not found: " + path);
    return true;
}

} // namespace jobs
