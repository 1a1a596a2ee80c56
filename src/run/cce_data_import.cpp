// A job list file read in slices, each slice one transaction.
#include "run/cce_data_import.h"

#include "chapters/text_fields.h"
#include "jobs/job_builder.h"
#include "jobs/job_panels.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "run/cce_data.h"
#include "store/key_store.h"

#include <algorithm>

namespace run {

using namespace platform::main_window;

CceDataImport::CceDataImport(std::string path, jobs::JobBuilder& builder, platform::Dialog& dialog,
                             logging::Log& log, store::KeyStore& store)
    : m_Path(std::move(path)), m_Builder(builder), m_Dialog(dialog), m_Log(log), m_Store(store) {}

CceDataImport::~CceDataImport() {
    m_Builder.CacheInspections(false);
}

bool CceDataImport::NextLine(std::string& line) {
    JobListLines::Result result = m_File.Next(line);
    if (result == JobListLines::Result::kLine) {
        ++m_Number;
        return true;
    }
    if (result == JobListLines::Result::kBad && !m_Broken) {
        // Every line was checked at the start: the file was changed since.
        m_Broken = true;
        m_Log("ERROR: The job list (" + m_Path + ") changed while it was read: " + m_File.Error() +
                  "; the lines after it were not read",
              logging::kLogError);
    }
    return false;
}

bool CceDataImport::Begin() {
    // Quotes are what a command line leaves around a path; a file whose name really holds one
    // is taken as it is named.
    std::string file = m_Path;
    std::string why;
    if (!m_File.Open(file, why)) {
        std::string unquoted = chapters::ReplaceAll(m_Path, "\"", "");
        if (unquoted != file) {
            file = unquoted;
            why.clear();
            m_File.Open(file, why);
        }
    }
    if (!why.empty()) {
        m_Log("ERROR: The file (" + file + ") " + why, logging::kLogError);
        return false;
    }
    m_Path = file;
    std::string line;
    JobListLines::Result result;
    while ((result = m_File.Next(line)) == JobListLines::Result::kLine) {
        ++m_Lines;
    }
    if (result == JobListLines::Result::kBad) {
        m_Log("ERROR: The job list (" + file + ") was not read: " + m_File.Error() +
                  "; no job was added",
              logging::kLogError);
        return false;
    }
    m_Log("CCEData.txt lines: " + std::to_string(m_Lines), logging::kLogDebug);
    // Second pass: the version line first, then the data.
    m_File.Rewind();
    std::vector<std::string> first;
    if (NextLine(line)) {
        first.push_back(line);
    }
    size_t firstData = 0;
    std::string version = CceDataVersion(first, firstData);
    if (version == kCceDataVersionPlain) {
        m_Log("No CCEData version specified, using 1.0.0.0", logging::kLogDebug);
    } else {
        m_Log("CCEData version " + version, logging::kLogDebug);
    }
    m_Full = version == kCceDataVersionFull;
    if (firstData == 0) {
        // The first line is data: read it again in the first slice.
        m_File.Rewind();
        m_Number = 0;
    }
    m_Builder.CacheInspections(true);
    m_Dialog.SetProgressRange(kProgress, 0, 100);
    return true;
}

bool CceDataImport::Step(const std::function<int64_t()>& clock, int budgetMs) {
    const int64_t start = clock ? clock() : 0;
    const uint64_t failedBefore = m_Store.FailedWrites();
    const size_t firstNumber = m_Number + 1;
    int added = 0;
    bool more = true;
    bool undone = false;
    {
        store::KeyStore::Transaction slice(m_Store);
        if (!slice.Ok()) {
            m_Log("ERROR: The store " + m_Store.Path() + " could not be written (" +
                      m_Store.LastError() + "); the job list was read up to line " +
                      std::to_string(m_Number) + ".",
                  logging::kLogError);
            return false;
        }
        for (int n = 0; n < kSliceLines; ++n) {
            std::string line;
            if (!NextLine(line)) {
                more = false;
                break;
            }
            if (ImportCceDataLine(line, m_Number, m_Full, m_Builder, m_Dialog, m_Log)) {
                ++added;
            } else {
                ++m_Skipped;
            }
            if (clock && clock() - start >= budgetMs) {
                break;
            }
        }
        if (m_Store.FailedWrites() == failedBefore && slice.Commit()) {
            m_Added += added;
        } else {
            // Undone whole: the list must show the store as it is, not the rows just added.
            undone = true;
            m_Lost += added;
            m_Log("ERROR: CCEData lines " + std::to_string(firstNumber) + " to " +
                      std::to_string(m_Number) + " were not stored (" + m_Store.LastError() +
                      "); no job of them was added.",
                  logging::kLogError);
        }
    }
    if (undone) {
        jobs::RefreshJobList(m_Dialog, m_Store, nullptr);
    }
    if (m_Lines > 0) {
        m_Dialog.SetProgressPos(
            kProgress, static_cast<int>(std::min<size_t>(m_Number, m_Lines) * 100 / m_Lines));
    }
    return more;
}

void CceDataImport::End() {
    m_Builder.CacheInspections(false);
    m_Dialog.SetProgressPos(kProgress, 0);
    std::string summary = "Job list " + m_Path + ": " + std::to_string(m_Added) +
                          (m_Added == 1 ? " job" : " jobs") + " added";
    if (m_Skipped > 0) {
        summary += ", " + std::to_string(m_Skipped) + " lines skipped";
    }
    if (m_Lost > 0) {
        summary += ", " + std::to_string(m_Lost) + " jobs not stored";
    }
    m_Log(summary, m_Lost > 0 ? logging::kLogError : logging::kLogInfo);
}

} // namespace run
