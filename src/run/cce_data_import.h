// A job list file read in slices: the file streamed line by line, each slice of lines stored as
// one transaction (all of it or none), each distinct source inspected once, progress shown,
// and one summary line at the end. The window's event loop runs between slices.
#pragma once

#include "run/job_list_lines.h"

#include <cstdint>
#include <functional>
#include <string>

namespace jobs {
class JobBuilder;
}
namespace logging {
class Log;
}
namespace platform {
class Dialog;
}
namespace store {
class KeyStore;
}

namespace run {

class CceDataImport {
public:
    // The most lines one slice (and one transaction) takes.
    static constexpr int kSliceLines = 500;

    CceDataImport(std::string path, jobs::JobBuilder& builder, platform::Dialog& dialog,
                  logging::Log& log, store::KeyStore& store);
    ~CceDataImport();

    // Opens the file (the regular file at the path, else at the path without its double
    // quotes), checks every line (JobListLines: a file with a line that is no text is refused
    // whole, naming the line), counts them and reads the version (logged, debug). False when
    // there is nothing to read (the error is logged, nothing added).
    bool Begin();
    // Handles lines (ImportCceDataLine) until `kSliceLines` are done or `budgetMs` of `clock`
    // (milliseconds) have passed, in one transaction. A slice the store refused is undone whole and
    // logged, and the list shows the store as it is. True while lines remain.
    bool Step(const std::function<int64_t()>& clock, int budgetMs);
    // Logs the summary line and leaves the editor's inspection cache.
    void End();

    int Added() const { return m_Added; }

private:
    bool NextLine(std::string& line);

    std::string m_Path;
    jobs::JobBuilder& m_Builder;
    platform::Dialog& m_Dialog;
    logging::Log& m_Log;
    store::KeyStore& m_Store;
    JobListLines m_File;
    bool m_Broken = false; // the file changed into something that is no job list midway
    bool m_Full = false;
    size_t m_Lines = 0;  // non-empty lines of the file
    size_t m_Number = 0; // non-empty lines read so far
    int m_Added = 0;
    int m_Lost = 0;    // added, then undone with their slice
    int m_Skipped = 0; // data lines that gave no job
};

} // namespace run
