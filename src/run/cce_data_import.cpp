// A job list file read in slices, each slice one transaction.
#include "run/cce_data_import.h"

#include "chapters/text_fields.h"
#include "jobs/job_builder.h"
#include "jobs/job_panels.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "run/cce_data.h"
#include "store/key_store.h"

namespace run {

using namespace platform::main_window;

CceDataImport::CceDataImport(std::string path, jobs::JobBuilder& builder, platform::Dialog& dialog,
                             logging::Log& log, store::KeyStore& store)
    : m_Path(std::move(path)), m_Builder(builder), m_Dialog(dialog), m_Log(log), m_Store(store) {}

CceDataImport::~CceDataImport() {
    m_Builder.CacheInspections(false);
}

bool CceDataImport::NextLine(std::string& line) {
    // Empty lines (and lines of nothing but CR) are no lines at all.
    while (std::getline(m_File, line)) {
        if (!line.empty() && line != "\r") {
            ++m_Number;
            return true;
        }
    }
    return false;
}

bool CceDataImport::Begin() {
    platform::FileFacts facts;
    std::string file = m_Path;
    if (!platform::RegularFileFacts(file, facts)) {
        file = chapters::ReplaceAll(m_Path, "\"", "");
    }
    // Only a regular file is a job list: a FIFO or device would hold the window for good.
    if (!platform::RegularFileFacts(file, facts)) {
        m_Log("ERROR: The file (" + file + ") does not exist", logging::kLogError);
        return false;
    }
    m_Path = file;
    m_File.open(file, std::ios::binary);
    std::string line;
    while (m_File && NextLine(line)) {
    }
    if (m_File.bad() || !m_File.eof()) {
        m_Log("ERROR: The file (" + file + ") could not be read", logging::kLogError);
        return false;
    }
    m_Lines = m_Number;
    m_Log("CCEData.txt lines: " + std::to_string(m_Lines), logging::kLogDebug);
    // Second pass: the version line first, then the data.
    m_File.clear();
    m_File.seekg(0);
    m_Number = 0;
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
        m_File.clear();
        m_File.seekg(0);
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
            if (ImportCceDataLine(line, m_Number, m_Full, m_Builder, m_Dialog, m_Log, nullptr)) {
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
        m_Dialog.SetProgressPos(kProgress, static_cast<int>(m_Number * 100 / m_Lines));
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
